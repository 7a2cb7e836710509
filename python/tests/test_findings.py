"""The report in Python: read(..., report=True) must give what the command
line's --report prints of the same file, byte for byte (the end-to-end
cases and random files), on_findings must ignore, warn or raise as asked,
read_many must give each file's counts, and a read without a report must
stay as it was."""

import random
import re
import shutil
import subprocess
import warnings

import numpy as np
import pytest

import tarnovelix
from conftest import SOURCE_DIR, run_program

CASES = SOURCE_DIR / "tests" / "e2e" / "cases"
# The case files that are not inputs (stdin is one: the scan piped in).
CONTROL_FILES = {"args", "expected.stdout", "expected.stderr", "expected.rows",
                 "expected.exit", "setup.cmake", "posix_only"}

# The kinds as the report's count line names them.
SUMMARY_NAMES = {
    "lines without rows": "no_rows",
    "lines whose values stop at text": "text_in_values",
    "lines of more than 100 values": "past_max_columns",
    "lines past the header's columns": "past_header",
    "lines with a wrapped number": "wrapped",
    "lines with a NUL byte": "nul_byte",
    "keyword lines without numbers": "header_count",
    "keyword lines missing": "header_missing",
}

HEADER = b"title\npoints 1.5 2.5 3.5\nevents 10 20 30\ndropped\n"


def cli_report(program, folder, name):
    """The command line's report of `folder`/`name` (its lines after
    "tarnovelix: ") and every kind's count, or None when it fails."""
    status, _, stderr = run_program(program, name, "report.ntp", "--report", cwd=folder)
    if status != 0:
        return None
    lines = [line.decode("ascii").removeprefix("tarnovelix: ")
             for line in stderr.splitlines()]
    counts = dict.fromkeys(SUMMARY_NAMES.values(), 0)
    if lines:
        kinds = lines[-1].split(" (", 1)[1].rstrip(")")
        for part in kinds.split(", "):
            kind, count = part.rsplit(": ", 1)
            counts[SUMMARY_NAMES[kind]] = int(count)
    return lines, counts


def assert_same_report(program, folder, name):
    """read(report=True) of the file and of its bytes give the command
    line's report; returns the findings."""
    expected = cli_report(program, folder, name)
    if expected is None:
        pytest.skip("the command line does not convert %s" % name)
    lines, counts = expected
    scan = tarnovelix.read(folder / name, report=True)
    in_memory = tarnovelix.read(memoryview((folder / name).read_bytes()), report=True)
    for found in (scan.findings, in_memory.findings):
        assert found.report_lines(name) == lines
        assert found.counts == counts
        assert found.total == sum(counts.values())
        assert list(found.counts) == list(tarnovelix.Findings.KINDS)
    return scan.findings


def case_inputs():
    for case in sorted(CASES.iterdir()):
        names = {p.name for p in case.iterdir()} - CONTROL_FILES
        if (case / "setup.cmake").exists():
            names.update(re.findall(r"WORK}/([\w.-]+\.dat)", (case / "setup.cmake").read_text()))
        for name in sorted(names):
            yield pytest.param(case, name, id="%s/%s" % (case.name, name))


@pytest.mark.parametrize("case, name", list(case_inputs()))
def test_e2e_case_findings_are_the_command_lines(program, tmp_path, case, name):
    for item in case.iterdir():
        if item.name not in CONTROL_FILES or item.name == "stdin":
            shutil.copy(item, tmp_path / item.name)
    if (case / "setup.cmake").exists():
        subprocess.run(["cmake", "-DWORK=%s" % tmp_path, "-DCASE_DIR=%s" % case,
                        "-P", str(case / "setup.cmake")], cwd=tmp_path, check=True)
    assert_same_report(program, tmp_path, name)


# Pieces of random scans: numbers in and out of range, signs, junk, NUL
# bytes, white space and line ends.
TOKENS = [b"0", b"7", b"42", b"-1", b"-0", b"+5", b"4294967295", b"4294967296",
          b"2147483648", b"-2147483649", b"99999999999", b"007", b"x", b"nan",
          b"#", b"1e3", b"1.5", b"\x00", b"\x1b[0m", b'"q"', b"\\", b"\xff",
          b"a" * 20, b"-", b"points", b"events"]
BLANKS = [b" ", b"  ", b"\t", b" \r"]


def random_line(rng):
    if rng.random() < 0.05:
        return b" " * rng.randrange(3)
    count = rng.choice([1, 2, 3, 4, 6, 99, 100, 101, 104])
    junk = rng.choice([0.0, 0.01, 0.15])
    words = [rng.choice(TOKENS) if rng.random() < junk else b"%d" % rng.randrange(10**4)
             for _ in range(count)]
    return b"".join(w + rng.choice(BLANKS) for w in words).rstrip()


def random_header(rng):
    lines = [b"title %d" % rng.randrange(100)]
    for keyword in (b"points", b"events"):
        shape = rng.randrange(4)
        if shape == 0:
            lines.append(b"other line")
        elif shape == 1:
            lines.append(keyword + rng.choice([b"", b"  ", b" x 1"]))
        else:
            lines.append(keyword + b" " + b" ".join(b"%d" % v for v in range(rng.randrange(1, 8))))
    rng.shuffle(lines)
    return b"\n".join(lines) + b"\ndropped\n"


