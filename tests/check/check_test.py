#!/usr/bin/env python3
"""End-to-end tests of qorvantel-check: verdicts on the bundled exercises
(answers right, wrong on the sample, right on the sample only by accident),
the 1-minimality of counterexamples, the JSON shapes, lint, grading and the
error paths.

Run with the path of qorvantel (the test suite's convention);
qorvantel-check is found beside it.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, '..', '..', 'examples')
CHECK = os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), 'qorvantel-check')
SAILORS = os.path.join(EXAMPLES, 'sailors.env')
failures = []


def run(args, stdin=''):
    done = subprocess.run([CHECK] + args, input=stdin.encode(), capture_output=True, timeout=60)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def write(directory, name, content):
    path = os.path.join(directory, name)
    with open(path, 'w') as f:
        f.write(content)
    return path


def expect(name, condition, detail=''):
    if not condition:
        failures.append(f'{name}: {detail}')


def reference_of(exercise_file, exercise_id):
    text = open(os.path.join(EXAMPLES, exercise_file)).read()
    block = text.split(f'\n== {exercise_id} [')[1]
    return block.split('--- answer\n')[1].split('\n')[0]


ROW = re.compile(r"^[-+0-9']")


def rows_of(environment_text):
    return [line for line in environment_text.split('\n') if ROW.match(line)]


def without_row(environment_text, row):
    lines = environment_text.split('\n')
    lines.remove(row)
    return '\n'.join(lines)


# name, exercise id, answer, verdict, where, exit status, rows of the
# counterexample (None: not checked).
VERDICTS = [
    ('right answer', '3',
     'project(select(product(rename(Reserve, R(rsid, bid, day)), Sailor), AND(EQ(bid, 103), EQ(rsid, sid))), sname)',
     'same', None, 0, None),
    ('wrong on the sample', '1', 'project(select(Sailor, GTE(rating, 7)), sname, age)', 'differs', 'given', 1, 1),
    ('a boundary the sample never meets', '2', 'select(Sailor, AND(GTE(age, 25), LT(age, 45)))',
     'differs', 'generated', 1, 1),
    ('hard-coded keys instead of a join', '3',
     'project(select(Sailor, OR(EQ(sid, 22), EQ(sid, 31), EQ(sid, 74))), sname)', 'differs', 'generated', 1, None),
    ('a filter that holds only on the sample', '10',
     'minus(project(Sailor, sid), project(select(Reserve, GT(bid, 100)), sid))', 'differs', 'generated', 1, 2),
    ('answer that does not parse', '1', 'project(select(Sailor, GT(rating, 7)), sname', 'differs', 'given', 1, 0),
    ('answer that fails on a row', '1', 'project(select(Sailor, GT(ratin, 7)), sname, age)', 'differs', 'given', 1, 1),
    ('wrong column count', '1', 'project(select(Sailor, GT(rating, 7)), sname)', 'differs', 'given', 1, None),
]


def test_verdicts(directory):
    for name, exercise, answer, verdict, where, status, rows in VERDICTS:
        reference = write(directory, 'reference.txt', reference_of('sailors.exercises', exercise) + '\n')
        answer_file = write(directory, 'answer.txt', answer + '\n')
        code, out, err = run(['--json', SAILORS, reference, answer_file])
        expect(name, code == status, f'exit {code}, expected {status}; {err}')
        try:
            report = json.loads(out)
        except ValueError:
            expect(name, False, f'not JSON: {out!r}')
            continue
        keys = ['verdict'] + (['where'] if verdict == 'differs' else []) + [
            'counterexample', 'reference', 'answer', 'notes', 'instances']
        expect(name, list(report) == keys, f'keys {list(report)}')
        expect(name, report['verdict'] == verdict, report['verdict'])
        if where:
            expect(name, report.get('where') == where, report.get('where'))
        if verdict == 'differs':
            check_counterexample(name, directory, reference, answer_file, report, rows)
        again = run(['--json', SAILORS, reference, answer_file])[1]
        expect(name + ' repeats', again == out, 'a second run printed something else')
        words = run([SAILORS, reference, answer_file])[1]
        expect(name + ' in words', (verdict.capitalize() + ':') in words, words)


def check_counterexample(name, directory, reference, answer_file, report, rows):
    counterexample = report['counterexample']
    kept = rows_of(counterexample)
    if rows is not None:
        expect(name, len(kept) == rows, f'{len(kept)} rows kept, expected {rows}: {counterexample}')
    on_it = write(directory, 'counterexample.env', counterexample)
    code, out, _ = run(['--instances', '0', '--json', on_it, reference, answer_file])
    expect(name, code == 1 and json.loads(out)['where'] == 'given', 'no difference on the counterexample itself')
    # 1-minimal: without any one of its rows, the two agree there.
    for row in kept:
        write(directory, 'smaller.env', without_row(counterexample, row))
        code, out, _ = run(['--instances', '0', os.path.join(directory, 'smaller.env'), reference, answer_file])
        expect(name + ' is 1-minimal', code == 0, f'still differs without {row!r}')
    # Each result is the console's text of the expression on the counterexample.
    session = subprocess.run([sys.argv[1]], input=(open(reference).read() + counterexample).encode(),
                             capture_output=True, timeout=60).stdout.decode()
    expect(name, session.endswith(report['reference']), f'reference result {report["reference"]!r}')


def test_names_and_errors(directory):
    renamed = write(directory, 'renamed.txt', 'rename(project(Boat, bid), B(boat))\n')
    plain = write(directory, 'plain.txt', 'project(Boat, bid)\n')
    code, out, _ = run(['--json', SAILORS, plain, renamed])
    report = json.loads(out)
    expect('names are a note', code == 0 and any('named' in n for n in report['notes']), out)
    code, out, _ = run(['--json', '--strict-names', SAILORS, plain, renamed])
    expect('--strict-names', code == 1 and json.loads(out)['verdict'] == 'differs', out)
    # The intersection on names holds while no two sailors share a name and
    # a property: the given data has both Horatios old and well rated.
    reference = write(directory, 'both.txt', 'project(select(Sailor, AND(GT(age, 30), GT(rating, 5))), sname)\n')
    by_names = write(directory, 'names.txt',
                     'minus(project(select(Sailor, GT(age, 30)), sname), minus(project(select(Sailor, GT(age, 30)), '
                     'sname), project(select(Sailor, GT(rating, 5)), sname)))\n')
    code, out, _ = run(['--json', SAILORS, reference, by_names])
    report = json.loads(out)
    expect('intersection on names', code == 1 and report.get('where') == 'generated'
           and len(rows_of(report['counterexample'])) == 2, out)

    broken_env = write(directory, 'broken.env', 'R(a int)\n1, 2\n')
    bad_reference = write(directory, 'bad.txt', 'select(Sailor, GT(age, 1)\n')
    missing = os.path.join(directory, 'missing.txt')
    errors = [
        ('no arguments', [], 'usage:'),
        ('unknown option', ['--fast', SAILORS, plain, plain], 'unknown option --fast'),
        ('bad count', ['--instances', 'x', SAILORS, plain, plain], '--instances needs a number'),
        ('unreadable file', [SAILORS, missing, plain], f'Cannot read {missing}.'),
        ('environment that does not load', [broken_env, plain, plain], f'{broken_env}: '),
        ('reference that does not parse', [SAILORS, bad_reference, plain],
         f'{bad_reference}: Closing ) expected after select expression arguments in line 1, column 1'),
        ('reference that fails', [SAILORS, write(directory, 'r.txt', 'Nope\n'), plain], 'Relation Nope not found.'),
        ('lint without expression', ['--lint', SAILORS], 'usage:'),
        ('stdin twice', [SAILORS, '-', '-'], 'only once'),
    ]
    for name, args, message in errors:
        code, out, err = run(args)
        expect(name, code == 2 and message in err and out == '', f'exit {code}, stderr {err!r}')
    code, out, _ = run([SAILORS, '-', plain], stdin='project(Boat, bid)')
    expect('stdin as reference', code == 0, out)
    expect('--help', run(['--help'])[0] == 0 and 'qorvantel-check' in run(['--help'])[1])


LINT = [
    ('clean', 'project(Sailor, sname)', 0, []),
    ('missing column', "select(Sailor, AND(EQ(sid, 99),\n  EQ(nmae, 'x')))", 1, ['2:6: Column nmae not found']),
    ('kinds', 'select(Sailor, OR(GT(sid, 0), GT(sname, 3)))', 1, ['1:41: GT compares sname (char) with 3 (int)']),
    ('separator', 'select(Sailor, GT(age 2))', 1, ['1:23: no comma before 2']),
    ('Cartesian product', 'select(product(Sailor, Boat), GT(age, 2))', 1, ['1:8: no condition relates']),
    ('join', 'select(product(Sailor, rename(Reserve, R(a, b, c))), EQ(sid, a))', 0, []),
    ('always false', 'select(Sailor, AND(GT(1, 2), GT(age, 3)))', 1, ['1:1: the condition AND(GT(1, 2), GT(age, 3)) is always false']),
    ('always true part', 'select(Sailor, OR(EQ(age, age), GT(age, 3)))', 1, ['1:1: the condition OR(EQ(age, age), GT(age, 3)) is always true']),
    ('part constant', 'select(Sailor, AND(EQ(2, 2), GT(age, 3)))', 1, ['1:20: the condition EQ(2, 2) is always true']),
    ('schemas', 'union(Sailor, Boat)', 1, ['1:1: Cannot coerce']),
    ('parse error', 'project(Sailor', 1, [' Separating , expected between project expression arguments']),
    ('division', 'minus(project(Reserve, sid), project(minus(product(project(Reserve, sid), project(Boat, bid)), '
     'project(Reserve, sid, bid)), sid))', 0, []),
    ('product after minus', 'minus(Boat, product(project(Boat, bid, bname), project(Boat, color)))', 1,
     ['1:13: no condition relates']),
    ('equal to two values', "select(Boat, AND(EQ(color, 'red'), EQ(color, 'green')))", 1,
     ["1:14: the condition AND(EQ(color, 'red'), EQ(color, 'green')) is always false: no value of color meets"]),
    ('bounds apart', 'select(Sailor, AND(GT(rating, 7), LT(rating, 3)))', 1,
     ['1:16: the condition AND(GT(rating, 7), LT(rating, 3)) is always false: no value of rating meets']),
    ('bounds apart, nested', 'select(Sailor, AND(GTE(8, rating), AND(GT(rating, 7), NEQ(rating, 8))))', 1,
     ['1:16: the condition AND(GTE(8, rating), AND(GT(rating, 7), NEQ(rating, 8))) is always false']),
    ('strings apart', "select(Sailor, AND(GT(sname, 'b'), LTE(sname, 'b')))", 1, ['1:16: the condition']),
    ('bounds that meet', "select(Sailor, AND(GT(rating, 7), LT(rating, 9), GTE(sname, 'b'), LTE(sname, 'b')))", 0,
     []),
    ('decimal', 'select(Sailor, GT(rating, 7.5))', 1,
     ['1:27: decimal numbers are not part of the language: 7.5 is read as the integer 7']),
    ('decimal apart', 'select(Sailor, GT(rating, 7 .5))', 1, ['1:29: no comma before .5', '1:29: Column .5 not found']),
    ('rename names', 'rename(Boat, B(a b, c))', 1, ['1:18: no comma before b']),
    ('terms', 'union(Boat\n  Boat)', 1, ['2:3: no comma before Boat']),
]


def test_lint(directory):
    for name, source, status, notes in LINT:
        path = write(directory, 'lint.txt', source + '\n')
        code, out, _ = run(['--lint', SAILORS, path])
        expect('lint ' + name, code == status, f'exit {code}: {out}')
        lines = out.splitlines()
        expect('lint ' + name, len(lines) == len(notes), out)
        for line, note in zip(lines, notes):
            expect('lint ' + name, line.startswith(path + ':' + note), line)
    code, out, _ = run(['--lint', '--json', SAILORS, write(directory, 'l.txt', 'select(Sailor, GT(age 2))')])
    expect('lint json', json.loads(out) == {'notes': [{'line': 1, 'column': 23, 'message': json.loads(out)['notes'][0]['message']}]}, out)
    # Every bundled reference answer, the three divisions among them, is clean.
    for database in ('sailors', 'company', 'suppliers'):
        text = open(os.path.join(EXAMPLES, database + '.exercises')).read()
        for number, answer in re.findall(r'^== (\S+) .*?\n--- answer\n(.*?)\n', text, re.S | re.M):
            path = write(directory, 'answer.txt', answer + '\n')
            code, out, _ = run(['--lint', os.path.join(EXAMPLES, database + '.env'), path])
            expect(f'lint {database} {number}', code == 0 and out == '', out)


def test_grading(directory):
    for database in ('sailors', 'company', 'suppliers'):
        exercises = os.path.join(EXAMPLES, database + '.exercises')
        text = open(exercises).read()
        references = re.findall(r'^== (\S+) .*?\n--- answer\n(.*?)\n', text, re.S | re.M)
        submission = write(directory, 'all.txt', ''.join(f'== {i}\n{a}\n' for i, a in references))
        code, out, _ = run(['--grade', '--json', exercises, submission])
        result = json.loads(out)
        expect(database + ' references grade full', code == 0 and result['score'] == result['max_score'] > 0, out[:300])
        expect(database + ' results.json shape', list(result) == ['score', 'max_score', 'tests']
               and all(list(t) == ['name', 'score', 'max_score', 'output'] for t in result['tests']), out[:300])

    exercises = write(directory, 'ex.exercises', '# a test\ndatabase: ' + SAILORS + '\n== a [2 points]\nBoats.\n'
                      'forbid: minus\n--- answer\nproject(Boat, bid)\n--- answer\nproject(rename(Boat, B(bid, n, c)), bid)\n'
                      '== b\nSailors.\n--- answer\nSailor\n')
    good = write(directory, 'good.txt', '== a\nproject(\n  Boat, bid)\n== b\nSailor\n')
    forbidden = write(directory, 'forbidden.txt', '== a\nminus(project(Boat, bid), project(Boat, bid))\n')
    unknown = write(directory, 'unknown.txt', '== a\nproject(Boat, bid)\n== c\nSailor\n')
    code, out, _ = run(['--grade', exercises, good, forbidden, unknown])
    rows = {line.split()[0]: line.split()[1:] for line in out.splitlines()[1:4]}
    expect('grade table', rows.get(good) == ['2/2', '1/1', '3/3'] and rows.get(forbidden) == ['0/2', '0/1', '0/3']
           and rows.get(unknown) == ['0/2', '0/1', '0/3'], out)
    expect('grade forbid', 'uses minus, which this exercise forbids' in out, out)
    expect('grade unknown id', f'{unknown}:3: no exercise c in {exercises}.' in out, out)
    expect('grade status', code == 1)
    code, out, _ = run(['--grade', '--json', exercises, good, forbidden])
    lines = [json.loads(line) for line in out.splitlines()]
    expect('grade json lines', [line['submission'] for line in lines] == [good, forbidden], out)

    bad_files = [
        ('heading', '== \n--- answer\nBoat\n', ':1: an exercise heading'),
        ('no answer', 'database: x.env\n== a\nBoats.\n', ':2: exercise a has no'),
        ('forbid', 'database: x.env\n== a\nforbid: join\n--- answer\nBoat\n', ':3: cannot forbid join'),
        ('missing database', 'database: nowhere.env\n== a\n--- answer\nBoat\n', ':1: Cannot read'),
        ('no database', '== a\n--- answer\nBoat\n', ':1: exercise a has no database'),
        ('reference fails', f'database: {SAILORS}\n== a\n--- answer\nBoot\n', ':3: Relation Boot not found.'),
    ]
    for name, content, message in bad_files:
        path = write(directory, 'bad.exercises', content)
        code, out, err = run(['--grade', path, good])
        expect('exercise file ' + name, code == 2 and (path + message) in err, f'exit {code}: {err}')


def test_markdown_in_step():
    """The Markdown exercises show the same questions and answers."""
    for database in ('sailors', 'company', 'suppliers'):
        text = open(os.path.join(EXAMPLES, database + '.exercises')).read()
        ours = re.findall(r'^== (\S+) .*?\n(.*?)\n--- answer\n(.*?)\n', text, re.S | re.M)
        markdown = open(os.path.join(EXAMPLES, database + '-exercises.md')).read()
        theirs = re.findall(r'^## (\d+)\. (.*?)\n\n<details>.*?```session \w+\n\$(.*?)\n', markdown, re.S | re.M)
        expect(database + ' Markdown in step', ours == theirs, f'{len(ours)} against {len(theirs)}')


def test_man_page():
    page = os.path.join(HERE, '..', '..', 'man', 'qorvantel-check.1')
    if shutil.which('groff'):
        run_groff = subprocess.run(['groff', '-ww', '-z', '-man', page], capture_output=True, text=True)
        expect('man page', run_groff.returncode == 0 and not run_groff.stderr, run_groff.stderr)


def test_manual_report(directory):
    """The report shown in docs/checking.md is the program's, byte for byte."""
    chapter = open(os.path.join(HERE, '..', '..', 'docs', 'checking.md')).read()
    shown = re.search(r'```report\n(.*?)```', chapter, re.S).group(1)
    reference = write(directory, 'reference.txt', 'select(Sailor, LTE(25, age, 35))\n')
    answer = write(directory, 'answer.txt', 'select(Sailor, AND(GTE(age, 25), LT(age, 45)))\n')
    code, out, _ = run([SAILORS, reference, answer])
    expect('the manual\'s report', code == 1 and out == shown, out)


def main():
    test_man_page()
    with tempfile.TemporaryDirectory() as directory:
        test_verdicts(directory)
        test_names_and_errors(directory)
        test_lint(directory)
        test_grading(directory)
        test_manual_report(directory)
    test_markdown_in_step()
    for failure in failures:
        print('FAIL', failure)
    print(f'{len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
