"""convert and convert_many write what the command line writes, with its
safe output, and report failures as ScanError; python3 -m tarnovelix is the
command line."""

import errno
import os
import pathlib
import subprocess
import sys

import pytest

import tarnovelix
from conftest import kept_console, run_program

HEADER = b"# c\npoints 0.5 1.5 2.5\nevents 10 20 30\nskipped\n"


def scan_files(folder, count):
    folder.mkdir(exist_ok=True)
    files = []
    for i in range(count):
        path = folder / ("s%03d.dat" % i)
        path.write_bytes(HEADER + b"".join(b"%d %d %d\n" % (j - i, j * i, i) for j in range(i % 7)))
        files.append(path)
    return files


def test_convert_writes_the_command_lines_rows(program, source_dir, tmp_path):
    cases = sorted((source_dir / "tests" / "e2e" / "cases").glob("*/input.dat"))
    for case in cases:
        status, stdout, _ = run_program(program, case, tmp_path / "cli.ntp")
        result = tarnovelix.convert(case, tmp_path / "py.ntp")
        assert status == 0 and result.ok
        assert (tmp_path / "py.ntp").read_bytes() == (tmp_path / "cli.ntp").read_bytes(), case
        assert result.console.encode("utf-8", "surrogateescape") == kept_console(stdout), case


SAME_FILE = "same file as the input"

# (input, output, errno, which name the error carries, reason when not the
# system's)
FAILURES = [
    ("missing.dat", "out.ntp", errno.ENOENT, "input", None),
    ("good.dat", "nodir/out.ntp", errno.ENOENT, "output", None),
    ("good.dat", "folder", errno.EISDIR, "output", None),
    # The reason line shows the line break as \x0a.
    ("good.dat", "fol\nder", errno.EISDIR, "output", None),
    ("folder", "out.ntp", errno.EISDIR, "input", None),
    ("/proc/self/mem", "out.ntp", errno.EIO, "input", None),
    ("good.dat", "/dev/full", errno.ENOSPC, "output", None),
    ("good.dat", "good.dat", errno.EINVAL, "output", SAME_FILE),
    ("good.dat", "./good.dat", errno.EINVAL, "output", SAME_FILE),
    ("good.dat", "alias.dat", errno.EINVAL, "output", SAME_FILE),  # a link
]


@pytest.mark.parametrize("input_name,output_name,code,side,reason", FAILURES)
def test_convert_failures(program, tmp_path, input_name, output_name, code, side, reason):
    scan = HEADER + b"1 2 3\n"
    (tmp_path / "good.dat").write_bytes(scan)
    (tmp_path / "alias.dat").symlink_to("good.dat")
    (tmp_path / "folder").mkdir()
    (tmp_path / "fol\nder").mkdir()
    (tmp_path / "out.ntp").write_bytes(b"old rows\n")
    cwd = os.getcwd()
    os.chdir(tmp_path)
    try:
        status, _, stderr = run_program(program, input_name, output_name)
        assert (tmp_path / "out.ntp").read_bytes() == b"old rows\n"
        with pytest.raises(tarnovelix.ScanError) as caught:
            tarnovelix.convert(input_name, output_name)
    finally:
        os.chdir(cwd)
    assert status == 1
    assert caught.value.errno == code
    assert caught.value.strerror == (reason or os.strerror(code))
    assert caught.value.filename == (input_name if side == "input" else output_name)
    # What the command line says, word for word.
    shown = "".join(
        "\\x%02x" % ord(c) if ord(c) < 0x20 or ord(c) == 0x7F else c
        for c in caught.value.filename
    )
    said = "tarnovelix: %s: %s\n" % (shown, caught.value.strerror)
    assert stderr.decode() == said
    # A failed conversion leaves the row file, and the input, as they were.
    assert (tmp_path / "out.ntp").read_bytes() == b"old rows\n"
    assert (tmp_path / "good.dat").read_bytes() == scan


