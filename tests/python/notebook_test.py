#!/usr/bin/env python3
"""examples/notebook.ipynb executed in a real Jupyter kernel (nbclient,
ipykernel) with the package built here: every cell runs, and the outputs
show what the notebook promises (the result table, the notation, the
operator tree as SVG with its schemas and row counts, the bound result, the
message of a mistake, the check's verdict and counterexample).

Usage: notebook_test.py PROGRAM (ignored).
"""
import os
import sys

from python_support import ROOT, SKIPPED, use_package

sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))
from tally import Tally  # noqa: E402

TALLY = Tally()


def text_of(cell):
    parts = []
    for output in cell.get('outputs', []):
        if 'text' in output:
            parts.append(output['text'])
        for kind in ('text/html', 'text/plain'):
            if kind in output.get('data', {}):
                parts.append(output['data'][kind])
        if output.get('output_type') == 'error':
            parts.append('ERROR ' + output.get('ename', '') + ': ' + output.get('evalue', ''))
    return '\n'.join(parts)


# For each code cell whose source starts so, what its output must hold.
EXPECTED = [
    ('%ra_load sailors.env', ['Loaded Boat (', 'Sailor (10 rows)']),
    ('%%ra\nproject(select(Sailor, GT(rating, 7))', ['<table>', 'Sailor(sname char(10), age int)', "Lubber",
                                                      '<svg', 'select GT(rating, 7)', '5 rows', '10 rows',
                                                      '\\pi_{\\text{sname}, \\text{age}}']),
    ('%%ra -o red', ['<svg', 'product', 'Dustin']),
    ('red.rows', ["[('Dustin',), ('Horatio',), ('Lubber',)]"]),
    ('red.to_pandas()', ['sname', 'Dustin']),
    ('%%ra\nselect(Sailor, GT(rating, 7)) (Boat)', ['qorvantel-error', 'in line 1, column', '^']),
    ('%%ra_check sailors.exercises 1\nproject(select(Sailor, GTE', ['0 of 1 points', 'Verdict: <b>differs',
                                                                    'Counterexample', 'Your answer gives']),
    ('%%ra_check sailors.exercises 1\nproject(select(Sailor, GT(', ['1 of 1 points', 'Verdict: <b>same']),
    ('import qorvantel', ["Sailor(sname char(10))\n'Andy'\n"]),
    ('print(qorvantel.to_sql', ['SELECT DISTINCT "sname"', 'COLLATE "C"']),
    ('import pandas', ['Loaded Sailor (10 rows), Top (2 rows)']),
    ('%%ra\nproject(select(product(Sailor, rename(Top', ['Dustin', 'Lubber', '2 rows']),
]


def main():
    use_package()
    os.environ['PYDEVD_DISABLE_FILE_VALIDATION'] = '1'
    try:
        import nbclient
        import nbformat
    except ImportError as error:
        print(f'skipped: {error} (Debian: apt-get install python3-nbclient python3-ipykernel)')
        return SKIPPED
    path = os.path.join(ROOT, 'examples', 'notebook.ipynb')
    notebook = nbformat.read(path, as_version=4)
    client = nbclient.NotebookClient(notebook, timeout=120, kernel_name='python3',
                                     resources={'metadata': {'path': os.path.dirname(path)}})
    client.execute()
    cells = [c for c in notebook.cells if c.cell_type == 'code']
    for start, wanted in EXPECTED:
        found = [c for c in cells if c.source.startswith(start)]
        if len(found) != 1:
            TALLY.record(start, [f'{len(found)} cells start so'])
            continue
        out = text_of(found[0])
        problems = [f'no {w!r}' for w in wanted if w not in out]
        if 'ERROR ' in out:
            problems.append(out[:500])
        TALLY.record(start.split('\n')[0] + ' ' + start.split('\n')[-1][:30], problems)
        if problems:
            print(out[:2000])
    for cell in cells:
        if 'ERROR ' in text_of(cell):
            TALLY.record(cell.source[:40], [text_of(cell)[:500]])
    return TALLY.finish()


if __name__ == '__main__':
    sys.exit(main())
