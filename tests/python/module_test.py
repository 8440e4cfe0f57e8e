#!/usr/bin/env python3
"""The Python module against the programs it is built from: every golden
query and the engines test's generated ones give the console's text and
rows byte for byte, and each error the console's message (with its line
and column for a parse error); check, lint and grade give what
qorvantel-check --json prints, to_sql and to_latex what qorvantel-convert
writes; data come in from CSV, SQLite and DataFrames; Ctrl-C stops a long
evaluation with KeyboardInterrupt.

Usage: module_test.py PROGRAM (qorvantel; the companion programs beside it).
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

from python_support import ROOT, use_package

use_package()
sys.path.insert(0, os.path.join(ROOT, 'tests', 'convert'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))
import engines_test  # noqa: E402
import qorvantel  # noqa: E402
from tally import Tally  # noqa: E402

TALLY = Tally()
PROGRAM = os.path.abspath(sys.argv[1])
BIN = os.path.dirname(PROGRAM)
SAILORS = os.path.join(ROOT, 'examples', 'sailors.env')
EXERCISES = os.path.join(ROOT, 'examples', 'sailors.exercises')


def run(args, data=b''):
    return subprocess.run(args, input=data, capture_output=True, timeout=120)


def console_answer(expression, environment):
    """What the console writes for one line after the environment loads."""
    with tempfile.NamedTemporaryFile('wb', suffix='.env') as env:
        env.write(environment.encode('latin-1'))
        env.flush()
        done = run([PROGRAM, env.name], expression.encode('latin-1') + b'\n')
    out = done.stdout.decode('latin-1')
    # The prompt before the answer and before the end.
    assert out.startswith('$') and out.endswith('$\n'), out
    return out[1:-2]


def queries():
    golden = engines_test.golden_queries()
    generated = engines_test.generated_queries(20261210, 60)
    errors = [('g', 'select(Sailor, ', ''), ('g', 'project(Sailor, nope)', ''),
              ('g', "select(Sailor, EQ(sname, 1))", ''), ('g', 'union(Sailor, Boat)', '')]
    with open(SAILORS, encoding='latin-1') as f:
        sailors = f.read()
    return golden + generated + [(n, e, sailors) for n, e, _ in errors]


def check_console_equality():
    for name, expression, environment in queries():
        if '\n' in expression.strip():
            continue
        problems = []
        expected = console_answer(expression.strip(), environment)
        try:
            env = qorvantel.Environment.from_text(environment.encode('latin-1'))
        except qorvantel.Error as error:
            if not expected.startswith(str(error)):
                problems.append(f'environment error {str(error)!r}, console {expected!r}')
            TALLY.record(name, problems)
            continue
        try:
            result = env.evaluate(expression.strip().encode('latin-1'))
            got = str(result)
            if got != expected:
                problems.append(f'text {got!r}\n  console {expected!r}')
            if bytes(result) != got.encode('utf-8', 'surrogateescape'):
                problems.append(f'bytes() {bytes(result)[:200]!r} are not those of str()')
            kinds, rows = engines_test.interpreter_rows(expected)
            if [list(r) for r in result.rows] != engines_test.typed(rows, kinds):
                problems.append(f'rows {result.rows[:5]} differ from the text')
        except qorvantel.Error as error:
            if str(error) + '\n' != expected:
                problems.append(f'message {str(error)!r}\n  console {expected!r}')
            if isinstance(error, qorvantel.ParseError) and (error.line is None or error.column is None):
                problems.append('a parse error without line and column')
            if f'line {error.line}, column {error.column}' not in str(error) and error.line is not None:
                problems.append(f'line {error.line} and column {error.column} not those of the message')
        TALLY.record(f'{name}: {expression.strip()[:60]}', problems)


def checker_json(*args):
    done = run([os.path.join(BIN, 'qorvantel-check'), '--json', *args])
    return [json.loads(line) for line in done.stdout.decode('utf-8').splitlines() if line.strip()]


def check_checker_and_converter():
    env = qorvantel.Environment.from_file(SAILORS)
    with tempfile.TemporaryDirectory() as work:
        def file(name, text):
            path = os.path.join(work, name)
            with open(path, 'w') as f:
                f.write(text)
            return path
        reference = 'project(select(Sailor, GT(rating, 7)), sname, age)'
        for answer in [reference, 'project(select(Sailor, GTE(rating, 7)), sname, age)', 'project(Sailor, sname)',
                       'project(Sailor, ']:
            got = qorvantel.check(env, reference, answer)
            want = checker_json(SAILORS, file('r.txt', reference), file('a.txt', answer))[0]
            TALLY.record(f'check {answer}', [] if got == want else [f'{got}\n  checker {want}'])
        for expression in ['product(Sailor, Boat)', 'select(Sailor, EQ(sname, 3))', 'project(Sailor, sid)']:
            got = qorvantel.lint(env, expression)
            want = checker_json('--lint', SAILORS, file('e.txt', expression))[0]
            TALLY.record(f'lint {expression}', [] if got == want else [f'{got}\n  checker {want}'])
        right = file('right.txt', '== 1\nproject(select(Sailor, GT(rating, 7)), sname, age)\n')
        wrong = file('wrong.txt', '== 1\nproject(Sailor, sname, age)\n== 2\nselect(Sailor, \n')
        got = qorvantel.grade(EXERCISES, [right, wrong])
        want = checker_json('--grade', EXERCISES, right, wrong)
        TALLY.record('grade', [] if got == want else [f'{got}\n  checker {want}'])
        TALLY.record('grade one', [] if qorvantel.grade(EXERCISES, right) == checker_json('--grade', EXERCISES, right)[0]
                     else ['one submission gives one object'])
        convert = os.path.join(BIN, 'qorvantel-convert')
        query = 'project(select(Sailor, GT(rating, 7)), sname)'
        q = file('q.txt', query)
        for dialect in ('sqlite', 'postgresql', 'duckdb'):
            want = run([convert, 'to-sql', '--dialect', dialect, SAILORS, q]).stdout.decode()
            got = qorvantel.to_sql(query, env, dialect=dialect, tables=True)
            problems = [] if got == want else [f'{got!r}\n  converter {want!r}']
            if not want.rstrip().endswith(qorvantel.to_sql(query, env, dialect=dialect).rstrip()):
                problems.append('the SELECT alone is not the end of the script')
            TALLY.record(f'to_sql {dialect}', problems)
        want = run([convert, 'to-latex', q]).stdout.decode()
        TALLY.record('to_latex', [] if '$' + qorvantel.to_latex(query) + '$\n' == want else [want])
        csv_path = file('people.csv', 'id,name\n2,"Bob, Jr."\n1,Ann\n')
        want = run([convert, 'from-csv', csv_path]).stdout.decode()
        got = str(qorvantel.Environment.from_csv(csv_path))
        TALLY.record('from_csv', [] if qorvantel.Environment.from_text(want).relations['people'].rows ==
                     qorvantel.Environment.from_text(got).relations['people'].rows else [got, want])
        if qorvantel._core.sqlite_available():
            db = os.path.join(work, 'db.sqlite')
            run(['sqlite3', db], b"CREATE TABLE t(a INTEGER, b TEXT); INSERT INTO t VALUES (2, 'x'), (1, 'y');")
            got = qorvantel.Environment.from_sqlite(db).relations['t'].rows
            TALLY.record('from_sqlite', [] if got == [(1, 'y'), (2, 'x')] else [str(got)])


def check_files():
    """Files are read as the companion programs read them: a regular file
    within the budget, its byte order mark skipped; a text given as it is
    (the console refuses the mark)."""
    with open(SAILORS, 'rb') as f:
        sailors = f.read()
    want = str(qorvantel.Environment.from_text(sailors))
    with tempfile.TemporaryDirectory() as work:
        marked = os.path.join(work, 'marked.env')
        with open(marked, 'wb') as f:
            f.write(b'\xef\xbb\xbf' + sailors)
        os.mkfifo(os.path.join(work, 'pipe'))
        got = str(qorvantel.Environment.from_file(marked))
        TALLY.record('from_file skips a byte order mark', [] if got == want else [got[:200]])
        cases = [  # (path, the start of the message)
            (work, f'{work} is a directory.'),
            ('/dev/null', '/dev/null is a device, not a file.'),
            (os.path.join(work, 'pipe'), f'{work}/pipe is a named pipe, not a file.'),
            (os.path.join(work, 'none.env'), f'Cannot read {work}/none.env: '),
            ('-', 'Cannot read ./-: '),
        ]
        for path, message in cases:
            for name, call in [('from_file', qorvantel.Environment.from_file),
                               ('from_csv', qorvantel.Environment.from_csv),
                               ('grade', lambda p: qorvantel.grade(p, []))]:
                try:
                    call(path)
                    problems = ['accepted']
                except qorvantel.SetupError as error:
                    problems = [] if str(error).startswith(message) else [f'{error!s}, not {message}']
                TALLY.record(f'{name} {path}', problems)
    try:
        qorvantel.Environment.from_text(b'\xef\xbb\xbf' + sailors)
        problems = ['from_text accepted a byte order mark, which the console refuses']
    except qorvantel.ParseError as error:
        problems = [] if (error.line, error.column) == (1, 1) else [f'at {error.line}, {error.column}']
    TALLY.record('from_text keeps a byte order mark', problems)


def check_dataframes():
    import pandas
    frame = pandas.DataFrame({'id': [3, 1, 2], 'name': ['c', 'a', 'b, d']})
    env = qorvantel.Environment.from_dataframes({'P': frame})
    rows = env.evaluate('P').rows
    problems = [] if rows == [(1, 'a'), (2, 'b, d'), (3, 'c')] else [f'rows {rows}']
    back = env.evaluate('P').to_pandas()
    if list(back['id']) != [1, 2, 3] or str(back['id'].dtype) != 'int64' or list(back['name']) != ['a', 'b, d', 'c']:
        problems.append(f'to_pandas {back}')
    for bad, words in [({'id': [1.5]}, 'column id has type float64'), ({'id': [2 ** 40]}, 'outside the int range'),
                       ({'s': ['a', 3]}, 'column s: 3 is not a string')]:
        try:
            qorvantel.Environment.from_dataframes({'B': pandas.DataFrame(bad)})
            problems.append(f'{bad} accepted')
        except qorvantel.Error as error:
            if words not in str(error):
                problems.append(f'{bad}: {error}')
    html = env.evaluate('P')._repr_html_()
    if '<table>' not in html or 'P(id int, name char(4))' not in html:
        problems.append(f'html {html}')
    TALLY.record('dataframes', problems)


INTERRUPTED = """
import os, qorvantel, signal, sys, threading, time
seen, sent = [], []
def busy(*_):
    try:
        env.evaluate('R')
        seen.append('evaluated')
    except qorvantel.Error as error:
        seen.append('refused' if 'busy' in str(error) else str(error))