def test_convert_many_is_the_batch(program, tmp_path):
    files = scan_files(tmp_path / "in", 40)
    files.insert(17, tmp_path / "in" / "missing.dat")
    status, _, _ = run_program(program, "--batch", "-q", "-o", tmp_path / "cli", *files)
    assert status == 1
    results = tarnovelix.convert_many(files, output_dir=tmp_path / "py", jobs=3)
    assert [r.input for r in results] == [str(f) for f in files]
    assert [r.ok for r in results].count(False) == 1
    failed = results[17]
    assert failed.error.errno == errno.ENOENT and failed.error.filename == str(files[17])
    assert sorted(os.listdir(tmp_path / "py")) == sorted(os.listdir(tmp_path / "cli"))
    for name in os.listdir(tmp_path / "cli"):
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes()


# An output folder that cannot be made: (what stands in its way, errno of
# each file).
UNMADE_FOLDERS = [
    ("a file", errno.ENOTDIR),
    ("a file/rows", errno.ENOTDIR),
]


@pytest.mark.parametrize("folder,code", UNMADE_FOLDERS)
def test_convert_many_goes_on_when_its_folder_cannot_be_made(program, tmp_path, folder, code):
    files = scan_files(tmp_path / "in", 3)
    (tmp_path / "a file").write_bytes(b"not a folder\n")
    status, _, stderr = run_program(program, "--batch", "-q", "-o", tmp_path / folder, *files)
    results = tarnovelix.convert_many(files, output_dir=tmp_path / folder, jobs=2)
    assert status == 1
    assert [r.input for r in results] == [str(f) for f in files]
    for result in results:
        assert result.error.errno == code
        assert result.error.filename == str(tmp_path / folder / (pathlib.Path(result.input).stem + ".ntp"))
        said = "tarnovelix: %s: %s\n" % (result.error.filename, result.error.strerror)
        assert said.encode() in stderr
    assert (tmp_path / "a file").read_bytes() == b"not a folder\n"


def test_convert_many_refuses_a_second_writer_of_one_row_file(tmp_path):
    (tmp_path / "a").mkdir()
    (tmp_path / "b").mkdir()
    for folder in ("a", "b"):
        (tmp_path / folder / "scan.dat").write_bytes(HEADER + b"1 2\n")
    first, second = tarnovelix.convert_many(
        [tmp_path / "a" / "scan.dat", tmp_path / "b" / "scan.dat"], output_dir=tmp_path / "rows"
    )
    assert first.ok and not second.ok
    assert second.error.filename == str(tmp_path / "rows" / "scan.ntp")
    assert str(tmp_path / "a" / "scan.dat") in second.error.strerror
    # Beside their inputs they do not collide.
    assert all(r.ok for r in tarnovelix.convert_many([tmp_path / "a" / "scan.dat", tmp_path / "b" / "scan.dat"]))


@pytest.mark.parametrize("order", [("a.dat", "a.ntp"), ("a.ntp", "a.dat")])
def test_convert_many_never_writes_an_input_that_is_a_row_file(tmp_path, order):
    scan = HEADER + b"1 2\n"
    for name in order:
        (tmp_path / name).write_bytes(scan)
    results = tarnovelix.convert_many([tmp_path / name for name in order], jobs=2)
    refused = results[order.index("a.dat")]
    assert refused.error.strerror == "an input of this batch"
    assert refused.error.filename == str(tmp_path / "a.ntp")
    assert not results[order.index("a.ntp")].ok  # its own row file
    assert (tmp_path / "a.ntp").read_bytes() == scan


# Command lines run both ways: exit status, standard output and the row
# file must agree.
COMMAND_LINES = [
    ["in.dat", "out.ntp"],
    ["--version"],
    ["missing.dat", "out.ntp"],
    ["--batch", "-q", "in.dat", "missing.dat"],
    ["in.dat", "-"],
]


