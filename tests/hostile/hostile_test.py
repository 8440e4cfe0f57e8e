#!/usr/bin/env python3
"""Hostile input for the qorvantel program: every byte value, numbers at and
past their bounds, lines of megabytes, odd line ends, empty, missing and
unwritable files, the same file as input and output, unterminated console
input and nesting at and far past its bound.

Usage: hostile_test.py PROGRAM

Whatever the input, the program must end with exit status 0 or 1, write
nothing on standard error, and after an error write one message on standard
output. Where the language fixes the outcome, the exact output is checked.
The nesting bound is read from src/parsing/parsing.h, so the tests follow it.
Prints 'N passed, N failed' and exits non-zero when anything failed.
"""
import os
import re
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from tally import Tally, show  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PARSING_HEADER = os.path.join(HERE, '..', '..', 'src', 'parsing', 'parsing.h')
TIMEOUT_SECONDS = 120

PROGRAM = None
TALLY = Tally()
record = TALLY.record
skip = TALLY.skip


# ---------------------------------------------------------------------------
# Running the program and judging the result

class Run:
    def __init__(self, status, stdout, stderr):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr


def run(args=(), stdin=b'', cwd=None, stdout_path=None):
    """Runs the program; stdout_path sends standard output to that file."""
    command = [PROGRAM] + list(args)
    try:
        if stdout_path is not None:
            with open(stdout_path, 'wb') as sink:
                done = subprocess.run(command, input=stdin, cwd=cwd, stdout=sink,
                                      stderr=subprocess.PIPE, timeout=TIMEOUT_SECONDS)
            return Run(done.returncode, b'', done.stderr)
        done = subprocess.run(command, input=stdin, cwd=cwd, capture_output=True,
                              timeout=TIMEOUT_SECONDS)
        return Run(done.returncode, done.stdout, done.stderr)
    except subprocess.TimeoutExpired:
        return Run('timeout', b'', b'')


def sane(result):
    """What holds for every run, whatever the input."""
    problems = []
    if result.status == 'timeout':
        return [f'no exit within {TIMEOUT_SECONDS} s']
    if result.status not in (0, 1):
        problems.append(f'exit status {result.status} (a crash or a signal)')
    if result.stderr:
        problems.append(f'standard error is not empty: {show(result.stderr)}')
    return problems


def check(name, result, status=None, stdout=None, stdout_prefix=None, stdout_suffix=None):
    problems = sane(result)
    if not problems:
        if status is not None and result.status != status:
            problems.append(f'exit status {result.status}, expected {status}')
        if stdout is not None and result.stdout != stdout:
            problems.append(f'standard output differs\n    expected: {show(stdout)}\n'
                            f'    actual:   {show(result.stdout)}')
        if stdout_prefix is not None and not result.stdout.startswith(stdout_prefix):
            problems.append(f'standard output does not begin with {show(stdout_prefix)}\n'
                            f'    actual: {show(result.stdout)}')
        if stdout_suffix is not None and not result.stdout.endswith(stdout_suffix):
            problems.append(f'standard output does not end with {show(stdout_suffix)}\n'
                            f'    actual: {show(result.stdout[-400:])}')
        if result.status == 1 and not re.search(rb'[^\n]\n\Z', result.stdout):
            problems.append(f'an error without a message line: {show(result.stdout[-200:])}')
    record(name, problems)


# ---------------------------------------------------------------------------
# The language's character classes and position reports

WHITESPACE = {0x20, 0x09, 0x0a, 0x0b, 0x0c, 0x0d}


def is_graphic(byte):
    return 0x21 <= byte <= 0x7e


def is_symbol_char(byte):
    return is_graphic(byte) and byte not in b",'()"


def is_string_char(byte):
    # The tab is left out: whether it may stand in a string is the
    # implementation's choice, so the byte tests only ask for a clean run.
    return byte == 0x20 or (is_graphic(byte) and byte != ord("'"))


def escaped(byte):
    if byte < 0x20 or byte == 0x7f:
        named = {0x1b: b'\\e', 0x0a: b'\\n', 0x09: b'\\t'}
        return named.get(byte, b'\\x%02x' % byte)
    return bytes([byte])


