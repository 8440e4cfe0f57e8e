#!/usr/bin/env python3
"""Checks that the tools evaluate through the one walk, and that no
environment is made by writing one out and reading it back.

The algebra layer owns evaluation: expression::evaluate and the walk that
reports each node (algebra/observed_evaluation.h), with the fold order of
union, minus and product and the join. A tool is an observer of that walk
or a caller of evaluate; it never applies an operator to results itself
and never folds operands. Outside src/algebra/ the check fails on
  - a call of apply( on anything (the operators' one-step evaluation);
  - a call of the fold's and the join's parts: step_schema, coerce (outside
    src/relations/, which defines it), gather_product_operands, find_join,
    evaluate_join, pair_operands, conditions_tested_together;
  - a file that walks a tree's operands() or terms() and evaluates too
    (calls evaluate( itself): a fold of its own.
Anywhere in src/ it fails on an environment read from text that was just
written: a reader of environment text (parsing<environment>,
parse_whole<environment>, load_environment) given text_of(, .text(),
written( or .str() on the same line, or a file that reads environments and
makes a text from a stream's .str() (how an environment was written out to
be parsed back).

A few files are known to break a rule until the engineer who owns them
ports them to the walk; they are listed in PENDING, and the check fails when
a listed file no longer breaks the rule, so that the entry is removed.

Run with no arguments, or with the program's path (ignored), as the test
suite does. Exits 1 and names each offence when the check fails.
"""
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from layering_test import write_tree  # noqa: E402

SOURCE_ENDINGS = ('.h', '.cpp')

APPLY = re.compile(r'(?:\.|->)\s*apply\s*\(')
FOLD_PARTS = re.compile(r'\b(step_schema|coerce|gather_product_operands|find_join|evaluate_join|pair_operands|'
                        r'conditions_tested_together)\s*\(')
WALKS_OPERANDS = re.compile(r'\b(operands|terms)\s*\(\s*\)')
EVALUATES = re.compile(r'\bevaluate\s*\(')
READS_ENVIRONMENT = re.compile(r'parsing\s*<\s*environment\s*>|parse_whole\s*<\s*environment\s*>|'
                               r'\bload_environment\s*\(')
WRITTEN_TEXT = re.compile(r'\btext_of\s*\(|\.text\s*\(\s*\)|\bwritten\s*\(|\.str\s*\(\s*\)')
TEXT_FROM_STREAM = re.compile(r'\btext\s+\w+\s*[({]\s*\w+\.str\s*\(\s*\)')

# Files that break a rule today, each with the rule and who ports it.
PENDING = {
    # The solver's encoding translates the tree into formulas over symbolic
    # rows, as the SQL translator writes SQL: it never evaluates relations,
    # and its evaluate( is of conditions over symbolic values.
    ('check/symbolic_encoding.cpp', 'fold'): 'a translation into formulas, not an evaluation',
}


def code_of(line):
    """The line without its // comment and with string literals emptied."""
    line = re.sub(r'"(?:\\.|[^"\\])*"', '""', line)
    return line.split('//', 1)[0]


def offences_in(relative, lines):
    """(rule, message) for every offence of one file; relative is its path under src/."""
    layer = relative.split('/')[0]
    found = []
    code = [code_of(line) for line in lines]
    if layer != 'algebra':
        for number, line in enumerate(code, 1):
            if APPLY.search(line):
                found.append(('apply', f'{relative}:{number}: calls apply( outside src/algebra/'))
            for match in FOLD_PARTS.finditer(line):
                if match.group(1) == 'coerce' and layer == 'relations':
                    continue
                found.append(('fold', f'{relative}:{number}: calls {match.group(1)}( outside src/algebra/'))
        walks = [n for n, line in enumerate(code, 1) if WALKS_OPERANDS.search(line)]
        evaluates = [n for n, line in enumerate(code, 1) if EVALUATES.search(line)]
        if walks and evaluates:
            found.append(('fold', f'{relative}:{walks[0]}: walks operands and evaluates (line {evaluates[0]}): '
                                  f'a fold of its own; use evaluate_observed'))
    reads = [n for n, line in enumerate(code, 1) if READS_ENVIRONMENT.search(line)]
    for number in reads:
        if WRITTEN_TEXT.search(code[number - 1]):
            found.append(('reparse', f'{relative}:{number}: reads an environment from text just written; '
                                     f'build it from relations (environment::of, without_rows)'))
    if reads:
        for number, line in enumerate(code, 1):
            if TEXT_FROM_STREAM.search(line):
                found.append(('reparse', f'{relative}:{number}: makes a text from a stream in a file that reads '
                                         f'environments; build the environment from relations'))
    return found


