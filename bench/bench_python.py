#!/usr/bin/env python3
"""Reading scans into Python, side by side with the peers, in one run.

Each row of the table is a pair timed side by side, the two taking turns
round by round so that both see the same machine: the subject (the
package) and its reference (the command line, or what a pandas user would
write), each shown as the median of its rounds and its minimum, and the
ratio of the medians against its target:

  read()                   vs the command line converting to /dev/null
  read(report=True)        vs the command line with --report to /dev/null
  read(report=True)        vs read() (what the report adds)
  read().grid()            vs read() (values by line and column)
  read().to_xarray()       vs read() (the same as a DataArray)
  read_many (300 files)    vs a loop of pandas.read_csv over their row files
  convert + pandas         the row file, then pandas.read_csv of it (once)
  convert + numpy.loadtxt  the row file, then numpy.loadtxt of it (once)
  peak memory              of read(), above the size of its arrays: of a
                           name, a file object over a pipe, a BytesIO; and
                           of read().grid() and read().to_xarray()

A row is one Comparison in comparisons(): adding a figure is adding one.
The arrays are checked against the row file, and the report against the
command line's, before any figure is printed."""

import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from typing import Callable, List, Optional

import numpy as np

MIB = 1 << 20


@dataclass
class Comparison:
    """A subject timed against its reference. The ratio shown is the
    subject's median over the reference's (`at_most`: the target it must
    stay under), or with `speedup` the reference's over the subject's
    (`at_least`: the target it must reach). A reference that is slow runs
    `reference_rounds` times (once), after no warm-up."""

    subject: str
    run_subject: Callable
    reference: str
    run_reference: Callable
    rounds: int
    at_most: Optional[float] = None
    at_least: Optional[float] = None
    speedup: bool = False
    reference_rounds: Optional[int] = None


def side_by_side(functions, rounds):
    """Times each function its count of `rounds`, taking turns while any
    has rounds left (after one call to warm up of each that runs more than
    once): the median and the minimum of each."""
    times = [[] for _ in functions]
    for function, count in zip(functions, rounds):
        if count > 1:
            function()
    for turn in range(max(rounds)):
        for i, function in enumerate(functions):
            if turn >= rounds[i]:
                continue
            start = time.perf_counter()
            result = function()
            times[i].append(time.perf_counter() - start)
            # Giving back a result's memory is not part of the next call.
            del result
    return [(statistics.median(t), min(t)) for t in times]


def verdict(figure, at_most=None, at_least=None):
    """The target next to a figure and whether it is met."""
    if at_most is not None:
        return "target <= %g: %s" % (at_most, "met" if figure <= at_most else "NOT MET")
    if at_least is not None:
        return "target >= %g: %s" % (at_least, "met" if figure >= at_least else "NOT MET")
    return ""


def print_comparison(row, times):
    (subject, subject_min), (reference, reference_min) = times
    ratio = reference / subject if row.speedup else subject / reference
    ratio_min = reference_min / subject_min if row.speedup else subject_min / reference_min
    how = "times faster" if row.speedup else "times the time"
    print("%-36s %8.3f %8.3f" % (row.reference, reference, reference_min))
    print("%-36s %8.3f %8.3f   %.2f %s (min %.2f)   %s"
          % (row.subject, subject, subject_min, ratio, how, ratio_min,
             verdict(ratio, row.at_most, row.at_least)))


# How peak_memory() hands the scan to read(): by name, as a file object
# over a pipe (its content never whole in the process), or as a BytesIO
# holding it (made before the measure starts).
SOURCES = {
    "name": "source = sys.argv[1]",
    "pipe file object": "import subprocess\n"
                        "source = subprocess.Popen(['cat', sys.argv[1]], stdout=subprocess.PIPE).stdout",
    "BytesIO": "import io\nsource = io.BytesIO(open(sys.argv[1], 'rb').read())",
}


def peak_memory(scan_path, how="name", then="None"):
    """Peak resident memory of a fresh process reading the scan (given as
    SOURCES[how] says) and evaluating `then` of it (`s`), above what it held
    before the read, and the size of the arrays (bytes)."""
    code = (
        "import sys, tarnovelix, numpy\n"
        + SOURCES[how] + "\n"
        "def kib(field):\n"
        "    text = open('/proc/self/status').read()\n"
        "    return int(text.split(field + ':')[1].split()[0]) * 1024\n"
        + ("import xarray\n" if "xarray" in then else "")
        + "before = kib('VmRSS')\n"
        "s = tarnovelix.read(source)\n"
        "kept = " + then + "\n"
        "after = kib('VmHWM')\n"
        "size = sum(a.nbytes for a in (s.label, s.column, s.point, s.events, s.value, s.lines))\n"
        "print(before, after, size)\n"
    )
    out = subprocess.run([sys.executable, "-c", code, str(scan_path)],
                         capture_output=True, check=True, text=True).stdout.split()
    return int(out[1]) - int(out[0]), int(out[2])


def program_run(program, *args):
    return lambda: subprocess.run([program, *args], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, check=True)


