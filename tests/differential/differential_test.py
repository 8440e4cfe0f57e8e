#!/usr/bin/env python3
"""Differential test of qorvantel against SQLite.

Random environments and random, well-typed expressions over them are run
through the interpreter in batch mode (standard input: the expression, then
the environment; standard output: the echo, then the result relation) and the
same queries are evaluated by SQLite through Python's sqlite3 module. The
whole printed result is compared: the schema line (schema name, column names
and types), the rows as a set, and that they are printed in ascending row
order without repeats. A small share of the queries are evaluation errors
whose message and exit status are predictable.

Usage:
    differential_test.py PROGRAM [--seed N] [--count N] [--jobs N]
                                 [--only ID] [--show N]

Every query has an id; "--seed S --only ID" reruns exactly that query and
prints its input, the SQL and both outputs. The run ends with the line
"N passed, N failed" and exits non-zero when anything failed.

How a query maps to SQL: every relation in SQLite has positional columns
c0, c1, ...; the interpreter's column names are tracked by the model here and
resolved to positions when the SQL is built, so SQLite's case-insensitive
identifiers never matter. int columns are INTEGER and char(n) columns are
TEXT COLLATE BINARY, which compares strings byte by byte like the
interpreter. Every comparison in a generated condition is between operands
of one kind, so SQLite's type affinity never converts anything.
"""

import argparse
import random
import sqlite3
import string
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

DEFAULT_SEED = 20240611
DEFAULT_COUNT = 4000
QUERIES_PER_ENVIRONMENT = 5
TIMEOUT_SECONDS = 30
MAX_PRODUCT_ROWS = 2500
MAX_PRODUCT_WIDTH = 8

RESERVED = {"char", "int", "rename", "project", "product", "minus", "union", "select",
            "NOT", "AND", "OR", "EQ", "NEQ", "LT", "LTE", "GT", "GTE"}

# Printable punctuation that may appear in a symbol; a symbol may not begin
# with a digit, '+' or '-'.
PUNCTUATION = "".join(c for c in string.punctuation if c not in ",'()")
SYMBOL_START = string.ascii_letters + "".join(c for c in PUNCTUATION if c not in "+-")
SYMBOL_REST = string.ascii_letters + string.digits + PUNCTUATION

# Names chosen to sit close to keywords, to differ only in case, or to hold
# punctuation. Relation names must not begin with "union" or "minus": those
# texts are always taken as the operator.
RELATION_NAMES = ["R", "S", "T", "r", "s", "Emp", "Select", "selection", "products", "renamed",
                  "projects", "Union", "Minus", "x.y", "R-1", "R_2", "not", "and", "$rel", "a=b",
                  "<R>", "EQx", "ORDERS", "integer", "chars", "~", "_", "NOTE", "LTE1", "intx"]
COLUMN_NAMES = ["a", "b", "c", "A", "B", "id", "x", "y", "name", "a.b", "a-b", "x=y", "_x",
                "Select", "not", "eq", "LTx", "ORDER", "integer", "chars", "k1", "$", "<", "~z",
                "a+b", 'q"', "b\\", "GTE_", "AND1", "unionx", "minus1", "#", "NOTE", "Int"]

INT_COMMON = [-3, -2, -1, 0, 1, 2, 3]
INT_RARE = [-2147483647, 2147483647, -100, 100, -10, 10, 7]
STRINGS = ["", "a", "b", "A", "B", "ab", "aB", "Ab", "abc", " ", "a b", "x,y", "a, b", "!", "~",
           "10", "9", "Z", "z", "#$%", "\\", '"q"', "(x)", " a", "a ", "B_1", "-1", "+", "ab c",
           "a)", "`", "{}"]
LONG_STRINGS = ["abcdefghijk", "ba", "AA", "zzzzzzz", "a b c d"]
CHAR_LENGTHS = [1, 2, 3, 3, 4, 5, 6, 10]
CHAR_LENGTH_LARGEST = 4294967295

ARITHMETIC_SQL = {"EQ": "=", "NEQ": "<>", "LT": "<", "LTE": "<=", "GT": ">", "GTE": ">="}


# ---------------------------------------------------------------- schemas

