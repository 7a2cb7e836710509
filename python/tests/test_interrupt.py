"""An interrupt (Ctrl-C, SIGINT) during read_many or convert_many stops
every thread promptly, raises KeyboardInterrupt, and leaves no partial row
file: each row file there is whole, and no temporary file is left."""

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


CHILD = textwrap.dedent(
    """
    import faulthandler, sys, tarnovelix
    # Where every thread is, should the interrupt not stop them in time.
    faulthandler.dump_traceback_later(15)
    files = sys.argv[2:]
    print("started", flush=True)
    if sys.argv[1] == "read":
        tarnovelix.read_many(files, jobs=2)
    else:
        tarnovelix.convert_many(files, output_dir="rows", jobs=2)
    print("finished", flush=True)
    """
)


@pytest.mark.parametrize("what", ["read", "convert"])
def test_interrupt_stops_promptly_and_leaves_no_partial_row_file(program, tmp_path, what):
    big_scan(tmp_path / "big.dat")
    files = []
    for i in range(60):
        name = tmp_path / ("f%02d.dat" % i)
        os.link(tmp_path / "big.dat", name)
        files.append(name.name)
    child = subprocess.Popen(
        [sys.executable, "-c", CHILD, what, *files],
        cwd=tmp_path,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
    )
    try:
        assert child.stdout.readline() == b"started\n"
        time.sleep(0.5)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        try:
            _, stderr = child.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            child.kill()
            _, stderr = child.communicate()
            pytest.fail("still running 20 s after the interrupt:\n" + stderr.decode(errors="replace"))
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert b"KeyboardInterrupt" in stderr, stderr
    assert took < 3.0, took
    if what == "convert":
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
        try:
            timer.start()
            if what == "read":
                tarnovelix.read_many(files, jobs=jobs)
            else:
                tarnovelix.convert_many(files, output_dir="rows", jobs=jobs)
            timer.join()
        except KeyboardInterrupt:
            interrupted += 1
        # The round's interrupt may still be on its way: let it land here.
        waited = time.monotonic()
        while interrupted < jobs - 1 and time.monotonic() - waited < 5:
            try:
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
    child = subprocess.Popen(
        [sys.executable, "-c", STARTS, what, *files],
        cwd=tmp_path,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
    )
    try:
        stdout, stderr = child.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        child.kill()
        stdout, stderr = child.communicate()
        pytest.fail("did not end:\n" + stdout.decode() + stderr.decode(errors="replace"))
    assert child.returncode == 0, stderr
    assert stdout == b"interrupted %d\n" % ROUNDS, stdout