def report(text, offset):
    """The position report of offset in text (a text ends with a newline)."""
    if offset >= len(text):
        return b'at end of text'
    line = text.count(b'\n', 0, offset) + 1
    column = offset - (text.rfind(b'\n', 0, offset) + 1) + 1
    excerpt = b''.join(escaped(byte) for byte in text[offset:offset + 16])
    return b'in line %d, column %d, before `%s\'' % (line, column, excerpt)


def message(*pieces):
    return b''.join(pieces) + b'\n'


def batch_ok(text, result_text):
    """The standard output of a successful batch run on standard input."""
    return text + result_text


# ---------------------------------------------------------------------------
# Every byte value in names, strings, integer literals, between tokens and in
# console lines

def test_bytes_in_names():
    for byte in range(256):
        b = bytes([byte])
        text = b'R' + b + b'x\nR' + b + b'x(a int)\n1\n'
        name = f'byte 0x{byte:02x} in a relation name'
        result = run(stdin=text)
        if is_symbol_char(byte):
            check(name, result, 0, batch_ok(text, b'R' + b + b'x(a int)\n1\n\n'))
        elif byte in WHITESPACE:
            # The name ends at the byte; the environment then begins with x,
            # which is not followed by its columns.
            check(name, result, 1, stdout_prefix=b'Opening ( expected before schema columns sequence ')
        else:
            # The expression is R; no relation name can begin at the byte.
            check(name, result, 1, message(b'Garbage ', report(text, 1), b'.'))


def test_bytes_in_strings():
    for byte in range(256):
        b = bytes([byte])
        text = b"R\nR(a char(5))\n'a" + b + b"b'\n"
        name = f'byte 0x{byte:02x} in a string literal'
        result = run(stdin=text)
        row_offset = text.index(b"'a")
        if is_string_char(byte):
            check(name, result, 0, batch_ok(text, b"R(a char(5))\n'a" + b + b"b'\n\n"))
        elif byte == ord("'"):
            # 'a' is a row; b is then taken as the next relation's name.
            check(name, result, 1, message(b'Opening ( expected before schema columns sequence ',
                                           report(text, row_offset + 4), b'.'))
        elif byte == 0x09:
            check(name, result)
        else:
            # No string literal: the rows end there and the rest is garbage.
            check(name, result, 1, message(b'Garbage ', report(text, row_offset), b'.'))


def test_bytes_in_integers():
    for byte in range(256):
        b = bytes([byte])
        text = b'R\nR(a int)\n1' + b + b'2\n'
        name = f'byte 0x{byte:02x} in an integer literal'
        result = run(stdin=text)
        at = text.index(b'1' + b)
        if ord('0') <= byte <= ord('9'):
            check(name, result, 0, batch_ok(text, b'R(a int)\n1' + b + b'2\n\n'))
        elif byte in WHITESPACE or byte == ord('+'):
            check(name, result, 0, batch_ok(text, b'R(a int)\n1\n2\n\n'))
        elif byte == ord('-'):
            check(name, result, 0, batch_ok(text, b'R(a int)\n-2\n1\n\n'))
        elif is_symbol_char(byte):
            # The row is 1; the byte and 2 form the next relation's name.
            check(name, result, 1, message(b'Opening ( expected before schema columns sequence ',
                                           report(text, at + 3), b'.'))
        else:
            check(name, result, 1, message(b'Garbage ', report(text, at + 1), b'.'))


def test_bytes_between_tokens():
    for byte in range(256):
        b = bytes([byte])
        text = b'select(R,' + b + b'EQ(a,1))\nR(a int)\n1\n'
        name = f'byte 0x{byte:02x} between tokens'
        result = run(stdin=text)
        if byte in WHITESPACE:
            check(name, result, 0, batch_ok(text, b'R(a int)\n1\n\n'))
        elif byte == ord('N'):
            check(name, result, 0, batch_ok(text, b'R(a int)\n\n'))
        else:
            check(name, result, 1, message(b'Condition expected for select expression ',
                                           report(text, 0), b'.'))


