"""The plot subcommand: the grid it draws, the picture it writes, and a
line on standard error for each thing that goes wrong."""

import re
import subprocess
import sys

import numpy as np
import pytest

pytest.importorskip("matplotlib")

import tarnovelix

SCAN = b"# c\npoints 1 2 3\nevents 1 1 1\nskip\n10 1 2 3\n11 4\nx\n12 5 6 7 8\n"


def test_grid_places_each_value_at_its_line_and_column():
    image, labels = tarnovelix.read(memoryview(SCAN)).grid()
    expected = np.array([[1, 2, 3, np.nan], [4, np.nan, np.nan, np.nan], [5, 6, 7, 8]])
    assert np.array_equal(image, expected, equal_nan=True)
    assert labels.tolist() == [10, 11, 12]


def scan_with_points(points: bytes) -> bytes:
    return b"# c\npoints " + points + b"\nevents 1 1 1\nskip\n10 1 2 3\n11 4 5 6\n"


TOO_FAR = rb"tarnovelix: scan\.dat: the header's points \(.*\) are too far apart to draw; drawn over column numbers\n"

# (scan, or None for none, picture, status, standard error as a pattern,
# the file that holds the picture)
PLOTS = [
    (SCAN, "scan.png", 0, b"", "scan.png"),
    (b"a\nb\nc\nd\n", "scan.png", 1, rb"tarnovelix: scan\.dat: no rows to draw\n", None),
    (scan_with_points(b"0 1e300 2e300"), "scan.png", 0, b"", "scan.png"),
    (scan_with_points(b"3 2 1"), "scan.png", 0, b"", "scan.png"),
    # Coordinates that no picture shows: column numbers instead.
    (scan_with_points(b"-1e308 0 1e308"), "scan.png", 0, TOO_FAR, "scan.png"),
    (scan_with_points(b"1 2 1e309"), "scan.png", 0, TOO_FAR, "scan.png"),
    (scan_with_points(b"1e307 1e308 1.7e308"), "scan.png", 0, TOO_FAR, "scan.png"),
    (scan_with_points(b"-5e307 0 5e307"), "scan.png", 0, TOO_FAR, "scan.png"),
    (scan_with_points(b"-1e306 0 1e306"), "scan.png", 0, b"", "scan.png"),
    # Failures: one line each.
    (None, "scan.png", 1, rb"tarnovelix: scan\.dat: No such file or directory\n", None),
    (SCAN, "missing/scan.png", 1, rb"tarnovelix: missing/scan\.png: No such file or directory\n", None),
    (SCAN, "scan.dat/scan.png", 1, rb"tarnovelix: scan\.dat/scan\.png: Not a directory\n", None),
    (SCAN, "a\nb/scan.png", 1, rb"tarnovelix: a\\x0ab/scan\.png: No such file or directory\n", None),
    (SCAN, "scan.xyz", 1, rb"tarnovelix: scan\.xyz: Format 'xyz' is not supported \(.*\)\n", None),
    # The picture named is the one written, without an extension too.
    (SCAN, "picture", 0, b"", "picture"),
]


@pytest.mark.parametrize("data,picture,status,said,written", PLOTS)
def test_plot_writes_a_picture_or_says_why_not(tmp_path, data, picture, status, said, written):
    if data is not None:
        (tmp_path / "scan.dat").write_bytes(data)
    done = subprocess.run(
        [sys.executable, "-m", "tarnovelix", "plot", "scan.dat", "-o", picture],
        cwd=tmp_path, capture_output=True,
    )
    assert done.returncode == status, done.stderr
    assert re.fullmatch(said, done.stderr), done.stderr
    pictures = sorted(p.name for p in tmp_path.iterdir() if p.name != "scan.dat")
    assert pictures == ([written] if written else [])
    if written:
        assert (tmp_path / written).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
