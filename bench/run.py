#!/usr/bin/env python3
"""Benchmark qorvantel against the sqlite3 shell on the same queries.

For each workload the script writes one batch request for qorvantel (the
expression followed by the relations it reads) and one script for
`sqlite3 :memory:` (create typed tables, import the same rows from CSV, run
the equivalent SQL with ORDER BY on every column, write the rows to a file).
Both commands are run as whole processes, alternately, --repeat times; the
wall time covers everything each one does, loading included. Peak resident
memory is what GNU time reports for each command.

Both outputs are parsed into rows and compared as ordered lists, so a fast
but wrong answer does not count.

A second, optional baseline: DuckDB on one thread, run through node from
bench/duckdb/ (install it once with `npm ci --prefix bench/duckdb`). Each
workload is one whole node process that creates the tables from the same CSV
files with typed columns, runs the same SQL and copies the rows to a CSV
file. Without node or the package that column is skipped, with one line
saying why.

Only the Python standard library is used.
"""

import argparse
import json
import math
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SQLITE = "/usr/bin/sqlite3"
GNU_TIME = "/usr/bin/time"
DUCKDB_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "duckdb")
DUCKDB_RUNNER = os.path.join(DUCKDB_FOLDER, "run_workload.mjs")
DUCKDB_COLUMNS = {"id": "INTEGER", "name": "VARCHAR", "dept": "INTEGER", "salary": "INTEGER"}

FIRST_NAMES = [
    "Ann", "Bob", "Carla", "Dmitri", "Elena", "Farid", "Grace", "Hiroshi",
    "Ines", "Jamal", "Katarzyna", "Luis", "Maria", "Nikolai", "Olga", "Pedro",
    "Quentin", "Rosa", "Samuel", "Tatiana", "Umar", "Valentina", "Wei",
    "Ximena", "Yusuf", "Zofia", "Alexander", "Bernadette", "Christopher",
    "Dagny", "Emmanuel", "Francesca", "Gunnar", "Harriet", "Ivo", "Josephine",
    "Kwame", "Leopold", "Mei", "Nadia", "Oscar", "Priya", "Ravi", "Sigrid",
    "Theodore", "Ursula", "Viktor", "Wilhelmina", "Xavier", "Yara",
]
LAST_NAMES = [
    "Smith", "Novak", "Garcia", "Okafor", "Tanaka", "Kowalski", "Rossi",
    "Schmidt", "Dubois", "Andersson", "Nakamura", "Fernandez", "Ivanova",
    "Papadopoulos", "Oyelaran", "Lindqvist", "Mbeki", "Hernandez-Lopez",
    "Van der Berg", "Abernathy", "Chen", "Kim", "Nguyen", "Silva", "Moreau",
    "Bianchi", "Jankowski", "Haddad", "Petrov", "Svensson", "Murphy",
    "Yamamoto", "Castellanos", "Fitzgerald", "Achterberg", "Brennan",
    "Delacroix", "Eriksen", "Goldberg", "Horvath", "Iwu", "Jensen",
    "Kaczmarek", "Lachance", "Montgomery-Wells", "Nwosu", "Ostrowski",
    "Quispe", "Rasmussen", "Zimmermann",
]
INITIALS = "ABCDEFGHJKLMNPRSTVW"

NAME_LENGTH = 24
SCHEMA_COLUMNS = "id int, name char(24), dept int, salary int"
SQL_COLUMNS = "id INT, name CHAR(24), dept INT, salary INT"
ALL_COLUMNS = "1, 2, 3, 4"
RENAMED_S = "rename(S, T(id2, name2, dept2, salary2))"
BAND = 3000

