#!/usr/bin/env python3
"""The interactive console on a terminal: the program runs on a pseudo
terminal, the test types keys and reads what comes back.

Usage: terminal_test.py PROGRAM

Each session has its own HOME, so history never leaks between cases or
from the user's own. The build tells through QORVANTEL_LINE_EDITING whether
the program has line editing; without it the test is skipped (status 77).
Prints 'N passed, N failed' and exits non-zero when anything failed.
"""
import contextlib
import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

TIMEOUT_SECONDS = 60
# How long a prompt may take after Ctrl-C on a busy machine with the
# sanitizers; without the interrupt it would come only with the next key.
INTERRUPT_SECONDS = 10
SKIPPED = 77

PROGRAM = None
passed = 0
failed = 0

LEFT, UP, HOME_KEY, DELETE = b'\x1b[D', b'\x1b[A', b'\x1b[H', b'\x1b[3~'
CTRL_A, CTRL_C, CTRL_D, CTRL_E, CTRL_K, CTRL_U = b'\x01', b'\x03', b'\x04', b'\x05', b'\x0b', b'\x15'

ENVIRONMENT = """Emp(id int, name char(20))
1, 'Ann'
2, 'Bob'
3, 'Zoe'
Dept(dno int, dname char(10))
10, 'Sales'
"""
EMP_AFTER_1 = b"Emp(id int, name char(20))\n2, 'Bob'\n3, 'Zoe'\n\n"
DEPT = b"Dept(dno int, dname char(10))\n10, 'Sales'\n\n"


class Failure(Exception):
    pass


class Session:
    """The program on a pseudo terminal, with the environment file given."""

    def __init__(self, home, environment_file, history=None):
        self.output = b''
        self.mark = 0
        self.status = None
        child_environment = {'HOME': home, 'TERM': 'xterm', 'LANG': 'C.UTF-8', 'PATH': os.environ.get('PATH', '')}
        for name in ('ASAN_OPTIONS', 'UBSAN_OPTIONS'):
            if name in os.environ:
                child_environment[name] = os.environ[name]
        if history is not None:
            child_environment['QORVANTEL_HISTORY'] = history
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.execve(PROGRAM, [PROGRAM, environment_file], child_environment)
            finally:
                os._exit(127)
        self.expect(b'$')

    def read(self, seconds):
        """Collects output for up to seconds; False once the program closed the terminal."""
        end = time.monotonic() + seconds
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return True
            ready, _, _ = select.select([self.fd], [], [], min(left, 0.05))
            if ready:
                try:
                    chunk = os.read(self.fd, 1 << 16)
                except OSError:
                    return False
                if not chunk:
                    return False
                self.output += chunk.replace(b'\r', b'')

    def send(self, keys, seconds=TIMEOUT_SECONDS):
        # The echo must be read while a long input goes in, or the program
        # and the test would each wait for the other.
        end = time.monotonic() + seconds
        sent = 0
        while sent < len(keys):
            if time.monotonic() > end:
                raise Failure(f'the program took {sent} of {len(keys)} bytes in {seconds} s; '
                              f'output ends {self.output[-300:]!r}')
            readable, writable, _ = select.select([self.fd], [self.fd], [], 1)
            if readable and not self.read(0.01):
                raise Failure('the program closed the terminal')
            if writable:
                sent += os.write(self.fd, keys[sent:sent + 1024])

    def expect(self, wanted, seconds=TIMEOUT_SECONDS):
        """Waits until wanted appears after the last match; returns what came before it."""
        end = time.monotonic() + seconds
        while True:
            found = self.output.find(wanted, self.mark)
            if found >= 0:
                before = self.output[self.mark:found]
                self.mark = found + len(wanted)
                return before
            if time.monotonic() > end or not self.read(0.1):
                if self.output.find(wanted, self.mark) >= 0:
                    continue
                raise Failure(f'no {wanted!r} within {seconds} s; output ends {self.output[-300:]!r}')

    def type(self, keys, seconds=TIMEOUT_SECONDS):
        """Sends keys once the library reads them one by one. libedit writes
        the prompt before it puts the terminal into raw mode (seen with
        strace), so keys that come in between would meet the terminal's own
        line editing first, which is not what a case means to test."""
        end = time.monotonic() + seconds
        while termios.tcgetattr(self.fd)[3] & termios.ICANON:
            if time.monotonic() > end or not self.read(0.01):
                raise Failure(f'the terminal is not in raw mode at the prompt; output ends {self.output[-300:]!r}')
        self.send(keys)

    def line(self, keys, wanted):
        """Types keys and Enter, then waits for wanted and the next prompt."""
        self.type(keys + b'\r')
        self.expect(wanted)
        self.expect(b'$')

    def finish(self):
        """Ends the session with Ctrl-D; returns the exit status."""
        self.type(CTRL_D)
        return self.wait()

    def wait(self, seconds=TIMEOUT_SECONDS):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                self.read(0.2)  # what it wrote last
                return self.status
            self.read(0.05)
        raise Failure(f'the program did not exit within {seconds} s; output ends {self.output[-300:]!r}')

    def kill(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)


