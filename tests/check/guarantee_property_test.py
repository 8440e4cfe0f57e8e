#!/usr/bin/env python3
"""Property test of the checker's guarantees: a "proved" or "bounded"
verdict is never contradicted, and every "differs" comes with a
counterexample the interpreter confirms.

Random pairs of expressions over tiny schemas (R(a int, b int), S(a int),
U(s char(2))), each pair an expression and a mutant or a rewriting of it,
are checked with --bound 2. For "same" with "proved" or "bounded", every
database of at most two rows per relation over a small domain (the ints 0,
1, 2 and the strings '', 'a', 'b', 'ab') is evaluated by the interpreter
itself, all in one run (each database under relation names of its own), and
none may show a difference: the reference gives a result and the answer
fails or gives other rows. For "differs", the counterexample must show a
difference in the interpreter. Seeded; a few hundred pairs in under a
minute.

Run with the path of qorvantel; qorvantel-check is found beside it.
Usage: guarantee_property_test.py QORVANTEL [PAIRS] [SEED]
"""
import itertools
import json
import os
import random
import re
import subprocess
import sys
import tempfile

QORVANTEL = os.path.abspath(sys.argv[1])
CHECK = os.path.join(os.path.dirname(QORVANTEL), 'qorvantel-check')
PAIRS = int(sys.argv[2]) if len(sys.argv) > 2 else 300
SEED = int(sys.argv[3]) if len(sys.argv) > 3 else 2026
BOUND = 2

SCHEMAS = {'R': [('a', 'int'), ('b', 'int')], 'S': [('a', 'int')], 'U': [('s', 'char(2)')]}
INTS = ['0', '1', '2']
STRINGS = ["''", "'a'", "'b'", "'ab'"]
GIVEN = "R(a int, b int)\n0, 1\n1, 1\n2, 0\nS(a int)\n1\nU(s char(2))\n'a'\n'ab'\n"
COMPARISONS = ['EQ', 'NEQ', 'LT', 'LTE', 'GT', 'GTE']


def schema_text(name, columns):
    return f"{name}({', '.join(c + ' ' + t for c, t in columns)})"


def literal_for(kind, rng):
    return rng.choice(INTS if kind == 'int' else STRINGS)


def condition(columns, rng, depth=0):
    """A condition over columns (name, kind); now and then one that raises:
    a column the rows lack or a literal of the other kind."""
    if depth < 2 and rng.random() < 0.35:
        op = rng.choice(['AND', 'OR', 'NOT'])
        if op == 'NOT':
            return f'NOT({condition(columns, rng, depth + 1)})'
        return f'{op}({condition(columns, rng, depth + 1)}, {condition(columns, rng, depth + 1)})'
    name, kind = rng.choice(columns)
    roll = rng.random()
    if roll < 0.05:
        other = 'zz'
    elif roll < 0.1:
        other = literal_for('char(2)' if kind == 'int' else 'int', rng)
    elif roll < 0.4:
        same = [c for c, k in columns if k == kind]
        other = rng.choice(same)
    else:
        other = literal_for(kind, rng)
    return f'{rng.choice(COMPARISONS)}({name}, {other})'


def expression(rng, depth=0):
    """An expression and its columns [(name, kind)]."""
    if depth >= 3 or rng.random() < 0.3:
        name = rng.choice(['R', 'S', 'U'])
        return name, list(SCHEMAS[name])
    op = rng.choice(['select', 'select', 'project', 'product', 'union', 'minus', 'rename'])
    inner, columns = expression(rng, depth + 1)
    if op == 'select':
        return f'select({inner}, {condition(columns, rng)})', columns
    if op == 'project':
        kept = rng.sample(columns, rng.randint(1, len(columns)))
        return f"project({inner}, {', '.join(c for c, _ in kept)})", kept
    if op == 'rename':
        fresh = [(f'{c}{depth}', k) for c, k in columns]
        return f"rename({inner}, X{depth}({', '.join(c for c, _ in fresh)}))", fresh
    if op == 'product':
        other, other_columns = expression(rng, depth + 1)
        fresh = [(f'{c}p{depth}', k) for c, k in other_columns]
        renamed = f"rename({other}, P{depth}({', '.join(c for c, _ in fresh)}))"
        return f'product({inner}, {renamed})', columns + fresh
    # union, minus: a second operand of the same kinds, renamed to match.
    for _ in range(6):
        other, other_columns = expression(rng, depth + 1)
        if [k for _, k in other_columns] == [k for _, k in columns]:
            renamed = f"rename({other}, Q{depth}({', '.join(c for c, _ in columns)}))"
            return f'{op}({inner}, {renamed})', columns
    return inner, columns