class Column:
    __slots__ = ("name", "kind", "length")

    def __init__(self, name, kind, length=None):
        self.name, self.kind, self.length = name, kind, length

    def type_text(self):
        return "int" if self.kind == "int" else "char(%d)" % self.length

    def text(self):
        return "%s %s" % (self.name, self.type_text())


class Schema:
    def __init__(self, name, columns):
        self.name, self.columns = name, list(columns)

    @property
    def names(self):
        return [c.name for c in self.columns]

    @property
    def kinds(self):
        return [c.kind for c in self.columns]

    def find(self, name):
        for i, c in enumerate(self.columns):
            if c.name == name:
                return i
        return None

    def text(self):
        return (self.name or "") + "(" + ", ".join(c.text() for c in self.columns) + ")"


def coerce(a, b):
    """The common schema of union and minus: the left names, the longer char."""
    columns = []
    for x, y in zip(a.columns, b.columns):
        assert x.name == y.name and x.kind == y.kind
        columns.append(Column(x.name, x.kind, None if x.kind == "int" else max(x.length, y.length)))
    return Schema(None, columns)


def coerce_error(a, b):
    """The message coercing a with b raises, or None when they coerce."""
    if len(a.columns) != len(b.columns) or a.names != b.names:
        return "Cannot coerce %s and %s." % (a.text(), b.text())
    for x, y in zip(a.columns, b.columns):
        if x.kind != y.kind:
            return "Cannot coerce %s and %s: Type mismatch between %s and %s." % (
                a.text(), b.text(), x.type_text(), y.type_text())
    return None


def write_value(v):
    return str(v) if isinstance(v, int) else "'" + v + "'"


def sql_literal(v):
    if isinstance(v, int):
        return "(%d)" % v
    return "'" + v.replace("'", "''") + "'"


# ---------------------------------------------------------------- layout

class Layout:
    """Chooses the whitespace between tokens; all of it is legal anywhere."""

    def __init__(self, rng):
        self.rng = rng

    def open(self):
        r = self.rng.random()
        return "(" if r < 0.9 else (" (" if r < 0.95 else ("( " if r < 0.98 else "\n("))

    def close(self):
        return ")" if self.rng.random() < 0.93 else " )"

    def comma(self):
        r = self.rng.random()
        if r < 0.8:
            return ", "
        if r < 0.9:
            return ","
        if r < 0.95:
            return " , "
        if r < 0.98:
            return ",\n  "
        return ",\t"

    def int_literal(self, v):
        r = self.rng.random()
        if v >= 0 and r < 0.05:
            return "+%d" % v
        if r < 0.08:
            return ("-0%d" % -v) if v < 0 else "0%d" % v
        return str(v)


# ---------------------------------------------------------------- expressions

class Base:
    def __init__(self, relation):
        self.schema = relation.schema
        self.text = relation.name
        self.sql = "SELECT DISTINCT * FROM %s" % relation.table
        self.bound = relation.distinct_rows


class Select:
    def __init__(self, argument, condition, layout):
        self.schema = argument.schema
        self.text = "select" + layout.open() + argument.text + layout.comma() + condition.text + layout.close()
        self.sql = "SELECT * FROM (%s) WHERE %s" % (argument.sql, condition.sql(argument.schema))
        self.bound = argument.bound


class Project:
    def __init__(self, argument, names, layout):
        indexes = [argument.schema.find(n) for n in names]
        self.schema = Schema(argument.schema.name, [argument.schema.columns[i] for i in indexes])
        self.text = ("project" + layout.open() + argument.text + layout.comma()
                     + "".join((layout.comma() if j else "") + n for j, n in enumerate(names)) + layout.close())
        self.sql = "SELECT DISTINCT %s FROM (%s)" % (
            ", ".join("c%d AS c%d" % (i, j) for j, i in enumerate(indexes)), argument.sql)
        self.bound = argument.bound


class Rename:
    def __init__(self, argument, name, names, layout):
        self.schema = Schema(name, [Column(n, c.kind, c.length) for n, c in zip(names, argument.schema.columns)])
        self.text = ("rename" + layout.open() + argument.text + layout.comma() + name + layout.open()
                     + "".join((layout.comma() if j else "") + n for j, n in enumerate(names))
                     + layout.close() + layout.close())
        self.sql = argument.sql
        self.bound = argument.bound


