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
            'counterexample', 'reference', 'answer', 'notes', 'instances'] + (
            ['difference'] if verdict == 'differs' else [])
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


R1 = 'project(select(Sailor, GT(rating, 7)), sname, age)'
R3 = 'project(select(product(Sailor, rename(Reserve, R(rsid, bid, day))), AND(EQ(sid, rsid), EQ(bid, 103))), sname)'
R7 = ("project(select(product(rename(Reserve, R(rsid, rbid, day)), Boat), AND(EQ(rbid, bid), OR(EQ(color, 'red'), "
      "EQ(color, 'green')))), rsid)")
R10 = 'minus(project(Sailor, sid), project(Reserve, sid))'
INTERSECTION = ('minus(project(select(Sailor, GT(age, 30)), %s), minus(project(select(Sailor, GT(age, 30)), %s), '
                'project(select(Sailor, GT(rating, 5)), %s)))')

# The part at fault, one case per kind of change: reference, answer,
# (line, column, end_line, end_column) and the message.
FAULTS = [
    ('comparison', R1, 'project(select(Sailor, GTE(rating, 7)), sname, age)', (1, 24, 1, 37),
     'this condition admits rating = 7, which the reference leaves out'),
    ('constant', R1, 'project(select(Sailor, GT(rating, 8)), sname, age)', (1, 35, 1, 35),
     'this condition leaves out rating = 8, which the reference keeps'),
    ('constant on line 2', R1, 'project(select(Sailor,\n  GT(rating, 6)),\n  sname, age)', (2, 14, 2, 14),
     'this condition admits rating = 7, which the reference leaves out'),
    ('compared column', R1, 'project(select(Sailor, GT(age, 7)), sname, age)', (1, 27, 1, 29),
     'this condition admits age = 45, which the reference leaves out'),
    ('connective', R7, R7.replace('OR(', 'AND('), (1, 87, 1, 127), 'this AND should be an OR'),
    ('join condition left out', R3, R3.replace('AND(EQ(sid, rsid), EQ(bid, 103))', 'EQ(bid, 103)'), (1, 69, 1, 80),
     'no condition relates Sailor.sid to R.rsid here'),
    ('condition added', R1, R1.replace('GT(rating, 7)', 'AND(GT(rating, 7), LT(age, 40))'), (1, 43, 1, 53),
     'this condition is not in the reference; it leaves out age = 55, which the reference keeps'),
    ('selection left out', R1, 'project(Sailor, sname, age)', (1, 9, 1, 14),
     'a selection is missing here: this keeps rating = 7, which the reference leaves out'),
    ('selection added', R10, 'minus(project(Sailor, sid), project(select(Reserve, GT(bid, 101)), sid))',
     (1, 37, 1, 65), 'this selection is not in the reference; it leaves out bid = 101, which the reference keeps'),
    ('projected column', R1, 'project(select(Sailor, GT(rating, 7)), sname, rating)', (1, 47, 1, 52),
     'this keeps rating where the reference keeps age'),
    ('a column more', R1, R1.replace('sname, age)', 'sname, age, rating)'), (1, 52, 1, 57),
     'this keeps rating, which the reference does not keep'),
    ('a column less', R1, R1.replace('sname, age)', 'sname)'), (1, 1, 1, 45),
     'this leaves out age, which the reference keeps'),
    ('difference on another column', INTERSECTION % (('sid',) * 3), INTERSECTION % (('sname',) * 3), (1, 1, 1, 149),
     'this difference is taken on sname; the reference compares sid'),
    ('names taken for keys', 'project(select(product(Sailor, rename(minus(project(select(Sailor, GT(age, 30)), sid), '
     'project(select(Sailor, GT(rating, 5)), sid)), D(dsid))), EQ(sid, dsid)), sname)',
     'minus(project(select(Sailor, GT(age, 30)), sname), project(select(Sailor, GT(rating, 5)), sname))', (1, 1, 1, 97),
     'this difference is taken on sname, which two rows of Sailor share in the counterexample; '
     'the reference compares sid'),
    ('operands exchanged', R10, 'minus(project(Reserve, sid), project(Sailor, sid))', (1, 1, 1, 50),
     'the two sides of this minus are the wrong way round'),
    ('relation', R1, 'project(select(Boat, GT(rating, 7)), sname, age)', (1, 16, 1, 19),
     'the reference reads Sailor here, not Boat'),
    ('column that does not exist', R1, 'project(select(Sailor, GT(ratin, 7)), sname, age)', (1, 27, 1, 31),
     'the answer fails here: Column ratin not found in schema Sailor(sid int, sname char(10), rating int, age int)'),
]


