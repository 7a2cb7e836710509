"""Threads kept for the process, and calls run on them that an interrupt
or a failure stops promptly."""

from __future__ import annotations

import os
import queue
import stat
import threading
from typing import Optional, Sequence

from . import _core


def _jobs(jobs: Optional[int]) -> int:
    if jobs is None:
        jobs = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
    if jobs < 1:
        raise ValueError("jobs must be at least 1")
    return max(1, min(jobs, 256))


class _Workers:
    """Threads kept for the process that run the calls of :func:`run_all`.

    A thread that converts takes one of the program's slots for the names
    of its temporary files for good, so threads are reused rather than made
    anew for every call. They are daemon threads: between calls they only
    wait for work (a call returns only once its work is over), and waiting
    must not keep the interpreter from ending. A thread is counted before
    it starts, so an interrupt while it starts cannot lose it.
    """

    def __init__(self) -> None:
        self._tasks: "queue.SimpleQueue" = queue.SimpleQueue()
        self._lock = threading.Lock()
        self._threads = 0
        # Tasks queued or running: calls from several threads at once each
        # get threads of their own rather than wait for one another.
        self._wanted = 0

    def run(self, tasks: int, task) -> None:
        """Queues `task` `tasks` times, with threads enough to run every
        task queued at once."""
        for _ in range(tasks):
            with self._lock:
                self._wanted += 1
                while self._threads < self._wanted:
                    self._threads += 1
                    threading.Thread(
                        target=self._serve,
                        name="tarnovelix-%d" % self._threads,
                        daemon=True,
                    ).start()
            self._tasks.put(task)

    def _serve(self) -> None:
        while True:
            task = self._tasks.get()
            try:
                task()
            finally:
                with self._lock:
                    self._wanted -= 1


_WORKERS = _Workers()

if hasattr(os, "register_at_fork"):
    # A child made by fork() has none of its parent's threads: it starts
    # its own rather than queue work for threads that are not there.
    def _workers_of_child() -> None:
        global _WORKERS
        _WORKERS = _Workers()

    os.register_at_fork(after_in_child=_workers_of_child)


class _Call:
    """One call of :func:`run_all`: its items, claimed one at a time in
    order by the threads that run it, their results and failures. Each item
    has a cancel flag of its own, so that a failure stops only the items
    after it and the first failure in order is always the one raised."""

    def __init__(self, function, items: Sequence) -> None:
        self.function = function
        self.items = items
        self.results: list = [None] * len(items)
        self.failures: dict = {}
        self.cancels: list = [None] * len(items)
        self.claimed = 0
        self.end = len(items)  # items from here on are not started
        self.running = 0
        self.changed = threading.Condition(threading.Lock())

    def work(self) -> None:
        while True:
            with self.changed:
                if self.claimed >= self.end:
                    return
                i = self.claimed
                self.claimed += 1
                self.running += 1
                cancel = self.cancels[i] = _core.Cancel()
            failure = None
            try:
                result = self.function(self.items[i], cancel)
            except BaseException as error:  # raised in the caller's thread
                failure = error
            with self.changed:
                self.running -= 1
                if failure is None:
                    self.results[i] = result
                else:
                    self.failures[i] = failure
                    self.stop_after(i)
                self.changed.notify_all()

    def stop_after(self, last: int) -> None:
        """Stops the items after `last`: those under way at their next read
        or write, those not started at all. Called with `changed` held."""
        for j in range(last + 1, self.claimed):
            self.cancels[j].set()
        self.end = min(self.end, last + 1)

    def over(self) -> bool:
        return self.running == 0 and self.claimed >= self.end

    def wait(self) -> None:
        with self.changed:
            self.changed.wait_for(self.over)


# Reads of less than this run on the caller's thread: handing one to a
# worker costs about 40 microseconds, more than stopping it early saves.
_LONG_READ_BYTES = 1 << 20


def may_take_long(source) -> bool:
    """Whether reading or writing `source` may last long enough for Ctrl-C
    to matter: a large file or buffer, a file object (its reads may wait,
    on a pipe or a socket), or a file that is not a regular one (a pipe or
    a device may keep the call waiting), standard input or output ("-")
    among them."""
    if not isinstance(source, (str, os.PathLike)):
        try:
            return memoryview(source).nbytes >= _LONG_READ_BYTES
        except TypeError:
            return True
    if os.fsdecode(os.fspath(source)) == "-":
        return True
    try:
        info = os.stat(source)
    except (OSError, ValueError):
        return False
    return not stat.S_ISREG(info.st_mode) or info.st_size >= _LONG_READ_BYTES


def on_caller_or_worker(function, item, sources: Sequence):
    """function(item, cancel): on a worker, so that Ctrl-C can stop it, when
    any of `sources` may take long; on the caller's thread otherwise."""
    if any(may_take_long(s) for s in sources):
        return run_all(function, [item], 1)[0]
    return function(item, None)


def run_all(function, items: Sequence, jobs: Optional[int]):
    """Runs function(item, cancel) for every item on `jobs` threads and
    returns the results in order. An exception stops the items after its
    own (those under way at their next read or write) and the first in
    order is raised once they are all over. An interrupt (Ctrl-C) of the
    caller stops every item and is raised the same way. A second interrupt
    gives up waiting for them: a read blocked on a pipe that nobody writes
    never comes back to see its flag."""
    call = _Call(function, items)
    try:
        _WORKERS.run(min(_jobs(jobs), len(items)), call.work)
        call.wait()
    except BaseException:
        with call.changed:
            call.stop_after(-1)
        call.wait()
        raise
    if call.failures:
        raise call.failures[min(call.failures)]
    return call.results