class SetOperation:
    def __init__(self, keyword, terms, layout):
        self.text = keyword + layout.open() + "".join(
            (layout.comma() if j else "") + t.text for j, t in enumerate(terms)) + layout.close()
        if len(terms) == 1:
            self.schema, self.sql, self.bound = terms[0].schema, terms[0].sql, terms[0].bound
            return
        schema = terms[0].schema
        for t in terms[1:]:
            schema = coerce(schema, t.schema)
        self.schema = schema
        operator = " UNION " if keyword == "union" else " EXCEPT "
        self.sql = operator.join("SELECT * FROM (%s)" % t.sql for t in terms)
        self.bound = sum(t.bound for t in terms) if keyword == "union" else terms[0].bound


class Product:
    def __init__(self, terms, layout):
        self.text = "product" + layout.open() + "".join(
            (layout.comma() if j else "") + t.text for j, t in enumerate(terms)) + layout.close()
        if len(terms) == 1:
            self.schema, self.sql, self.bound = terms[0].schema, terms[0].sql, terms[0].bound
            return
        self.schema = Schema(None, [c for t in terms for c in t.schema.columns])
        outputs, sources = [], []
        for k, t in enumerate(terms):
            for i in range(len(t.schema.columns)):
                outputs.append("p%d.c%d AS c%d" % (k, i, len(outputs)))
            sources.append("(%s) AS p%d" % (t.sql, k))
        self.sql = "SELECT %s FROM %s" % (", ".join(outputs), " CROSS JOIN ".join(sources))
        self.bound = 1
        for t in terms:
            self.bound *= t.bound


# ---------------------------------------------------------------- conditions

class Comparison:
    def __init__(self, op, operands, layout):
        # An operand is ("column", name) or ("literal", value).
        self.op, self.operands = op, operands
        self.text = op + layout.open() + "".join(
            (layout.comma() if j else "") + self.operand_text(o, layout) for j, o in enumerate(operands)) + layout.close()

    @staticmethod
    def operand_text(operand, layout):
        kind, v = operand
        if kind == "column":
            return v
        return layout.int_literal(v) if isinstance(v, int) else "'" + v + "'"

    def sql(self, schema):
        def operand(o):
            return "c%d" % schema.find(o[1]) if o[0] == "column" else sql_literal(o[1])
        pairs = ["(%s %s %s)" % (operand(l), ARITHMETIC_SQL[self.op], operand(r))
                 for l, r in zip(self.operands, self.operands[1:])]
        return "(" + " AND ".join(pairs) + ")"


class Logical:
    def __init__(self, op, arguments, layout):
        self.op, self.arguments = op, arguments
        self.text = op + layout.open() + "".join(
            (layout.comma() if j else "") + a.text for j, a in enumerate(arguments)) + layout.close()

    def sql(self, schema):
        if self.op == "NOT":
            return "(NOT %s)" % self.arguments[0].sql(schema)
        joiner = " AND " if self.op == "AND" else " OR "
        return "(" + joiner.join(a.sql(schema) for a in self.arguments) + ")"


# ---------------------------------------------------------------- environments

class Relation:
    def __init__(self, name, schema, rows, table):
        self.name, self.schema, self.rows, self.table = name, schema, rows, table
        self.distinct_rows = len(set(rows))