# Each workload: the qorvantel expression, the relations it reads, and the
# SQL that computes the same rows in the same order.
WORKLOADS = {
    "W1": (
        "R",
        ["R"],
        f"SELECT * FROM R ORDER BY {ALL_COLUMNS};",
    ),
    "W2": (
        "union(R, S)",
        ["R", "S"],
        f"SELECT * FROM R UNION SELECT * FROM S ORDER BY {ALL_COLUMNS};",
    ),
    "W3": (
        "minus(R, S)",
        ["R", "S"],
        f"SELECT * FROM R EXCEPT SELECT * FROM S ORDER BY {ALL_COLUMNS};",
    ),
    "W4": (
        "select(R, AND(GT(salary, 50000), LT(dept, 20)))",
        ["R"],
        f"SELECT * FROM R WHERE salary > 50000 AND dept < 20 ORDER BY {ALL_COLUMNS};",
    ),
    "W5": (
        "project(R, dept, name)",
        ["R"],
        "SELECT DISTINCT dept, name FROM R ORDER BY 1, 2;",
    ),
    "W6": (
        "product(project(select(R, LT(id, 1000)), id), "
        "rename(project(select(S, LT(id, 1000)), id), T(id2)))",
        ["R", "S"],
        "SELECT a.id, b.id AS id2 FROM "
        "(SELECT DISTINCT id FROM R WHERE id < 1000) AS a, "
        "(SELECT DISTINCT id FROM S WHERE id < 1000) AS b ORDER BY 1, 2;",
    ),
    "W7": (
        "union(minus(select(R, GT(salary, 60000)), S), select(S, LT(dept, 10)))",
        ["R", "S"],
        # Compound selects associate to the left: (A EXCEPT S) UNION B.
        "SELECT * FROM R WHERE salary > 60000 EXCEPT SELECT * FROM S "
        f"UNION SELECT * FROM S WHERE dept < 10 ORDER BY {ALL_COLUMNS};",
    ),
    # Joins, written the textbook way: a select over a product.
    "J1": (
        f"project(select(product(R, {RENAMED_S}), EQ(id, id2)), name, name2)",
        ["R", "S"],
        "SELECT DISTINCT R.name, T.name FROM R JOIN S AS T ON R.id = T.id ORDER BY 1, 2;",
    ),
    "J2": (
        f"project(select(product(R, {RENAMED_S}), "
        "AND(EQ(dept, dept2), GT(salary, 119000), LT(salary2, 21000))), id, id2)",
        ["R", "S"],
        "SELECT DISTINCT R.id, T.id FROM R JOIN S AS T ON R.dept = T.dept "
        "WHERE R.salary > 119000 AND T.salary < 21000 ORDER BY 1, 2;",
    ),
    "J3": (
        f"project(select(product(R, {RENAMED_S}, rename(R, U(id3, name3, dept3, salary3))), "
        "AND(EQ(id, id2), EQ(id2, id3), LT(dept3, 10))), name, name2, salary3)",
        ["R", "S"],
        "SELECT DISTINCT R.name, T.name, U.salary FROM R JOIN S AS T ON R.id = T.id "
        "JOIN R AS U ON T.id = U.id WHERE U.dept < 10 ORDER BY 1, 2, 3;",
    ),
    # Only comparisons across the sides: a nested loop over 3000 x 3000.
    "J4": (
        f"project(select(product(select(R, LT(id, {BAND})), {RENAMED_S}), "
        f"AND(LT(id2, {BAND}), LT(id, id2), GT(salary, salary2))), id, id2)",
        ["R", "S"],
        # Each side filtered once, not once per row of the other.
        f"WITH A AS MATERIALIZED (SELECT * FROM R WHERE id < {BAND}), "
        f"T AS MATERIALIZED (SELECT * FROM S WHERE id < {BAND}) "
        "SELECT DISTINCT A.id, T.id FROM A, T WHERE A.id < T.id AND A.salary > T.salary ORDER BY 1, 2;",
    ),
}


