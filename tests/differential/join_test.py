#!/usr/bin/env python3
"""Differential test of selects over products against the product built.

A select over a product pairs the operands' rows without building the
product; a select over union(product(...)), a union of one term, is that
very product built in full and then filtered. Random relations (unsorted,
with repeated rows, some empty) and random conditions (equalities across
operands, filters on one operand, chains, NOT and OR, literals, and now and
then a column that does not exist or a comparison of an int with a string)
are run both ways in one console session each, and every answer, errors
included, must be byte for byte the same.

Usage: join_test.py PROGRAM [--seed N] [--count N]
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile

RELATIONS = {
    'A': [('a1', 'int'), ('a2', 'char(3)')],
    'B': [('b1', 'int'), ('b2', 'int')],
    'C': [('c1', 'char(3)'), ('c2', 'int')],
    'D': [('d1', 'int')],
}
STRINGS = ["'x'", "'y'", "'z'", "''"]


def literal(rng, kind):
    return str(rng.randint(-1, 4)) if kind == 'int' else rng.choice(STRINGS)


def environment(rng):
    text = []
    for name, columns in RELATIONS.items():
        text.append(f"{name}({', '.join(f'{c} {t}' for c, t in columns)})")
        count = rng.choice([0, 1, 2, 3, 5, 8, 12])
        rows = [', '.join(literal(rng, 'int' if t == 'int' else 'char') for _, t in columns) for _ in range(count)]
        rows += rng.sample(rows, min(len(rows), rng.randint(0, 2)))  # repeated rows
        text.extend(rows)
    return '\n'.join(text) + '\n'


def comparison(rng, columns, faults):
    kind = rng.choice(['int', 'char'])
    same = [c for c, t in columns if (t == 'int') == (kind == 'int')]
    operands = []
    for _ in range(rng.choice([2, 2, 2, 3])):
        roll = rng.random()
        if faults and roll < 0.04:
            operands.append('zz')
        elif faults and roll < 0.08:
            operands.append(rng.choice([c for c, _ in columns]))
        elif same and roll < 0.8:
            operands.append(rng.choice(same))
        else:
            operands.append(literal(rng, kind))
    op = rng.choice(['EQ', 'EQ', 'EQ', 'NEQ', 'LT', 'LTE', 'GT', 'GTE'])
    return f"{op}({', '.join(operands)})"


def condition(rng, columns, faults, depth=0):
    roll = rng.random()
    if depth < 2 and roll < 0.35:
        parts = [condition(rng, columns, faults, depth + 1) for _ in range(rng.randint(1, 4))]
        return f"AND({', '.join(parts)})"
    if depth < 2 and roll < 0.45:
        parts = [condition(rng, columns, faults, depth + 1) for _ in range(rng.randint(1, 3))]
        return f"OR({', '.join(parts)})"
    if depth < 2 and roll < 0.52:
        return f"NOT({condition(rng, columns, faults, depth + 1)})"
    return comparison(rng, columns, faults)


def query(rng):
    names = rng.sample(list(RELATIONS), rng.choice([2, 2, 3, 3, 4]))
    if rng.random() < 0.05:
        names.append(names[0])  # non-disjoint schemas
    columns = [c for name in names for c in RELATIONS[name]]
    faults = rng.random() < 0.3
    terms = ', '.join(names)
    joined, built = f'product({terms})', f'union(product({terms}))'
    for _ in range(rng.choice([1, 1, 1, 2, 3])):
        c = condition(rng, columns, faults)
        joined, built = f'select({joined}, {c})', f'select({built}, {c})'
    if rng.random() < 0.3:
        kept = [c for c, _ in rng.sample(columns, rng.randint(1, min(3, len(columns))))]
        if faults and rng.random() < 0.3:
            kept.append(rng.choice(['zz', kept[0]]))  # a column it lacks, or one twice
        elif rng.random() < 0.1:
            kept = [c for c, _ in columns]  # every column in order
        kept = ', '.join(kept)
        joined, built = f'project({joined}, {kept})', f'project({built}, {kept})'
    return joined, built


def answers(program, directory, env_text, lines):
    path = os.path.join(directory, 'env.txt')
    with open(path, 'w') as f:
        f.write(env_text)
    done = subprocess.run([program, path], input=('\n'.join(lines) + '\n').encode(), capture_output=True,
                          timeout=120)
    return done.stdout.split(b'$')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    parser.add_argument('--seed', type=int, default=20261209)
    parser.add_argument('--count', type=int, default=3000)
    options = parser.parse_args()
    rng = random.Random(options.seed)
    passed = failed = 0
    with tempfile.TemporaryDirectory() as directory:
        for _ in range(options.count // 50):
            env_text = environment(rng)
            pairs = [query(rng) for _ in range(50)]
            joined = answers(options.program, directory, env_text, [p[0] for p in pairs])
            built = answers(options.program, directory, env_text, [p[1] for p in pairs])
            if len(joined) != len(built):
                print('FAIL: the two sessions answered a different number of queries')
                failed += 1
                continue
            for i, (query_text, _) in enumerate(pairs):
                if joined[i + 1] == built[i + 1]:
                    passed += 1
                    continue
                failed += 1
                if failed <= 3:
                    print(f'FAIL {query_text}\n--- environment\n{env_text}--- joined\n{joined[i + 1].decode()}'
                          f'--- built\n{built[i + 1].decode()}')
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