class Generator:
    """Builds one environment and queries over it from one seeded stream."""

    def __init__(self, rng):
        self.rng = rng
        self.layout = Layout(rng)

    # names ---------------------------------------------------------------

    def random_symbol(self):
        while True:
            length = self.rng.randint(1, 5)
            s = self.rng.choice(SYMBOL_START) + "".join(self.rng.choice(SYMBOL_REST) for _ in range(length - 1))
            if s not in RESERVED:
                return s

    def fresh_name(self, avoid, pool=COLUMN_NAMES):
        for _ in range(100):
            s = self.rng.choice(pool) if self.rng.random() < 0.6 else self.random_symbol()
            if s not in avoid:
                return s
        raise AssertionError("no fresh name")

    def fresh_relation_name(self, avoid):
        while True:
            s = self.fresh_name(avoid, RELATION_NAMES)
            if not (s.startswith("union") or s.startswith("minus")):
                return s

    # values --------------------------------------------------------------

    def int_value(self):
        return self.rng.choice(INT_COMMON) if self.rng.random() < 0.9 else self.rng.choice(INT_RARE)

    def string_value(self, length):
        return self.rng.choice([s for s in STRINGS if len(s) <= length])

    def value(self, column):
        return self.int_value() if column.kind == "int" else self.string_value(column.length)

    def literal(self, kind):
        if kind == "int":
            return self.int_value()
        return self.rng.choice(STRINGS if self.rng.random() < 0.9 else LONG_STRINGS)

    # environment ---------------------------------------------------------

    def environment(self, connection):
        rng = self.rng
        # A small pool of column names, each usually of one kind, so that
        # relations share names and kinds: unions then often need no rename
        # and products often need one.
        pool = []
        while len(pool) < 6:
            name = self.fresh_name(pool)
            pool.append(name)
        preferred = {n: rng.choice(["int", "char"]) for n in pool}
        self.relations = []
        texts = []
        used = set()
        for t in range(rng.randint(2, 5)):
            name = self.fresh_relation_name(used)
            used.add(name)
            width = rng.choice([1, 1, 2, 2, 2, 3, 3, 4])
            columns = []
            for cname in rng.sample(pool, width):
                kind = preferred[cname] if rng.random() < 0.85 else rng.choice(["int", "char"])
                length = rng.choice(CHAR_LENGTHS) if rng.random() < 0.97 else CHAR_LENGTH_LARGEST
                columns.append(Column(cname, kind, None if kind == "int" else length))
            schema = Schema(name, columns)
            count = rng.choice([0, 1, 2, 3, 4, 5, 6, 8, 10, 12])
            rows = []
            for _ in range(count):
                if rows and rng.random() < 0.15:
                    rows.append(rng.choice(rows))
                elif rows and rng.random() < 0.3:
                    # Share a prefix with an earlier row, to exercise the
                    # later columns of the row order.
                    base = rng.choice(rows)
                    k = rng.randrange(len(columns))
                    rows.append(base[:k] + tuple(self.value(c) for c in columns[k:]))
                else:
                    rows.append(tuple(self.value(c) for c in columns))
            table = "t%d" % t
            connection.execute("CREATE TABLE %s (%s)" % (table, ", ".join(
                "c%d %s" % (i, "INTEGER" if c.kind == "int" else "TEXT COLLATE BINARY")
                for i, c in enumerate(columns))))
            connection.executemany("INSERT INTO %s VALUES (%s)" % (table, ", ".join("?" * width)), rows)
            relation = Relation(name, schema, rows, table)
            self.relations.append(relation)
            texts.append(self.relation_text(relation))
        self.environment_text = "".join(texts)
        self.relation_names = used

    def relation_text(self, relation):
        rng = self.rng
        heads = []
        for c in relation.schema.columns:
            if c.kind == "int":
                heads.append(c.name + " int")
            else:
                r = rng.random()
                form = "char(%d)" if r < 0.85 else ("char ( %d )" if r < 0.93 else "char(+%d)")
                heads.append(c.name + " " + form % c.length)
        text = relation.name + "(" + "".join((self.layout.comma() if j else "") + h for j, h in enumerate(heads)) + ")\n"
        for k, row in enumerate(relation.rows):
            fields = [self.layout.int_literal(v) if isinstance(v, int) else "'" + v + "'" for v in row]
            text += "".join((self.layout.comma() if j else "") + f for j, f in enumerate(fields))
            # Rows need no separator at all; usually each stands on its line.
            text += "\n" if rng.random() < 0.85 or k == len(relation.rows) - 1 else " "
        return text

    # expressions ---------------------------------------------------------

    def base(self):
        return Base(self.rng.choice(self.relations))

    def expression(self, depth):
        rng = self.rng
        if depth <= 0 or rng.random() < 0.15:
            return self.base()
        op = rng.choices(["select", "project", "rename", "union", "minus", "product"],
                         weights=[3, 2.5, 1.2, 2.5, 2.5, 2])[0]
        if op == "select":
            argument = self.expression(depth - 1)
            return Select(argument, self.condition(argument.schema, rng.choice([0, 1, 1, 2, 3])), self.layout)
        if op == "project":
            argument = self.expression(depth - 1)
            names = argument.schema.names
            return Project(argument, rng.sample(names, rng.randint(1, len(names))), self.layout)
        if op == "rename":
            argument = self.expression(depth - 1)
            return self.rename(argument, self.distinct_names(len(argument.schema.columns)))
        if op in ("union", "minus"):
            first = self.expression(depth - 1)
            count = rng.choice([1, 2, 2, 2, 3, 3, 4]) if rng.random() < 0.05 else rng.choice([2, 2, 3, 3, 4])
            terms = [first] + [self.compatible(first, depth - 1) for _ in range(count - 1)]
            return SetOperation(op, terms, self.layout)
        return self.product(depth)

    def distinct_names(self, count):
        names = []
        while len(names) < count:
            names.append(self.fresh_name(names))
        return names

    def rename(self, argument, names):
        return Rename(argument, self.fresh_name(set(), RELATION_NAMES + COLUMN_NAMES), names, self.layout)

    def compatible(self, target, depth):
        """An expression whose schema coerces with target's: same names, same kinds."""
        rng = self.rng
        want = target.schema
        for attempt in range(5):
            candidate = self.expression(depth) if attempt < 3 else self.base()
            indexes = self.match_columns(candidate.schema, want)
            if indexes is None:
                continue
            node = candidate
            if indexes != list(range(len(candidate.schema.columns))) or rng.random() < 0.1:
                node = Project(candidate, [candidate.schema.columns[i].name for i in indexes], self.layout)
            if node.schema.names != want.names or rng.random() < 0.1:
                node = self.rename(node, want.names)
            return node
        # The target itself, filtered, always fits.
        return Select(target, self.condition(want, 1), self.layout) if rng.random() < 0.7 else target

    def match_columns(self, have, want):
        """Distinct column indexes of have, one per column of want and of its kind."""
        used = set()
        indexes = []
        for w in want.columns:
            same = [i for i, c in enumerate(have.columns) if i not in used and c.kind == w.kind and c.name == w.name]
            other = [i for i, c in enumerate(have.columns) if i not in used and c.kind == w.kind]
            if not other:
                return None
            i = self.rng.choice(same) if same and self.rng.random() < 0.8 else self.rng.choice(other)
            used.add(i)
            indexes.append(i)
        return indexes

    def product(self, depth):
        rng = self.rng
        count = rng.choice([1, 2, 2, 3]) if rng.random() < 0.05 else rng.choice([2, 2, 2, 3])
        terms, names, rows, width = [], set(), 1, 0
        for _ in range(count):
            term = None
            for attempt in range(4):
                t = self.expression(depth - 1) if attempt < 3 else min(
                    (Base(r) for r in self.relations), key=lambda b: b.bound)
                if rows * t.bound <= MAX_PRODUCT_ROWS and width + len(t.schema.columns) <= MAX_PRODUCT_WIDTH:
                    term = t
                    break
            if term is None:
                if len(terms) >= 2:
                    break
                term = t
            if names & set(term.schema.names) or rng.random() < 0.1:
                fresh = []
                while len(fresh) < len(term.schema.columns):
                    fresh.append(self.fresh_name(names | set(fresh)))
                term = self.rename(term, fresh)
            terms.append(term)
            names |= set(term.schema.names)
            rows *= max(term.bound, 1)
            width += len(term.schema.columns)
        return Product(terms, self.layout)

    # conditions ----------------------------------------------------------

    def condition(self, schema, depth):
        rng = self.rng
        if depth > 0 and rng.random() < 0.5:
            op = rng.choice(["NOT", "AND", "OR"])
            count = 1 if op == "NOT" else rng.choice([1, 2, 2, 3])
            return Logical(op, [self.condition(schema, depth - 1) for _ in range(count)], self.layout)
        return self.comparison(schema)

    def comparison(self, schema):
        rng = self.rng
        op = rng.choice(list(ARITHMETIC_SQL))
        arity = 2 if rng.random() < 0.65 else rng.choice([3, 3, 4])
        kinds = sorted(set(schema.kinds))
        kind = rng.choice(kinds) if rng.random() < 0.85 else rng.choice(["int", "char"])
        columns = [c.name for c in schema.columns if c.kind == kind]
        literal_only = not columns or rng.random() < 0.07
        operands = []
        for _ in range(arity):
            if not literal_only and rng.random() < 0.55:
                operands.append(("column", rng.choice(columns)))
            elif not literal_only and columns and rng.random() < 0.3:
                # A value the column really holds makes EQ hold for some rows.
                column = schema.columns[schema.find(rng.choice(columns))]
                operands.append(("literal", self.value(column)))
            else:
                operands.append(("literal", self.literal(kind)))
        return Comparison(op, operands, self.layout)


