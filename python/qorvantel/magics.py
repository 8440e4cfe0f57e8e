"""The notebook magics: %load_ext qorvantel, then

    %ra_load sailors.env          an environment for the notebook (also a
                                  .csv file or files, a SQLite database, or
                                  the name of a variable holding a dict of
                                  DataFrames or a qorvantel.Environment)
    %%ra [-o NAME]                the cell's expression: result table,
                                  textbook notation, operator tree; -o binds
                                  the result (a qorvantel.Relation) to NAME
    %%ra_check EXERCISES ID       the cell's answer against exercise ID of
                                  an exercise file: points, verdict,
                                  guarantee, counterexample, fault

Errors show as the console's message, with a caret under its column.
"""
import html
import os
import shlex
import tempfile

from IPython.core.magic import Magics, cell_magic, line_magic, magics_class
from IPython.display import HTML, display

import qorvantel
from qorvantel.tree_svg import tree_svg

STYLE = ('<style>.qorvantel-relation table{border-collapse:collapse;margin:2px 0}'
         '.qorvantel-relation td,.qorvantel-relation th{border:1px solid #bbb;padding:1px 6px;'
         'font-family:monospace}.qorvantel-error{color:#a00;white-space:pre;font-family:monospace}'
         '.qorvantel-fault{background:#fdd;text-decoration:underline wavy #c00}</style>')


def error_html(error, source=None):
    text = html.escape(str(error))
    caret = ''
    if source is not None and getattr(error, 'line', None):
        lines = source.split('\n')
        if 0 < error.line <= len(lines):
            caret = '\n' + html.escape(lines[error.line - 1]) + '\n' + ' ' * (max(error.column, 1) - 1) + '^'
    return f'<div class="qorvantel-error">{text}{caret}</div>'


def environment_html(text):
    """Each relation of an environment text as a table."""
    env = qorvantel.Environment.from_text(text)
    return ''.join(relation._repr_html_() for relation in env.relations.values())


def result_html(text):
    """A result as the checker reports it: a relation's text, or a message."""
    if '(' in text.split('\n', 1)[0]:
        try:
            return _relation_text_html(text)
        except qorvantel.Error:
            pass
    return f'<pre>{html.escape(text)}</pre>'


def _relation_text_html(text):
    # A result's schema has the relation's name or none; read it back as a
    # one-relation environment under a name when it has none.
    first, _, rest = text.partition('\n')
    name = first.split('(', 1)[0]
    if not name:
        first = 'result' + first
    env = qorvantel.Environment.from_text(first + '\n' + rest)
    return ''.join(relation._repr_html_() for relation in env.relations.values())


def fault_html(source, fault):
    """The answer with its fault range marked: the checker's "fault" is
    {line, column, end_line, end_column, message}, columns from 1, the end
    included."""
    if not isinstance(fault, dict):
        return f'<p>Fault: <code>{html.escape(str(fault))}</code></p>'
    lines = source.split('\n')
    offsets = [0]
    for line in lines:
        offsets.append(offsets[-1] + len(line) + 1)
    try:
        start = offsets[fault['line'] - 1] + fault['column'] - 1
        end = offsets[fault.get('end_line', fault['line']) - 1] + fault.get('end_column', fault['column'])
    except (KeyError, IndexError, TypeError):
        start = end = -1
    note = html.escape(str(fault.get('message', '')))
    if not 0 <= start < end <= len(source):
        return f'<p>The answer goes wrong: {note}.</p>'
    marked = (html.escape(source[:start]) + '<span class="qorvantel-fault">' + html.escape(source[start:end]) +
              '</span>' + html.escape(source[end:]))
    return f'<p>The answer goes wrong here: {note}.</p><pre>{marked}</pre>'


def difference_html(differences):
    """The checker's "difference": a row of one result and why."""
    if not isinstance(differences, list):
        return f'<p>Difference: <code>{html.escape(str(differences))}</code></p>'
    items = []
    for each in differences:
        if not isinstance(each, dict):
            items.append(f'<li><code>{html.escape(str(each))}</code></li>')
            continue
        where = 'only the answer has' if each.get('in') == 'answer' else 'only the reference has'
        why = '; '.join(str(w) for w in each.get('why', []))
        dropped = f' (dropped by <code>{html.escape(each["dropped_by"])}</code>)' if each.get('dropped_by') else ''
        items.append(f'<li>{where} <code>{html.escape(str(each.get("row", "")))}</code>{dropped}'
                     f'{": " + html.escape(why) if why else ""}</li>')
    return '<ul>' + ''.join(items) + '</ul>'


