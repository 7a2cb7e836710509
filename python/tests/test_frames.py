"""Frames that are safe to compute with: int64 events and value (uint32 with
compact=True), each row's data line numbered as --report numbers it, the
grid built from the arrays, and the header's comment lines and dropped line
in Header and in the frames' attrs."""

import re

import numpy as np
import pytest

import tarnovelix
from conftest import kept_console, run_program

HEADER = b"# run 7\npoints 1 2 3\nevents 4000000000 5 6\nch0 ch1 ch2\n"
LONG = 200 << 10  # longer than a line read whole: taken in pieces

# Data lines after HEADER, each shape a way of counting lines that could go
# wrong: blank and white-space lines, lines without a label or values, CR
# LF line ends, a NUL byte, a line in pieces, no line end at the end.
SHAPES = {
    "plain": b"1 2 3\n2 4 5 6\n",
    "blank lines": b"\n\n1 2\n\n   \t\n2 3 4\n\n",
    "no rows": b"x 1\n7\n-\n1 2\n2OO 3\n3 4 5\n",
    "crlf": b"1 2\r\n\r\n2 3 4\r\n",
    "nul byte": b"1 2\x00 9\n\x00\n2 3\n",
    "long line": b"1 2\n" + b"2" + b" 7" * (LONG // 2) + b"\n3 4\n",
    "long blanks": b" " * LONG + b"\n1 2 3\n",
    "last line short": b"1 2 3 4\n2 5",
    "wrapped": b"1 -1 4294967296 3\n-2 0\n",
}


def read(text):
    return tarnovelix.read(memoryview(text))


def line_starts(scan):
    return np.flatnonzero(scan.column == 0)


def report_lines(program, path, tmp_path):
    """The line number of each finding --report tells, by what it says."""
    _, _, stderr = run_program(program, path, tmp_path / "out.ntp", "--report")
    found = re.findall(rb":(\d+): (gives no rows|.*)", stderr)
    no_rows = {int(n) for n, what in found if what == b"gives no rows"}
    return no_rows, {int(n) for n, _ in found} - no_rows


@pytest.mark.parametrize("shape", SHAPES)
def test_line_numbers_are_the_files_as_report_counts(program, tmp_path, shape):
    text = HEADER + SHAPES[shape]
    path = tmp_path / "scan.dat"
    path.write_bytes(text)
    scan = tarnovelix.read(path)
    # Line k (from 1) of the file, as a reader splitting at LF sees it.
    lines = text.split(b"\n")
    for number, start in zip(scan.lines, line_starts(scan)):
        label = int(re.match(rb"\s*(-?\d+)", lines[number - 1]).group(1))
        assert label == scan.label[start], (shape, number)
    assert np.all(np.diff(scan.lines) > 0) and np.all(scan.lines > 4)
    no_rows, with_rows = report_lines(program, path, tmp_path)
    assert not no_rows & set(scan.lines.tolist()), shape
    assert with_rows <= set(scan.lines.tolist()), shape
    # Every row knows its line.
    assert np.array_equal(scan.line, np.repeat(scan.lines, np.diff(np.append(line_starts(scan), len(scan)))))


@pytest.mark.parametrize("compact", [False, True])
@pytest.mark.parametrize("how", ["to_pandas", "read_many"])
def test_frames_compute_exactly_unless_compact(tmp_path, compact, how):
    path = tmp_path / "scan.dat"
    path.write_bytes(HEADER + b"1 999 4294967295\n1 0 7\n")
    if how == "to_pandas":
        frame = tarnovelix.read(path).to_pandas(compact=compact)
    else:
        frame = tarnovelix.read_many([path], compact=compact)
    wide = np.uint32 if compact else np.int64
    assert frame["events"].dtype == wide and frame["value"].dtype == wide
    assert frame["line"].dtype == np.int64 and frame["line"].tolist() == [5, 5, 6, 6]
    exact = [-1, 4294966295, -1000, -993]
    assert ((frame.value - 1000).tolist() == exact) != compact
    products = [999 * 4000000000, 4294967295 * 5, 0, 35]
    assert ((frame.events * frame.value).tolist() == products) != compact
    # The arrays stay compact whatever the frame holds.
    assert tarnovelix.read(path).value.dtype == np.uint32


def test_pivot_by_line_keeps_every_line_of_repeated_labels():
    # The same labels again and again, as real scans have them.
    data = b"".join(b"%d %d %d\n" % (i % 3, i, 2 * i) for i in range(30))
    scan = read(HEADER + b"\n" + data)
    frame = scan.to_pandas()
    table = frame.pivot_table(index="line", columns="column", values="value")
    assert table.index.tolist() == list(range(6, 36))
    assert np.array_equal(table.to_numpy(), scan.grid()[0])
    assert len(frame.pivot_table(index="label", columns="column", values="value")) == 3


# Lines of data for the grid, each a shape of its own.
GRIDS = {
    "empty": b"",
    "no rows": b"1\nx\n",
    "one row": b"5 9\n",
    "ragged": b"1 1 2 3\n2 4\n3\n4 5 6 7 8\n",
    "last line short": b"1 1 2 3\n2 4",
    "widest first": b"1" + b" 3" * 100 + b"\n2 1\n",
}


def reference_grid(scan):
    starts = line_starts(scan)
    columns = int(scan.column.max()) + 1 if len(scan) else 0
    image = np.full((len(starts), columns), np.nan)
    for row in range(len(scan)):
        image[np.searchsorted(starts, row, "right") - 1, scan.column[row]] = scan.value[row]
    return image, scan.label[starts]


@pytest.mark.parametrize("shape", GRIDS)
def test_grid_holds_the_arrays_and_nan_holes(shape):
    scan = read(HEADER + GRIDS[shape])
    image, labels = scan.grid()
    expected, expected_labels = reference_grid(scan)
    assert image.dtype == np.float64 and image.shape == expected.shape
    assert np.array_equal(image, expected, equal_nan=True)
    assert np.array_equal(labels, expected_labels)
    assert len(scan.lines) == image.shape[0]


def test_grid_of_a_large_scan_filled_by_the_second_thread(tmp_path):
    # 2^20 rows and more: the fields a line's rows share come from a thread
    # of their own. Line i holds 1 + i % 40 values, its last one i.
    lines = [b"%d" % i + b" 1" * (i % 40) + b" %d" % i for i in range(52000)]
    path = tmp_path / "large.dat"
    path.write_bytes(HEADER + b"\n".join(lines) + b"\n")
    scan = tarnovelix.read(path)
    assert len(scan) > 1 << 20
    image, labels = scan.grid()
    last = np.arange(52000) % 40
    assert np.array_equal(image[np.arange(52000), last], np.arange(52000))
    assert np.isnan(image[0, 1:]).all() and np.isnan(image[41, 2:]).all()
    assert labels.tolist() == list(range(52000))
    assert np.array_equal(scan.lines, np.arange(5, 52005))
    assert scan.to_pandas()["line"].iloc[-1] == 52004


@pytest.mark.parametrize("column", [[1, 2], [0, 2], [0, 1, 1], [0, 0, 5]])
def test_grid_refuses_columns_no_read_gives(column):
    scan = read(HEADER + b"1 1 2 3\n")
    n = len(column)
    changed = tarnovelix.Scan(
        label=scan.label[:n].copy(), column=np.array(column, dtype=np.uint8),
        point=scan.point[:n], events=scan.events[:n], value=scan.value[:n],
        lines=scan.lines, header=scan.header, console="")
    with pytest.raises(ValueError):
        changed.grid()


CUT = 64 << 10
# A comment line, and a dropped line, longer than a line read whole: each
# kept to its first 64 KiB, cut as the console cuts an echo.
LONG_COMMENT = kept_console(b"# " + b"c" * LONG).decode()
LONG_DROPPED = kept_console(b"d" * LONG).decode()

# Header texts: the input and what Header keeps of it.
TEXTS = [
    (b"# a\npoints 1\n#b\nd\n1 2\n", ("# a", "#b"), "d"),
    (b" # not one\npoints 1\nx\n#dropped\n1 2\n", (), "#dropped"),
    (b"# " + b"c" * LONG + b"\npoints 1\n#\n" + b"d" * LONG + b"\n",
     (LONG_COMMENT, "#"), LONG_DROPPED),
    (b"# \xff\npoints 1\nx\n", ("# \udcff",), None),
    (b"#\r\npoints 1\r\nx\r\nd\r\n", ("#",), "d"),
    (b"", (), None),
]


def test_long_lines_are_cut_with_the_consoles_marker():
    assert LONG_DROPPED == "d" * CUT + "[... %d more bytes]" % (LONG - CUT)


@pytest.mark.parametrize("source, comments, dropped", TEXTS, ids=range(len(TEXTS)))
def test_header_keeps_comment_lines_and_the_dropped_line(program, tmp_path, source, comments, dropped):
    path = tmp_path / "scan.dat"
    path.write_bytes(source)
    scan = tarnovelix.read(path)
    assert scan.header.comments == comments and scan.header.dropped == dropped
    attrs = {"source": str(path), "comments": "\n".join(comments), "dropped": dropped or ""}
    assert scan.to_pandas().attrs == attrs
    if has_xarray():
        assert scan.to_xarray().attrs == attrs
    # The console text is the command line's, whatever was kept beside it.
    _, stdout, _ = run_program(program, path, tmp_path / "out.ntp")
    assert scan.console == kept_console(stdout).decode("utf-8", "surrogateescape")


def test_read_many_keeps_each_files_header_texts(tmp_path):
    paths = []
    for i, (source, _, _) in enumerate(TEXTS):
        paths.append(tmp_path / ("s%d.dat" % i))
        paths[-1].write_bytes(source)
    frame = tarnovelix.read_many(paths + paths[:1])
    assert frame.attrs["headers"] == {
        "file": [str(p) for p in paths + paths[:1]],
        "comments": ["\n".join(c) for _, c, _ in TEXTS + TEXTS[:1]],
        "dropped": [d or "" for _, _, d in TEXTS + TEXTS[:1]],
    }


def has_xarray():
    try:
        import xarray  # noqa: F401
    except ImportError:
        return False
    return True


# Mixes of files whose joined columns could go wrong: a file without rows
# between others, one name given twice (the number of the file named again),
# lines in pieces, a file that fails (None: a name with no file).
MIXES = {
    "one": ["plain"],
    "empty between": ["plain", "no rows", "crlf"],
    "twice": ["wrapped", "plain", 0],
    "long and short": ["long line", "last line short", "blank lines", "nul byte"],
    "a failure skipped": ["plain", None, "long blanks"],
    "rows for two threads": ["plain", "many rows", "crlf", "many rows", 1],
}
MANY_ROWS = b"".join(b"%d " % i + b"7 " * 100 + b"\n" for i in range(400))


@pytest.mark.parametrize("compact", [False, True])
@pytest.mark.parametrize("mix", MIXES)
def test_read_many_is_the_files_frames_joined(tmp_path, mix, compact):
    import pandas as pd

    paths = []
    for i, shape in enumerate(MIXES[mix]):
        path = tmp_path / ("scan%d.dat" % i)
        if isinstance(shape, int):
            path = paths[shape]
        elif shape is not None:
            path.write_bytes(HEADER + (MANY_ROWS if shape == "many rows" else SHAPES[shape]))
        paths.append(path)
    frame = tarnovelix.read_many(paths, errors="skip", compact=compact, jobs=2)
    parts = []
    for path in paths:
        if path.exists():
            part = tarnovelix.read(path).to_pandas(compact=compact)
            part.insert(0, "file", str(path))
            parts.append(part)
    expected = pd.concat(parts, ignore_index=True)
    kept = [str(p) for p in dict.fromkeys(paths) if p.exists()]
    expected["file"] = expected["file"].astype(pd.CategoricalDtype(kept))
    expected.attrs = {}
    pd.testing.assert_frame_equal(frame, expected)


@pytest.mark.parametrize("field, array", [
    ("lines", np.array([5], dtype=np.int64)),
    ("value", np.array([1, 2], dtype=np.uint32)),
    ("column", np.array([1, 0, 1], dtype=np.uint8)),
])
def test_frame_columns_refuse_arrays_no_read_gives(field, array):
    import dataclasses

    scan = read(HEADER + b"1 2 3\n2 4 5 6\n")
    with pytest.raises(ValueError):
        tarnovelix._core.frame_columns([scan, dataclasses.replace(scan, **{field: array})], False)