# ---------------------------------------------------------------- queries

class Query:
    def __init__(self, ident, expression_text, environment_text, rng):
        self.ident = ident
        # The input usually ends with a newline; the echo adds one if not.
        environment = environment_text if rng.random() < 0.95 else environment_text.rstrip("\n")
        self.input = expression_text + "\n" + environment
        self.echo = self.input if self.input.endswith("\n") else self.input + "\n"
        self.sql = None
        self.expected_status = 0
        self.expected_result = None   # text after the echo


def relation_text(schema, rows):
    return schema.text() + "\n" + "".join(", ".join(write_value(v) for v in row) + "\n" for row in rows) + "\n"


def evaluate(connection, node):
    """The result rows of node from SQLite, in the interpreter's row order."""
    width = len(node.schema.columns)
    order = ", ".join(str(i + 1) for i in range(width))
    rows = connection.execute("SELECT * FROM (%s) ORDER BY %s" % (node.sql, order)).fetchall()
    for row in rows:
        for v, c in zip(row, node.schema.columns):
            if isinstance(v, int) != (c.kind == "int") or isinstance(v, bool):
                raise AssertionError("SQLite returned %r for a %s column" % (v, c.kind))
    if rows != sorted(rows) or len(set(rows)) != len(rows):
        raise AssertionError("SQLite result not an ordered set: %r" % rows)
    return rows