def case(function):
    """Runs one test in a fresh directory, which is also the session's HOME."""
    global passed, failed
    with tempfile.TemporaryDirectory() as home:
        environment_file = os.path.join(home, 'university.env')
        with open(environment_file, 'w', encoding='utf-8') as out:
            out.write(ENVIRONMENT)
        sessions = []

        def start(history=None, environment=environment_file):
            session = Session(home, environment, history)
            sessions.append(session)
            return session

        try:
            function(start, home)
            passed += 1
        except Failure as problem:
            failed += 1
            print(f'FAIL {function.__name__}: {problem}')
        finally:
            for session in sessions:
                session.kill()


@contextlib.contextmanager
def cpu_load():
    """Keeps every core busy while the block runs."""
    burners = [subprocess.Popen([sys.executable, '-c', 'while True: pass']) for _ in range(os.cpu_count() or 1)]
    try:
        yield
    finally:
        for burner in burners:
            burner.kill()
            burner.wait()


def require(condition, message):
    if not condition:
        raise Failure(message)


def history_entries(path):
    """The lines of a history file, without a header line the library may write."""
    with open(path, 'rb') as source:
        lines = source.read().splitlines()
    # libedit writes a header line and blanks as \040.
    return [line.replace(b'\\040', b' ') for line in lines if not line.startswith(b'_HiStOrY_')]


# ---------------------------------------------------------------------------

def test_editing(start, home):
    session = start()
    # Home then a missing first letter; Left into the middle of a word.
    session.line(b'elect(Emp, GT(id, 1))' + HOME_KEY + b's', EMP_AFTER_1)
    session.line(b'project(Emp, nme)' + LEFT * 3 + b'a', b"Emp(name char(20))\n'Ann'\n'Bob'\n")
    # Ctrl-A and Ctrl-E, Ctrl-K cuts to the end, Ctrl-U the whole line.
    session.line(b'Dept)' + CTRL_A + b'union(' + CTRL_E + LEFT + b', Dept', b"dname char(10))\n10, 'Sales'\n\n")
    session.line(b'nonsense' + CTRL_U + b'Dept' + b'xyz' + LEFT * 3 + CTRL_K, DEPT)
    # UTF-8 edits by characters: Left and Delete take the whole e-acute.
    session.line('Dept\u00e9'.encode() + LEFT + DELETE, DEPT)
    require(session.finish() == 0, 'exit status after Ctrl-D is not 0')


def test_history_within_and_across_sessions(start, home):
    first = start()
    first.line(b'select(Emp, GT(id, 1))', EMP_AFTER_1)
    first.line(b'Dept', DEPT)
    first.line(UP + UP, EMP_AFTER_1)
    require(first.finish() == 0, 'first session did not end with status 0')
    second = start()
    second.line(UP, EMP_AFTER_1)
    second.line(UP + UP, DEPT)
    require(second.finish() == 0, 'second session did not end with status 0')
    # The first line of the second session repeated the last of the first.
    entries = history_entries(os.path.join(home, '.qorvantel_history'))
    query = b'select(Emp, GT(id, 1))'
    require(entries == [query, b'Dept', query, b'Dept'], f'history file holds {entries!r}')


def test_history_file(start, home):
    # Repeats of the line before and empty lines are left out; the file keeps
    # the newest thousand lines. The lines are pasted at once, so this also
    # runs pasted lines one after another.
    session = start()
    session.line(b'Dept', DEPT)
    session.line(b'Dept', DEPT)
    session.line(b'', DEPT)
    pasted = b''.join(b'R%d\r' % i for i in range(1, 1006))
    session.type(pasted)
    session.expect(b'Relation R1005 not found.\n$')
    require(session.finish() == 0, 'exit status is not 0')
    entries = history_entries(os.path.join(home, '.qorvantel_history'))
    require(len(entries) == 1000, f'{len(entries)} history entries, expected 1000')
    require(entries[0] == b'R6' and entries[-1] == b'R1005', f'history runs {entries[0]!r} to {entries[-1]!r}')
    require(b'Relation R500 not found.\n$R501' in session.output.replace(b'\x1b[K', b''),
            'pasted lines did not run in order')

    # An empty QORVANTEL_HISTORY keeps no file; another name is used instead.
    os.remove(os.path.join(home, '.qorvantel_history'))
    start(history='').line(b'Dept', DEPT)
    other = os.path.join(home, 'other_history')
    start(history=other).line(b'Emp', b'Emp(id int')
    require(not os.path.exists(os.path.join(home, '.qorvantel_history')), 'a history file was written in HOME')
    require(history_entries(other) == [b'Emp'], 'QORVANTEL_HISTORY was not used')