@magics_class
class RelationalAlgebraMagics(Magics):
    def __init__(self, shell):
        super().__init__(shell)
        self.environment = qorvantel.Environment()

    @line_magic
    def ra_load(self, line):
        """%ra_load FILE... | VARIABLE: the notebook's environment."""
        words = shlex.split(line)
        if not words:
            display(HTML('<div class="qorvantel-error">%ra_load needs a file or a variable.</div>'))
            return
        try:
            self.environment = self._load(words)
        except qorvantel.Error as error:
            display(HTML(STYLE + error_html(error)))
            return
        names = ', '.join(f'{html.escape(n)} ({len(r)} rows)' for n, r in self.environment.relations.items())
        display(HTML(f'<p>Loaded {names or "no relation"}.</p>'))

    def _load(self, words):
        if len(words) == 1 and not os.path.exists(words[0]) and words[0] in self.shell.user_ns:
            value = self.shell.user_ns[words[0]]
            if isinstance(value, qorvantel.Environment):
                return value
            if isinstance(value, dict):
                return qorvantel.Environment.from_dataframes(value)
            raise qorvantel.SetupError(f'{words[0]} holds neither a qorvantel.Environment nor a dict of DataFrames.')
        if all(word.lower().endswith('.csv') for word in words):
            return qorvantel.Environment.from_csv(words)
        if len(words) == 1 and words[0].lower().endswith(('.sqlite', '.sqlite3', '.db')):
            return qorvantel.Environment.from_sqlite(words[0])
        if len(words) == 1:
            return qorvantel.Environment.from_file(words[0])
        raise qorvantel.SetupError('%ra_load takes one environment file, CSV files, a SQLite database or a variable.')

    @cell_magic
    def ra(self, line, cell):
        """%%ra [-o NAME]: evaluates the cell's expression."""
        words = shlex.split(line)
        target = None
        if len(words) == 2 and words[0] == '-o' and words[1].isidentifier():
            target = words[1]
        elif words:
            display(HTML('<div class="qorvantel-error">usage: %%ra [-o NAME]</div>'))
            return
        source = cell.strip('\n')
        try:
            result = self.environment.evaluate(source)
        except qorvantel.Error as error:
            tree = self._tree(source)
            display(HTML(STYLE + error_html(error, source) + tree))
            return
        if target:
            self.shell.user_ns[target] = result
        try:
            notation = '<p>$' + html.escape(qorvantel.to_latex(source)) + '$</p>'
        except qorvantel.Error:
            notation = ''
        display(HTML(STYLE + result._repr_html_() + notation + self._tree(source)))

    def _tree(self, source):
        try:
            tree = self.environment.tree(source)
        except qorvantel.Error:
            return ''
        return tree_svg(tree) if 'kind' in tree else ''

    @cell_magic
    def ra_check(self, line, cell):
        """%%ra_check EXERCISES ID: the cell's answer against an exercise."""
        words = shlex.split(line)
        if len(words) != 2:
            display(HTML('<div class="qorvantel-error">usage: %%ra_check EXERCISES ID</div>'))
            return
        path, wanted = words
        source = cell.strip('\n')
        try:
            display(HTML(STYLE + self._check(path, wanted, source)))
        except qorvantel.Error as error:
            display(HTML(STYLE + error_html(error)))

    def _check(self, path, wanted, source):
        file = qorvantel._json(qorvantel._core.exercises(path))
        exercise = next((e for e in file['exercises'] if e['id'] == wanted), None)
        if exercise is None:
            raise qorvantel.SetupError(f'{path} has no exercise {wanted}.')
        # The points as the grader gives them (forbid: included).
        with tempfile.NamedTemporaryFile('w', suffix='.txt', encoding='utf-8', errors='surrogateescape') as f:
            f.write(f'== {wanted}\n{source}\n')
            f.flush()
            graded = qorvantel.grade(path, f.name)
        test = next((t for t in graded.get('tests', []) if t.get('name') == wanted), {})
        parts = [f'<p><b>Exercise {html.escape(wanted)}</b>: {test.get("score", 0)} of '
                 f'{test.get("max_score", exercise["points"])} points.</p>']
        database = exercise['database'] or file['database']
        env = qorvantel.Environment.from_file(os.path.join(os.path.dirname(os.path.abspath(path)), database))
        report = None
        try:
            for number, reference in enumerate(exercise['answers']):
                each = qorvantel.check(env, reference, source, strict_names=exercise['strict_names'])
                if report is None or each.get('verdict') == 'same':
                    report = each
                if each.get('verdict') == 'same':
                    break
        except qorvantel.Error as error:
            parts.append(error_html(error, source))
            return ''.join(parts)
        parts.append(f'<p>Verdict: <b>{html.escape(str(report.get("verdict")))}</b>'
                     + (f' (on the {html.escape(str(report["where"]))} database)' if 'where' in report else '')
                     + '</p>')
        if 'guarantee' in report:
            parts.append(f'<p>Guarantee: {html.escape(str(report["guarantee"]))}</p>')
        for note in report.get('notes', []):
            parts.append(f'<p>Note: {html.escape(str(note))}</p>')
        if report.get('verdict') == 'differs':
            parts.append('<p>Counterexample:</p>' + environment_html(report['counterexample']))
            parts.append('<p>The reference gives:</p>' + result_html(report['reference']))
            parts.append('<p>Your answer gives:</p>' + result_html(report['answer']))
        if 'fault' in report:
            parts.append(fault_html(source, report['fault']))
        if report.get('difference'):
            parts.append(difference_html(report['difference']))
        if test.get('output') and test.get('score', 0) < test.get('max_score', 0) and report.get('verdict') == 'same':
            parts.append(f'<pre>{html.escape(test["output"])}</pre>')
        return ''.join(parts)


def load_ipython_extension(ipython):
    ipython.register_magics(RelationalAlgebraMagics)
