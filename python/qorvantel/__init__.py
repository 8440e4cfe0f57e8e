"""qorvantel from Python: the relational algebra interpreter, its answer
checker and its converter, built from the same C++ core as the programs.

    import qorvantel
    env = qorvantel.Environment.from_file('examples/sailors.env')
    result = env.evaluate('project(Sailor, sname)')
    print(result)            # the console's text, byte for byte
    result.rows              # [('Andy',), ...] in the console's order
    result.to_pandas()

Errors are qorvantel.Error (ParseError with line and column, QueryError,
OutOfMemoryError, SetupError); str() of one is the console's message.
In a notebook: %load_ext qorvantel (see docs/python.md).
"""
import atexit
import csv
import io
import json
import os

from . import _core

__all__ = ['Environment', 'Relation', 'Error', 'ParseError', 'QueryError', 'OutOfMemoryError', 'SetupError',
           'check', 'lint', 'grade', 'to_sql', 'to_latex', 'memory_budget']
__version__ = '1.0.0'


class Error(Exception):
    """An error of qorvantel: str() is the message the console writes."""

    def __init__(self, message, line=None, column=None):
        super().__init__(message)
        self.message = message
        self.line = line
        self.column = column

    def __str__(self):
        return self.message


class ParseError(Error):
    """An error with a place in the text read: line and column (from 1)."""


class QueryError(Error):
    """An expression that the interpreter refuses on these relations."""


class OutOfMemoryError(Error, MemoryError):
    """The memory budget (memory_budget()) ran out: "Out of memory."."""


class SetupError(Error):
    """A file that cannot be read, or an environment or reference in error."""


_core._set_errors(Error, ParseError, QueryError, OutOfMemoryError, SetupError)
# At exit the relations still held are left for the end of the process (as
# the console leaves its batch results) rather than released row by row.
atexit.register(_core._process_exits)


def memory_budget():
    """The memory budget in bytes, as the interpreter finds it (cgroups, limits)."""
    return _core.memory_budget()


def _bytes_back(value):
    """The checker's JSON writes bytes from 0x80 as \\u00XX: the text's bytes back, as UTF-8."""
    if isinstance(value, str):
        try:
            return value.encode('latin-1').decode('utf-8', 'surrogateescape')
        except UnicodeEncodeError:
            return value
    if isinstance(value, list):
        return [_bytes_back(v) for v in value]
    if isinstance(value, dict):
        return {k: _bytes_back(v) for k, v in value.items()}
    return value


def _json(text):
    return _bytes_back(json.loads(text))


class Relation:
    """A relation: a schema and rows, exact, in the console's order."""

    __slots__ = ('_core', '_rows')

    def __init__(self, core):
        self._core = core
        self._rows = None

    @property
    def name(self):
        """The relation's name, or None for a result of an operator."""
        return self._core.name()

    @property
    def schema(self):
        """[(column name, type)], the type 'int' or 'char(n)'."""
        return self._core.schema()

    @property
    def columns(self):
        return [name for name, _ in self.schema]

    @property
    def rows(self):
        """The rows as tuples of int and str."""
        if self._rows is None:
            self._rows = self._core.rows(self._core.count())
        return self._rows

    def __len__(self):
        return self._core.count()

    def __iter__(self):
        return iter(self.rows)

    def __eq__(self, other):
        if not isinstance(other, Relation):
            return NotImplemented
        return self.schema == other.schema and self.rows == other.rows

    __hash__ = None

    def __str__(self):
        """The console's text of the relation, without the line after it."""
        return self._core.text()

    def __bytes__(self):
        """The console's text as the bytes it writes (no decoding)."""
        return self._core.text_bytes()

    def __repr__(self):
        return f'<qorvantel.Relation {self._core.schema_text()}, {len(self)} rows>'

    def to_pandas(self):
        """A pandas DataFrame: int64 columns for int, object (str) for char."""
        import pandas
        names = self.columns
        data = self._core.columns()
        frame = pandas.DataFrame(dict(zip(range(len(names)), data)), copy=False)
        frame.columns = names
        return frame

    def _repr_html_(self, limit=200):
        from html import escape
        schema = escape(self._core.schema_text())
        head = ''.join(f'<th>{escape(n)} <small>{escape(t)}</small></th>' for n, t in self.schema)
        count = len(self)
        body = ''.join('<tr>' + ''.join(f'<td>{escape(str(v))}</td>' for v in row) + '</tr>'
                       for row in self._core.rows(limit))
        more = (f'<p><small>{limit} of {count} rows shown</small></p>' if count > limit else
                f'<p><small>{count} row{"" if count == 1 else "s"}</small></p>')
        return (f'<div class="qorvantel-relation"><code>{schema}</code>'
                f'<table><thead><tr>{head}</tr></thead><tbody>{body}</tbody></table>{more}</div>')


