#!/usr/bin/env python3
"""Reading scans into arrays, side by side with the peers, in one run:

  read()                   the package, the standard file into arrays
  command line             the program converting it to /dev/null
  convert + pandas         the row file, then pandas.read_csv of it
  convert + numpy.loadtxt  the row file, then numpy.loadtxt of it
  read_many (300 files)    the package, one frame with a file column
  pandas loop (300 files)  pandas.read_csv over their row files
  peak memory              of read(), against the size of its arrays: of a
                           name, a file object over a pipe, a BytesIO

The command line and read(), and read_many() and the pandas loop, take
turns round by round, so that both of a pair see the same machine; each
shows the minimum and the median of its rounds, and the ratios are of the
minimums (of the medians in brackets). The slow peers run once. The
arrays are checked against the row file before any figure is printed."""

import argparse
import os
import pathlib
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np


def timed(function, rounds):
    times = []
    result = None
    for _ in range(rounds):
        # The last round's result is let go before the clock starts: giving
        # back its memory is not part of the next call.
        result = None
        start = time.perf_counter()
        result = function()
        times.append(time.perf_counter() - start)
    return min(times), (max(times) - min(times)) / min(times) * 100, result


def side_by_side(functions, rounds):
    """Times each function `rounds` times, taking turns, after one call
    each to warm up, so that every one sees the same machine: the minimum
    and the median of each."""
    times = [[] for _ in functions]
    for function in functions:
        function()
    for _ in range(rounds):
        for i, function in enumerate(functions):
            start = time.perf_counter()
            result = function()
            times[i].append(time.perf_counter() - start)
            del result
    return [(min(t), sorted(t)[len(t) // 2]) for t in times]


# How peak_memory() hands the scan to read(): by name, as a file object
# over a pipe (its content never whole in the process), or as a BytesIO
# holding it (made before the measure starts).
SOURCES = {
    "name": "source = sys.argv[1]",
    "pipe file object": "import subprocess\n"
                        "source = subprocess.Popen(['cat', sys.argv[1]], stdout=subprocess.PIPE).stdout",
    "BytesIO": "import io\nsource = io.BytesIO(open(sys.argv[1], 'rb').read())",
}


def peak_memory(scan_path, how="name"):
    """Peak resident memory of a fresh process reading the scan (given as
    SOURCES[how] says), above what it held before the read, and the size
    of the arrays (bytes)."""
    code = (
        "import sys, tarnovelix, numpy\n"
        + SOURCES[how] + "\n"
        "def kib(field):\n"
        "    text = open('/proc/self/status').read()\n"
        "    return int(text.split(field + ':')[1].split()[0]) * 1024\n"
        "before = kib('VmRSS')\n"
        "s = tarnovelix.read(source)\n"
        "after = kib('VmHWM')\n"
        "size = sum(a.nbytes for a in (s.label, s.column, s.point, s.events, s.value))\n"
        "print(before, after, size)\n"
    )
    out = subprocess.run([sys.executable, "-c", code, str(scan_path)],
                         capture_output=True, check=True, text=True).stdout.split()
    return int(out[1]) - int(out[0]), int(out[2])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--datagen", required=True)
    parser.add_argument("--lines", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--small-files", type=int, default=300)
    parser.add_argument("--small-lines", type=int, default=50)
    arguments = parser.parse_args()

    import pandas as pd

    import tarnovelix

    work = pathlib.Path(tempfile.mkdtemp(prefix="tnx-bench-python-"))
    scan = work / "standard.dat"
    with open(scan, "wb") as out:
        subprocess.run([arguments.datagen, "standard", str(arguments.lines)], stdout=out, check=True)
    rows_file = work / "standard.ntp"
    subprocess.run([arguments.program, scan, rows_file], capture_output=True, check=True)

    # Checked first: the arrays must be the row file's numbers.
    arrays = tarnovelix.read(scan)
    head = arrays.format_rows() if len(arrays) <= 200_000 else b"".join(
        b"%4d %.3f %u %u\n" % r for r in zip(arrays.label[:200_000].tolist(), arrays.point[:200_000].tolist(),
                                           arrays.events[:200_000].tolist(), arrays.value[:200_000].tolist()))
    with open(rows_file, "rb") as f:
        assert f.read(len(head)) == head, "the arrays differ from the row file"
    rows = len(arrays)
    del arrays

    assert len(tarnovelix.read(scan)) == rows
    (cli, cli_median), (read, read_median) = side_by_side(
        [lambda: subprocess.run([arguments.program, scan, "/dev/null"], stdout=subprocess.DEVNULL, check=True),
         lambda: tarnovelix.read(scan)],
        2 * arguments.rounds + 1)

    def convert_then_pandas():
        subprocess.run([arguments.program, scan, rows_file], stdout=subprocess.DEVNULL, check=True)
        return pd.read_csv(rows_file, sep=r"\s+", header=None, engine="c")

    pandas_time, _, frame = timed(convert_then_pandas, 1)
    assert len(frame) == rows
    del frame

    def convert_then_loadtxt():
        subprocess.run([arguments.program, scan, rows_file], stdout=subprocess.DEVNULL, check=True)
        return np.loadtxt(rows_file)

    loadtxt_time, _, table = timed(convert_then_loadtxt, 1)
    assert len(table) == rows
    del table

    small = work / "small"
    small.mkdir()
    files = []
    for i in range(arguments.small_files):
        path = small / ("s%03d.dat" % i)
        with open(path, "wb") as out:
            subprocess.run([arguments.datagen, "standard", str(arguments.small_lines), str(i + 2)],
                           stdout=out, check=True)
        files.append(path)
    subprocess.run([arguments.program, "--batch", "-q", *files], check=True)
    row_files = [f.with_suffix(".ntp") for f in files]
    small_rows = len(tarnovelix.read_many(files))

    def pandas_loop():
        return [pd.read_csv(f, sep=r"\s+", header=None, engine="c") for f in row_files]

    assert sum(len(f) for f in pandas_loop()) == small_rows
    (many, many_median), (loop, loop_median) = side_by_side(
        [lambda: tarnovelix.read_many(files), pandas_loop], arguments.rounds)
    peaks = {how: peak_memory(scan, how) for how in SOURCES}

    mib = 1 << 20
    print("== Scans into arrays: %s, %d lines, %d rows (%.1f MB)"
          % (scan.name, arguments.lines, rows, scan.stat().st_size / 1e6))
    print("%-34s %9s %9s" % ("", "seconds", "median"))
    print("%-34s %9.3f %9.3f" % ("command line to /dev/null", cli, cli_median))
    print("%-34s %9.3f %9.3f   %.2fx the command line (%.2fx; target <= 1.5)"
          % ("read() into arrays", read, read_median, read / cli, read_median / cli_median))
    print("%-34s %9.3f %9s   read() %.1fx faster (target >= 20)" % ("convert + pandas.read_csv", pandas_time, "once", pandas_time / read))
    print("%-34s %9.3f %9s   read() %.1fx faster" % ("convert + numpy.loadtxt", loadtxt_time, "once", loadtxt_time / read))
    print("== %d small files of %d lines, %d rows" % (len(files), arguments.small_lines, small_rows))
    print("%-34s %9.3f %9.3f" % ("read_many()", many, many_median))
    print("%-34s %9.3f %9.3f   read_many() %.1fx faster (%.1fx; target >= 5)"
          % ("loop of pandas.read_csv", loop, loop_median, loop / many, loop_median / many_median))
    print("== Peak memory of read()")
    print("%-34s %9.1f MiB" % ("arrays", peaks["name"][1] / mib))
    for how, (peak, size) in peaks.items():
        print("%-34s %9.1f MiB   %.1f MiB above the arrays"
              % ("peak added, read(%s)" % how, peak / mib, (peak - size) / mib))
    for f in work.rglob("*"):
        if f.is_file():
            f.unlink()


if __name__ == "__main__":
    main()