def check_arrays(tarnovelix, program, scan, rows_file):
    """The arrays must be the row file's numbers (its first 200,000 rows),
    and the report the command line's; returns the count of rows."""
    subprocess.run([program, scan, rows_file], capture_output=True, check=True)
    arrays = tarnovelix.read(scan, report=True)
    n = min(len(arrays), 200_000)
    head = b"".join(b"%4d %.3f %u %u\n" % r for r in zip(
        arrays.label[:n].tolist(), arrays.point[:n].tolist(),
        arrays.events[:n].tolist(), arrays.value[:n].tolist()))
    with open(rows_file, "rb") as f:
        assert f.read(len(head)) == head, "the arrays differ from the row file"
    report = subprocess.run([program, scan, "/dev/null", "--report"],
                            capture_output=True, check=True).stderr.decode()
    lines = ["tarnovelix: " + line for line in arrays.findings.report_lines(str(scan))]
    assert report.splitlines() == lines, "the report differs from the command line's"
    return len(arrays)


def small_files(arguments, work):
    """The many small scans and their row files."""
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
    return files, [f.with_suffix(".ntp") for f in files]


def comparisons(arguments, scan, rows_file, files, row_files) -> List[Comparison]:
    import pandas as pd

    import tarnovelix

    program = arguments.program
    rounds = 2 * arguments.rounds + 1

    def convert_then(read_rows):
        def run():
            subprocess.run([program, scan, rows_file], stdout=subprocess.DEVNULL, check=True)
            return read_rows(rows_file)
        return run

    return [
        Comparison("read() into arrays", lambda: tarnovelix.read(scan),
                   "command line to /dev/null", program_run(program, scan, "/dev/null"),
                   rounds, at_most=1.25),
        Comparison("read(report=True)", lambda: tarnovelix.read(scan, report=True),
                   "command line --report to /dev/null",
                   program_run(program, scan, "/dev/null", "--report"),
                   rounds, at_most=1.25),
        Comparison("read(report=True)", lambda: tarnovelix.read(scan, report=True),
                   "read()", lambda: tarnovelix.read(scan), rounds),
        Comparison("read().grid()", lambda: tarnovelix.read(scan).grid(),
                   "read()", lambda: tarnovelix.read(scan), rounds, at_most=1.5),
        Comparison("read().to_xarray()", lambda: tarnovelix.read(scan).to_xarray(),
                   "read()", lambda: tarnovelix.read(scan), rounds, at_most=1.5),
        Comparison("read_many() of %d files" % len(files), lambda: tarnovelix.read_many(files),
                   "loop of pandas.read_csv",
                   lambda: [pd.read_csv(f, sep=r"\s+", header=None, engine="c") for f in row_files],
                   arguments.rounds, at_least=15, speedup=True),
        Comparison("read() into arrays", lambda: tarnovelix.read(scan),
                   "convert + pandas.read_csv",
                   convert_then(lambda f: pd.read_csv(f, sep=r"\s+", header=None, engine="c")),
                   rounds, at_least=20, speedup=True, reference_rounds=1),
        Comparison("read() into arrays", lambda: tarnovelix.read(scan),
                   "convert + numpy.loadtxt", convert_then(np.loadtxt), rounds,
                   speedup=True, reference_rounds=1),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--datagen", required=True)
    parser.add_argument("--lines", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--small-files", type=int, default=300)
    parser.add_argument("--small-lines", type=int, default=50)
    arguments = parser.parse_args()

    import tarnovelix

    work = pathlib.Path(tempfile.mkdtemp(prefix="tnx-bench-python-"))
    scan = work / "standard.dat"
    with open(scan, "wb") as out:
        subprocess.run([arguments.datagen, "standard", str(arguments.lines)], stdout=out, check=True)
    rows_file = work / "standard.ntp"
    rows = check_arrays(tarnovelix, arguments.program, scan, rows_file)
    files, row_files = small_files(arguments, work)
    small_rows = len(tarnovelix.read_many(files))

    print("== %s: %d lines, %d rows (%.1f MB); %d small files of %d lines, %d rows"
          % (scan.name, arguments.lines, rows, scan.stat().st_size / 1e6,
             len(files), arguments.small_lines, small_rows))
    print("%-36s %8s %8s" % ("seconds", "median", "min"))
    for row in comparisons(arguments, scan, rows_file, files, row_files):
        counts = [row.rounds, row.reference_rounds or row.rounds]
        print_comparison(row, side_by_side([row.run_subject, row.run_reference], counts))
    peaks = {how: peak_memory(scan, how) for how in SOURCES}
    print("== Peak memory of read()")
    print("%-36s %8.1f MiB" % ("arrays", peaks["name"][1] / MIB))
    for how, (peak, size) in peaks.items():
        print("%-36s %8.1f MiB   %.1f MiB above the arrays   %s"
              % ("peak added, read(%s)" % how, peak / MIB, (peak - size) / MIB,
                 verdict((peak - size) / MIB, at_most=16)))
    for then in ("s.grid()", "s.to_xarray()"):
        shape_peak, _ = peak_memory(scan, then=then)
        print("%-36s %8.1f MiB   %.2f times read()'s"
              % ("peak with " + then.replace("s.", "read()."), shape_peak / MIB,
                 shape_peak / peaks["name"][0]))
    for f in work.rglob("*"):
        if f.is_file():
            f.unlink()


if __name__ == "__main__":
    main()
