"""What a worker runs: one command as an argument list, never through a shell.

This module is sent to the workers by value (cloudpickle), so it imports the standard library
only: a worker needs Python and Dask, not zelfarm.
"""

import ctypes
import signal
import socket
import subprocess

_PR_SET_PDEATHSIG = 1
#: How much of a failed command's standard error travels back: its last lines say why.
_STDERR_KEPT = 4000


def _die_with_parent():
    # A worker that dies (killed, its machine lost) takes its command with it, so that the task
    # run again elsewhere is the only one writing its file.
    try:
        ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)
    except (OSError, AttributeError):
        pass


def run_command(args):
    """Runs `args` (a list of strings) and returns {"rc", "stderr", "host"}: a failure is an answer,
    not an exception, so that the client decides whether it is worth a second try."""
    if not isinstance(args, (list, tuple)) or not all(isinstance(a, str) for a in args):
        raise TypeError("a task is a list of strings")
    try:
        done = subprocess.run(list(args), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, preexec_fn=_die_with_parent, check=False)
        rc, err = done.returncode, done.stderr.decode("utf-8", "replace")
    except OSError as e:
        rc, err = 127, "cannot run %s: %s" % (args[0], e.strerror)
    return {"rc": rc, "stderr": err[-_STDERR_KEPT:], "host": socket.gethostname()}


def missing_paths(paths, writable):
    """The paths of `paths` this machine cannot read, and of `writable` it cannot write into."""
    import os
    missing = [p for p in paths if not os.path.exists(p)]
    missing += [p for p in writable if not (os.path.isdir(p) and os.access(p, os.W_OK | os.X_OK))]
    return {"host": socket.gethostname(), "missing": missing}