def log(message):
    print(message, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- data


def make_name(rng):
    first = rng.choice(FIRST_NAMES)
    last = rng.choice(LAST_NAMES)
    if rng.random() < 0.3:
        name = f"{first} {rng.choice(INITIALS)}. {last}"
    else:
        name = f"{first} {last}"
    return name[:NAME_LENGTH]


def make_fields(rng):
    return make_name(rng), rng.randint(0, 49), rng.randint(20000, 120000)


def generate_relations(n, seed):
    """R and S with ids 0..n-1 each, in shuffled order.

    Every id appears once in each relation; for about half of the ids S holds
    the very row of R, for the rest a fresh name, dept and salary. So
    LT(id, 1000) picks 1000 rows of each, and union and minus both have work.
    """
    rng = random.Random(seed)
    r_rows = []
    s_rows = []
    for i in range(n):
        fields = make_fields(rng)
        r_rows.append((i,) + fields)
        s_rows.append((i,) + (fields if rng.random() < 0.5 else make_fields(rng)))
    rng.shuffle(r_rows)
    rng.shuffle(s_rows)
    return {"R": r_rows, "S": s_rows}


def write_relation_text(path, name, rows):
    """The relation as qorvantel reads it: schema line, one row per line."""
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write(f"{name}({SCHEMA_COLUMNS})\n")
        out.writelines(f"{i}, '{nm}', {d}, {s}\n" for i, nm, d, s in rows)


def write_relation_csv(path, rows):
    # Names never hold commas or quotes, so no field needs quoting.
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("id,name,dept,salary\n")
        out.writelines(f"{i},{nm},{d},{s}\n" for i, nm, d, s in rows)


def prepare(directory, n, seed, workloads):
    """Writes the data files and one request and one script per workload."""
    os.makedirs(directory, exist_ok=True)
    log(f"generating N={n} in {directory}")
    relations = generate_relations(n, seed)
    for name, rows in relations.items():
        write_relation_text(os.path.join(directory, f"{name}.rel"), name, rows)
        write_relation_csv(os.path.join(directory, f"{name}.csv"), rows)
    del relations

    cases = {}
    for workload in workloads:
        expression, used, sql = WORKLOADS[workload]
        request = os.path.join(directory, f"{workload}.request")
        with open(request, "wb") as out:
            out.write(expression.encode("ascii") + b"\n")
            for name in used:
                with open(os.path.join(directory, f"{name}.rel"), "rb") as part:
                    shutil.copyfileobj(part, out, 1 << 20)
        script = os.path.join(directory, f"{workload}.sql")
        sqlite_out = os.path.join(directory, f"{workload}.sqlite.out")
        with open(script, "w", encoding="ascii") as out:
            for name in used:
                csv_path = os.path.join(directory, f"{name}.csv")
                out.write(f"CREATE TABLE {name}({SQL_COLUMNS});\n")
                out.write(f".import --csv --skip 1 '{csv_path}' {name}\n")
            out.write(".mode quote\n")
            out.write('.separator ", "\n')
            out.write(f".output '{sqlite_out}'\n")
            out.write(sql + "\n")
            out.write(".output stdout\n")
        duckdb_spec = os.path.join(directory, f"{workload}.duckdb.json")
        duckdb_out = os.path.join(directory, f"{workload}.duckdb.out")
        with open(duckdb_spec, "w", encoding="ascii") as out:
            json.dump({
                "tables": {name: os.path.join(directory, f"{name}.csv") for name in used},
                "columns": DUCKDB_COLUMNS,
                "sql": sql,
                "output": duckdb_out,
            }, out)
        cases[workload] = {
            "duckdb_spec": duckdb_spec,
            "duckdb_out": duckdb_out,
            "request": request,
            "request_size": os.path.getsize(request),
            "qorvantel_out": os.path.join(directory, f"{workload}.qorvantel.out"),
            "script": script,
            "sqlite_out": sqlite_out,
        }
    return cases


# ---------------------------------------------------------------- running


def run_child(argv, stdin_path, log_path):
    """Runs one command to completion; returns (seconds, peak RSS bytes,
    user seconds, system seconds).

    The command runs under GNU time, which reports the peak resident set
    size of its own child. Reading ru_maxrss of a child of this script
    instead would be wrong: the kernel carries the high-water mark across
    exec, so every child would report at least this script's own size.
    """
    rss_path = log_path + ".rss"
    command = [GNU_TIME, "-f", "%M %U %S", "-o", rss_path] + argv
    with open(stdin_path or os.devnull, "rb") as stdin, open(log_path, "wb") as console:
        start = time.perf_counter()
        status = subprocess.call(command, stdin=stdin, stdout=console, stderr=subprocess.STDOUT)
        seconds = time.perf_counter() - start
    if status != 0:
        with open(log_path, "rb") as console:
            message = console.read(2000).decode("ascii", "replace")
        raise RuntimeError(f"{argv[0]} exited with {status}: {message}")
    with open(rss_path) as report:
        kilobytes, user, system = report.read().split()[-3:]
    return seconds, int(kilobytes) * 1024, float(user), float(system)


def qorvantel_rows(case):
    """Rows of qorvantel's result: the lines after the echo and the schema line."""
    with open(case["request"], "rb") as request:
        echo = request.read()
    if not echo.endswith(b"\n"):
        echo += b"\n"
    with open(case["qorvantel_out"], "rb") as out:
        data = out.read()
    if not data.startswith(echo):
        raise RuntimeError("qorvantel output does not begin with the echo of its input")
    lines = data[len(echo):].decode("ascii").split("\n")
    # schema line, rows, an empty line closing the relation, then nothing
    if len(lines) < 3 or lines[-1] != "" or lines[-2] != "":
        raise RuntimeError("qorvantel result is not a schema line, rows and an empty line")
    return lines[1:-2]


def sqlite_rows(case):
    with open(case["sqlite_out"], "rb") as out:
        return out.read().decode("ascii").splitlines()


def duckdb_rows(case):
    """DuckDB's CSV rows written as qorvantel writes them (no field of the
    data holds a comma, a quote or a line end, so none is quoted)."""
    rows = []
    with open(case["duckdb_out"], "rb") as out:
        for line in out.read().decode("ascii").splitlines():
            fields = line.split(",")
            rows.append(", ".join(f if f.lstrip("-").isdigit() else f"'{f}'" for f in fields))
    return rows


def compare_rows(case, theirs=None, other="sqlite3"):
    """Returns (row count, None) when both agree, else (count, description)."""
    ours = qorvantel_rows(case)
    if theirs is None:
        theirs = sqlite_rows(case)
    if ours == theirs:
        return len(ours), None
    for index, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            return len(ours), f"row {index}: qorvantel {a!r}, {other} {b!r}"
    return len(ours), f"qorvantel has {len(ours)} rows, {other} {len(theirs)}"


def duckdb_missing():
    """Why the DuckDB baseline cannot run here, or None when it can."""
    if shutil.which("node") is None:
        return "node is not installed"
    if not os.path.isdir(os.path.join(DUCKDB_FOLDER, "node_modules", "@duckdb", "node-api")):
        return "the npm package @duckdb/node-api is missing (npm ci --prefix bench/duckdb)"
    return None


def measure(cases, qorvantel, repeat, directory, with_duckdb):
    results = {}
    for workload, case in cases.items():
        qv_command = ([qorvantel, case["request"], case["qorvantel_out"]], None)
        sq_command = ([SQLITE, "-batch", ":memory:"], case["script"])
        dk_command = (["node", DUCKDB_RUNNER, case["duckdb_spec"]], None)
        times = {"qv": [], "sq": [], "dk": []}
        cpu = {"user": [], "sys": [], "sq": []}
        peaks = {"qv": 0, "sq": 0, "dk": 0}
        for attempt in range(repeat):
            # Alternate which command goes first, so none always runs on
            # a cache another has just warmed.
            order = [("qv", qv_command), ("sq", sq_command)] + ([("dk", dk_command)] if with_duckdb else [])
            if attempt % 2:
                order.reverse()
            for key, (argv, stdin_path) in order:
                seconds, peak, user, system = run_child(argv, stdin_path,
                                                        os.path.join(directory, f"{workload}.{key}.log"))
                times[key].append(seconds)
                if key == "qv":
                    cpu["user"].append(user)
                    cpu["sys"].append(system)
                elif key == "sq":
                    cpu["sq"].append(user + system)
                peaks[key] = max(peaks[key], peak)
        rows, mismatch = compare_rows(case)
        if with_duckdb and mismatch is None:
            _, mismatch = compare_rows(case, duckdb_rows(case), "duckdb")
        result = {
            "dk_time": statistics.median(times["dk"]) if with_duckdb else None,
            "qv_time": statistics.median(times["qv"]),
            "qv_user": statistics.median(cpu["user"]),
            "qv_sys": statistics.median(cpu["sys"]),
            "sq_cpu": statistics.median(cpu["sq"]),
            "sq_time": statistics.median(times["sq"]),
            "qv_peak": peaks["qv"],
            "sq_peak": peaks["sq"],
            "input": case["request_size"],
            "rows": rows,
            "mismatch": mismatch,
        }
        result["ratio"] = result["qv_time"] / result["sq_time"]
        result["dk_ratio"] = result["qv_time"] / result["dk_time"] if with_duckdb else None
        results[workload] = result
        log(f"{workload}: qorvantel {result['qv_time']:.3f}s, sqlite3 {result['sq_time']:.3f}s"
            + (f", duckdb {result['dk_time']:.3f}s" if with_duckdb else "")
            + ("" if mismatch is None else f"  MISMATCH {mismatch}"))
    return results


# ---------------------------------------------------------------- report


def megabytes(size):
    return f"{size / (1 << 20):.1f}"


def geometric_mean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values))