signal.signal(signal.SIGUSR1, busy)
def send(number):
    sent.append(time.monotonic())
    os.kill(os.getpid(), number)
rows = '\\n'.join(f'{i}' for i in range(1000))
env = qorvantel.Environment.from_text('R(a int)\\n' + rows + '\\n')
threading.Timer(0.5, send, (signal.SIGUSR1,)).start()
threading.Timer(1.0, send, (signal.SIGINT,)).start()
try:
    # Never true, and no operand can be filtered alone: 10^9 triples are
    # looked at (seconds), while a condition on one column is applied
    # before the product and ends too soon.
    env.evaluate('project(select(product(R, rename(R, S(b)), rename(R, T(c))), AND(LT(a, b), LT(b, c), LT(c, a))), a)')
    print('finished')
except KeyboardInterrupt:
    print('interrupted', round(time.monotonic() - sent[-1], 2))
print(env.evaluate('select(R, LT(a, 2))').rows, seen)
"""


def check_interrupt():
    done = subprocess.run([sys.executable, '-c', INTERRUPTED], capture_output=True, text=True, timeout=120)
    out = done.stdout
    problems = []
    if not out.startswith('interrupted') or "[(0,), (1,)] ['refused']" not in out:
        problems.append(f'output {out!r} {done.stderr[-2000:]}')
    elif float(out.split()[1]) > 2:
        problems.append(f'stopped {out.split()[1]} s after Ctrl-C')
    TALLY.record('Ctrl-C', problems)


# A signal handler that lets go of a relation while bytes() is written
# waits for the writer, which takes the interpreter's lock to grow the
# bytes: the handler must wait without that lock.
DROPPED = """
import os, signal, threading, time, qorvantel
rows = '\\n'.join(f"{i}, 'n{i}'" for i in range(1000000))
env = qorvantel.Environment.from_text('R(a int, b char(9))\\n' + rows + '\\n')
result = env.evaluate('R')
held = {'other': env.evaluate('select(R, LT(a, 10))')}
signal.signal(signal.SIGUSR1, lambda *_: held.clear())
threading.Timer(0.02, os.kill, (os.getpid(), signal.SIGUSR1)).start()
data = bytes(result)
print(data == str(result).encode(), held)
"""


def check_handler_during_bytes():
    try:
        done = subprocess.run([sys.executable, '-c', DROPPED], capture_output=True, text=True, timeout=120)
        problems = [] if done.stdout == 'True {}\n' else [f'output {done.stdout!r} {done.stderr[-2000:]}']
    except subprocess.TimeoutExpired:
        problems = ['bytes() never ended: the handler and the writer wait for each other']
    TALLY.record('a handler drops a relation during bytes()', problems)


def main():
    check_console_equality()
    check_checker_and_converter()
    check_files()
    check_dataframes()
    check_interrupt()
    check_handler_during_bytes()
    return TALLY.finish()


if __name__ == '__main__':
    sys.exit(main())