def pair(directory, expected, given):
    """The reference's and the answer's files."""
    return write(directory, 'pair_reference.txt', expected + '\n'), write(directory, 'pair_answer.txt', given + '\n')


def test_faults(directory):
    for name, expected, given, place, message in FAULTS:
        reference, answer = pair(directory, expected, given)
        code, out, _ = run(['--json', SAILORS, reference, answer])
        fault = json.loads(out).get('fault') or {}
        expect('fault ' + name, (fault.get('line'), fault.get('column'), fault.get('end_line'),
                                 fault.get('end_column')) == place and fault.get('message') == message, out)
        words = run([SAILORS, reference, answer])[1]
        expect('fault in words ' + name, 'The answer goes wrong at line %d, column' % place[0] in words
               and message + '.\n' in words, words)


# Why each differing row is there: reference, answer, and per row (side,
# relations of its rows, dropped_by).
PROVENANCE = [
    ('a join', R3, R3.replace('AND(EQ(sid, rsid), EQ(bid, 103))', 'EQ(bid, 103)'),
     [('answer', ['Reserve', 'Sailor'], 'EQ(sid, rsid)')]),
    ('a condition', R1, 'project(select(Sailor, GTE(rating, 7)), sname, age)',
     [('answer', ['Sailor'], 'GT(rating, 7)')]),
    ('a difference', R10, 'minus(project(Sailor, sid), project(select(Reserve, GT(bid, 101)), sid))',
     [('answer', ['Sailor'], R10)]),
    ('a difference that keeps too little', R10, 'minus(project(Sailor, sid), project(Sailor, sid))',
     [('reference', ['Sailor'], 'minus(project(Sailor, sid), project(Sailor, sid))')]),
]


def relation_rows(environment_text):
    """'Relation: row' for every row of an environment's text."""
    out, current = set(), None
    for line in environment_text.split('\n'):
        if re.match(r'^\w+\(', line):
            current = line.split('(')[0]
        elif line:
            out.add(f'{current}: {line}')
    return out


def test_provenance(directory):
    for name, expected, given, rows in PROVENANCE:
        reference, answer = pair(directory, expected, given)
        report = json.loads(run(['--json', SAILORS, reference, answer])[1])
        found = [(d['in'], sorted(w.split(':')[0] for w in d['why']), d.get('dropped_by'))
                 for d in report['difference']]
        expect('provenance ' + name, found == rows, report['difference'])
        kept = relation_rows(report['counterexample'])
        expect('provenance rows ' + name, all(w in kept for d in report['difference'] for w in d['why']),
               report['difference'])


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
        ('bad count', ['--instances', 'x', SAILORS, plain, plain], '--instances needs a number from 0 to 1000000, not x.'),
        ('unreadable file', [SAILORS, missing, plain], f'Cannot read {missing}: No such file or directory.'),
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