def print_table(n, repeat, results):
    with_duckdb = all(r["dk_time"] is not None for r in results.values())
    duckdb_header = f" {'duckdb s':>8} {'qv/dk':>6}" if with_duckdb else ""
    header = (f"{'workload':<8} {'rows out':>9} {'qv s':>8} {'qv usr':>7} {'qv sys':>7} {'sqlite s':>8} {'sq cpu':>7} "
              f"{'ratio':>6}{duckdb_header} "
              f"{'qv MiB':>8} {'sqlite MiB':>10} {'input MiB':>9} {'qv RSS/in':>9}  rows")
    print(f"N = {n}, median of {repeat} runs each")
    print(header)
    print("-" * len(header))
    for workload, r in results.items():
        duckdb_columns = f" {r['dk_time']:>8.3f} {r['dk_ratio']:>6.2f}" if with_duckdb else ""
        print(f"{workload:<8} {r['rows']:>9} {r['qv_time']:>8.3f} {r['qv_user']:>7.2f} {r['qv_sys']:>7.2f} "
              f"{r['sq_time']:>8.3f} {r['sq_cpu']:>7.2f} {r['ratio']:>6.2f}{duckdb_columns} "
              f"{megabytes(r['qv_peak']):>8} {megabytes(r['sq_peak']):>10} {megabytes(r['input']):>9} "
              f"{r['qv_peak'] / r['input']:>9.2f}  {'same' if r['mismatch'] is None else 'DIFFERENT'}")
    for workload, r in results.items():
        if r["mismatch"] is not None:
            print(f"{workload} rows differ: {r['mismatch']}")
    # The W workloads and the joins have targets of their own: a mean each.
    for family, label in (("W", " of W1..W7"), ("J", " of the joins")):
        chosen = [r for w, r in results.items() if w.startswith(family)]
        if not chosen:
            continue
        ratios = [r["ratio"] for r in chosen]
        print(f"geometric mean{label} of qorvantel/sqlite3 time ratios: {geometric_mean(ratios):.3f}")
        if with_duckdb:
            ratios = [r["dk_ratio"] for r in chosen]
            print(f"geometric mean{label} of qorvantel/duckdb (threads=1) time ratios: {geometric_mean(ratios):.3f}")


