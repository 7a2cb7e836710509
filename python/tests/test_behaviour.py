"""What read gives for chosen inputs, and how failures come out: malformed
data gives no rows and never an exception; a file that cannot be opened or
read raises ScanError, an OSError with the system's reason."""

import errno
import os

import numpy as np
import pytest

import tarnovelix
from conftest import peak_growth_kib

HEADER = b"# c\npoints 0.5 1.5 2.5\nevents 10 20 30\nskipped 1 2 3\n"

# (data lines, expected (label, column, value) rows)
DATA_CASES = [
    (b"7 100 200 300\n", [(7, 0, 100), (7, 1, 200), (7, 2, 300)]),
    (b"x 1 2\n", []),                              # no label: no rows
    (b"5\n", []),                                  # a label, no values
    (b"5 1 x 2\n", [(5, 0, 1)]),                   # values end at text
    (b"5 5x 6\n", [(5, 0, 5)]),
    (b"5 5-3\n", [(5, 0, 5), (5, 1, 4294967293)]), # a sign starts a number
    (b"2147483648 -1\n", [(-2147483648, 0, 4294967295)]),
    (b"-0 4294967296 007\n", [(0, 0, 0), (0, 1, 7)]),
    (b"1 2\x003\n", [(1, 0, 2)]),                  # a NUL ends the text
    (b"9 1 2\r\n", [(9, 0, 1), (9, 1, 2)]),        # CR LF
    (b"+12 +3\n", [(12, 0, 3)]),
    (b"-12 5 0\n", [(-12, 0, 5), (-12, 1, 0)]),
    (b"1 " + b"8 " * 150 + b"\n", [(1, j, 8) for j in range(100)]),
    (b"3 1\n\n   \n4 2", [(3, 0, 1), (4, 0, 2)]),  # blank lines, no last LF
]


@pytest.mark.parametrize("data,rows", DATA_CASES)
def test_data_lines(data, rows):
    scan = tarnovelix.read(memoryview(HEADER + data))
    got = list(zip(scan.label.tolist(), scan.column.tolist(), scan.value.tolist()))
    assert got == rows
    points = [0.5, 1.5, 2.5] + [0.0] * 97
    events = [10, 20, 30] + [0] * 97
    assert scan.point.tolist() == [points[c] for _, c, _ in rows]
    assert scan.events.tolist() == [events[c] for _, c, _ in rows]


# (header lines, expected counts)
HEADER_CASES = [
    (b"# c\npoints 1 2\nevents 3\n", (("points", 2), ("events", 1))),
    (b"points\nevents   \nx\n", (("points", -1), ("events", -1))),
    (b"points x\n#events 1\nevents 1 2 3 4\n", (("points", 0), ("events", 4))),
    (b"no keyword\nsame\nhere\n", ()),
    (b"points 1\npoints 2 3\npoints 4\n", (("points", 1), ("points", 2), ("points", 1))),
]


@pytest.mark.parametrize("header,counts", HEADER_CASES)
def test_header_counts(header, counts):
    scan = tarnovelix.read(bytearray(header + b"line four\n1 1\n"))
    assert scan.header.counts == counts
    assert scan.header.points.shape == (100,) and scan.header.events.shape == (100,)


def test_later_header_line_overwrites_only_its_columns():
    scan = tarnovelix.read(memoryview(b"points 1 2 3\npoints 9\nh\nh\n0 5 5 5\n"))
    assert scan.header.points[:4].tolist() == [9.0, 2.0, 3.0, 0.0]
    assert scan.point.tolist() == [9.0, 2.0, 3.0]


def test_empty_and_short_inputs_give_no_rows():
    for text in [b"", b"points 1\n", b"a\nb\nc\nd\n", b"a\nb\nc\nd\ne"]:
        scan = tarnovelix.read(memoryview(text))
        assert len(scan) == 0 and scan.value.dtype == np.uint32


def test_missing_file_raises_with_the_system_reason(tmp_path):
    missing = tmp_path / "missing.dat"
    with pytest.raises(tarnovelix.ScanError) as caught:
        tarnovelix.read(missing)
    assert isinstance(caught.value, OSError)
    assert caught.value.errno == errno.ENOENT
    assert caught.value.strerror == os.strerror(errno.ENOENT)
    assert caught.value.filename == str(missing)
    # Bytes are content, never a name: a name held as bytes is refused
    # with the way to give it, not read as an empty scan.
    with pytest.raises(ValueError, match="os.fsdecode"):
        tarnovelix.read(bytes(missing))


def test_unreadable_files_raise(tmp_path):
    # A directory opens but cannot be read; /proc/self/mem fails its read at
    # offset 0 whoever runs the test (root included).
    for name, code in [(tmp_path, errno.EISDIR), ("/proc/self/mem", errno.EIO)]:
        with pytest.raises(tarnovelix.ScanError) as caught:
            tarnovelix.read(name)
        assert caught.value.errno == code, name
        assert caught.value.filename == str(name)


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads any file")
def test_file_without_read_permission_raises(tmp_path):
    path = tmp_path / "locked.dat"
    path.write_bytes(HEADER)
    path.chmod(0)
    with pytest.raises(tarnovelix.ScanError) as caught:
        tarnovelix.read(path)
    assert caught.value.errno == errno.EACCES


def test_to_pandas_holds_the_rows_and_their_lines():
    scan = tarnovelix.read(memoryview(HEADER + b"1 2 3\n4 5\n"))
    frame = scan.to_pandas()
    assert list(frame.columns) == ["line", "label", "column", "point", "events", "value"]
    assert frame["value"].tolist() == [2, 3, 5]
    assert frame["line"].tolist() == [5, 5, 6]
    assert str(frame["label"].dtype) == "int32" and str(frame["value"].dtype) == "int64"


def test_version_is_the_programs(program):
    import subprocess

    shown = subprocess.run([str(program), "--version"], capture_output=True, check=True).stdout
    assert tarnovelix.__version__ and tarnovelix.__version__.encode() in shown


# (call, where the scan comes from): each keeps its memory to its arrays
# whatever the length of a header line.
LONG_LINE_CALLS = [
    ("read", "file"), ("read", "memory"), ("read", "pipe"), ("read", "file object"),
    ("read_many", "file"), ("read_many", "file object"),
    ("convert", "file"), ("convert", "pipe"), ("convert", "file object"), ("convert_many", "file"),
]


@pytest.mark.parametrize("call,source", LONG_LINE_CALLS)
def test_a_long_header_line_is_never_held_whole(tmp_path, call, source):
    line = 32 << 20
    scan = tmp_path / "long.dat"
    with open(scan, "wb") as out:
        out.write(b"# c\npoints ")
        out.write(b"9" * line)
        out.write(b"\nevents 1 2\nx\n1 2 3\n")
    # The arrays of a large file come in 2 MiB pages, one touched per array
    # for the two rows here: 10 MiB, and a few more for the reading.
    assert peak_growth_kib(call, source, scan) < 16 << 10
