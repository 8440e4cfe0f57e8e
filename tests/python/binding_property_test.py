#!/usr/bin/env python3
"""Nothing a Python caller passes crashes the interpreter: a seeded random
property test of the binding layer. Each round calls one of the package's
entry points with arguments drawn from expressions and environments made
from the grammar's pieces, mutated texts (cut, spliced, NUL bytes, lone
surrogates, bytes that are not UTF-8), wrong types, huge numbers and
missing files. Every call must return or raise qorvantel.Error, TypeError,
ValueError or OverflowError; the rounds run in a child process so that a
crash (a signal) or a hang is seen, and a returned relation must match its
own text. Prints the rounds run.

Usage: binding_property_test.py PROGRAM (ignored) [--seed N] [--rounds N]
"""
import os
import random
import subprocess
import sys

from python_support import use_package

ROUNDS = 20000

CHILD = r'''
import os, random, sys
import qorvantel
rng = random.Random(int(sys.argv[1]))
rounds = int(sys.argv[2])
ENV = "R(a int, b char(3))\n1, 'x'\n2, 'yy'\n-3, ''\nS(c int)\n2\n7\nT(a int, b char(3))\n2, 'yy'\n"
PIECES = ['R', 'S', 'T', 'select(', 'project(', 'rename(', 'union(', 'minus(', 'product(', ')', '(', ', ', 'a', 'b',
          'c', 'EQ(', 'NEQ(', 'LT(', 'GTE(', 'AND(', 'OR(', 'NOT(', "'x'", "'", '1', '-2147483648', '2147483648',
          'U(d, e)', 'X(a, b)', '\n', ' ', '\x00', '\ud800', '\x1b', 'é', '"from"', '#', '7.5']
GOOD = ['R', 'select(R, GT(a, 0))', 'project(R, b)', 'union(R, T)', 'minus(R, T)', 'product(R, S)',
        'rename(S, U(d))', 'select(product(R, S), EQ(a, c))', 'project(select(R, LT(a, 2)), a)']


def text():
    roll = rng.random()
    if roll < 0.3:
        return rng.choice(GOOD)
    if roll < 0.6:
        base = rng.choice(GOOD)
        i = rng.randrange(len(base) + 1)
        return base[:i] + rng.choice(PIECES) + base[rng.randrange(i, len(base) + 1):]
    return ''.join(rng.choice(PIECES) for _ in range(rng.randint(0, 12)))


def environment_text():
    roll = rng.random()
    if roll < 0.5:
        return ENV
    i = rng.randrange(len(ENV))
    return ENV[:i] + rng.choice(PIECES) + ENV[i + rng.randint(0, 5):]


def anything():
    return rng.choice([None, 0, -1, 2 ** 70, 1.5, [], {}, b'\xff\xfe', object(), 'R', text()])


def argument(make):
    roll = rng.random()
    if roll < 0.08:
        return anything()
    if roll < 0.15:
        return make().encode('utf-8', 'surrogatepass')
    return make()


env = qorvantel.Environment.from_text(ENV)
calls = [
    lambda: env.evaluate(argument(text)),
    lambda: env.tree(argument(text)),
    lambda: qorvantel.Environment.from_text(argument(environment_text)),
    lambda: qorvantel.check(env, argument(text), argument(text), instances=rng.choice([0, 5, 20, -1, 10 ** 7]),
                            seed=rng.choice([1, 2 ** 64 - 1, -1])),
    lambda: qorvantel.lint(env, argument(text)),
    lambda: qorvantel.to_sql(argument(text), env, dialect=rng.choice(['sqlite', 'postgresql', 'duckdb', 'x', None]),
                             tables=rng.random() < 0.5),
    lambda: qorvantel.to_latex(argument(text)),
    lambda: qorvantel.Environment.from_file(rng.choice(['/nonexistent', '/', '/dev/null', '/proc/self/status'])),
    lambda: qorvantel.Environment.from_csv(rng.choice(['/nonexistent.csv', '/', '/dev/null']),
                                           types=rng.choice([None, 'a=int', 'x', '=', 'a=char(99999999999)'])),
    lambda: qorvantel.Environment.from_sqlite(rng.choice(['/nonexistent', '/', '/dev/null']), tables=['t']),
    lambda: qorvantel.grade(rng.choice(['/nonexistent', '/', '/dev/null']), ['/dev/null']),
    lambda: qorvantel.check(argument(environment_text), 'R', argument(text), instances=3),
]
allowed = (qorvantel.Error, TypeError, ValueError, OverflowError)
outcomes = {}
for number in range(rounds):
    call = rng.randrange(len(calls))
    try:
        got = calls[call]()
        if isinstance(got, qorvantel.Relation):
            assert len(got.rows) == len(got), 'rows and count disagree'
            assert str(got).count('\n') == len(got) + 2, 'text and rows disagree'
        outcome = 'returned'
    except allowed as error:
        outcome = type(error).__name__
        str(error)
    outcomes[outcome] = outcomes.get(outcome, 0) + 1
print(rounds, 'rounds:', ', '.join(f'{k} {v}' for k, v in sorted(outcomes.items())))
'''


def main():
    use_package()
    seed, rounds = 20261210, ROUNDS
    args = sys.argv[2:]
    if '--seed' in args:
        seed = int(args[args.index('--seed') + 1])
    if '--rounds' in args:
        rounds = int(args[args.index('--rounds') + 1])
    try:
        done = subprocess.run([sys.executable, '-c', CHILD, str(seed), str(rounds)], capture_output=True, text=True,
                              timeout=600)
    except subprocess.TimeoutExpired:
        print(f'FAIL the rounds of seed {seed} did not end within 600 s')
        return 1
    print(done.stdout.strip())
    if done.returncode != 0:
        print(f'FAIL seed {seed}: the child ended with status {done.returncode}\n{done.stderr[-3000:]}')
        return 1
    print('1 passed, 0 failed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
