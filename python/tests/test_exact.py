"""The arrays hold exactly the numbers of the row file: formatted with
"%4d %.3f %u %u\\n" they give the command line's row file byte for byte,
for every end-to-end case, every input of the conversion fuzzer's corpus
and a few thousand random scans; read_many gives what read gives; the
console text is the command line's, each line kept to its first 64 KiB."""

import pathlib
import random

import numpy as np
import pytest

import tarnovelix
from conftest import LINE_KEPT, formatted, kept_console, rows_of, run_program


def e2e_inputs(source_dir):
    cases = sorted((source_dir / "tests" / "e2e" / "cases").glob("*/input.dat"))
    assert len(cases) > 30
    return cases


def corpus_inputs(source_dir):
    files = sorted((source_dir / "fuzz" / "corpus" / "run").iterdir())
    assert len(files) > 100
    return files


def test_every_e2e_case_formats_to_the_row_file(program, source_dir, tmp_path):
    with_rows = 0
    for case in e2e_inputs(source_dir):
        expected, console = rows_of(program, case, tmp_path)
        scan = tarnovelix.read(case)
        assert formatted(scan) == expected, case
        assert scan.console.encode("utf-8", "surrogateescape") == kept_console(console), case
        with_rows += bool(expected)
    assert with_rows > 20


def test_every_corpus_file_formats_to_the_row_file(program, source_dir, tmp_path):
    files = corpus_inputs(source_dir)
    outputs = tmp_path / "rows"
    status, _, _ = run_program(program, "--batch", "-q", "-o", outputs, *files)
    assert status == 0
    for path in files:
        expected = (outputs / (path.name + ".ntp")).read_bytes()
        assert formatted(tarnovelix.read(path)) == expected, path


# Pieces of random scans: the syntax's edges (signs, leading zeros, wrap
# past 32 bits, reals with exponents, junk after numbers, CR LF, NUL,
# blank runs) in header and data lines alike.
INTEGERS = ["0", "7", "-1", "+5", "007", "-0", "4294967295", "4294967296",
            "2147483648", "-2147483649", "99999999999999999999", "12", "123456789"]
REALS = ["0.5", "-.5", "1e3", "1.5e-2", "2.", ".", "1e", "-1.25", "1e400",
         "0.0005", "0.0015", "123456.7895"]
JUNK = ["x", "5x", "-", "+", "--3", "1-2", "1.2.3", "#", "\t", "\x00", "\r", "s"]
BLANKS = [" ", "  ", "\t", " \t ", "\v", "\f"]


def random_token(rng):
    kind = rng.random()
    if kind < 0.6:
        return rng.choice(INTEGERS) if rng.random() < 0.5 else str(rng.randrange(0, 10**rng.randrange(1, 11)))
    if kind < 0.8:
        return rng.choice(REALS)
    return rng.choice(JUNK)


def random_line(rng, first_word=None):
    tokens = [] if first_word is None else [first_word]
    tokens += [random_token(rng) for _ in range(rng.randrange(0, 120 if rng.random() < 0.1 else 12))]
    text = ""
    for t in tokens:
        text += t + rng.choice(BLANKS)
    return text.rstrip(" ") if rng.random() < 0.5 else text


def random_scan(rng) -> bytes:
    lines = []
    for _ in range(3):
        word = rng.choice(["points", "events", "# points", "pointsx", "events:", "sample", None])
        lines.append(random_line(rng, word))
    lines.append(random_line(rng))
    for _ in range(rng.randrange(0, 30)):
        lines.append(random_line(rng, rng.choice(INTEGERS) if rng.random() < 0.9 else None))
    end = "\r\n" if rng.random() < 0.2 else "\n"
    text = end.join(lines) + (end if rng.random() < 0.7 else "")
    return text.encode("latin-1")


