#!/usr/bin/env python3
"""packaging/gradescope/run_autograder in a directory laid out as
Gradescope lays it out (source/ with the teacher's exercise file and
database, submission/, results/), on a right, a wrong, a broken, an empty
and a missing submission, and on a broken exercise file: results.json has
Gradescope's shape (score, tests with name, score, max_score and output,
output), the points the grader gives, and stays under the size limit.

Usage: gradescope_test.py PROGRAM (qorvantel; qorvantel-check beside it).
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from tally import Tally  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUN = os.path.join(ROOT, 'packaging', 'gradescope', 'run_autograder')
CHECK = os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), 'qorvantel-check')
TALLY = Tally()

EXERCISES = """database: sailors.env

== 1 [2 points]
The names and ages of the sailors rated above 7.
--- answer
project(select(Sailor, GT(rating, 7)), sname, age)

== 2 [1 point]
forbid: product
The sailors aged from 25 to 35.
--- answer
select(Sailor, LTE(25, age, 35))
"""

SUBMISSIONS = {
    'right': ({'answers.txt': '== 1\nproject(select(Sailor, GT(rating, 7)), sname, age)\n'
                              '== 2\nselect(Sailor, AND(GTE(age, 25), LTE(age, 35)))\n'}, 3, 3),
    'wrong': ({'answers.txt': '== 1\nproject(select(Sailor, GTE(rating, 7)), sname, age)\n'
                              '== 2\nselect(Sailor, LTE(25, age, 35))\n'}, 1, 3),
    'broken': ({'my answers.txt': '== 1\nproject(select(Sailor, GT(rating, 7), sname, age)\n== 2\nselect(\n'}, 0, 3),
    'empty': ({'answers.txt': ''}, 0, 3),
    'nothing': ({}, 0, 3),
}


def lay_out(work, files, exercises=EXERCISES):
    for folder in ('source', 'submission', 'results'):
        os.makedirs(os.path.join(work, folder), exist_ok=True)
    with open(os.path.join(work, 'source', 'quiz.exercises'), 'w') as f:
        f.write(exercises)
    shutil.copy(os.path.join(ROOT, 'examples', 'sailors.env'), os.path.join(work, 'source'))
    for name, text in files.items():
        with open(os.path.join(work, 'submission', name), 'w') as f:
            f.write(text)


def run(work):
    env = dict(os.environ, AUTOGRADER_ROOT=work, QORVANTEL_CHECK=CHECK)
    done = subprocess.run([RUN], env=env, capture_output=True, timeout=300)
    with open(os.path.join(work, 'results', 'results.json'), encoding='utf-8') as f:
        return done.returncode, json.load(f)


def shape_problems(results):
    problems = []
    if not isinstance(results.get('score'), (int, float)) or not isinstance(results.get('output'), str):
        problems.append('score or output missing')
    for test in results.get('tests', []):
        if set(test) - {'name', 'score', 'max_score', 'output', 'visibility', 'status'}:
            problems.append(f'unknown keys in {test}')
        if not (isinstance(test.get('name'), str) and isinstance(test.get('output'), str)
                and isinstance(test.get('score'), (int, float)) and isinstance(test.get('max_score'), (int, float))):
            problems.append(f'test {test}')
        if len(test.get('output', '').encode()) > 1 << 20:
            problems.append('an output over 1 MB')
    return problems


def main():
    for name, (files, score, max_score) in SUBMISSIONS.items():
        with tempfile.TemporaryDirectory() as work:
            lay_out(work, files)
            status, results = run(work)
            problems = shape_problems(results)
            if status != 0 or results.get('score') != score or results.get('max_score') != max_score:
                problems.append(f'status {status}, {results.get("score")} of {results.get("max_score")}, '
                                f'not {score} of {max_score}')
            if [t['name'] for t in results.get('tests', [])] != ['1', '2']:
                problems.append(f'tests {results.get("tests")}')
            if name == 'wrong' and 'counterexample' not in json.dumps(results).lower():
                problems.append('no counterexample in the output of the wrong answer')
            if os.listdir(os.path.join(work, 'results')) != ['results.json']:
                problems.append(f'results/ holds {os.listdir(os.path.join(work, "results"))}')
            TALLY.record(name, problems)
            if problems:
                print(json.dumps(results, indent=1)[:3000])
    with tempfile.TemporaryDirectory() as work:
        lay_out(work, SUBMISSIONS['right'][0], exercises='database: missing.env\n\n== 1\n--- answer\nSailor\n')
        status, results = run(work)
        problems = shape_problems(results)
        if status == 0 or results['score'] != 0 or 'missing.env' not in results['output']:
            problems.append(f'a broken exercise file gives {status}, {results}')
        TALLY.record('broken exercise file', problems)
    return TALLY.finish()


if __name__ == '__main__':
    sys.exit(main())