def test_history_of_two_sessions_at_once(start, home):
    # Two sessions side by side, with lines pasted into both at the same
    # time: the file holds every line of both, each session's in its order,
    # whichever ends first. A session that is killed keeps its lines too.
    first, second = start(), start()
    first.line(b'Dept', DEPT)
    second.line(b'Emp', b'Emp(id int')
    first.line(b'select(Emp, GT(id, 1))', EMP_AFTER_1)
    first.type(b'')
    second.type(b'')
    for chunk in range(20):
        first.send(b''.join(b'A%d\r' % i for i in range(chunk * 10, chunk * 10 + 10)))
        second.send(b''.join(b'B%d\r' % i for i in range(chunk * 10, chunk * 10 + 10)))
    first.expect(b'Relation A199 not found.\n$')
    second.expect(b'Relation B199 not found.\n$')
    require(first.finish() == 0, 'first session did not end with status 0')
    second.line(b'project(Dept, dname)', b"'Sales'\n")
    killed = start()
    killed.line(b'C1', b'Relation C1 not found.\n')
    os.kill(killed.pid, signal.SIGKILL)
    killed.wait()
    require(second.finish() == 0, 'second session did not end with status 0')

    entries = history_entries(os.path.join(home, '.qorvantel_history'))
    of_first = [b'Dept', b'select(Emp, GT(id, 1))'] + [b'A%d' % i for i in range(200)]
    of_second = [b'Emp'] + [b'B%d' % i for i in range(200)] + [b'project(Dept, dname)']
    require([entry for entry in entries if entry in of_first] == of_first, 'lines of the first session are missing')
    require([entry for entry in entries if entry in of_second] == of_second, 'lines of the second session are missing')
    require(b'C1' in entries, 'the line of the killed session is missing')
    require(len(entries) == len(of_first) + len(of_second) + 1, f'{len(entries)} entries')


def test_history_file_that_fails(start, home):
    # Cannot be written: one notice, and the session goes on as usual.
    session = start(history=os.path.join(home, 'missing', 'history'))
    session.line(b'Dept', DEPT)
    session.line(b'Emp', b'Emp(id int')
    require(session.output.count(b'Cannot write history file') == 1, 'not exactly one notice for an unwritable file')
    require(session.finish() == 0, 'exit status is not 0')
    # Cannot be read (a directory): one notice, and it is not replaced.
    os.mkdir(os.path.join(home, 'directory'))
    session = start(history=os.path.join(home, 'directory'))
    session.line(b'Dept', DEPT)
    require(session.output.count(b'history file') == 1, 'not exactly one notice for an unreadable file')
    require(os.path.isdir(os.path.join(home, 'directory')), 'the unreadable history was replaced')


def test_completion(start, home):
    session = start()
    # A relation name, a keyword and a column name, each the only match.
    session.line(b'select(Em\t, GT(i\t, 1))', EMP_AFTER_1)
    session.line(b'proj\t(Emp, na\t)', b"Emp(name char(20))\n'Ann'\n'Bob'\n")
    # Several candidates: the second Tab lists them.
    session.type(b'select(Emp, G\t\t')
    session.expect(b'GTE')
    session.type(CTRL_U)
    session.line(b'Dept', DEPT)
    # Nothing but language words: no file names from the working directory.
    session.type(b'universit\t\t')
    session.type(CTRL_U + b'Dept\r')
    session.expect(DEPT)
    require(b'university.env' not in session.output, 'completion offered a file name')