def test_random_scans_format_to_the_row_file(program, tmp_path):
    seed = 20261208
    rng = random.Random(seed)
    count = 3000
    folder = tmp_path / "random"
    folder.mkdir()
    files = []
    for i in range(count):
        path = folder / ("r%04d.dat" % i)
        path.write_bytes(random_scan(rng))
        files.append(path)
    outputs = tmp_path / "rows"
    status, _, _ = run_program(program, "--batch", "-q", "-o", outputs, *files)
    assert status == 0
    with_rows = 0
    for path in files:
        expected = (outputs / (path.stem + ".ntp")).read_bytes()
        got = formatted(tarnovelix.read(path))
        assert got == expected, "seed %d, %s" % (seed, path.name)
        with_rows += bool(expected)
    assert with_rows > count // 2


def test_memory_and_file_read_alike(source_dir):
    for path in corpus_inputs(source_dir)[:200]:
        from_file = tarnovelix.read(path)
        from_memory = tarnovelix.read(memoryview(path.read_bytes()))
        for name in ("label", "column", "point", "events", "value"):
            assert np.array_equal(getattr(from_file, name), getattr(from_memory, name)), path
        assert from_file.console == from_memory.console
        assert from_memory.source is None


def test_read_many_matches_read(source_dir):
    files = corpus_inputs(source_dir) + e2e_inputs(source_dir)
    frame = tarnovelix.read_many(files, jobs=3)
    assert list(frame.columns) == ["file", "line", "label", "column", "point", "events", "value"]
    assert frame["file"].dtype == "category"
    assert frame["value"].dtype == np.int64 and frame["events"].dtype == np.int64
    start = 0
    for path in files:
        scan = tarnovelix.read(path)
        part = frame.iloc[start:start + len(scan)]
        assert (part["file"] == str(path)).all()
        for name in ("line", "label", "column", "point", "events", "value"):
            assert np.array_equal(part[name].to_numpy(), getattr(scan, name)), path
        start += len(scan)
    assert start == len(frame)


def test_dtypes_and_the_double_keeps_its_bits(tmp_path):
    path = tmp_path / "bits.dat"
    path.write_bytes(b"h\npoints 0.1 1e-7 123456.78951 -2.5e300\nh\nh\n-3 1 2 3 4\n")
    scan = tarnovelix.read(path)
    assert scan.label.dtype == np.int32 and scan.column.dtype == np.uint8
    assert scan.point.dtype == np.float64
    assert scan.events.dtype == np.uint32 and scan.value.dtype == np.uint32
    # The row file shows three decimals; the arrays hold the double.
    assert scan.point.tolist() == [0.1, 1e-7, 123456.78951, -2.5e300]
    assert scan.column.tolist() == [0, 1, 2, 3]


# A long header line, whether its echo is cut: in pieces, one number or
# many, the echo's tail within a first word read again, the edge of the cut.
LONG_HEADER_LINES = [
    pytest.param(b"points " + b"9" * 200_000, True, id="one number"),
    pytest.param(b"events" + b" 1" * 100_000, True, id="many numbers"),
    pytest.param(b"s" + b"x" * 200_000, True, id="one word"),
    pytest.param(b"points " + b"5" * 200_000 + b"\r", True, id="CR LF"),
    pytest.param(b"points " + b"7" * (LINE_KEPT - 8), False, id="64 KiB"),
    pytest.param(b"points " + b"7" * (LINE_KEPT - 7), True, id="64 KiB and 1"),
]


@pytest.mark.parametrize("line,cut", LONG_HEADER_LINES)
def test_a_long_header_lines_echo_keeps_its_first_64_kib(program, tmp_path, line, cut):
    scan = tmp_path / "long.dat"
    scan.write_bytes(b"# c\n" + line + b"\nevents 1 2\nx\n1 2 3\n")
    _, console = rows_of(program, scan, tmp_path)
    expected = kept_console(console)
    assert (b" more bytes]\n" in expected) == cut
    texts = [
        tarnovelix.read(scan).console,
        tarnovelix.read(memoryview(scan.read_bytes())).console,
        tarnovelix.convert(scan, tmp_path / "rows.ntp").console,
    ]
    for text in texts:
        assert text.encode("utf-8", "surrogateescape") == expected