def test_bytes_in_console_lines():
    with tempfile.TemporaryDirectory() as directory:
        environment = os.path.join(directory, 'env.txt')
        with open(environment, 'wb') as f:
            f.write(b'R(a int)\n1\n')
        for byte in range(256):
            b = bytes([byte])
            name = f'byte 0x{byte:02x} in a console line'
            result = run([environment], stdin=b'R' + b + b'\n')
            if byte == 0x0a:
                expected = b'$R(a int)\n1\n\n$R(a int)\n1\n\n$\n'
            elif is_symbol_char(byte):
                expected = b'$Relation R' + b + b' not found.\n$\n'
            elif byte in WHITESPACE:
                expected = b'$R(a int)\n1\n\n$\n'
            else:
                expected = b'$Garbage ' + report(b'R' + b + b'\n', 1) + b'.\n$\n'
            check(name, result, 0, expected)


# ---------------------------------------------------------------------------
# Numbers at and past their bounds

def test_integer_bounds():
    readable = [
        (b'2147483647', b'2147483647'),
        (b'-2147483647', b'-2147483647'),
        (b'+2147483647', b'2147483647'),
        (b'0000000000002147483647', b'2147483647'),
        (b'-0', b'0'),
        (b'+0', b'0'),
    ]
    for literal, written in readable:
        text = b'R\nR(a int)\n' + literal + b'\n'
        check(f'integer {literal.decode()} reads', run(stdin=text), 0,
              batch_ok(text, b'R(a int)\n' + written + b'\n\n'))
    # Past the range a literal is no integer at all, so the rows end and
    # what is left is garbage; no wrap-around or clamping may show through.
    for literal in [b'2147483648', b'-2147483648', b'4294967296', b'4294967297',
                    b'21474836470', b'18446744073709551616', b'99999999999999999999999999999']:
        text = b'R\nR(a int)\n' + literal + b'\n'
        check(f'integer {literal.decode()} is not read', run(stdin=text), 1,
              message(b'Garbage ', report(text, text.index(literal)), b'.'))
    # The same in a condition, where a value must follow the comma.
    text = b'select(R, EQ(a, 2147483648))\nR(a int)\n1\n'
    check('integer past the range in a condition', run(stdin=text), 1,
          message(b'Cannot parse next member of arguments of arithmetic condition sequence ',
                  report(text, text.index(b' 2147483648'))))
    text = b'select(R, EQ(a, 2147483647, -2147483647))\nR(a int)\n2147483647\n'
    check('integers at the bounds in a condition', run(stdin=text), 0, batch_ok(text, b'R(a int)\n\n'))


def test_string_type_bounds():
    for written, literal in [(b'char(4294967295)', b'char(4294967295)'),
                             (b'char(1)', b'char(000000000001)'),
                             (b'char(7)', b'char(+7)')]:
        text = b'R\nR(a ' + literal + b')\n\'x\'\n'
        check(f'{literal.decode()} is a type', run(stdin=text), 0,
              batch_ok(text, b'R(a ' + written + b")\n'x'\n\n"))
    for literal in [b'char(4294967296)', b'char(0)', b'char(-5)', b'char(18446744073709551617)',
                    b'char(99999999999999999999)', b'char()']:
        text = b'R\nR(a ' + literal + b')\n'
        check(f'{literal.decode()} is not a type', run(stdin=text), 1,
              message(b'Cannot parse next member of schema columns sequence ', report(text, 4)))
    # A string exactly as long as its column; one character more ends the rows.
    text = b"R\nR(a char(3))\n'abc'\n"
    check('string as long as its column', run(stdin=text), 0, batch_ok(text, b"R(a char(3))\n'abc'\n\n"))
    text = b"R\nR(a char(3))\n'abcd'\n"
    check('string one longer than its column', run(stdin=text), 1,
          message(b'Garbage ', report(text, text.index(b"'abcd'")), b'.'))


# ---------------------------------------------------------------------------
# Lines of several megabytes

MEGABYTES = 4


