#!/usr/bin/env python3
"""Single-change mutants of the bundled reference answers: how many the
checker tells apart from their reference, and how often the part it blames
holds the change.

    python3 bench/mutants.py build/qorvantel-check [--jobs 2] [--limit N] [--show]

Each reference answer of examples/*.exercises is changed in one place, one
mutant per place and kind of change:

    comparison  an operator swapped for its neighbour (GT/GTE, LT/LTE, EQ/NEQ)
    constant    an integer one more, a string another value of the database
    connective  AND for OR and OR for AND
    condition   one part of an AND left out, or a select's whole condition
    column      a projected or compared column for another of its relation
    operand     the two sides of a minus or a product exchanged

Each mutant is checked against its reference with --json, and labelled with
the verdict and, when the checker gives one, its "guarantee". A mutant the
checker calls the same with a guarantee of "proved" or "bounded" is an
equivalent mutant and counts for neither rate; any other "same" is a miss.
Localisation: the mutant's "fault" range holds the changed text.

Only the Python standard library is used.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, '..', 'examples')
COMPARISONS = {'GT': 'GTE', 'GTE': 'GT', 'LT': 'LTE', 'LTE': 'LT', 'EQ': 'NEQ', 'NEQ': 'EQ'}
TOKEN = re.compile(r"\s*(?:('(?:[^'\\]|\\.)*')|(-?\d+)|([^\s,'()]+)|([(),]))")


class Node:
    """A call NAME(args) or an atom, with its span [start, end) in the text."""

    def __init__(self, text, start, end, args=None, name_end=None):
        self.text, self.start, self.end, self.args, self.name_end = text, start, end, args, name_end

    def walk(self, parent=None):
        yield self, parent
        for arg in self.args or []:
            yield from arg.walk(self)


def tokens(source):
    at = 0
    out = []
    while at < len(source):
        match = TOKEN.match(source, at)
        if not match or match.end() == at:
            break
        kind = next(i for i in range(1, 5) if match.group(i) is not None)
        out.append((kind, match.group(kind), match.start(kind), match.end(kind)))
        at = match.end()
    return out


def parse(source):
    items = tokens(source)
    position = 0

    def node():
        nonlocal position
        kind, text, start, end = items[position]
        position += 1
        if position < len(items) and items[position][1] == '(':
            position += 1
            args = []
            while items[position][1] != ')':
                args.append(node())
                if items[position][1] == ',':
                    position += 1
            close = items[position][3]
            position += 1
            return Node(text, start, close, args, end)
        return Node(text, start, end)

    return node()


def schemas(environment):
    """Relation name -> [(column, type)], from an environment file."""
    out = {}
    for line in open(environment):
        match = re.match(r'^(\w+)\((.*)\)\s*$', line)
        if match:
            out[match.group(1)] = [tuple(c.split()[:2]) for c in match.group(2).split(',')]
    return out


def strings_of(environment):
    return sorted(set(re.findall(r"'[^']*'", open(environment).read())))


def replaced(source, start, end, text):
    return source[:start] + text + source[end:], (start, start + len(text))


def mutants(source, environment):
    """(kind, mutant text, (start, end) of the change in the mutant)."""
    tree = parse(source)
    columns = schemas(environment)
    strings = strings_of(environment)
    column_type = {c: t for rel in columns.values() for c, t in rel}
    siblings = {c: [d for d, u in rel if d != c and u == t] for rel in columns.values() for c, t in rel}
    out = []
    for node, parent in tree.walk():
        if node.args is not None and node.text in COMPARISONS:
            out.append(('comparison',) + replaced(source, node.start, node.name_end, COMPARISONS[node.text]))
        if node.args is not None and node.text in ('AND', 'OR'):
            out.append(('connective',) + replaced(source, node.start, node.name_end,
                                                  'OR' if node.text == 'AND' else 'AND'))
            if node.text == 'AND' and len(node.args) == 2:
                for keep in node.args:
                    kept = source[keep.start:keep.end]
                    out.append(('condition',) + replaced(source, node.start, node.end, kept))
            elif node.text == 'AND':
                for i in range(len(node.args)):
                    rest = [source[a.start:a.end] for j, a in enumerate(node.args) if j != i]
                    out.append(('condition',) + replaced(source, node.start, node.end, 'AND(' + ', '.join(rest) + ')'))
        if node.args is not None and node.text == 'select' and node.args[1].text in COMPARISONS:
            operand = node.args[0]
            out.append(('condition',) + replaced(source, node.start, node.end, source[operand.start:operand.end]))
        if node.args is None and parent is not None and parent.text in COMPARISONS:
            if re.fullmatch(r'-?\d+', node.text):
                out.append(('constant',) + replaced(source, node.start, node.end, str(int(node.text) + 1)))
            elif node.text.startswith("'"):
                others = [s for s in strings if s != node.text]
                if others:
                    out.append(('constant',) + replaced(source, node.start, node.end, others[0]))
            elif siblings.get(node.text):
                out.append(('column',) + replaced(source, node.start, node.end, siblings[node.text][0]))
        if node.args is not None and node.text == 'project':
            for listed in node.args[1:]:
                if siblings.get(listed.text):
                    out.append(('column',) + replaced(source, listed.start, listed.end, siblings[listed.text][0]))
        if node.args is not None and node.text in ('minus', 'product') and len(node.args) == 2:
            a, b = node.args
            swapped = source[b.start:b.end] + ', ' + source[a.start:a.end]
            out.append(('operand',) + replaced(source, a.start, b.end, swapped))
    seen = set()
    unique = []
    for kind, text, change in out:
        if text != source and text not in seen:
            seen.add(text)
            unique.append((kind, text, change))
    return unique


def references():
    for path in sorted(os.listdir(EXAMPLES)):
        if not path.endswith('.exercises'):
            continue
        text = open(os.path.join(EXAMPLES, path)).read()
        database = re.search(r'^database: (\S+)', text, re.M).group(1)
        for exercise, answer in re.findall(r'^== (\S+) .*?\n--- answer\n(.*?)\n', text, re.S | re.M):
            yield path, exercise, os.path.join(EXAMPLES, database), answer


def offset(source, line, column):
    lines = source.split('\n')
    return sum(len(l) + 1 for l in lines[:line - 1]) + column - 1


def check(program, directory, index, environment, reference, mutant):
    ref = os.path.join(directory, f'r{index}.txt')
    ans = os.path.join(directory, f'a{index}.txt')
    with open(ref, 'w') as f:
        f.write(reference + '\n')
    with open(ans, 'w') as f:
        f.write(mutant + '\n')
    done = subprocess.run([program, '--json', environment, ref, ans], capture_output=True, text=True, timeout=600)
    return json.loads(done.stdout) if done.stdout.startswith('{') else {'verdict': 'error', 'error': done.stderr}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('program', nargs='?', default=os.path.join(HERE, '..', 'build', 'qorvantel-check'))
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('--limit', type=int, default=0, help='at most N mutants (0: all)')
    parser.add_argument('--show', action='store_true', help='print each mutant missed or misplaced')
    options = parser.parse_args()
    work = []
    for file, exercise, environment, answer in references():
        for kind, text, change in mutants(answer, environment):
            work.append((file, exercise, environment, answer, kind, text, change))
    if options.limit:
        work = work[:options.limit]
    with tempfile.TemporaryDirectory() as directory, ThreadPoolExecutor(options.jobs) as pool:
        reports = list(pool.map(lambda item: check(options.program, directory, item[0], item[1][2], item[1][3],
                                                   item[1][5]), enumerate(work)))
    kinds = {}
    for (file, exercise, _, answer, kind, text, change), report in zip(work, reports):
        row = kinds.setdefault(kind, {'mutants': 0, 'equivalent': 0, 'missed': 0, 'differs': 0, 'placed': 0,
                                      'width': 0})
        row['mutants'] += 1
        verdict = report.get('verdict')
        if verdict == 'same' and report.get('guarantee') in ('proved', 'bounded'):
            row['equivalent'] += 1
            continue
        if verdict != 'differs':
            row['missed'] += 1
            if options.show:
                print(f'missed {file} {exercise} {kind}: {text}')
            continue
        row['differs'] += 1
        fault = report.get('fault')
        if fault:
            first = offset(text, fault['line'], fault['column'])
            last = offset(text, fault['end_line'], fault['end_column'])
            if first <= change[0] and change[1] - 1 <= last:
                row['placed'] += 1
                row['width'] += (last - first + 1) / len(text)
                continue
        if options.show:
            print(f'misplaced {file} {exercise} {kind}: {text[:change[0]]}[[{text[change[0]:change[1]]}]]'
                  f'{text[change[1]:]}\n    fault {fault}')
    print(f'{"kind":<12}{"mutants":>8}{"equiv.":>8}{"missed":>8}{"differs":>8}{"placed":>8}{"width":>8}')
    total = {k: sum(r[k] for r in kinds.values()) for k in ('mutants', 'equivalent', 'missed', 'differs', 'placed',
                                                             'width')}
    for kind, row in sorted(kinds.items()) + [('all', total)]:
        width = row['width'] / row['placed'] if row['placed'] else 0
        print(f'{kind:<12}{row["mutants"]:>8}{row["equivalent"]:>8}{row["missed"]:>8}{row["differs"]:>8}'
              f'{row["placed"]:>8}{width:>8.0%}')
    judged = total['mutants'] - total['equivalent']
    print(f'detected {total["differs"]}/{judged} ({total["differs"] / max(judged, 1):.1%}); '
          f'fault range holds the change in {total["placed"]}/{total["differs"]} '
          f'({total["placed"] / max(total["differs"], 1):.1%}); width: the blamed range\'s share of the answer')
    return 0


if __name__ == '__main__':
    sys.exit(main())