@pytest.mark.parametrize("seed", range(24))
def test_random_file_findings_are_the_command_lines(program, tmp_path, seed):
    rng = random.Random(seed)
    data = random_header(rng) + b"\n".join(
        random_line(rng) for _ in range(rng.randrange(1, 60)))
    (tmp_path / "random.dat").write_bytes(data)
    try:
        assert_same_report(program, tmp_path, "random.dat")
    except AssertionError:
        print("seed %d" % seed)
        raise


# A file of one finding of each of three kinds, the first on line 6.
FOUND = HEADER + b"1 5 6 7\n2 5x\n3 5 6 7 8\nnan 3\n4 4294967296\n"


def test_report_false_stays_as_it_was(tmp_path):
    path = tmp_path / "found.dat"
    path.write_bytes(FOUND)
    plain, reported = tarnovelix.read(path), tarnovelix.read(path, report=True)
    assert plain.findings is None
    assert reported.findings.total == 4
    for field in ("label", "column", "point", "events", "value"):
        np.testing.assert_array_equal(getattr(plain, field), getattr(reported, field))
    assert plain.console == reported.console


def recording(call, source, on_findings, raises):
    """`call(source, on_findings=...)` with its warnings recorded: its
    result, the FindingError it must raise when `raises` (else None), and
    the warnings."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        if not raises:
            return call(source, on_findings=on_findings), None, caught
        with pytest.raises(tarnovelix.FindingError) as raised:
            call(source, on_findings=on_findings)
    return None, raised.value, caught


@pytest.mark.parametrize("data, on_findings, outcome", [
    (FOUND, "ignore", None),
    (FOUND, "warn", "warn"),
    (FOUND, "raise", "raise"),
    (HEADER + b"1 5 6 7\n", "warn", None),
    (HEADER + b"1 5 6 7\n", "raise", None),
])
def test_on_findings(tmp_path, data, on_findings, outcome):
    path = tmp_path / "found.dat"
    path.write_bytes(data)
    name = str(path)
    scan, error, caught = recording(tarnovelix.read, path, on_findings, outcome == "raise")
    if outcome == "raise":
        assert str(error).startswith(
            name + ":6: values stop at \"x\" in column 2: the rest of the line gives no rows")
        assert (error.source, error.finding.line, error.finding.kind) == (name, 6, "text_in_values")
        assert not caught
        return
    if outcome == "warn":
        assert [str(w.message) for w in caught] == scan.findings.report_lines(name)
        assert all(w.category is tarnovelix.FindingWarning for w in caught)
        assert issubclass(tarnovelix.FindingWarning, tarnovelix.ScanWarning)
        assert caught[0].filename == __file__
        assert caught[0].message.finding == scan.findings.shown[0]
    else:
        assert not caught
    assert (scan.findings is None) == (on_findings == "ignore")


@pytest.mark.parametrize("bad", ["Warn", "error", None, 1])
def test_on_findings_refuses_other_values(tmp_path, bad):
    path = tmp_path / "found.dat"
    path.write_bytes(FOUND)
    for call in (tarnovelix.read, tarnovelix.read_many):
        with pytest.raises(ValueError, match="on_findings"):
            call(path, on_findings=bad)


def many_files(tmp_path):
    datas = [HEADER + b"1 5 6 7\n", FOUND, HEADER + b"1 5\n\x002 3\n", FOUND + FOUND]
    paths = []
    for i, data in enumerate(datas):
        paths.append(tmp_path / ("f%d.dat" % i))
        paths[-1].write_bytes(data)
    return paths


def test_read_many_counts_are_each_files(tmp_path):
    pandas = pytest.importorskip("pandas")
    paths = many_files(tmp_path)
    frame = tarnovelix.read_many(paths, report=True, jobs=2)
    table = pandas.DataFrame(frame.attrs["findings"])
    assert list(table.columns) == ["file"] + list(tarnovelix.Findings.KINDS)
    assert list(table["file"]) == [str(p) for p in paths]
    for path, (_, row) in zip(paths, table.iterrows()):
        counts = tarnovelix.read(path, report=True).findings.counts
        assert row.drop("file").to_dict() == counts
    assert table["no_rows"].tolist() == [0, 1, 1, 6]
    assert "findings" not in tarnovelix.read_many(paths).attrs
    pandas.testing.assert_frame_equal(frame, tarnovelix.read_many(paths))


@pytest.mark.parametrize("on_findings", ["warn", "raise"])
def test_read_many_on_findings_goes_file_by_file(tmp_path, on_findings):
    pytest.importorskip("pandas")
    paths = many_files(tmp_path)
    frame, error, caught = recording(tarnovelix.read_many, paths, on_findings, on_findings == "raise")
    if on_findings == "raise":
        assert error.source == str(paths[1])
        return
    sources = [w.message.source for w in caught]
    assert sorted(set(sources), key=sources.index) == [str(p) for p in paths[1:]]
    assert "findings" in frame.attrs