def result_query(generator, connection, ident, rng):
    node = generator.expression(rng.choice([1, 2, 2, 3, 3, 4, 4, 5]))
    query = Query(ident, node.text, generator.environment_text, rng)
    query.sql = node.sql
    query.expected_result = relation_text(node.schema, evaluate(connection, node))
    return query


def error_query(generator, connection, ident, rng):
    """A query whose evaluation fails in a predictable way, or, where the
    failure depends on a row being tested, succeeds on an empty argument."""
    g = generator
    kind = rng.choice(["select-column", "project-column", "project-duplicate", "relation",
                       "product-overlap", "coerce", "rename-count", "rename-duplicate", "type-mismatch"])
    argument = g.expression(rng.choice([0, 0, 1, 2]))
    schema = argument.schema
    message = None
    if kind == "select-column":
        missing = g.fresh_name(set(schema.names))
        literal = ("literal", g.literal(rng.choice(["int", "char"])))
        condition = Comparison(rng.choice(list(ARITHMETIC_SQL)), [("column", missing), literal], g.layout)
        text = "select(%s, %s)" % (argument.text, condition.text)
        rows = evaluate(connection, argument)
        if rows:
            message = "Column %s not found in schema %s." % (missing, schema.text())
        else:
            result = relation_text(schema, [])
    elif kind == "project-column":
        missing = g.fresh_name(set(schema.names))
        names = rng.sample(schema.names, rng.randint(0, len(schema.names)))
        names.insert(rng.randint(0, len(names)), missing)
        if rng.random() < 0.5:
            names.append(rng.choice(names))
        text = "project(%s, %s)" % (argument.text, ", ".join(names))
        message = "Column %s not found in schema %s." % (missing, schema.text())
    elif kind == "project-duplicate":
        names = rng.sample(schema.names, rng.randint(1, len(schema.names)))
        names.insert(rng.randint(0, len(names)), rng.choice(names))
        text = "project(%s, %s)" % (argument.text, ", ".join(names))
        message = "Duplicate columns in %s." % Schema(schema.name, [schema.columns[schema.find(n)] for n in names]).text()
    elif kind == "relation":
        missing = g.fresh_relation_name(g.relation_names)
        shape = rng.choice([lambda m: m, lambda m: "select(%s, EQ(1, 1))" % m, lambda m: "project(%s, a)" % m,
                            lambda m: "rename(%s, Q(a))" % m, lambda m: "union(%s, %s)" % (argument.text, m),
                            lambda m: "product(%s, %s)" % (argument.text, m)])
        text = shape(missing)
        message = "Relation %s not found." % missing
    elif kind == "product-overlap":
        text = "product(%s, %s)" % (argument.text, argument.text)
        message = "Cannot product non-disjoint schemas: %s and %s." % (schema.text(), schema.text())
    elif kind == "coerce":
        other = None
        for _ in range(20):
            candidate = g.expression(rng.choice([0, 0, 1]))
            if rng.random() < 0.5 and len(candidate.schema.columns) == len(schema.columns):
                candidate = g.rename(candidate, schema.names)
            if coerce_error(schema, candidate.schema):
                other = candidate
                break
        if other is None:
            other = Project(argument, [schema.names[0]], g.layout) if len(schema.columns) > 1 else \
                g.rename(argument, [schema.names[0] + "2"])
        keyword = rng.choice(["union", "minus"])
        text = "%s(%s, %s)" % (keyword, argument.text, other.text)
        message = coerce_error(schema, other.schema)
    elif kind == "rename-count":
        count = len(schema.columns) + rng.choice([-1, 1, 2]) if len(schema.columns) > 1 else rng.choice([2, 3])
        names = g.distinct_names(count)
        new = g.fresh_name(set(), RELATION_NAMES)
        text = "rename(%s, %s(%s))" % (argument.text, new, ", ".join(names))
        message = "Cannot rename schema %s to %s(%s)." % (schema.text(), new, ", ".join(names))
    elif kind == "rename-duplicate":
        if len(schema.columns) < 2:
            argument = Product([argument, g.rename(argument, [schema.names[0] + "_"])], g.layout)
            schema = argument.schema
        names = g.distinct_names(len(schema.columns))
        i, j = rng.sample(range(len(names)), 2)
        names[j] = names[i]
        new = g.fresh_name(set(), RELATION_NAMES)
        text = "rename(%s, %s(%s))" % (argument.text, new, ", ".join(names))
        message = "Duplicate columns in %s." % Schema(new, [Column(n, c.kind, c.length)
                                                            for n, c in zip(names, schema.columns)]).text()
    else:  # type-mismatch
        op = rng.choice(list(ARITHMETIC_SQL))
        column = rng.randrange(len(schema.columns))
        kind_of = schema.columns[column].kind
        wrong = g.literal("char" if kind_of == "int" else "int")
        operands = [("column", schema.names[column]), ("literal", wrong)]
        if rng.random() < 0.5:
            operands.reverse()
        condition = Comparison(op, operands, g.layout)
        text = "select(%s, %s)" % (argument.text, condition.text)
        rows = evaluate(connection, argument)
        if rows:
            values = [rows[0][column] if o[0] == "column" else o[1] for o in operands]
            if op in ("GT", "LTE"):
                values.reverse()   # these call less on the right operand first
            message = "Type mismatch between %s and %s." % (write_value(values[0]), write_value(values[1]))
        else:
            result = relation_text(schema, [])
    query = Query(ident, text, g.environment_text, rng)
    query.sql = argument.sql
    if message is not None:
        query.expected_status = 1
        query.expected_result = message + "\n"
    else:
        query.expected_result = result
    query.error_kind = kind
    return query


