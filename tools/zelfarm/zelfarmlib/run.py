"""Running a plan on Dask: every task submitted at once (earlier files first), a failed task tried
once more, a file joined and moved into place as soon as its tasks are done.

Faults: the scheduler runs again elsewhere a task whose worker died; a task that fails twice fails
its file with its message, and the other files go on; chunks stay in the work folder, which goes
at the end whatever happened; an output appears only when it is complete.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from . import plan as planning
from . import task as task_module

#: Exit codes, as zelhost's: every file done; a failure; a usage error; some files done (a stop
#: signal N gives 128 + N).
EXIT_OK, EXIT_FAILURE, EXIT_USAGE, EXIT_SOME = 0, 1, 2, 3
#: zelhost's own codes that a second try cannot change: a command line it refuses, a damaged input.
_FINAL_CODES = {2, 3}


class Interrupted(Exception):
    """A stop signal came; its number is the first argument."""


class Reporter:
    """The progress line (on a terminal) and the one-line messages."""

    def __init__(self, quiet, files, tasks):
        self.quiet, self.files, self.tasks = quiet, files, tasks
        self.done_files = self.done_tasks = 0
        self.started = time.monotonic()
        self.tty = not quiet and sys.stderr.isatty()
        self._shown = False

    def line(self, text, always=False):
        if self.quiet and not always:
            return
        self._clear()
        print("zelfarm: " + text, file=sys.stderr, flush=True)
        self.show()

    def error(self, text):
        self.line("error: " + text, always=True)

    def elapsed(self):
        seconds = int(time.monotonic() - self.started)
        return "%d:%02d" % divmod(seconds, 60)

    def show(self):
        if self.tty:
            sys.stderr.write("\rzelfarm: files %d/%d, tasks %d/%d, %s " % (
                self.done_files, self.files, self.done_tasks, self.tasks, self.elapsed()))
            sys.stderr.flush()
            self._shown = True

    def _clear(self):
        if self._shown:
            sys.stderr.write("\r\033[K")
            self._shown = False

    def close(self):
        self._clear()


def _run_local(args):
    """A command on this machine (the join), that dies with zelfarm."""
    return task_module.run_command(args)


def commit(result, output, overwrite):
    """Moves the finished `result` to `output`: a rename within a file system, else a copy into a
    temporary beside the output that is renamed; without `overwrite` an output that appeared in
    the meantime is kept."""
    folder = os.path.dirname(output)
    try:
        same = os.stat(result).st_dev == os.stat(folder).st_dev
    except OSError as e:
        raise planning.PlanError("cannot write %s: %s" % (planning.quoted(output), e.strerror)) from e
    source = result
    temp = None
    try:
        if not same:
            fd, temp = tempfile.mkstemp(prefix="." + os.path.basename(output) + ".", suffix=".zelfarm", dir=folder)
            os.close(fd)
            shutil.copyfile(result, temp)
            source = temp
        if overwrite:
            os.replace(source, output)
        else:
            os.link(source, output)  # fails, rather than replaces, when the output exists
            os.unlink(source)
        temp = None
    except FileExistsError as e:
        raise planning.PlanError("%s exists already: add -y to replace it" % planning.quoted(output)) from e
    except OSError as e:
        raise planning.PlanError("cannot write %s: %s" % (planning.quoted(output), e.strerror)) from e
    finally:
        if temp is not None and os.path.exists(temp):
            os.unlink(temp)


def failure_text(result):
    """What a failed zelhost says, in one line without its own prefix."""
    text = planning.last_line(result.get("stderr"))
    for prefix in ("zelhost: error: ", "zelhost: warning: "):
        if text.startswith(prefix):
            text = text[len(prefix):]
    return text or "exit code %d" % result.get("rc", -1)


def finish_file(p, reporter, overwrite):
    """Joins `p`'s chunks and moves the result into place; raises PlanError."""
    if p.join:
        with open(p.join_list, "w", encoding="utf-8") as f:
            f.write(p.join_list_text)
        joined = _run_local(p.join)
        if joined["rc"] != 0:
            raise planning.PlanError("joining the chunks of %s failed: %s" % (
                planning.quoted(p.input), planning.last_line(joined["stderr"]) or "ffmpeg exit %d" % joined["rc"]))
    commit(p.result, p.output, overwrite)


