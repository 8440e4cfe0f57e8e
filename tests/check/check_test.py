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
        expect(name, [k for k in report if k in keys] == keys, f'keys {list(report)}')
        expect(name, ('guarantee' in report) == (verdict == 'same'), f'keys {list(report)}')
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
    code, out, _ = run(['--instances', '0', '--bound', '0', '--json', on_it, reference, answer_file])
    expect(name, code == 1 and json.loads(out)['where'] == 'given', 'no difference on the counterexample itself')
    # 1-minimal: without any one of its rows, the two agree there.
    for row in kept:
        write(directory, 'smaller.env', without_row(counterexample, row))
        code, out, _ = run(['--instances', '0', '--bound', '0', os.path.join(directory, 'smaller.env'), reference, answer_file])
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


SAILOR_CONSTRAINTS = ['--key', 'Sailor(sid)', '--key', 'Boat(bid)', '--references', 'Reserve(sid) -> Sailor(sid)',
                      '--references', 'Reserve(bid) -> Boat(bid)']
NAMES_AS_KEYS = ('minus(project(Sailor, sname), project(select(product(Sailor, rename(Reserve, R(rsid, bid, day))), '
                 'EQ(sid, rsid)), sname))')
NAMES_REFERENCE = ('project(minus(project(Sailor, sid, sname), project(select(product(Sailor, rename(Reserve, '
                   'R(rsid, bid, day))), EQ(sid, rsid)), sid, sname)), sname)')
# name, environment (None: sailors), reference, answer, options, verdict,
# guarantee (or where, for differs), words of the report.
GUARANTEES = [
    ('without minus: proved', None, 'project(select(Sailor, GT(rating, 7)), sname, age)',
     'project(select(Sailor, NOT(LTE(rating, 7))), sname, age)', [], 'same', 'proved',
     'Proved: the two give the same result on every database.'),
    ('with minus: bounded', None, 'minus(project(Sailor, sid), project(Reserve, sid))',
     'minus(project(Sailor, sid), project(select(Reserve, GTE(bid, -2147483647)), sid))', [], 'same', 'bounded',
     'no database with at most 4 rows in each relation'),
    ('no solver run: searched', None, 'minus(project(Sailor, sid), project(Reserve, sid))',
     'minus(project(Sailor, sid), project(Reserve, sid))', ['--bound', '0'], 'same', 'searched',
     'no difference found in 500 generated databases; not proved.'),
    ('the bound set', None, 'minus(project(Sailor, sid), project(Reserve, sid))',
     'minus(project(Sailor, sid), project(Reserve, sid))', ['--bound', '2'], 'same', 'bounded', 'at most 2 rows'),
    # Exercise 7 with one more join through Sailor: right only where every
    # reservation names a sailor.
    ('a join right under the references', None,
     "project(select(product(rename(Reserve, R(rsid, rbid, day)), Boat), AND(EQ(rbid, bid), EQ(color, 'red'))), rsid)",
     "project(select(product(product(rename(Reserve, R(rsid, rbid, day)), Boat), Sailor), "
     "AND(EQ(rbid, bid), EQ(rsid, sid), EQ(color, 'red'))), rsid)", SAILOR_CONSTRAINTS, 'same', 'proved',
     "on every database that keeps the exercise's keys and references"),
    ('the same join wrong without them', None,
     "project(select(product(rename(Reserve, R(rsid, rbid, day)), Boat), AND(EQ(rbid, bid), EQ(color, 'red'))), rsid)",
     "project(select(product(product(rename(Reserve, R(rsid, rbid, day)), Boat), Sailor), "
     "AND(EQ(rbid, bid), EQ(rsid, sid), EQ(color, 'red'))), rsid)", [], 'differs', 'generated', 'Differs'),
    ('names as keys', None, NAMES_REFERENCE, NAMES_AS_KEYS, [], 'differs', 'generated', 'Differs'),
    ('a large relation', 'big', 'r', 'select(r, GT(v, -1))', [], 'differs', 'generated', 'Differs'),
    ('a join of 100 rows', 'join', 'select(product(r, s), GT(v, w))', 'select(product(r, s), GTE(v, w))', [],
     'differs', 'generated', 'Differs'),
    ('solver only', 'join', 'select(product(r, s), GT(v, w))', 'select(product(r, s), GTE(v, w))',
     ['--instances', '0'], 'differs', 'generated', 'Differs'),
]


def test_guarantees(directory):
    environments = {
        None: SAILORS,
        'big': write(directory, 'big.env', 'r(id int, v int)\n' + ''.join(f'{i}, {i % 1000}\n' for i in range(100000))),
        'join': write(directory, 'join.env', 'r(id int, v int)\n' + ''.join(f'{i}, {2 * i}\n' for i in range(100))
                      + 's(id2 int, w int)\n' + ''.join(f'{i}, {2 * i + 1}\n' for i in range(100))),
    }
    for name, environment, reference, answer, options, verdict, guarantee, words in GUARANTEES:
        files = [environments[environment], write(directory, 'reference.txt', reference + '\n'),
                 write(directory, 'answer.txt', answer + '\n')]
        report = json.loads(run(['--json'] + options + files)[1])
        got = report.get('guarantee') if verdict == 'same' else report.get('where')
        expect(name, (report['verdict'], got) == (verdict, guarantee), f"{report['verdict']} {got}")
        if guarantee == 'bounded':
            bound = int(options[options.index('--bound') + 1]) if '--bound' in options else 4
            expect(name, report.get('bound') == bound, report.get('bound'))
        text = run(options + files)[1]
        expect(name + ' in words', words in text, text)
        if verdict == 'differs' and options == SAILOR_CONSTRAINTS:
            check_constraints_kept(name, report['counterexample'])
    # Names taken as keys are found whatever the seed.
    files = [SAILORS, write(directory, 'reference.txt', NAMES_REFERENCE + '\n'),
             write(directory, 'answer.txt', NAMES_AS_KEYS + '\n')]
    missed = [seed for seed in range(1, 21)
              if json.loads(run(['--json', '--bound', '0', '--seed', str(seed)] + files)[1])['verdict'] != 'differs']
    expect('names as keys on every seed', not missed, f'missed with seeds {missed}')