class Environment:
    """Named relations: what expressions are evaluated against."""

    __slots__ = ('_core',)

    def __init__(self, core=None):
        self._core = core if core is not None else _core.environment_from_text('')

    @classmethod
    def from_text(cls, text):
        """An environment from its text (the interpreter's environment format)."""
        return cls(_core.environment_from_text(text))

    @classmethod
    def from_file(cls, path):
        return cls(_core.environment_from_file(os.fspath(path)))

    @classmethod
    def from_csv(cls, paths, types=None):
        """One relation per CSV file (a header row of names), named after the
        file, as qorvantel-convert from-csv reads it; types as its --types."""
        if isinstance(paths, (str, bytes, os.PathLike)):
            paths = [paths]
        paths = [os.fspath(p) for p in paths]
        text = _core.csv_environment_text(paths, [None] * len(paths), [None] * len(paths), types)
        return cls.from_text(text)

    @classmethod
    def from_sqlite(cls, path, tables=()):
        """Tables (or views) of a SQLite database, every table when none is named."""
        if isinstance(tables, str):
            tables = [tables]
        return cls.from_text(_core.sqlite_environment_text(os.fspath(path), list(tables)))

    @classmethod
    def from_dataframes(cls, frames):
        """{name: DataFrame}: int64 columns (within the int range) and str columns."""
        names, datas, relations, types = [], [], [], []
        for name, frame in frames.items():
            if not isinstance(name, str):
                raise TypeError(f'relation names must be str, not {type(name).__name__}')
            out = io.StringIO()
            writer = csv.writer(out, lineterminator='\n')
            columns = [str(c) for c in frame.columns]
            writer.writerow(columns)
            converted = []
            for label, column in zip(columns, frame.columns):
                series = frame[column]
                kind = series.dtype.kind
                if kind in 'iu':
                    bad = series[(series < -2147483648) | (series > 2147483647)]
                    if len(bad):
                        raise SetupError(f'{name}: column {label}: {bad.iloc[0]} is outside the int range '
                                         f'(-2147483648 to 2147483647).')
                    types.append(f'{label}=int')
                    converted.append([int(v) for v in series])
                elif kind == 'O' or str(series.dtype) == 'string':
                    for value in series:
                        if not isinstance(value, str):
                            raise SetupError(f'{name}: column {label}: {value!r} is not a string; columns '
                                             f'hold int64 or str.')
                    types.append(f'{label}=char')
                    converted.append(list(series))
                else:
                    first = series.iloc[0] if len(series) else None
                    raise SetupError(f'{name}: column {label} has type {series.dtype} (first value {first!r}); '
                                     f'columns hold int64 or str.')
            writer.writerows(zip(*converted))
            names.append(name + '.csv')
            datas.append(out.getvalue())
            relations.append(name)
        text = _core.csv_environment_text(names, datas, relations, ','.join(types) if types else None)
        return cls.from_text(text)

    @property
    def relations(self):
        """{name: Relation} in the console's (byte) order of the names."""
        return {name: Relation(core) for name, core in self._core.relations()}

    def __getitem__(self, name):
        return self.relations[name]

    def __str__(self):
        """What the console writes for an empty line: every relation."""
        return self._core.text()

    def __repr__(self):
        return f'<qorvantel.Environment {", ".join(self.relations)}>'

    def evaluate(self, expression):
        """The relation of an expression, exactly as the console computes it."""
        return Relation(self._core.evaluate(expression))

    def tree(self, expression):
        """The operator tree as a dict: kind, label, expression, evaluated,
        schema, rows, error, children."""
        return _json(self._core.tree(expression))


def _environment(env):
    if isinstance(env, Environment):
        return env
    if isinstance(env, (str, bytes)):
        return Environment.from_text(env)
    raise TypeError(f'env must be a qorvantel.Environment or its text, not {type(env).__name__}')


def check(env, reference, answer, strict_names=False, instances=500, seed=1):
    """The checker's report on answer against reference, as qorvantel-check --json writes it."""
    return _json(_environment(env)._core.check(reference, answer, bool(strict_names), instances, seed))


def lint(env, expression):
    """{'notes': [{'line', 'column', 'message'}]}, as qorvantel-check --lint --json."""
    return _json(_environment(env)._core.lint(expression))


def grade(exercises_path, submissions, strict_names=False, instances=500, seed=1):
    """Grades submission files against an exercise file, as qorvantel-check
    --grade --json: one dict for one submission (a path), a list for a list."""
    single = isinstance(submissions, (str, bytes, os.PathLike))
    paths = [os.fspath(submissions)] if single else [os.fspath(s) for s in submissions]
    text = _core.grade(os.fspath(exercises_path), paths, bool(strict_names), instances, seed)
    results = [_json(line) for line in text.splitlines() if line.strip()]
    return results[0] if single else results


def to_sql(expression, env, dialect='sqlite', tables=False):
    """The SELECT that returns the interpreter's rows in its order; with
    tables=True, the CREATE TABLE and INSERT statements first, as to-sql."""
    return _environment(env)._core.to_sql(expression, dialect, bool(tables))


def to_latex(expression):
    """The expression in textbook notation, as LaTeX math (without the $)."""
    return _core.to_latex(expression)


def load_ipython_extension(ipython):
    from .magics import load_ipython_extension as load
    load(ipython)