# Hostile input (issue 31, rows 1 to 4 and 9), as data: the name, the
# command line ({d} is the case's directory, {sailors} the sample
# database), standard input, the exit status, the text expected on standard
# error (status 2) or output, and the data limit in MiB to run under (None:
# the machine's). The files the cases name are made by make_hostile_files.
HOSTILE = [
    ('a directory as environment', ['{d}', '{d}/plain.txt', '{d}/plain.txt'], '', 2, '{d} is a directory.', None),
    ('a directory as answer', ['{sailors}', '{d}/plain.txt', '{d}'], '', 2, '{d} is a directory.', None),
    ('a device as answer', ['{sailors}', '{d}/plain.txt', '/dev/zero'], '', 2,
     '/dev/zero is a device, not a file.', None),
    ('a named pipe named in no command line', ['--grade', '{d}/fifo.exercises', '{d}/good.txt'], '', 2,
     '{d}/fifo.exercises:1: {d}/fifo is a named pipe, not a file.', None),
    ('a directory as database of an exercise', ['--grade', '{d}/dir.exercises', '{d}/good.txt'], '', 2,
     '{d}/dir.exercises:1: {d} is a directory.', None),
    ('a device as database of an exercise', ['--grade', '{d}/zero.exercises', '{d}/good.txt'], '', 2,
     '{d}/zero.exercises:1: /dev/zero is a device, not a file.', None),
    ('a directory as submission: said in its row, the others graded',
     ['--grade', '{d}/bom.exercises', '{d}', '{d}/good.txt'], '', 1, '\n{d} is a directory.\n', None),
    ('a file larger than the budget is refused before it is read',
     ['{d}/huge.env', '{d}/plain.txt', '{d}/plain.txt'], '', 2, '{d}/huge.env is larger than the memory budget of ',
     256),
    ('standard input past the budget', ['{sailors}', '{d}/plain.txt', '-'], '/dev/zero', 2,
     'Standard input is larger than the memory budget of ', 256),
    ('byte order marks before environment, reference and answer',
     ['{d}/bom.env', '{d}/bom-plain.txt', '{d}/bom-plain.txt'], '', 0, 'Same: no difference found', None),
    ('byte order marks before exercise file and submission', ['--grade', '{d}/bom.exercises', '{d}/bom-good.txt'],
     '', 0, ' 1/1       1/1', None),
    ('--seed -1', ['--seed', '-1', '{sailors}', '{d}/plain.txt', '{d}/plain.txt'], '', 2,
     '--seed needs a number from 0 to 18446744073709551615, not -1.', None),
    ('--seed with nothing after it', ['{sailors}', '{d}/plain.txt', '{d}/plain.txt', '--seed'], '', 2,
     '--seed needs a number from 0 to 18446744073709551615.', None),
]

BOM = '\ufeff'


def make_hostile_files(directory):
    write(directory, 'plain.txt', 'project(Boat, bid)\n')
    write(directory, 'bom-plain.txt', BOM + 'project(Boat, bid)\n')
    write(directory, 'bom.env', BOM + open(SAILORS).read())
    write(directory, 'good.txt', '== a\nproject(Boat, bid)\n')
    write(directory, 'bom-good.txt', BOM + '== a\nproject(Boat, bid)\n')
    exercise = '== a\n--- answer\nproject(Boat, bid)\n'
    write(directory, 'bom.exercises', BOM + 'database: bom.env\n' + exercise)
    write(directory, 'dir.exercises', f'database: {directory}\n' + exercise)
    write(directory, 'zero.exercises', 'database: /dev/zero\n' + exercise)
    write(directory, 'fifo.exercises', 'database: fifo\n' + exercise)
    os.mkfifo(os.path.join(directory, 'fifo'))
    with open(os.path.join(directory, 'huge.env'), 'wb') as f:
        f.truncate(1 << 30)


def limited(mib):
    if mib is None:
        return None
    import resource

    def limit():
        resource.setrlimit(resource.RLIMIT_DATA, (mib << 20, mib << 20))
    return limit


def test_hostile(directory):
    make_hostile_files(directory)
    for name, args, stdin, status, message, mib in HOSTILE:
        if mib is not None and os.environ.get('QORVANTEL_SANITIZED') == '1':
            continue  # a data limit leaves a sanitizer no room for its shadow memory
        args = [a.format(d=directory, sailors=SAILORS) for a in args]
        message = message.format(d=directory)
        with open(stdin or os.devnull, 'rb') as source:
            try:
                done = subprocess.run([CHECK] + args, stdin=source, capture_output=True, timeout=60,
                                      preexec_fn=limited(mib))
            except subprocess.TimeoutExpired:
                expect('hostile: ' + name, False, 'no answer in 60 s')
                continue
        shown = (done.stderr if status == 2 else done.stdout).decode('utf-8', 'replace')
        expect('hostile: ' + name, done.returncode == status and message in shown,
               f'exit {done.returncode}, expected {status}; {shown[-400:]!r}')
    # A pipe the user names on the command line is read: <(command).
    done = subprocess.run(['bash', '-c', f'"$0" "$1" <(echo "project(Boat, bid)") "$2"', CHECK, SAILORS,
                           os.path.join(directory, 'plain.txt')], capture_output=True, timeout=60)
    expect('hostile: a pipe named on the command line is read', done.returncode == 0, done.stderr)


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
           and rows.get(unknown)[:3] == ['2/2', '0/1', '2/3'], out)
    expect('grade forbid', 'uses minus, which this exercise forbids' in out, out)
    expect('grade unknown id', f'{unknown}:3: no exercise c in {exercises}; this answer is not graded.' in out, out)
    expect('grade status', code == 1)
    code, out, _ = run(['--grade', '--json', exercises, good, forbidden])
    lines = [json.loads(line) for line in out.splitlines()]
    expect('grade json lines', [line['submission'] for line in lines] == [good, forbidden], out)

    test_broken_submissions(directory, exercises)

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


