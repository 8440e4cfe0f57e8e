#!/usr/bin/env python3
"""Writes a large database for trying qorvantel's speed.

    python3 examples/generate.py big.env                  # 100000 rows per relation
    python3 examples/generate.py --rows 1000000 big.env
    python3 examples/generate.py --request 'select(Person, LT(born, 1950))' big.txt
    qorvantel < big.txt > result.txt

Then, in `qorvantel big.env`, try for instance
    project(Visit, place)
    minus(project(Person, city), rename(project(Visit, place), P(city)))
    project(select(product(select(Person, LT(id, 100)), Visit), EQ(id, pid)), name, place)
A product of the two whole relations would have rows*rows rows: select first.

Person(id int, name char(24), city char(12), born int) holds one row per id,
in shuffled order; Visit(pid int, place char(12), year int) holds as many
visits of random persons to random cities. With --request the file starts with
that expression, which makes it a batch request; without, it is an
environment file for an interactive session. The same seed gives the same file.
"""
import argparse
import random

FIRST = ['Ada', 'Alan', 'Barbara', 'Claude', 'Donald', 'Edsger', 'Frances', 'Grace',
         'John', 'Katherine', 'Leslie', 'Margaret', 'Niklaus', 'Radia', 'Tony', 'Ursula']
LAST = ['Allen', 'Backus', 'Church', 'Dahl', 'Floyd', 'Hamilton', 'Hoare', 'Iverson',
        'Kahan', 'Lamport', 'Milner', 'Naur', 'Perlis', 'Ritchie', 'Scott', 'Wirth']
CITIES = ['Aberdeen', 'Bergen', 'Cork', 'Delft', 'Evora', 'Faro', 'Ghent', 'Hull',
          'Izmir', 'Jena', 'Kiel', 'Lund', 'Malmo', 'Nantes', 'Oulu', 'Porto']


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('output', help='file to write')
    parser.add_argument('--rows', type=int, default=100000, help='rows per relation')
    parser.add_argument('--seed', type=int, default=1, help='random seed')
    parser.add_argument('--request', help='expression to put first (a batch request)')
    args = parser.parse_args()
    if args.rows < 1:
        parser.error('--rows must be at least 1')
    rng = random.Random(args.seed)
    ids = list(range(1, args.rows + 1))
    rng.shuffle(ids)
    with open(args.output, 'w', encoding='ascii', newline='\n') as out:
        if args.request:
            out.write(args.request + '\n')
        out.write('Person(id int, name char(24), city char(12), born int)\n')
        for i in ids:
            name = f'{rng.choice(FIRST)} {rng.choice("ABCDEFGHJKLMNPRSTW")}. {rng.choice(LAST)}'
            out.write(f"{i}, '{name}', '{rng.choice(CITIES)}', {rng.randint(1920, 2010)}\n")
        out.write('Visit(pid int, place char(12), year int)\n')
        for _ in range(args.rows):
            out.write(f"{rng.randint(1, args.rows)}, '{rng.choice(CITIES)}', "
                      f"{rng.randint(1990, 2026)}\n")


if __name__ == '__main__':
    main()