def make_group(seed, group):
    """The queries of one environment; each group has its own random stream."""
    rng = random.Random("%d:%d" % (seed, group))
    connection = sqlite3.connect(":memory:")
    generator = Generator(rng)
    generator.environment(connection)
    queries = []
    for k in range(QUERIES_PER_ENVIRONMENT):
        ident = group * QUERIES_PER_ENVIRONMENT + k
        if rng.random() < 0.05:
            queries.append(error_query(generator, connection, ident, rng))
        else:
            queries.append(result_query(generator, connection, ident, rng))
    connection.close()
    return queries


# ---------------------------------------------------------------- running

def run(program, query):
    completed = subprocess.run([program], input=query.input.encode("latin-1"), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=TIMEOUT_SECONDS)
    return completed.returncode, completed.stdout.decode("latin-1"), completed.stderr.decode("latin-1")


def parse_row(line):
    """The values of one printed row; strings hold no apostrophe."""
    values, i = [], 0
    while True:
        if line.startswith("'", i):
            end = line.index("'", i + 1)
            values.append(line[i + 1:end])
            i = end + 1
        else:
            end = line.find(", ", i)
            end = len(line) if end < 0 else end
            values.append(int(line[i:end]))
            i = end
        if i == len(line):
            return tuple(values)
        if not line.startswith(", ", i):
            raise ValueError("bad row")
        i += 2