# A bad block costs that block alone: name, submission, the row's marks,
# the problems reported (in line order).
BROKEN_SUBMISSIONS = [
    ('stray block', '== a\nproject(Boat, bid)\n== 14\nBoat\n== b\nSailor\n', ['2/2', '1/1', '3/3'],
     [':3: no exercise 14 in EX; this answer is not graded.']),
    ('repeated id, last counts', '== a\nBoat\n== b\nSailor\n== a\nproject(Boat, bid)\n', ['2/2', '1/1', '3/3'],
     [':5: exercise a is answered twice (lines 1 and 5); the answer on line 5 counts.']),
    ('id with a full stop', '== a.\nproject(Boat, bid)\n== b)\nSailor\n', ['2/2', '1/1', '3/3'],
     [':1: "== a." is read as exercise a.', ':3: "== b)" is read as exercise b.']),
    ('byte order mark', '\ufeff== a\nproject(Boat, bid)\n== b\nSailor\n', ['2/2', '1/1', '3/3'], []),
    ('byte order mark, CRLF', '\ufeff== a\r\nproject(Boat, bid)\r\n== b\r\nSailor\r\n', ['2/2', '1/1', '3/3'], []),
    ('text before the first block', 'my answers\n== a\nproject(Boat, bid)\n', ['2/2', '0/1', '2/3'],
     [':1: text before the first "== ID" is not graded.']),
    ('heading without an id', '== a\nproject(Boat, bid)\n==\nBoat\n== b\nSailor\n', ['2/2', '1/1', '3/3'],
     [':3: a heading with no exercise id; the lines below it are not graded.']),
]


# Exercise files: name, the file after its database line, a submission,
# the row's marks, a warning expected on standard error.
EXERCISE_RULES = [
    ('half points', '== a [0.5 points]\n--- answer\nBoat\n== b [1.5 points]\n--- answer\nSailor\n',
     '== a\nBoat\n== b\nBoat\n', ['0.5/0.5', '0/1.5', '0.5/2'], ''),
    ('forbid after the answer', '== a\n--- answer\nproject(Boat, bid)\nforbid: minus\n',
     '== a\nminus(project(Boat, bid), project(select(Boat, EQ(bid, 0)), bid))\n', ['0/1', '0/1'], ''),
    ('a reference its rules forbid', '== a\nforbid: select\n--- answer\nselect(Boat, GT(bid, 0))\n',
     '== a\nBoat\n', ['0/1', '0/1'], ':4: the accepted answer uses select, which exercise a forbids.'),
]


def test_exercise_rules(directory):
    submission = os.path.join(directory, 'rules.txt')
    for name, content, answers, marks, warning in EXERCISE_RULES:
        exercises = write(directory, 'rules.exercises', f'database: {SAILORS}\n' + content)
        write(directory, 'rules.txt', answers)
        code, out, err = run(['--grade', exercises, submission])
        expect('exercise rule ' + name, out.splitlines()[1].split()[1:] == marks, out + err)
        expect('exercise rule warning ' + name, (exercises + warning in err) if warning else err == '', err)
        result = json.loads(run(['--grade', '--json', exercises, submission])[1])
        expect('exercise rule json ' + name, f"{result['score']}/{result['max_score']}".replace('.0', '')
               == marks[-1], result)
    for points in ('0.25', '1.', '-1', '1000000.5', 'x'):
        exercises = write(directory, 'rules.exercises', f'database: {SAILORS}\n== a [{points} points]\n--- answer\nBoat\n')
        code, _, err = run(['--grade', exercises, submission])
        expect('points ' + points, code == 2 and 'in steps of 0.5' in err, err)