def execute(client, plans, overwrite, quiet):
    """Runs every task of `plans` on `client`; returns the exit code."""
    from distributed import as_completed

    live = [p for p in plans if not p.error]
    reporter = Reporter(quiet, len(plans), sum(len(p.tasks) for p in live))
    failed = {}  # file index -> message
    for n, p in enumerate(plans):
        if p.error:
            failed[n] = p.error
            reporter.error(p.error)
    for p in live:
        for t in p.tasks:
            os.makedirs(os.path.dirname(t.output), exist_ok=True)
    pending = {}  # future key -> (file index, task index, attempt)
    remaining = {}
    futures = []
    for n, p in enumerate(plans):
        if p.error:
            continue
        remaining[n] = len(p.tasks)
        for i, t in enumerate(p.tasks):
            future = client.submit(task_module.run_command, t.args, pure=False,
                                   key="zelhost-render-%d-%d-1-%s" % (n, i, os.urandom(4).hex()))
            pending[future.key] = (n, i, 1, future)
            futures.append(future)
    reporter.show()
    frames = 0
    done = 0
    queue = as_completed(futures)
    for future in queue:
        n, i, attempt, _ = pending.pop(future.key)
        if n in failed:
            continue
        try:
            result = future.result()
        except Exception as e:  # a worker lost too often, or the task could not be sent
            result = {"rc": -1, "stderr": "%s: %s" % (type(e).__name__, e)}
        if result["rc"] != 0:
            if attempt == 1 and result["rc"] not in _FINAL_CODES:
                retry = client.submit(task_module.run_command, plans[n].tasks[i].args, pure=False,
                                      key="zelhost-render-%d-%d-2-%s" % (n, i, os.urandom(4).hex()))
                pending[retry.key] = (n, i, 2, retry)
                queue.add(retry)
                continue
            failed[n] = "%s: %s" % (planning.quoted(plans[n].input or "the test pattern"), failure_text(result))
            reporter.error(failed[n])
            _cancel_file(client, pending, n)
            continue
        reporter.done_tasks += 1
        remaining[n] -= 1
        reporter.show()
        if remaining[n] == 0:
            p = plans[n]
            try:
                finish_file(p, reporter, overwrite)
            except planning.PlanError as e:
                failed[n] = str(e)
                reporter.error(failed[n])
                continue
            finally:
                shutil.rmtree(os.path.dirname(p.result), ignore_errors=True)
            done += 1
            reporter.done_files += 1
            frames += p.frames or 0
            how = "%d chunks joined" % len(p.tasks) if p.join else "one task"
            reporter.line("wrote %s (%s)" % (planning.quoted(p.output), how))
    for n in failed:
        if not plans[n].error and plans[n].tasks:
            shutil.rmtree(os.path.dirname(plans[n].tasks[0].output), ignore_errors=True)
    reporter.close()
    if not quiet or failed:
        text = "%d of %d files rendered" % (done, len(plans))
        if failed:
            text += ", %d failed (%s)" % (len(failed), ", ".join(
                planning.quoted(plans[n].input or "the test pattern") for n in sorted(failed)))
        if frames:
            text += ", %d frames" % frames
        print("zelfarm: %s in %s" % (text, reporter.elapsed()), file=sys.stderr)
    if not failed:
        return EXIT_OK
    return EXIT_SOME if done else EXIT_FAILURE


def _cancel_file(client, pending, n):
    doomed = [future for (m, _, _, future) in pending.values() if m == n]
    if doomed:
        client.cancel(doomed)
