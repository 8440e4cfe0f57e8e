#!/usr/bin/env python3
"""Speed and shrinking figures of qorvantel-check.

    python3 bench/check_bench.py build/qorvantel-check
    python3 bench/check_bench.py build/qorvantel-check --grading --jobs 2 --repeat 3

1. One check on a database of a few hundred rows with expressions of 30
   operators, with the default instances: the slowest verdict ("same"
   searches every generated database) and a difference found on the sample.
2. Grading 200 submissions of 20 exercises each (a fifth of the answers
   wrong, every submission's answers written differently so that no answer
   is checked only once for many students), with --jobs N workers; wall,
   user and system time, each the median of --repeat runs. --grading
   runs this part alone.
3. How close shrinking gets to the smallest counterexample on wrong answers
   to the bundled exercises: each counterexample's size against the
   smallest found by trying every smaller subset of the given database
   (feasible there: the sailors database has 24 rows).

Only the Python standard library is used.
"""
import argparse
import itertools
import os
import random
import resource
import statistics
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, '..', 'examples')


def run(check, args):
    done = subprocess.run([check] + args, capture_output=True, timeout=600)
    return done.returncode, done.stdout.decode()


def big_database(rows, seed=7):
    rng = random.Random(seed)
    lines = ['Sailor(sid int, sname char(10), rating int, age int)']
    for sid in range(rows):
        lines.append(f"{sid}, '{rng.choice(['Ann', 'Bob', 'Cy', 'Di', 'Ed'])}{sid % 7}', {rng.randrange(11)}, "
                     f"{rng.randrange(16, 70)}")
    lines.append('Reserve(sid int, bid int, day char(10))')
    for _ in range(rows):
        lines.append(f"{rng.randrange(rows)}, {rng.randrange(100, 110)}, '2026-0{rng.randrange(1, 10)}-1{rng.randrange(10)}'")
    return '\n'.join(lines) + '\n'


def thirty_operators(bound):
    # 10 selects, 10 projects and unions between them: 29 operators and
    # 10 relation references.
    terms = [f'project(select(Sailor, AND(GT(age, {bound + i}), LT(rating, {9 - i % 3}))), sid)' for i in range(10)]
    expression = terms[0]
    for term in terms[1:]:
        expression = f'union({expression}, {term})'
    return expression


def timed(check, args, repeat=3):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        code, out = run(check, args)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, code


def single_checks(check, directory):
    database = os.path.join(directory, 'big.env')
    with open(database, 'w') as f:
        f.write(big_database(300))
    reference = os.path.join(directory, 'reference.txt')
    same = os.path.join(directory, 'same.txt')
    wrong = os.path.join(directory, 'wrong.txt')
    with open(reference, 'w') as f:
        f.write(thirty_operators(20) + '\n')
    with open(same, 'w') as f:
        f.write(thirty_operators(20).replace('union(', 'union(\n') + '\n')
    with open(wrong, 'w') as f:
        f.write(thirty_operators(21) + '\n')
    for name, answer, status in (('same (500 generated databases)', same, 0), ('differs on the sample', wrong, 1)):
        elapsed, code = timed(check, [database, reference, answer])
        print(f'one check, 600 rows, 29 operators, {name}: {elapsed:.3f} s (exit {code}, expected {status})')


def grading(check, directory, jobs=1, repeat=1):
    source = open(os.path.join(EXAMPLES, 'sailors.exercises')).read()
    references = re.findall(r'^== (\S+) .*?\n--- answer\n(.*?)\n', source, re.S | re.M)
    exercises = ['database: ' + os.path.join(os.path.abspath(EXAMPLES), 'sailors.env')]
    answers = []
    for n in range(20):
        ident, answer = references[n % len(references)]
        exercises += [f'== e{n} [1 point]', f'As exercise {ident}.', '--- answer', answer]
        answers.append(answer)
    path = os.path.join(directory, 'bench.exercises')
    with open(path, 'w') as f:
        f.write('\n'.join(exercises) + '\n')
    rng = random.Random(3)
    submissions = []
    for s in range(200):
        lines = []
        for n, answer in enumerate(answers):
            # Different spacing per student defeats the cache of identical
            # answer texts; a fifth are wrong: the literal 7 becomes 6 and
            # the like.
            text = answer.replace(', ', ',' + ' ' * (s % 3 + 1), s % 5 + 1)
            if rng.random() < 0.2:
                text = re.sub(r'\b(\d+)\b', lambda m: str(int(m.group(1)) + 1), text, count=1)
            lines += [f'== e{n}', text]
        name = os.path.join(directory, f's{s}.txt')
        with open(name, 'w') as f:
            f.write('\n'.join(lines) + '\n')
        submissions.append(name)
    walls, users, systems = [], [], []
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        code, out = run(check, ['--grade', '--jobs', str(jobs), path] + submissions)
        walls.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        users.append(after.ru_utime - before.ru_utime)
        systems.append(after.ru_stime - before.ru_stime)
    print(f'grading 200 submissions of 20 exercises, --jobs {jobs}: {statistics.median(walls):.1f} s wall, '
          f'{statistics.median(users):.1f} s user, {statistics.median(systems):.1f} s system '
          f'(median of {repeat}; exit {code})')