def test_ctrl_c_while_typing(start, home):
    session = start()
    # A narrow window, read by the library when the next line starts.
    fcntl.ioctl(session.fd, termios.TIOCSWINSZ, struct.pack('HHHH', 1000, 8, 0, 0))
    session.type(b'select(Emp, GT(id')
    session.expect(b'GT(id')
    session.send(CTRL_C)
    session.expect(b'$', seconds=INTERRUPT_SECONDS)
    # One Ctrl-C gives up the line whenever it comes, also while the library
    # is busy between two keys: a Ctrl-C then was once seen only at the next
    # key, which no one would press here. A key typed at the start of a long
    # line in a narrow window makes the library redraw hundreds of rows, so
    # the Ctrl-C that follows a burst of them mostly comes between two reads.
    # Other processes on every core shift the timing further.
    long_line = b'x' * 3000 + b'z'
    with cpu_load():
        for delay in [0, 0.002, 0.005, 0.01, 0.02] * 2:
            session.type(long_line)
            session.expect(b'z')
            session.type(HOME_KEY + b'y' * 20)
            time.sleep(delay)
            session.send(CTRL_C)
            # Not the prompt the library redraws with the line: the new one.
            session.expect(b'\n$', seconds=INTERRUPT_SECONDS)
    session.line(b'Dept', DEPT)
    require(b'not found' not in session.output and b'Valid' not in session.output, 'an abandoned line was run')
    require(session.finish() == 0, 'exit status after Ctrl-D is not 0')
    require(session.output.endswith(b'\n'), 'no newline at the end')


def test_ctrl_c_during_a_query(start, home):
    big = os.path.join(home, 'big.env')
    with open(big, 'w') as out:
        for name in 'ABC':
            out.write(f'{name}({name.lower()} int)\n')
            out.write(''.join(f'{i}\n' for i in range(200)))
        for name in 'DE':
            out.write(f'{name}({name.lower()} int)\n')
            out.write(''.join(f'{i}\n' for i in range(1000)))
    session = start(environment=big)
    # Eight thousand million combinations to test, none kept: stopped
    # while it is evaluated.
    session.type(b'select(product(A, B, C, D), EQ(a, b, c, d, -1))\r')
    time.sleep(0.3)
    sent = time.monotonic()
    session.send(CTRL_C)
    session.expect(b'Query interrupted.\n$')
    evaluation = time.monotonic() - sent
    # A million rows to write: stopped while they are written.
    session.type(b'product(D, E)\r')
    session.expect(b'0, 1\n')
    sent = time.monotonic()
    session.send(CTRL_C)
    session.expect(b'Query interrupted.\n$')
    writing = time.monotonic() - sent
    print(f'Ctrl-C answered in {evaluation:.3f} s during evaluation, {writing:.3f} s during writing')
    require(evaluation < 3 and writing < 3, 'the interrupt took too long')
    session.line(b'select(A, EQ(a, 7))', b'A(a int)\n7\n\n')
    require(session.finish() == 0, 'exit status is not 0')


def test_bad_input(start, home):
    # Ctrl-\\ must not quit. Ctrl-S and Ctrl-Z are left to the terminal:
    # they stop its output or suspend the program until the user resumes.
    hostile = [b'\x00\x01\x02\x06\x07\x0e\x0f\x10\x14\x16\x17\x18\x19\x1c\x1d\x1e\x1f\x7f',
               b'\x1b[99~\x1b[1;5Z\x1b[200~\x1bOZ\x1b\x1b\x1b[\x1b]0;title\x07\x1b[9999999999D',
               b'\xff\xfe\xc3\x28\xe2\x82\xed\xa0\x80\xf8\x88\x80\x80\x80',
               b'x' * 200000]
    # One session for each: after the control keys, the 200,000-key line
    # makes libedit swallow the next Ctrl-D now and then (a second one ends
    # the session), which is the library's and not what this case is about.
    for keys in hostile:
        session = start()
        session.type(keys + b'\r')
        # What is run, if anything, is an error line; the session answers.
        session.type(CTRL_U + b'Dept\r')
        session.expect(DEPT)
        session.expect(b'$')
        require(session.finish() == 0, f'exit status is not 0 after {keys[:20]!r}')


def main():
    global PROGRAM
    if len(sys.argv) != 2:
        raise SystemExit('usage: terminal_test.py PROGRAM')
    PROGRAM = os.path.abspath(sys.argv[1])
    if os.environ.get('QORVANTEL_LINE_EDITING', 'off') == 'off':
        print('SKIP: this build has no line editing (QORVANTEL_LINE_EDITING is off or no library was found)')
        return SKIPPED
    for test in [test_editing, test_history_within_and_across_sessions, test_history_file,
                 test_history_of_two_sessions_at_once, test_history_file_that_fails, test_completion, test_ctrl_c_while_typing,
                 test_ctrl_c_during_a_query, test_bad_input]:
        case(test)
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