def print_growth(small_n, large_n, small, large):
    print(f"time growth from N = {small_n} to N = {large_n}")
    header = f"{'workload':<8} {'qv s N/2':>9} {'qv s N':>9} {'qv growth':>9} {'sqlite growth':>13}"
    print(header)
    print("-" * len(header))
    for workload in large:
        a, b = small[workload], large[workload]
        print(f"{workload:<8} {a['qv_time']:>9.3f} {b['qv_time']:>9.3f} {b['qv_time'] / a['qv_time']:>9.2f} "
              f"{b['sq_time'] / a['sq_time']:>13.2f}")


# ---------------------------------------------------------------- main


def parse_workloads(text):
    chosen = [w.strip().upper() for w in text.split(",") if w.strip()]
    unknown = [w for w in chosen if w not in WORKLOADS]
    if unknown or not chosen:
        raise argparse.ArgumentTypeError(f"unknown workloads {unknown}; choose from {','.join(WORKLOADS)}")
    return chosen


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--n", type=int, default=100000, help="rows in each of R and S (default 100000)")
    parser.add_argument("--workloads", type=parse_workloads, default=list(WORKLOADS),
                        help="comma-separated subset of W1..W7 and J1..J4 (default all)")
    parser.add_argument("--qorvantel", default="build/qorvantel", help="program under test (default build/qorvantel)")
    parser.add_argument("--repeat", type=int, default=5, help="runs of each command per workload (default 5)")
    parser.add_argument("--keep-data", metavar="DIR", help="write data, requests and outputs to DIR and keep them")
    parser.add_argument("--scaling", action="store_true",
                        help="also run at N/2 and print the time growth from N/2 to N per workload")
    parser.add_argument("--seed", type=int, default=20240601, help="seed of the data generator")
    parser.add_argument("--no-duckdb", action="store_true", help="skip the DuckDB baseline")
    args = parser.parse_args()

    if args.n < 2000:
        parser.error("--n must be at least 2000 (W6 selects ids below 1000)")
    if args.repeat < 1:
        parser.error("--repeat must be at least 1")
    qorvantel = os.path.abspath(args.qorvantel)
    for program in (qorvantel, SQLITE, GNU_TIME):
        if not os.access(program, os.X_OK):
            parser.error(f"{program} is not an executable file")

    missing = "--no-duckdb was given" if args.no_duckdb else duckdb_missing()
    if missing is not None:
        print(f"DuckDB baseline skipped: {missing}")
    with_duckdb = missing is None

    if args.keep_data:
        base = os.path.abspath(args.keep_data)
        os.makedirs(base, exist_ok=True)
    else:
        base = tempfile.mkdtemp(prefix="qorvantel-bench-")
    try:
        sizes = [args.n // 2, args.n] if args.scaling else [args.n]
        all_results = {}
        for n in sizes:
            directory = os.path.join(base, f"n{n}")
            cases = prepare(directory, n, args.seed, args.workloads)
            all_results[n] = measure(cases, qorvantel, args.repeat, directory, with_duckdb)
            if not args.keep_data:
                shutil.rmtree(directory)
        for n in sizes:
            print_table(n, args.repeat, all_results[n])
            print()
        if args.scaling:
            print_growth(sizes[0], sizes[1], all_results[sizes[0]], all_results[sizes[1]])
    finally:
        if not args.keep_data:
            shutil.rmtree(base, ignore_errors=True)
    mismatched = any(r["mismatch"] is not None for results in all_results.values() for r in results.values())
    return 1 if mismatched else 0


if __name__ == "__main__":
    sys.exit(main())
