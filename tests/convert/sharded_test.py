#!/usr/bin/env python3
"""The SQL of to-sql --dialect postgresql, unchanged, on relations sharded
across two PostgreSQL servers.

Two throwaway clusters are started (as in engines_test.py: initdb in a
temporary directory, a Unix socket only, run as nobody, stopped at the end).
On the first, each relation of a query's environment is a table
partitioned by hash of its first column into SHARDS partitions, each a
foreign table (postgres_fdw) whose rows live in a table on the second
cluster. The converter's script is run there as it is: its CREATE TABLE
statements alone are rewritten into the partitioned table and its foreign
partitions (the test's set-up, not the translation), its INSERT statements
route each row to its shard, and its SELECT reads them back through the
foreign tables. Every golden query that the interpreter evaluates and the
seeded generated ones are run, and the rows must equal the interpreter's,
in the same order. Prints the time the whole test took.

Usage: sharded_test.py PROGRAM [--seed N] [--count N]
PROGRAM is qorvantel; qorvantel-convert is found next to it.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import engines_test  # noqa: E402

SHARDS = 3
CREATE = re.compile(r'^CREATE TABLE ("(?:[^"]|"")*") \((("(?:[^"]|"")*") .*)\);$')


def shard_script(script, schema, number):
    """The script for the first cluster, and the tables the second needs."""
    lines, remote = [], []
    for index, line in enumerate(script.split('\n')):
        match = CREATE.match(line)
        if not match:
            lines.append(line)
            continue
        table, columns, first = match.group(1), match.group(2), match.group(3)
        lines.append(f'CREATE TABLE {table} ({columns}) PARTITION BY HASH ({first});')
        for part in range(SHARDS):
            name = f'"shard_{number}_{index}_{part}"'
            remote.append(f'CREATE TABLE {schema}.{name} ({columns});')
            lines.append(f'CREATE FOREIGN TABLE {name} PARTITION OF {table} '
                         f'FOR VALUES WITH (MODULUS {SHARDS}, REMAINDER {part}) SERVER shard '
                         f"OPTIONS (schema_name '{schema}', table_name '{name[1:-1]}');")
    return '\n'.join(lines), remote


def psql(cluster, script):
    return cluster.run(['psql', '-X', '-q', '-v', 'ON_ERROR_STOP=1', '-h', cluster.dir, '-U', 'qorvantel',
                        '-d', 'postgres'], input=script)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    parser.add_argument('--seed', type=int, default=20261209)
    parser.add_argument('--count', type=int, default=150)
    args = parser.parse_args()
    started = time.monotonic()
    program = os.path.abspath(args.program)
    convert = os.path.join(os.path.dirname(program), 'qorvantel-convert')
    if not engines_test.postgres_bin():
        engines_test.apt_install('postgresql')

    queries = engines_test.golden_queries() + engines_test.generated_queries(args.seed, args.count)
    work = tempfile.mkdtemp(prefix='qorvantel-sharded-')
    front, back = engines_test.Postgres(), engines_test.Postgres()
    failures, compared, unsharded = [], 0, 0
    try:
        front.start()
        back.start()
        made = psql(front, f"CREATE EXTENSION postgres_fdw;\nCREATE SERVER shard FOREIGN DATA WRAPPER postgres_fdw "
                           f"OPTIONS (host '{back.dir}', dbname 'postgres');\n"
                           f"CREATE USER MAPPING FOR qorvantel SERVER shard OPTIONS (user 'qorvantel');\n")
        if made.returncode != 0:
            raise SystemExit('PostgreSQL: postgres_fdw cannot be set up:\n' + made.stderr)
        plans, remote = [], []
        for number, (name, expression, environment) in enumerate(queries):
            request = (expression + '\n' + environment).encode('latin-1')
            if not request.endswith(b'\n'):
                request += b'\n'
            run = subprocess.run([program], input=request, capture_output=True, timeout=60)
            if run.returncode != 0:
                continue
            kinds, expected = engines_test.interpreter_rows(run.stdout[len(request):].decode('latin-1'))
            env_path = os.path.join(work, f'{number}.env')
            expr_path = os.path.join(work, f'{number}.txt')
            with open(env_path, 'w', encoding='latin-1') as f:
                f.write(environment)
            with open(expr_path, 'w', encoding='latin-1') as f:
                f.write(expression)
            made = subprocess.run([convert, 'to-sql', '--dialect', 'postgresql', env_path, expr_path],
                                  capture_output=True, timeout=60)
            if made.returncode != 0:
                # Refused for every engine alike (engines_test.py says why).
                continue
            schema = f'case{number}'
            script, tables = shard_script(made.stdout.decode('latin-1'), schema, number)
            if not tables and 'CREATE TABLE' in script:
                unsharded += 1
            remote.append(f'CREATE SCHEMA {schema};\n' + '\n'.join(tables))
            plans.append((number, name, expression, kinds, expected, script))
        made = psql(back, '\n'.join(remote) + '\n')
        if made.returncode != 0:
            raise SystemExit('PostgreSQL: the shards cannot be made:\n' + made.stderr)
        for number, name, expression, kinds, expected, script in plans:
            rows, error = front.query(script, number)
            compared += 1
            if error is not None:
                failures.append(f'{name}: sharded PostgreSQL failed: {error}\n  expression: {expression}')
            elif engines_test.typed(rows, kinds) != expected:
                failures.append(f'{name}: rows differ\n  expression: {expression}\n  expected: {expected}\n'
                                f'  actual:   {engines_test.typed(rows, kinds)}')
        # The rows did go to the second server, across every shard.
        counted = back.run(['psql', '-X', '-q', '-A', '-t', '-h', back.dir, '-U', 'qorvantel', '-d', 'postgres',
                            '-F', ' ', '-c',
                            "SELECT count(*), sum((xpath('/row/c/text()', query_to_xml('SELECT count(*) AS c FROM ' "
                            "|| schemaname || '.' || quote_ident(tablename), false, true, '')))[1]::text::int) "
                            "FROM pg_tables WHERE tablename LIKE 'shard_%'"])
        tables, rows = (counted.stdout.split() + ['0', '0'])[:2]
        print(f'{tables} shard tables holding {rows} rows on the second server')
        if not rows.isdigit() or int(rows) == 0:
            failures.append(f'no row reached the second server: {counted.stdout} {counted.stderr}')
    finally:
        front.stop()
        back.stop()
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print('FAIL ' + failure)
    print(f'{compared - len(failures)} passed, {len(failures)} failed, {unsharded} with a table left whole; '
          f'{time.monotonic() - started:.1f} s')
    return 1 if failures or compared == 0 or unsharded else 0


if __name__ == '__main__':
    sys.exit(main())