def problems_in(source_root, pending):
    problems = []
    excused = set()
    for directory, folders, files in os.walk(source_root):
        folders.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, source_root).replace(os.sep, '/')
            with open(path, encoding='utf-8', errors='replace') as f:
                lines = f.read().split('\n')
            for rule, message in offences_in(relative, lines):
                if (relative, rule) in pending:
                    excused.add((relative, rule))
                else:
                    problems.append(message)
    for key in sorted(set(pending) - excused):
        problems.append(f'{key[0]}: no longer breaks the {key[1]} rule; remove its entry from PENDING')
    return problems


def check_detects_faults():
    """The check itself: what it must reject, and what it must accept."""
    with tempfile.TemporaryDirectory() as root:
        write_tree(root, {
            'algebra/walk.cpp': 'r = e.apply({a, b}, env);\nfind_join(*e, j);\n',
            'relations/schema.cpp': 'shared<schema> coerce(const shared<schema>& a, const shared<schema>& b)\n',
            'web/tree.cpp': 'result = e.apply({result, term}, loaded);\n'
                            '// e.apply(x) in a comment is fine\nconst char* s = "x.apply(y)";\n',
            'convert/sql.cpp': 'step.result = e->apply ({out}, empty_);\nauto s = coerce(a, b);\n',
            'convert/fold.cpp': 'for (auto& each : e.operands())\n    r.push_back(each->evaluate(env));\n',
            'convert/latex.cpp': 'for (auto& each : e.operands())\n    out += formula(*each);\n',
            'convert/again.cpp': 'std::ostringstream schemas;\n*s >> schemas;\ntext input(schemas.str());\n'
                                 'auto e = parsing<environment>::require("environment", position);\n',
            'check/db.cpp': 'auto on = load_environment(rows.text_of(kept));\n'
                            'auto given = load_environment(environment_source);\n',
            'driver/main.cpp': 'loaded = parsing<environment>::require("environment", position);\n'
                               'std::ostringstream out;\n',
            'web/pending.cpp': 'x.apply(y);\n',
            'web/stale.cpp': '\n',
        })
        pending = {('web/pending.cpp', 'apply'): 'a test entry', ('web/stale.cpp', 'apply'): 'a test entry'}
        found = problems_in(root, pending)
    expected = [
        'check/db.cpp:1: reads an environment from text just written',
        'convert/again.cpp:3: makes a text from a stream',
        'convert/fold.cpp:1: walks operands and evaluates',
        'convert/sql.cpp:1: calls apply(',
        'convert/sql.cpp:2: calls coerce(',
        'web/tree.cpp:1: calls apply(',
        'web/stale.cpp: no longer breaks the apply rule',
    ]
    missing = [each for each in expected if not any(p.startswith(each) for p in found)]
    unexpected = [p for p in found if not any(p.startswith(each) for each in expected)]
    return [f'self-check: not reported: {each}' for each in missing] + \
           [f'self-check: reported wrongly: {each}' for each in unexpected]


def main():
    source_root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'src')
    failures = check_detects_faults() + problems_in(os.path.normpath(source_root), PENDING)
    for failure in failures:
        print(failure)
    print(f'{len(failures)} problem(s)' if failures else
          'one walk: no tool applies, folds or re-parses an environment on its own')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
