"""A memory control group for a test, as in a container or a CI job: made
below the test's own group (version 2 under /sys/fs/cgroup, version 1 under
/sys/fs/cgroup/memory) with a memory limit and no swap, programs run in it,
and removed. Needs root, as CI has; make_group says why when it cannot."""
import os
import subprocess
import time

SKIPPED = 77
UNIFIED = '/sys/fs/cgroup'
MEMORY_V1 = '/sys/fs/cgroup/memory'


def write(path, text):
    with open(path, 'w') as f:
        f.write(text)


def own_groups():
    """This process's group path in version 2 and in version 1's memory hierarchy."""
    unified = memory = None
    with open('/proc/self/cgroup') as f:
        for line in f:
            number, controllers, path = line.rstrip('\n').split(':', 2)
            if number == '0' and controllers == '':
                unified = path
            elif 'memory' in controllers.split(','):
                memory = path
    return unified, memory


def try_make(parent, name, limit_file, limit_mb, extra=()):
    """A new group under parent with limit_file set, or None with the reason."""
    if not os.path.isdir(parent):
        return None, f'{parent} is not there'
    group = os.path.join(parent, name)
    try:
        os.mkdir(group)
    except OSError as error:
        return None, f'cannot make {group}: {error.strerror}'
    try:
        if not os.path.exists(os.path.join(group, limit_file)):
            # Version 2 shows memory files only once the parent passes the
            # memory controller down to its children.
            write(os.path.join(parent, 'cgroup.subtree_control'), '+memory')
        write(os.path.join(group, limit_file), str(limit_mb << 20))
    except OSError as error:
        os.rmdir(group)
        return None, f'cannot limit the memory of {group}: {error.strerror}'
    # No swap, so that passing the limit means what it means on a machine
    # without swap: the kernel kills.
    for each, value in extra:
        try:
            write(os.path.join(group, each), value)
        except OSError:
            pass
    return group, None


def make_group(limit_mb, purpose='memory-test'):
    """A group of limit_mb MiB: (path, None), or (None, the reason why not)."""
    name = f'qorvantel-{purpose}-{os.getpid()}'
    unified, memory = own_groups()
    reasons = []
    candidates = []
    if os.path.exists(os.path.join(UNIFIED, 'cgroup.controllers')) and unified is not None:
        candidates += [(UNIFIED + unified.rstrip('/'), 'memory.max', [('memory.swap.max', '0')])]
        if unified.strip('/'):
            candidates += [(UNIFIED, 'memory.max', [('memory.swap.max', '0')])]
    if memory is not None:
        v1 = ('memory.limit_in_bytes', [('memory.memsw.limit_in_bytes', str(limit_mb << 20)),
                                        ('memory.swappiness', '0')])
        candidates += [(MEMORY_V1 + memory.rstrip('/'), *v1)]
        if memory.strip('/'):
            candidates += [(MEMORY_V1, *v1)]
    if not candidates:
        return None, 'no memory control group hierarchy is mounted'
    for parent, limit_file, extra in candidates:
        group, reason = try_make(parent, name, limit_file, limit_mb, extra)
        if group is not None:
            return group, None
        reasons.append(reason)
    return None, '; '.join(reasons)


def remove_group(group):
    # The group goes once the kernel has finished with its last process.
    for _ in range(50):
        try:
            os.rmdir(group)
            return
        except OSError:
            time.sleep(0.1)
    print(f'note: could not remove {group}')


def run_in(group, command, stdin, cwd, timeout):
    """(exit status or 'timeout', standard output, standard error) of command run in the group."""
    def enter():
        write(os.path.join(group, 'cgroup.procs'), str(os.getpid()))
    try:
        done = subprocess.run(command, input=stdin, cwd=cwd, capture_output=True, timeout=timeout,
                              preexec_fn=enter)
        return done.returncode, done.stdout, done.stderr
    except subprocess.TimeoutExpired:
        return 'timeout', b'', b''


def skip_reason():
    """Why a memory test cannot run here, or None: a sanitizer build sets no
    data limit, so a memory control group would kill it."""
    if os.environ.get('QORVANTEL_SANITIZED') == '1':
        return 'a sanitizer build sets no data limit, so a memory control group would kill it'
    return None