@pytest.mark.parametrize("arguments", COMMAND_LINES)
def test_module_runs_the_command_line(program, tmp_path, arguments):
    (tmp_path / "in.dat").write_bytes(HEADER + b"5 6 7\n")
    env = dict(os.environ)
    results = []
    for command in ([str(program)], [sys.executable, "-m", "tarnovelix"]):
        for name in ("out.ntp", "in.ntp"):
            (tmp_path / name).unlink(missing_ok=True)
        done = subprocess.run(command + arguments, cwd=tmp_path, capture_output=True, env=env)
        rows = [(tmp_path / n).read_bytes() if (tmp_path / n).exists() else None for n in ("out.ntp", "in.ntp")]
        results.append((done.returncode, done.stdout, done.stderr.replace(b"python3 -m ", b""), rows))
    assert results[0] == results[1]


@pytest.mark.parametrize("asked", ["--help", "-h"])
def test_module_help_is_the_programs_and_plot(program, asked):
    done = [subprocess.run(command + [asked], capture_output=True, check=True)
            for command in ([str(program)], [sys.executable, "-m", "tarnovelix"])]
    assert done[1].stdout.startswith(done[0].stdout)
    added = done[1].stdout[len(done[0].stdout):]
    assert b"python3 -m tarnovelix plot" in added and b"plot --help" in added
    plot_help = subprocess.run([sys.executable, "-m", "tarnovelix", "plot", "--help"],
                               capture_output=True, check=True)
    assert b"--output" in plot_help.stdout


def test_jobs_must_be_positive(tmp_path):
    scan = tmp_path / "one.dat"
    scan.write_bytes(HEADER + b"1 2\n")
    for call in (lambda: tarnovelix.read_many([scan], jobs=0),
                 lambda: tarnovelix.convert_many([scan], jobs=-1)):
        with pytest.raises(ValueError):
            call()


def test_many_calls_reuse_their_threads(tmp_path):
    import threading

    files = scan_files(tmp_path / "in", 6)
    before = threading.active_count()
    for _ in range(20):
        assert all(r.ok for r in tarnovelix.convert_many(files, jobs=3))
    assert threading.active_count() <= before + 3


@pytest.mark.parametrize("jobs", [1, 2, 5])
def test_read_many_raises_the_first_failure_in_order(tmp_path, jobs):
    names = scan_files(tmp_path / "in", 12)
    names[4] = tmp_path / "missing.dat"
    names[6] = tmp_path / "in"  # a folder
    names[9] = tmp_path / "missing too.dat"
    for _ in range(10):
        with pytest.raises(tarnovelix.ScanError) as caught:
            tarnovelix.read_many(names, jobs=jobs)
        assert (caught.value.errno, caught.value.filename) == (errno.ENOENT, str(names[4]))
    # The threads stopped by a failure serve the next call.
    good = scan_files(tmp_path / "in", 12)
    assert len(tarnovelix.read_many(good, jobs=jobs)) == sum(len(tarnovelix.read(f)) for f in good)


def test_a_forked_child_reads_on_threads_of_its_own(tmp_path):
    import multiprocessing

    files = scan_files(tmp_path / "in", 6)
    expected = len(tarnovelix.read_many(files, jobs=3))  # the parent's threads start
    with multiprocessing.get_context("fork").Pool(1) as pool:
        rows = pool.apply_async(_rows_of_many, (files,)).get(timeout=30)
    assert rows == expected


def _rows_of_many(files):
    return len(tarnovelix.read_many(files, jobs=3))


def test_a_name_with_a_nul_byte_is_refused(tmp_path):
    # The system would take the name up to the NUL: another file.
    scan = tmp_path / "scan"
    scan.write_bytes(HEADER + b"1 2\n")
    named = str(scan) + "\0.dat"
    calls = [
        lambda: tarnovelix.read(named),
        lambda: tarnovelix.read_many([scan, named]),
        lambda: tarnovelix.convert(named, tmp_path / "out.ntp"),
        lambda: tarnovelix.convert(scan, str(tmp_path / "out") + "\0.ntp"),
        lambda: tarnovelix.convert_many([scan, named]),
        lambda: tarnovelix.convert_many([scan], output_dir=str(tmp_path / "rows") + "\0x"),
    ]
    for call in calls:
        with pytest.raises(ValueError):
            call()
    assert sorted(os.listdir(tmp_path)) == ["scan"]