def mutant(text, rng):
    """A small change, or a rewriting that keeps the meaning."""
    choices = []
    for m in re.finditer(r'\b(EQ|NEQ|LTE|LT|GTE|GT)\(', text):
        choices.append(('comparison', m))
    for m in re.finditer(r'\b(AND|OR)\(', text):
        choices.append(('connective', m))
    for m in re.finditer(r'(?<![\w\'])([012])(?![\w])', text):
        choices.append(('constant', m))
    for m in re.finditer(r"('[ab]*')", text):
        choices.append(('string', m))
    for m in re.finditer(r'\b(union|minus)\(', text):
        choices.append(('operator', m))
    roll = rng.random()
    if roll < 0.25:
        return text  # the same text: must be proved or bounded
    if roll < 0.4:
        # select(E, AND(c1, c2)) and select(select(E, c1), c2) agree when
        # neither raises; when c1 raises the first may not reach c2 ...
        return f'select({text}, EQ(1, 1))' if rng.random() < 0.5 else f'union({text}, {text})'
    if not choices:
        return text
    kind, m = rng.choice(choices)
    word = m.group(1)
    if kind == 'comparison':
        new = rng.choice([c for c in COMPARISONS if c != word])
    elif kind == 'connective':
        new = 'OR' if word == 'AND' else 'AND'
    elif kind == 'constant':
        new = rng.choice([c for c in INTS if c != word])
    elif kind == 'string':
        new = rng.choice([c for c in STRINGS + ["'a '", "'b!'"] if c != word])
    else:
        new = 'minus' if word == 'union' else 'union'
    return text[:m.start(1)] + new + text[m.end(1):]


def rows_of(name, columns):
    kinds = [INTS if k == 'int' else STRINGS for _, k in columns]
    return [', '.join(values) for values in itertools.product(*kinds)]


def databases():
    """Every database of at most BOUND rows per relation over the domain."""
    per_relation = []
    for name, columns in SCHEMAS.items():
        rows = rows_of(name, columns)
        subsets = [()]
        for n in range(1, BOUND + 1):
            subsets += list(itertools.combinations(rows, n))
        per_relation.append(subsets)
    return list(itertools.product(*per_relation))


def relevant(text):
    return [name for name in SCHEMAS if re.search(rf'\b{name}\b', text)]


def renamed(text, suffix):
    return re.sub(r'\b([RSU])\b(?=[,)]|$)', lambda m: m.group(1) + suffix, text)


def interpret(environment, expressions):
    """The interpreter's output for each expression: the rows (a sorted
    tuple) and the kinds of the columns, or None when it fails."""
    with tempfile.NamedTemporaryFile('w', suffix='.env', delete=False) as f:
        f.write(environment)
        path = f.name
    try:
        done = subprocess.run([QORVANTEL, path], input='\n'.join(expressions) + '\n', capture_output=True,
                              text=True, timeout=120)
    finally:
        os.unlink(path)
    chunks = done.stdout.split('\n$')
    chunks[0] = chunks[0][1:] if chunks[0].startswith('$') else chunks[0]
    results = []
    for chunk in chunks[:len(expressions)]:
        lines = chunk.split('\n')
        head = lines[0]
        m = re.match(r'^\w*\((.*)\)$', head)
        if not m or 'not found' in head or 'mismatch' in head:
            results.append(None)
            continue
        kinds = tuple('int' if c.strip().endswith(' int') else 'char' for c in m.group(1).split(','))
        rows = tuple(sorted(line for line in lines[1:] if line))
        results.append((kinds, rows))
    return results


def differ(reference, answer):
    return reference is not None and (answer is None or reference != answer)


def exhaustive_difference(reference, answer, all_databases):
    """A database of the enumeration on which the two differ, or None."""
    used = sorted(set(relevant(reference) + relevant(answer)))
    seen = {}
    for database in all_databases:
        key = tuple(database[list(SCHEMAS).index(name)] for name in used)
        seen.setdefault(key, database)
    environment = ''
    expressions = []
    keys = list(seen)
    for i, key in enumerate(keys):
        for name, rows in zip(used, key):
            environment += schema_text(f'{name}_{i}', SCHEMAS[name]) + '\n' + ''.join(r + '\n' for r in rows)
        expressions += [renamed(reference, f'_{i}'), renamed(answer, f'_{i}')]
    results = interpret(environment, expressions)
    for i, key in enumerate(keys):
        if differ(results[2 * i], results[2 * i + 1]):
            return dict(zip(used, key))
    return None


def main():
    rng = random.Random(SEED)
    all_databases = databases()
    failures, counts = [], {}
    with tempfile.TemporaryDirectory() as directory:
        given = os.path.join(directory, 'given.env')
        with open(given, 'w') as f:
            f.write(GIVEN)
        for n in range(PAIRS):
            reference, _ = expression(rng)
            answer = mutant(reference, rng)
            if interpret(GIVEN, [reference])[0] is None:
                continue  # a reference that fails on the given database has no check
            paths = []
            for name, text in (('reference', reference), ('answer', answer)):
                paths.append(os.path.join(directory, name))
                with open(paths[-1], 'w') as f:
                    f.write(text + '\n')
            done = subprocess.run([CHECK, '--json', '--bound', str(BOUND), '--instances', '50', '--seed', str(n),
                                   given] + paths, capture_output=True, text=True, timeout=60)
            report = json.loads(done.stdout)
            kind = report['verdict'] if report['verdict'] == 'differs' else report.get('guarantee')
            counts[kind] = counts.get(kind, 0) + 1
            if report['verdict'] == 'differs':
                shown = interpret(report['counterexample'], [reference, answer])
                if not differ(*shown):
                    failures.append(f'{reference} / {answer}: the counterexample shows no difference')
            elif kind in ('proved', 'bounded'):
                found = exhaustive_difference(reference, answer, all_databases)
                if found is not None:
                    failures.append(f'{reference} / {answer}: {kind}, but they differ on {found}')
    for failure in failures:
        print('FAIL', failure)
    print(f'{PAIRS} pairs: {counts}; {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