def explain(expected, actual):
    """Short notes on how a printed relation differs from the expected one."""
    notes = []
    e_lines, a_lines = expected.split("\n"), actual.split("\n")
    if e_lines[0] != a_lines[0]:
        notes.append("schema line: expected %r, got %r" % (e_lines[0], a_lines[0]))
    try:
        e_rows = [parse_row(l) for l in e_lines[1:] if l]
        a_rows = [parse_row(l) for l in a_lines[1:] if l]
    except (ValueError, IndexError):
        notes.append("result rows could not be read")
        return notes
    missing = [r for r in e_rows if r not in set(a_rows)]
    extra = [r for r in set(a_rows) if r not in set(e_rows)]
    if missing:
        notes.append("rows missing: %r" % missing[:10])
    if extra:
        notes.append("rows not expected: %r" % sorted(extra)[:10])
    if len(set(a_rows)) != len(a_rows):
        notes.append("repeated rows printed")
    if a_rows != sorted(a_rows):
        notes.append("rows not printed in row order")
    return notes


def check(query, outcome):
    status, stdout, stderr = outcome
    problems = []
    if status != query.expected_status:
        problems.append("exit status %d, expected %d" % (status, query.expected_status))
    if stderr:
        problems.append("standard error is not empty")
    if not stdout.startswith(query.echo):
        problems.append("the output does not begin with the echo of the input")
    elif stdout[len(query.echo):] != query.expected_result:
        problems.append("the result differs")
        if query.expected_status == 0 and status == 0:
            problems.extend(explain(query.expected_result, stdout[len(query.echo):]))
    return problems


def report(seed, query, outcome, problems, program):
    status, stdout, stderr = outcome
    print("=" * 72)
    print("MISMATCH in query %d (seed %d); rerun with: %s %s --seed %d --only %d"
          % (query.ident, seed, sys.argv[0], program, seed, query.ident))
    for p in problems:
        print("  - " + p)
    print("--- input")
    sys.stdout.write(query.input if query.input.endswith("\n") else query.input + "\n")
    print("--- SQL")
    print(query.sql)
    print("--- expected (status %d, after the echo)" % query.expected_status)
    sys.stdout.write(query.expected_result)
    print("--- actual (status %d, after the echo)" % status)
    sys.stdout.write(stdout[len(query.echo):] if stdout.startswith(query.echo) else stdout)
    if stderr:
        print("--- actual standard error")
        sys.stdout.write(stderr)


def main():
    parser = argparse.ArgumentParser(description="Differential test of qorvantel against SQLite.")
    parser.add_argument("program")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--count", type=int, default=DEFAULT_COUNT, help="number of queries")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--only", type=int, help="run just the query with this id, verbosely")
    parser.add_argument("--show", type=int, default=5, help="mismatches shown in full")
    args = parser.parse_args()

    if args.only is not None:
        group = args.only // QUERIES_PER_ENVIRONMENT
        queries = [q for q in make_group(args.seed, group) if q.ident == args.only]
    else:
        groups = (args.count + QUERIES_PER_ENVIRONMENT - 1) // QUERIES_PER_ENVIRONMENT
        queries = [q for g in range(groups) for q in make_group(args.seed, g)][:args.count]

    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        outcomes = list(pool.map(lambda q: run(args.program, q), queries))

    passed = failed = 0
    for query, outcome in zip(queries, outcomes):
        problems = check(query, outcome)
        if args.only is not None and not problems:
            print("--- input")
            sys.stdout.write(query.input)
            print("--- SQL")
            print(query.sql)
            print("--- output (status %d)" % outcome[0])
            sys.stdout.write(outcome[1])
        if problems:
            failed += 1
            if failed <= args.show or args.only is not None:
                report(args.seed, query, outcome, problems, args.program)
            else:
                print("MISMATCH in query %d: %s" % (query.ident, "; ".join(problems)))
        else:
            passed += 1
    errors = sum(1 for q in queries if q.expected_status)
    print("seed %d: %d queries (%d evaluation errors expected)" % (args.seed, len(queries), errors))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
