#!/usr/bin/env python3
"""Checks that the WebAssembly module answers console lines byte for byte as
the native console does: every interactive golden case (one environment
file and console input), then a seeded batch of generated sessions.

usage: byte_exact.py NATIVE_BINARY MODULE.js [--seed N] [--sessions N]
"""
import argparse
import json
import os
import pathlib
import random
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / 'tests' / 'golden'))
import run_golden  # noqa: E402


def golden_sessions():
    """(name, environment bytes, console bytes) of each interactive case."""
    for path in sorted((ROOT / 'tests' / 'golden').glob('*.cases')):
        for case in run_golden.parse_cases(str(path)):
            files, stdin = {}, b''
            for section in case['sections']:
                content = run_golden.decode(section['content'], section['options'])
                if section['kind'] == 'file':
                    files[section['arg']] = content
                elif section['kind'] == 'stdin':
                    stdin = content
            if len(case['args']) == 1 and case['args'][0] in files:
                yield f'{path.stem}: {case["name"]}', files[case['args'][0]], stdin


NAMES = ['id', 'name', 'year', 'dept', 'x', 'y']


def generated_environment(rng):
    relations = []
    for relation_name in ['R', 'S', 'T']:
        columns = rng.sample(NAMES, rng.randint(1, 3))
        types = [rng.choice(['int', 'char(%d)' % rng.randint(1, 6)]) for _ in columns]
        lines = ['%s(%s)' % (relation_name, ', '.join(f'{c} {t}' for c, t in zip(columns, types)))]
        for _ in range(rng.randint(0, 6)):
            fields = [str(rng.randint(-3, 3)) if t == 'int' else repr(rng.choice(['a', 'b', 'ab', '', "o'k"]))
                      for t in types]
            lines.append(', '.join(fields))
        relations.append((relation_name, columns, lines))
    return relations


def generated_expression(rng, relations, depth=0):
    name, columns, _ = rng.choice(relations)
    if depth > 2 or rng.random() < 0.3:
        return rng.choice([name, name, 'Q'])
    inner = generated_expression(rng, relations, depth + 1)
    column = rng.choice(columns + NAMES)
    kind = rng.choice(['union', 'minus', 'product', 'select', 'project', 'rename', 'broken'])
    if kind in ('union', 'minus', 'product'):
        other = generated_expression(rng, relations, depth + 1)
        return f'{kind}({inner}, {other})'
    if kind == 'select':
        literal = rng.choice(['1', "'a'", '-2', column])
        return f'select({inner}, {rng.choice(["EQ", "LT", "GTE", "NEQ"])}({column}, {literal}))'
    if kind == 'project':
        return f'project({inner}, {column})'
    if kind == 'rename':
        return f'rename({inner}, N({", ".join(rng.sample(NAMES, rng.randint(1, 3)))}))'
    return rng.choice([f'select({inner}, XX(1))', f'{inner} trailing', f'union({inner}', f'project({inner})'])


def generated_sessions(seed, count):
    rng = random.Random(seed)
    for number in range(count):
        relations = generated_environment(rng)
        environment = ''.join(line + '\n' for _, _, lines in relations for line in lines)
        lines = [generated_expression(rng, relations) for _ in range(25)] + ['']
        yield f'generated {seed}/{number}', environment.encode(), ('\n'.join(lines) + '\n').encode()


def native_transcript(binary, environment, console, directory):
    path = os.path.join(directory, 'environment.txt')
    with open(path, 'wb') as f:
        f.write(environment)
    return subprocess.run([binary, path], input=console, stdout=subprocess.PIPE, timeout=60).stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('native')
    parser.add_argument('module')
    parser.add_argument('--seed', type=int, default=15)
    parser.add_argument('--sessions', type=int, default=40)
    options = parser.parse_args()

    sessions = list(golden_sessions()) + list(generated_sessions(options.seed, options.sessions))
    with tempfile.TemporaryDirectory() as directory:
        expected = [native_transcript(options.native, e, c, directory) for _, e, c in sessions]
        cases_path = os.path.join(directory, 'cases.json')
        out_path = os.path.join(directory, 'out.json')
        with open(cases_path, 'w', encoding='latin-1') as f:
            json.dump([{'environment': e.decode('latin-1'), 'console': c.decode('latin-1')}
                       for _, e, c in sessions], f)
        subprocess.run(['node', '--no-experimental-fetch', '--stack-size=4000', str(ROOT / 'web/tests/replay.cjs'),
                        options.module, cases_path, out_path], check=True, timeout=300)
        with open(out_path, encoding='latin-1') as f:
            actual = [t.encode('latin-1') for t in json.load(f)]

    passed = failed = 0
    for (name, _, _), want, got in zip(sessions, expected, actual):
        if want == got:
            passed += 1
        else:
            failed += 1
            at = next((i for i in range(min(len(want), len(got))) if want[i] != got[i]), min(len(want), len(got)))
            print(f'FAIL  {name}: differs at byte {at}\n  native: {want[at - 40:at + 80]!r}\n  module: {got[at - 40:at + 80]!r}')
    print(f'byte-exact: {passed} sessions identical, {failed} different')
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
