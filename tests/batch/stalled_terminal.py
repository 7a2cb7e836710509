#!/usr/bin/env python3
"""A terminal that takes no more output (Ctrl-S, a stalled ssh link) must not
stall the jobs of a batch: only the thread that writes the progress line
waits for it. The batch's standard error is a terminal whose buffer is full
and never read; the first file is a FIFO nobody writes yet, so the run lasts
long enough to show its progress line, and that write blocks. The second
file is a FIFO too, fed once the terminal has stalled: then the other job
must go on converting the files after it (as many as the jobs may run
ahead). Then the terminal is read again and the first FIFO fed: the batch
ends with every row file made.

    stalled_terminal.py BINARY CASES_DIR SCRATCH
"""
import os
import pty
import shutil
import subprocess
import sys
import time

binary, cases, scratch = (os.path.abspath(a) for a in sys.argv[1:4])
shutil.rmtree(scratch, ignore_errors=True)
os.makedirs(scratch)
os.chdir(scratch)
sample = os.path.join(cases, "five_line_example", "input.dat")
os.mkfifo("f00.fifo")
os.mkfifo("f01.fifo")
later = [f"f{i:02d}.dat" for i in range(2, 13)]
for name in later:
    shutil.copy(sample, name)

master, slave = pty.openpty()
# Fill the terminal until a write would block: a second, non-blocking way
# in, so the program's own stays blocking.
filler = os.open(os.ttyname(slave), os.O_WRONLY | os.O_NONBLOCK | os.O_NOCTTY)
for size in (512, 64, 8, 1):
    try:
        while True:
            os.write(filler, b"x" * size)
    except BlockingIOError:
        pass

with open("got.stdout", "wb") as out:
    proc = subprocess.Popen([binary, "--batch", "-j", "2", "f00.fifo",
                             "f01.fifo"] + later,
                            stdin=subprocess.DEVNULL, stdout=out, stderr=slave)
os.close(slave)

# The progress line is due after a second: then the second job may go on.
time.sleep(2.0)
with open("f01.fifo", "wb") as fifo:
    fifo.write(open(sample, "rb").read())
time.sleep(2.0)
made_while_stalled = [n for n in later if os.path.exists(n[:-4] + ".ntp")]

# Let the terminal go, then feed the FIFO.
os.set_blocking(master, False)
def drain():
    try:
        while os.read(master, 65536):
            pass
    except (BlockingIOError, OSError):
        pass
drain()
with open("f00.fifo", "wb") as fifo:
    fifo.write(open(sample, "rb").read())
deadline = time.time() + 30
while proc.poll() is None and time.time() < deadline:
    drain()
    time.sleep(0.05)
code = proc.poll()
if code is None:
    proc.kill()
os.close(filler)

ok = True
print(f"row files made while the terminal was stalled: "
      f"{len(made_while_stalled)} of {len(later)}")
if len(made_while_stalled) != len(later):
    print("  FAIL: the jobs waited for the terminal")
    ok = False
if code != 0:
    print(f"  FAIL: status {code}")
    ok = False
missing = [n for n in ["f00.fifo", "f01.fifo"] + later
           if not os.path.exists(n.rsplit(".", 1)[0] + ".ntp")]
if missing:
    print(f"  FAIL: no row file for {missing}")
    ok = False
sys.exit(0 if ok else 1)