def test_long_lines():
    size = MEGABYTES << 20
    name = b'N' * size
    text = name + b'\n' + name + b'(a int)\n1\n'
    check(f'{MEGABYTES} MB relation name', run(stdin=text), 0, batch_ok(text, name + b'(a int)\n1\n\n'))

    content = b'x y' * (size // 3)
    text = b"R\nR(a char(4294967295))\n'" + content + b"'\n"
    check(f'{MEGABYTES} MB string', run(stdin=text), 0,
          batch_ok(text, b"R(a char(4294967295))\n'" + content + b"'\n\n"))

    count = 500000
    numbers = b' '.join(b'%d' % i for i in reversed(range(count)))
    text = b'R\nR(a int)\n' + numbers + b'\n'
    check(f'{len(numbers) >> 20} MB line of {count} rows', run(stdin=text), 0,
          batch_ok(text, b'R(a int)\n' + b''.join(b'%d\n' % i for i in range(count)) + b'\n'))

    terms = 200000
    expression = b'union(' + b', '.join([b'R'] * terms) + b')'
    text = expression + b'\nR(a int)\n1\n'
    check(f'union of {terms} terms on one line', run(stdin=text), 0, batch_ok(text, b'(a int)\n1\n\n'))

    # An error at the end of a long line reports the column in full.
    text = b'R\nR(a int)\n' + b' ' * size + b')\n'
    check(f'garbage after {MEGABYTES} MB of blanks', run(stdin=text), 1,
          message(b'Garbage ', report(text, text.rindex(b')\n')), b'.'))

    with tempfile.TemporaryDirectory() as directory:
        environment = os.path.join(directory, 'env.txt')
        with open(environment, 'wb') as f:
            f.write(b'R(a int)\n1\n')
        line = b'project(R, ' + b', '.join([b'a'] * 200000) + b')'
        result = run([environment], stdin=line + b'\nR\n')
        check('console line of 200000 repeated columns', result, 0,
              stdout_prefix=b'$Duplicate columns in R(a int, a int, ',
              stdout_suffix=b'a int).\n$R(a int)\n1\n\n$\n')


# ---------------------------------------------------------------------------
# Line ends, empty and missing files

def test_crlf():
    with tempfile.TemporaryDirectory() as directory:
        environment = os.path.join(directory, 'env.txt')
        with open(environment, 'wb') as f:
            f.write(b"R(a int, b char(3))\r\n2, 'y'\r\n1, 'x'\r\n")
        check('CRLF environment file', run([environment], stdin=b'\nR\r\nselect(R, EQ(b, \'y\'))\r\n'),
              0, b"$R(a int, b char(3))\n1, 'x'\n2, 'y'\n\n"
                 b"$R(a int, b char(3))\n1, 'x'\n2, 'y'\n\n"
                 b"$R(a int, b char(3))\n2, 'y'\n\n$\n")
    text = b"R\r\nR(a int, b char(3))\r\n2, 'y'\r\n1, 'x'\r\n"
    check('CRLF batch input is echoed as it is', run(stdin=text), 0,
          batch_ok(text, b"R(a int, b char(3))\n1, 'x'\n2, 'y'\n\n"))


def test_empty_and_missing_files():
    with tempfile.TemporaryDirectory() as directory:
        empty = os.path.join(directory, 'empty.txt')
        open(empty, 'wb').close()
        missing = os.path.join(directory, 'missing.txt')
        out = os.path.join(directory, 'out.txt')
        not_found = message(b'Valid expression not found at end of text.')
        for name, source in [('empty', empty), ('missing', missing), ('directory', directory)]:
            if os.path.exists(out):
                os.remove(out)
            check(f'batch from a {name} input file', run([source, out]), 1, not_found)
            problems = []
            if not os.path.exists(out):
                problems.append('the output file was not created')
            elif os.path.getsize(out) != 0:
                problems.append('the output file is not empty')
            record(f'batch from a {name} input file leaves an empty output file', problems)
            # The environment the user named must load: only an empty one
            # gives an empty session.
            if name == 'empty':
                check(f'interactive with a {name} environment file', run([source], stdin=b'\nR\n'),
                      0, b'$$Relation R not found.\n$\n')
            else:
                check(f'interactive with a {name} environment file', run([source], stdin=b'\nR\n'),
                      1, message(b'Cannot open environment file ' + source.encode() + b'.'))
        check('batch from empty standard input', run(stdin=b''), 1, not_found)
        check('interactive with no console input', run([empty], stdin=b''), 0, b'$\n')


def test_unterminated_console():
    with tempfile.TemporaryDirectory() as directory:
        environment = os.path.join(directory, 'env.txt')
        with open(environment, 'wb') as f:
            f.write(b'R(a int)\n1\n')
        check('console ending without a newline', run([environment], stdin=b'R'),
              0, b'$R(a int)\n1\n\n$\n')
        check('console ending in an unfinished expression', run([environment], stdin=b'R\nunion(R'),
              0, b'$R(a int)\n1\n\n$Cannot parse next member of union expression terms sequence '
                 + report(b'union(R\n', 7) + b'\n$\n')
        check('console ending in blanks', run([environment], stdin=b'  '),
              0, b'$Valid expression not found ' + report(b'  \n', 0) + b'.\n$\n')


# ---------------------------------------------------------------------------
# Output files that cannot be written, and the same file as input and output

VALID_INPUT = b'R\nR(a int)\n1\n'


def test_unwritable_output():
    with tempfile.TemporaryDirectory() as directory:
        source = os.path.join(directory, 'in.txt')
        with open(source, 'wb') as f:
            f.write(VALID_INPUT)
        if os.path.exists('/dev/full'):
            check('output to /dev/full', run([source, '/dev/full']), 1,
                  message(b'Cannot write output file /dev/full.'))
            # Standard output itself full: not even the message gets out,
            # but the exit status still tells.
            for name, args in [('batch', []), ('interactive', [source])]:
                result = run(args, stdin=VALID_INPUT, stdout_path='/dev/full')
                record(f'{name} with standard output on /dev/full', sane(result) or
                       ([] if result.status == 1 else [f'exit status {result.status}, expected 1']))
        else:
            skip('output to /dev/full', 'this system has no /dev/full')

        # A directory in place of the output file cannot be opened, root or not.
        os.mkdir(os.path.join(directory, 'sub'))
        check('output file is a directory', run(['in.txt', 'sub'], cwd=directory), 1,
              message(b'Cannot open output file sub.'))
        check('output file in a missing directory', run(['in.txt', 'nosuch/out.txt'], cwd=directory), 1,
              message(b'Cannot open output file nosuch/out.txt.'))

        read_only = os.path.join(directory, 'read-only.txt')
        with open(read_only, 'wb') as f:
            f.write(b'keep')
        os.chmod(read_only, stat.S_IRUSR)
        if os.geteuid() == 0:
            skip('output to a read-only file', 'running as root, which may write any file')
        else:
            check('output to a read-only file', run(['in.txt', 'read-only.txt'], cwd=directory), 1,
                  message(b'Cannot open output file read-only.txt.'))
            with open(read_only, 'rb') as f:
                record('read-only output file is unchanged', [] if f.read() == b'keep' else ['it changed'])


def test_same_file():
    with tempfile.TemporaryDirectory() as directory:
        source = os.path.join(directory, 'f.txt')
        spellings = [('f.txt', 'f.txt'), ('f.txt', './f.txt'), ('./f.txt', 'sub/../f.txt'),
                     ('f.txt', source), ('f.txt', 'link.txt'), ('f.txt', 'hard.txt')]
        os.mkdir(os.path.join(directory, 'sub'))
        with open(source, 'wb') as f:
            f.write(VALID_INPUT)
        os.symlink('f.txt', os.path.join(directory, 'link.txt'))
        os.link(source, os.path.join(directory, 'hard.txt'))
        for input_name, output_name in spellings:
            check(f'same file as {input_name} and {output_name}', run([input_name, output_name], cwd=directory),
                  1, message(b'Input file ' + input_name.encode() + b' and output file ' +
                             output_name.encode() + b' are the same file.'))
            with open(source, 'rb') as f:
                record(f'same file as {input_name} and {output_name} leaves it unchanged',
                       [] if f.read() == VALID_INPUT else ['the file changed'])


# ---------------------------------------------------------------------------
# Nesting at, just past and far past the bound

def nesting_bound():
    with open(PARSING_HEADER) as f:
        found = re.search(r'maximum_nesting_depth\s*=\s*(\d+)', f.read())
    if not found:
        raise SystemExit(f'no maximum_nesting_depth in {PARSING_HEADER}')
    return int(found.group(1))


def nested(kind, levels):
    """An expression whose deepest registry dispatch is at the given level,
    the offset where the dispatch at that level begins, and the rows it
    selects from R(a int) holding 1 and 2."""
    if kind == 'union':
        # Each union's terms are one level below it; R is the deepest.
        n = levels - 1
        prefix = b'union(' * n
        return prefix + b'R' + b')' * n, len(prefix), b'1\n2\n'
    if kind == 'select':
        # The condition is one level below its select, its values two.
        n = levels - 2
        prefix = b'select(' * n + b'R, EQ('
        return prefix + b'a, 1))' + b', EQ(a, 1))' * (n - 1), len(prefix), b'1\n'
    if kind == 'NOT':
        # select, then the NOTs, then EQ, then its values.
        n = levels - 3
        prefix = b'select(R, ' + b'NOT(' * n + b'EQ('
        return prefix + b'a, 1)' + b')' * n + b')', len(prefix), b'2\n' if n % 2 else b'1\n'
    if kind == 'project':
        n = levels - 1
        prefix = b'project(' * n
        return prefix + b'R' + b', a)' * n, len(prefix), b'1\n2\n'
    raise ValueError(kind)


def test_nesting():
    bound = nesting_bound()
    environment = b'\nR(a int)\n1\n2\n'
    for kind in ['union', 'select', 'NOT', 'project']:
        for levels in [bound - 1, bound]:
            expression, _, rows = nested(kind, levels)
            text = expression + environment
            check(f'{kind} nesting {levels} levels deep works', run(stdin=text), 0,
                  batch_ok(text, b'R(a int)\n' + rows + b'\n'))
        expression, offset, _ = nested(kind, bound + 1)
        text = expression + environment
        check(f'{kind} nesting {bound + 1} levels deep is refused', run(stdin=text), 1,
              message(b'Nesting deeper than %d levels ' % bound, report(text, offset), b'.'))

    # Far past the bound the error names the first level too deep.
    deep = 100000
    for kind, opening, closing in [('union', b'union(', b')'), ('NOT', b'NOT(', b')'),
                                   ('select', b'select(', b', EQ(a, 1))')]:
        if kind == 'NOT':
            prefix = b'select(R, '
            expression = prefix + opening * deep + b'EQ(a, 1)' + closing * deep + b')'
            # select is level 1, so the NOT at level bound + 1 is the bound-th.
            offset = len(prefix) + len(opening) * (bound - 1)
        else:
            expression = opening * deep + b'R' + closing * deep
            offset = len(opening) * bound
        text = expression + environment
        check(f'{kind} nesting {deep} levels deep is refused', run(stdin=text), 1,
              message(b'Nesting deeper than %d levels ' % bound, report(text, offset), b'.'))

    # In interactive mode the refused line does not end the session.
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, 'env.txt')
        with open(path, 'wb') as f:
            f.write(environment)
        line = b'union(' * deep + b'R' + b')' * deep
        check(f'interactive line nesting {deep} levels deep', run([path], stdin=line + b'\nR\n'), 0,
              b'$Nesting deeper than %d levels ' % bound + report(line + b'\n', 6 * bound) +
              b'.\n$R(a int)\n1\n2\n\n$\n')


def main():
    global PROGRAM
    if len(sys.argv) != 2:
        raise SystemExit('usage: hostile_test.py PROGRAM')
    PROGRAM = os.path.abspath(sys.argv[1])
    for test in [test_bytes_in_names, test_bytes_in_strings, test_bytes_in_integers,
                 test_bytes_between_tokens, test_bytes_in_console_lines, test_integer_bounds,
                 test_string_type_bounds, test_long_lines, test_crlf, test_empty_and_missing_files,
                 test_unterminated_console, test_unwritable_output, test_same_file, test_nesting]:
        test()
    return TALLY.finish()


if __name__ == '__main__':
    sys.exit(main())