def check_constraints_kept(name, counterexample):
    """Every Reserve row names a Sailor and a Boat; sids and bids unique."""
    relations, current = {}, None
    for line in counterexample.split('\n'):
        if re.match(r'^\w+\(', line):
            current = line.split('(')[0]
            relations[current] = []
        elif line:
            relations[current].append([v.strip() for v in line.split(',')])
    sids = [r[0] for r in relations.get('Sailor', [])]
    bids = [r[0] for r in relations.get('Boat', [])]
    expect(name + ' keeps the keys', len(sids) == len(set(sids)) and len(bids) == len(set(bids)), counterexample)
    expect(name + ' keeps the references',
           all(r[0] in sids and r[1] in bids for r in relations.get('Reserve', [])), counterexample)


def test_constraints_and_failing_reference(directory):
    # Counterexamples keep the declared constraints, whatever the seed.
    reference = write(directory, 'reference.txt', reference_of('sailors.exercises', '10') + '\n')
    answer = write(directory, 'answer.txt', 'minus(project(Sailor, sid), project(select(Reserve, GT(bid, 102)), sid))\n')
    for seed in range(1, 11):
        report = json.loads(run(['--json', '--seed', str(seed)] + SAILOR_CONSTRAINTS + [SAILORS, reference, answer])[1])
        expect(f'constraints kept, seed {seed}', report['verdict'] == 'differs', report['verdict'])
        check_constraints_kept(f'seed {seed}', report['counterexample'])
    # A reference that fails on some databases is reported with one.
    reference = write(directory, 'reference.txt', 'select(Sailor, AND(GT(rating, 11), EQ(sname, 3)))\n')
    answer = write(directory, 'answer.txt', 'select(Sailor, GT(rating, 100))\n')
    for options in ([], ['--instances', '0'], ['--bound', '0']):
        report = json.loads(run(['--json'] + options + [SAILORS, reference, answer])[1])
        failed = report.get('reference_fails', {})
        expect(f'failing reference {options}', 'Type mismatch' in failed.get('message', ''), report)
        code, out, _ = run(options + [SAILORS, reference, answer])
        expect(f'failing reference in words {options}', 'The reference itself fails' in out, out)
    # Constraints that do not fit the database, or that it breaks.
    for options, message in [(['--key', 'Sailor(nosuch)'], 'Sailor has no column nosuch'),
                             (['--key', 'Sailor(sname)'], 'the database breaks key Sailor(sname)'),
                             (['--references', 'Sailor(sid) -> Reserve(sid)'], 'breaks reference'),
                             (['--key', 'Sailor'], 'a key is written')]:
        code, _, err = run(options + [SAILORS, reference, answer])
        expect('constraint ' + ' '.join(options), code == 2 and message in err, f'exit {code}: {err}')
    constraints = write(directory, 'constraints.txt', '# sailors\nkey: Sailor(sid)\n\nkey: Boat(bid, bname)\n')
    code, _, err = run(['--constraints', constraints, SAILORS, reference, answer])
    expect('constraints file', code == 0, err)
    bad = write(directory, 'bad-constraints.txt', 'key: Sailor(sid)\nkeys: Boat(bid)\n')
    code, _, err = run(['--constraints', bad, SAILORS, reference, answer])
    expect('bad constraints file', code == 2 and 'bad-constraints.txt:2:' in err, err)


def test_markdown_in_step():
    """The Markdown exercises show the same questions and answers."""
    for database in ('sailors', 'company', 'suppliers'):
        text = open(os.path.join(EXAMPLES, database + '.exercises')).read()
        ours = re.findall(r'^== (\S+) .*?\n(.*?)\n--- answer\n(.*?)\n', text, re.S | re.M)
        markdown = open(os.path.join(EXAMPLES, database + '-exercises.md')).read()
        theirs = re.findall(r'^## (\d+)\. (.*?)\n\n<details>.*?```session \w+\n\$(.*?)\n', markdown, re.S | re.M)
        expect(database + ' Markdown in step', ours == theirs, f'{len(ours)} against {len(theirs)}')
        # The keys and references, declared in both.
        declared = re.findall(r'^((?:key|references): .*)$', text, re.M)
        shown = re.findall(r'^    ((?:key|references): .*)$', markdown, re.M)
        expect(database + ' constraints in step', declared and declared == shown, f'{declared} against {shown}')


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
        test_guarantees(directory)
        test_constraints_and_failing_reference(directory)
    test_markdown_in_step()
    for failure in failures:
        print('FAIL', failure)
    print(f'{len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