def test_long_results(directory):
    """Results are cut to 20 rows with their count, in words, in JSON and for Gradescope."""
    environment = write(directory, 'long.env', 'R(a int, b char(200))\n'
                        + ''.join(f"{i}, '{'x' * 190}{i}'\n" for i in range(3000)))
    reference = write(directory, 'long_r.txt', 'R\n')
    answer = write(directory, 'long_a.txt', 'union(R, R)\n')
    code, out, _ = run([environment, reference, answer])
    expect('long result cut', code == 0 and out.count('... and 2980 rows more, 3000 in all') == 2
           and len(out) < 20000, out[-300:])
    report = json.loads(run(['--json', environment, reference, answer])[1])
    expect('long result cut in JSON', report['answer'].endswith('... and 2980 rows more, 3000 in all\n\n'), report)
    exercises = write(directory, 'long.exercises', f'database: {environment}\n== a\n--- answer\nR\n== b\n--- answer\nR\n')
    submission = write(directory, 'long.txt', '== a\nunion(R, R)\n== b\nselect(R, GT(a, 0))\n')
    out = run(['--grade', '--json', exercises, submission])[1]
    expect('Gradescope output small', all(len(t['output']) < 1 << 20 for t in json.loads(out)['tests'])
           and len(out) < 1 << 20, len(out))


def test_broken_submissions(directory, exercises):
    for name, content, marks, problems in BROKEN_SUBMISSIONS:
        path = os.path.join(directory, 'broken.txt')
        with open(path, 'w', encoding='utf-8', newline='') as f:
            f.write(content)
        code, out, _ = run(['--grade', exercises, path])
        row = out.splitlines()[1].split()
        expect('submission ' + name, row[1:4] == marks, out)
        expect('submission ' + name + ' marked', (len(row) > 4) == bool(problems), out)
        reported = [line[len(path):] for line in out.splitlines() if line.startswith(path + ':')]
        expect('submission ' + name + ' problems', reported == [p.replace('EX', exercises) for p in problems], out)
        code, out, _ = run(['--grade', '--json', exercises, path])
        result = json.loads(out)
        expect('submission ' + name + ' json', result['score'] == int(marks[2].split('/')[0])
               and ('output' in result) == bool(problems), out)


# Grading in worker processes: each case's words or JSON, warnings and
# exit status at --jobs 2 and 3 are those of --jobs 1, byte for byte. Name,
# the exercise file, the options, how the submissions are made from its
# accepted answers, the data limit in MiB (None: the program's own budget).
def bumped(answer):
    return re.sub(r'\b(\d+)\b', lambda m: str(int(m.group(1)) + 1), answer, count=1)


PRODUCTS = ('project(' + 'product(' * 6 + 'Sailor'
            + ''.join(f', rename(Sailor, S{n}(i{n}, n{n}, r{n}, a{n})))' for n in range(6)) + ', sid)')
JOBS = [
    ('sailors, right and wrong', 'sailors', [], lambda refs, s: [(i, bumped(a) if (k + s) % 3 == 0 else a)
                                                                 for k, (i, a) in enumerate(refs[:7])], None),
    ('company, spacing differs per student', 'company', ['--json'],
     lambda refs, s: [(i, a.replace(', ', ',' + ' ' * s)) for i, a in refs], None),
    ('suppliers, gaps, repeats and a stray block', 'suppliers', [], lambda refs, s: refs[s:] + refs[:1] + [('99', 'x')],
     None),
    ('sailors, an answer too large for a small memory budget', 'sailors', ['--json'],
     lambda refs, s: refs[s:2] + [(refs[2][0], PRODUCTS)], 256),
]
JOBS_REFUSED = ['0', '65', '-1', 'two', '2.5', '']


def graded_at(jobs, args, mib):
    done = subprocess.run([CHECK, '--grade', '--jobs', str(jobs)] + args, capture_output=True, timeout=300,
                          preexec_fn=limited(mib))
    return done.returncode, done.stdout, done.stderr


