"""An interrupt (Ctrl-C, SIGINT) during read_many or convert_many, or a
long read or convert, stops every thread promptly, raises
KeyboardInterrupt, and leaves no partial row file: each row file there is
whole, and no temporary file is left."""

import contextlib
import errno
import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

from conftest import run_program

LINES = 30_000


def big_scan(path):
    line = b" ".join(str(1000 + j).encode() for j in range(100))
    block = b"".join(b"%d %s\n" % (i, line) for i in range(1000))
    with open(path, "wb") as out:
        out.write(b"# big\npoints " + b" ".join(b"%d.5" % j for j in range(100)) + b"\nevents 1 2 3\nx\n")
        for _ in range(LINES // 1000):
            out.write(block)


def start(script, what, files, folder):
    """A Python process running `script` with `what` and the names of
    `files` as its arguments, in `folder`."""
    # A shell starts a background job with SIGINT ignored, and Python keeps
    # an ignored SIGINT ignored: the child raises KeyboardInterrupt however
    # the tests were started.
    script = "import signal\nsignal.signal(signal.SIGINT, signal.default_int_handler)\n" + script
    return subprocess.Popen(
        [sys.executable, "-c", script, what, *files],
        cwd=folder,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
    )


def output_within(child, seconds, failure):
    """What `child` printed once it ended; `failure` and what it printed
    so far if it has not ended within `seconds`."""
    try:
        return child.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        child.kill()
        stdout, stderr = child.communicate()
        pytest.fail("%s:\n%s%s" % (failure, stdout.decode(errors="replace"), stderr.decode(errors="replace")))


# The child: `call` of the files named after it (read and convert take the
# first), "started" printed before.
CHILD = textwrap.dedent(
    """
    import faulthandler, sys, tarnovelix
    import pandas  # imported before the interrupt can come
    # Where every thread is, should the interrupt not stop them in time.
    faulthandler.dump_traceback_later(15)
    call, names = sys.argv[1], sys.argv[2:]
    print("started", flush=True)
    if call == "read":
        tarnovelix.read(names[0])
    elif call == "convert":
        tarnovelix.convert(names[0], "rows.ntp")
    elif call == "read file object":
        tarnovelix.read(open(names[0], "rb"))
    elif call == "convert file object":
        tarnovelix.convert(open(names[0], "rb"), "rows.ntp")
    elif call == "read_many":
        tarnovelix.read_many(names, jobs=2)
    else:
        tarnovelix.convert_many(names, output_dir="rows", jobs=2)
    print("finished", flush=True)
    """
)


@pytest.mark.parametrize("what", ["read_many", "convert_many"])
def test_interrupt_stops_promptly_and_leaves_no_partial_row_file(program, tmp_path, what):
    big_scan(tmp_path / "big.dat")
    files = []
    for i in range(60):
        name = tmp_path / ("f%02d.dat" % i)
        os.link(tmp_path / "big.dat", name)
        files.append(name.name)
    child = start(CHILD, what, files, tmp_path)
    try:
        assert child.stdout.readline() == b"started\n"
        time.sleep(0.5)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        _, stderr = output_within(child, 20, "still running 20 s after the interrupt")
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert b"KeyboardInterrupt" in stderr, stderr
    assert took < 3.0, took
    if what == "convert_many":
        status, _, _ = run_program(program, tmp_path / "big.dat", tmp_path / "whole.ntp")
        assert status == 0
        whole = (tmp_path / "whole.ntp").read_bytes()
        left = os.listdir(tmp_path / "rows")
        # Interrupted part way: some files done, not all, no other file.
        assert 0 < len(left) < len(files), left
        for name in left:
            assert name.endswith(".ntp") and not name.startswith("."), name
            assert (tmp_path / "rows" / name).read_bytes() == whole, name


# Interrupts aimed at every moment of many short calls, threads starting
# included: each call asks for more threads than the last. Every interrupt
# must be raised once, and the process must still end once the rounds are
# over.
ROUNDS = 40
STARTS = textwrap.dedent(
    """
    import random, signal, sys, threading, time, tarnovelix
    import pandas
    what, files = sys.argv[1], sys.argv[2:]
    main = threading.main_thread().ident
    rng = random.Random(7)
    interrupted = 0
    for jobs in range(2, 2 + %d):
        timer = threading.Timer(rng.uniform(0, 0.004), signal.pthread_kill, (main, signal.SIGINT))
        # The round's one interrupt may land anywhere in it, also once the
        # call has returned: between the two, or in the wait for it.
        try:
            try:
                timer.start()
                if what == "read":
                    tarnovelix.read_many(files, jobs=jobs)
                else:
                    tarnovelix.convert_many(files, output_dir="rows", jobs=jobs)
                timer.join()
            except KeyboardInterrupt:
                interrupted += 1
            waited = time.monotonic()
            while interrupted < jobs - 1 and time.monotonic() - waited < 5:
                time.sleep(0.001)
        except KeyboardInterrupt:
            interrupted += 1
    print("interrupted", interrupted, flush=True)
    """
    % ROUNDS
)


@pytest.mark.parametrize("what", ["read", "convert"])
def test_interrupt_while_threads_start_leaves_none_behind(tmp_path, what):
    files = []
    for i in range(8):
        name = tmp_path / ("s%d.dat" % i)
        name.write_bytes(b"# s\npoints 1 2\nevents 3 4\nx\n" + b"%d 5 6\n" % i * 50)
        files.append(name.name)
    child = start(STARTS, what, files, tmp_path)
    stdout, stderr = output_within(child, 30, "did not end")
    assert child.returncode == 0, stderr
    assert stdout == b"interrupted %d\n" % ROUNDS, stdout


def open_for_writing(fifo):
    """The writing end of `fifo`, once a reader opened it (within 20 s)."""
    for _ in range(2000):
        try:
            return os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
        except OSError as error:
            assert error.errno == errno.ENXIO, error
            time.sleep(0.01)
    pytest.fail("no reader opened %s" % fifo)


@contextlib.contextmanager
def child_reading_a_pipe(folder, call):
    """A child making `call` of the pipe `folder`/pipe.dat, and the pipe's
    writing end once the child opened it; both ended afterwards."""
    os.mkfifo(folder / "pipe.dat")
    child = start(CHILD, call, ["pipe.dat"], folder)
    writer = -1
    try:
        assert child.stdout.readline() == b"started\n"
        writer = open_for_writing(folder / "pipe.dat")
        os.set_blocking(writer, True)
        yield child, writer
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
        if writer >= 0:
            os.close(writer)


def assert_nothing_written(folder):
    left = sorted(os.listdir(folder))
    assert left in (["pipe.dat"], ["pipe.dat", "rows"]), left
    assert not (folder / "rows").exists() or os.listdir(folder / "rows") == []


# The calls, and read and convert of the pipe as a file object.
PIPE_CALLS = ["read", "convert", "read_many", "convert_many", "read file object", "convert file object"]


@pytest.mark.parametrize("call", PIPE_CALLS)
def test_interrupt_stops_a_read_of_a_pipe_that_never_ends(tmp_path, call):
    # A line every 10 ms: every read of the pipe returns, and the next one
    # must see the interrupt.
    with child_reading_a_pipe(tmp_path, call) as (child, writer):
        os.write(writer, b"# endless\npoints 1 2\nevents 3 4\nx\n")
        began = time.monotonic()
        sent = None
        while child.poll() is None and time.monotonic() - began < 20:
            try:
                os.write(writer, b"1 2 3\n")
            except BrokenPipeError:
                break
            if sent is None and time.monotonic() - began > 0.3:
                child.send_signal(signal.SIGINT)
                sent = time.monotonic()
            time.sleep(0.01)
        stdout, stderr = output_within(child, 5, "still running after the interrupt")
        took = time.monotonic() - sent
    assert b"KeyboardInterrupt" in stderr and b"finished" not in stdout, stderr
    assert took < 3.0, took
    assert_nothing_written(tmp_path)


@pytest.mark.parametrize("call", PIPE_CALLS)
def test_second_interrupt_gives_up_on_a_pipe_nobody_writes(tmp_path, call):
    # With no bytes written, the read waits in the system, where no flag
    # reaches it: the first interrupt cannot stop it, the second stops
    # waiting for it, and the blocked thread keeps nothing alive.
    with child_reading_a_pipe(tmp_path, call) as (child, _):
        time.sleep(0.2)
        child.send_signal(signal.SIGINT)
        time.sleep(0.5)
        assert child.poll() is None
        child.send_signal(signal.SIGINT)
        _, stderr = output_within(child, 10, "still running after the second interrupt")
    assert stderr.count(b"KeyboardInterrupt") == 2, stderr
    assert_nothing_written(tmp_path)


def _nothing(x):
    return x


def test_workers_ended_by_sigterm_leave_the_parents_row_file(tmp_path):
    """A thread converts while `with Pool()` forks workers and, on leaving
    the block, ends them with SIGTERM: each worker is a copy of the
    converting process, and its end must leave the parent's row file,
    temporary or in place, alone. Every conversion completes."""
    import multiprocessing
    import threading

    import tarnovelix

    scan = tmp_path / "big.dat"
    big_scan(scan)
    tarnovelix.convert(scan, tmp_path / "expected.ntp")
    failures = []

    def convert():
        try:
            tarnovelix.convert(scan, tmp_path / "rows.ntp")
        except Exception as failure:  # noqa: BLE001 - every failure counts
            failures.append(failure)

    for _ in range(8):
        converting = threading.Thread(target=convert)
        converting.start()
        time.sleep(0.01)
        with multiprocessing.get_context("fork").Pool(2) as pool:
            pool.map(_nothing, range(4))
        converting.join()
    assert failures == []
    assert (tmp_path / "rows.ntp").read_bytes() == (tmp_path / "expected.ntp").read_bytes()
    assert [name for name in os.listdir(tmp_path) if ".tnx-" in name] == []