WRONG = [
    ('1', 'project(select(Sailor, GTE(rating, 7)), sname, age)'),
    ('2', 'select(Sailor, AND(GT(age, 25), LTE(age, 35)))'),
    ('3', 'project(select(product(Sailor, rename(Reserve, R(rsid, bid, day))), EQ(bid, 103)), sname)'),
    ('4', "project(select(product(product(Sailor, rename(Reserve, R(rsid, rbid, day))), Boat), "
          "AND(EQ(sid, rsid), EQ(color, 'red'))), sname)"),
    ('6', 'project(select(product(Sailor, rename(project(Reserve, sid), R(rsid))), NEQ(sid, rsid)), sname)'),
    ('7', "project(select(product(rename(Reserve, R(rsid, rbid, day)), Boat), AND(EQ(rbid, bid), "
          "EQ(color, 'red'))), rsid)"),
    ('10', 'minus(project(Sailor, sid), project(select(Reserve, EQ(bid, 101)), sid))'),
    ('12', 'project(select(product(Sailor, rename(select(project(Sailor, sid, rating), EQ(sid, 64)), '
           'H(hsid, hrating))), GTE(rating, hrating)), sid, sname, rating)'),
    ('13', 'project(select(product(project(Sailor, sid, rating), rename(project(Sailor, sid, rating), '
           'T(sid2, rating2))), AND(EQ(rating, rating2), LTE(sid, sid2))), sid, sid2, rating)'),
]
ROW = re.compile(r"^[-+0-9']")


def shrinking(check, directory):
    source = open(os.path.join(EXAMPLES, 'sailors.exercises')).read()
    database = open(os.path.join(EXAMPLES, 'sailors.env')).read()
    reference = os.path.join(directory, 'r.txt')
    answer = os.path.join(directory, 'a.txt')
    trial = os.path.join(directory, 't.env')
    total_found = total_smallest = 0
    for ident, wrong in WRONG:
        with open(reference, 'w') as f:
            f.write(source.split(f'\n== {ident} [')[1].split('--- answer\n')[1].split('\n')[0] + '\n')
        with open(answer, 'w') as f:
            f.write(wrong + '\n')
        code, out = run(check, ['--json', os.path.join(EXAMPLES, 'sailors.env'), reference, answer])
        found = len([line for line in eval(out.replace('null', 'None'))['counterexample'].split('\n') if ROW.match(line)])
        lines = database.split('\n')
        rows = [i for i, line in enumerate(lines) if ROW.match(line)]
        smallest = found
        for size in range(found):
            for chosen in itertools.combinations(rows, size):
                kept = [line for i, line in enumerate(lines) if not ROW.match(line) or i in chosen]
                with open(trial, 'w') as f:
                    f.write('\n'.join(kept))
                if run(check, ['--instances', '0', trial, reference, answer])[0] == 1:
                    smallest = size
                    break
            if smallest < found:
                break
        total_found += found
        total_smallest += smallest
        print(f'exercise {ident}: counterexample of {found} rows; smallest {smallest}')
    print(f'shrinking: {total_found} rows in all against {total_smallest} at the smallest')


def main():
    parser = argparse.ArgumentParser(description='Speed and shrinking figures of qorvantel-check.')
    parser.add_argument('check', nargs='?', default=os.path.join(HERE, '..', 'build', 'qorvantel-check'))
    parser.add_argument('--jobs', type=int, default=1, help='worker processes of the grading run')
    parser.add_argument('--repeat', type=int, default=1, help='grading runs to take the median of')
    parser.add_argument('--grading', action='store_true', help='the grading figures alone')
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        if not arguments.grading:
            single_checks(arguments.check, directory)
        grading(arguments.check, directory, arguments.jobs, arguments.repeat)
        if not arguments.grading:
            shrinking(arguments.check, directory)


if __name__ == '__main__':
    main()
