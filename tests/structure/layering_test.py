#!/usr/bin/env python3
"""Checks that every include in src/ points down the layers.

The folders of src/ are layers, lowest first: text, parsing, values,
relations, algebra, driver, then the companion tools' cores: convert (data
in and out, SQL and LaTeX) and check (answers against references). A file
may include from its own layer and from the layers below it. web, the glue
of the browser build, and python, the Python module's binding, are top
layers: each may include from every layer below it (python from web
too: the notebook draws the page's operator tree), and none may include from them. A folder of src/ that is not a known layer fails the check, so that a new folder is
given its place here rather than escaping it.

Run with no arguments, or with the program's path (ignored), as the test
suite does. Exits 1 and names each offending include when the check fails.
"""
import os
import re
import sys
import tempfile

LAYERS = ['text', 'parsing', 'values', 'relations', 'algebra', 'driver', 'convert', 'check', 'web', 'python']
RANK = {name: rank for rank, name in enumerate(LAYERS)}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_ENDINGS = ('.h', '.cpp')


def problems_in(source_root):
    """Every violation under source_root, one message each, in path order."""
    problems = []
    for directory, folders, files in os.walk(source_root):
        folders.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, source_root)
            parts = relative.split(os.sep)
            if len(parts) < 2 or parts[0] not in RANK:
                problems.append(f'{relative}: not in a known layer folder ({", ".join(LAYERS)}); '
                                f'add the folder to LAYERS in {os.path.basename(__file__)}')
                continue
            layer = parts[0]
            with open(path, encoding='utf-8', errors='replace') as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    included = match.group(1)
                    target = included.split('/')[0] if '/' in included else None
                    if target not in RANK:
                        problems.append(f'{relative}:{number}: includes "{included}", '
                                        f'which names no layer folder')
                    elif RANK[target] > RANK[layer]:
                        problems.append(f'{relative}:{number}: {layer} includes "{included}" '
                                        f'from the higher layer {target}')
    return problems


def write_tree(root, files):
    for relative, content in files.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w') as f:
            f.write(content)


def check_detects_faults():
    """The check itself: what it must reject, and what it must accept."""
    with tempfile.TemporaryDirectory() as root:
        write_tree(root, {
            'text/a.h': '#include <vector>\n#include "text/b.h"\n',
            'values/v.cpp': '#include "values/v.h"\n#include "parsing/p.h"\n',
            'web/glue.cpp': '#include "driver/driver.h"\n#include "text/a.h"\n',
            'algebra/x.cpp': '  #  include "driver/driver.h"\n',
            'driver/d.cpp': '#include "web/glue.h"\n',
            'relations/r.h': '#include "r2.h"\n',
            'extras/e.cpp': '',
            'main.cpp': '',
            'text/notes.txt': '#include "driver/x.h"\n',
        })
        found = problems_in(root)
    expected = [
        'algebra/x.cpp:1: algebra includes "driver/driver.h" from the higher layer driver',
        'driver/d.cpp:1: driver includes "web/glue.h" from the higher layer web',
        'extras/e.cpp: not in a known layer folder',
        'main.cpp: not in a known layer folder',
        'relations/r.h:1: includes "r2.h", which names no layer folder',
    ]
    missing = [each for each in expected if not any(p.startswith(each) for p in found)]
    unexpected = [p for p in found if not any(p.startswith(each) for each in expected)]
    return [f'self-check: not reported: {each}' for each in missing] + \
           [f'self-check: reported wrongly: {each}' for each in unexpected]


def main():
    source_root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'src')
    failures = check_detects_faults() + problems_in(os.path.normpath(source_root))
    for failure in failures:
        print(failure)
    print(f'{len(failures)} layering problem(s)' if failures else 'layering: every include points down')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