def test_grading_jobs(directory):
    for name, database, options, make, mib in JOBS:
        if mib is not None and os.environ.get('QORVANTEL_SANITIZED') == '1':
            continue  # a data limit leaves a sanitizer no room for its shadow memory
        exercises = os.path.join(EXAMPLES, database + '.exercises')
        refs = re.findall(r'^== (\S+) .*?\n--- answer\n(.*?)\n', open(exercises).read(), re.S | re.M)
        submissions = [write(directory, f'jobs{s}.txt', ''.join(f'== {i}\n{a}\n' for i, a in make(refs, s)))
                       for s in range(2)]
        args = options + [exercises] + submissions + [os.path.join(directory, 'missing.txt')]
        alone = graded_at(1, args, mib)
        expect(f'jobs {name}: graded', alone[0] == 1 and b'missing.txt' in alone[1], alone)
        for jobs in (2, 3):
            shared = graded_at(jobs, args, mib)
            expect(f'jobs {name}: --jobs {jobs} as --jobs 1', shared == alone,
                   f'{shared[0]} against {alone[0]}\n{shared[1][:400]!r}\n{alone[1][:400]!r}')
    for jobs in JOBS_REFUSED:
        code, out, err = run(['--grade', '--jobs', jobs, os.path.join(EXAMPLES, 'sailors.exercises'), submissions[0]])
        expect(f'--jobs {jobs!r} refused', code == 2 and out == ''
               and err.startswith(f'qorvantel-check: --jobs needs a number from 1 to 64, not {jobs}.\nusage:'), err)
    code, _, err = run(['--grade', os.path.join(EXAMPLES, 'sailors.exercises'), '--jobs'])
    expect('--jobs at the end', code == 2 and 'qorvantel-check: --jobs needs a number from 1 to 64.\n' in err, err)
    code, _, err = run(['--jobs', '2', SAILORS, submissions[0], submissions[0]])
    expect('--jobs without --grade', code == 2 and '--jobs works with --grade only.' in err, err)
    test_workers_ended(directory)


def children_of(pid):
    found = subprocess.run(['pgrep', '-P', str(pid)], capture_output=True, text=True).stdout.split()
    return [int(child) for child in found]


def test_workers_ended(directory):
    """A killed worker costs its answer alone; an interrupt ends every worker; none is left behind."""
    import signal
    import time
    exercises = os.path.join(EXAMPLES, 'sailors.exercises')
    refs = re.findall(r'^== (\S+) .*?\n--- answer\n(.*?)\n', open(exercises).read(), re.S | re.M)
    submissions = [write(directory, f'slow{s}.txt', ''.join(f'== {i}\n{a.replace(", ", "," + " " * s)}\n'
                                                            for i, a in refs)) for s in range(3)]
    for how in ('a worker killed', 'an interrupt'):
        grading = subprocess.Popen([CHECK, '--grade', '--jobs', '2', exercises] + submissions, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, start_new_session=True)
        workers = []
        for _ in range(100):
            workers = children_of(grading.pid)
            if len(workers) == 2 or grading.poll() is not None:
                break
            time.sleep(0.05)
        if len(workers) < 2:
            grading.communicate(timeout=300)
            continue  # done before both workers were seen: nothing to stop
        os.kill(workers[0] if how == 'a worker killed' else grading.pid,
                signal.SIGKILL if how == 'a worker killed' else signal.SIGINT)
        out, _ = grading.communicate(timeout=300)
        time.sleep(0.2)
        left = [w for w in workers if os.path.exists(f'/proc/{w}') and 'Z' not in open(f'/proc/{w}/stat').read().split()[2]]
        expect(f'{how}: no worker left', left == [], left)
        if how == 'an interrupt':
            expect('an interrupt ends grading by its signal', grading.returncode == -signal.SIGINT, grading.returncode)
            continue
        rows = out.decode().splitlines()[1:1 + len(submissions)]
        expect('a worker killed: every submission graded', [row.split()[0] for row in rows] == submissions, out[:500])
        expect('a worker killed: its answer fails with the reason', grading.returncode == 1 and
               b'its worker process ended by signal 9' in out, out[-500:])


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
        test_faults(directory)
        test_provenance(directory)
        test_names_and_errors(directory)
    with tempfile.TemporaryDirectory() as directory:
        test_hostile(directory)
    with tempfile.TemporaryDirectory() as directory:
        test_lint(directory)
        test_grading(directory)
        test_exercise_rules(directory)
        test_long_results(directory)
        test_grading_jobs(directory)
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
