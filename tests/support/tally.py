"""What the script tests share: the count of passed, failed and skipped
cases, and a readable form of the bytes a case shows in its report."""


def show(data, limit=300):
    """Bytes with their control and non-ASCII bytes escaped, cut at limit."""
    if isinstance(data, bytes):
        text = data.decode('latin-1').encode('unicode_escape').decode('ascii')
    else:
        text = str(data)
    return text if len(text) <= limit else text[:limit] + f'... ({len(text)} characters)'


class Tally:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.skipped = 0

    def record(self, name, problems):
        """A case passes when it found no problems; each one is printed."""
        if problems:
            self.failed += 1
            print(f'FAIL {name}')
            for problem in problems:
                print('  ' + problem)
        else:
            self.passed += 1

    def skip(self, name, reason):
        self.skipped += 1
        print(f'SKIP {name}: {reason}')

    def finish(self):
        """Prints 'N passed, N failed[, N skipped]'; returns the exit status."""
        summary = f'{self.passed} passed, {self.failed} failed'
        if self.skipped:
            summary += f', {self.skipped} skipped'
        print(summary)
        return 1 if self.failed else 0
