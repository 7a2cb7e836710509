"""The plot subcommand: the grid it draws and the picture it writes."""

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


@pytest.mark.parametrize("data,status", [(SCAN, 0), (b"a\nb\nc\nd\n", 1)])
def test_plot_writes_a_picture(tmp_path, data, status):
    (tmp_path / "scan.dat").write_bytes(data)
    done = subprocess.run(
        [sys.executable, "-m", "tarnovelix", "plot", "scan.dat", "-o", "scan.png"],
        cwd=tmp_path, capture_output=True,
    )
    assert done.returncode == status, done.stderr
    if status == 0:
        assert (tmp_path / "scan.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    else:
        assert not (tmp_path / "scan.png").exists()
