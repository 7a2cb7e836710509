"""to_xarray(): the values by line and column, with the header's tables as
coordinates, holding exactly the rows of the arrays."""

import numpy as np
import pytest

xr = pytest.importorskip("xarray")

import tarnovelix
from test_exact import corpus_inputs, e2e_inputs

# Lines of three, one and four values, a line with no label and one with a
# label alone (no rows, so no line of the grid), and coordinates for three
# columns only.
SCAN = b"# c\npoints 1.5 2 3\nevents 7 8 9\nskip\n10 1 2 3\n11 4\nx\n13\n-12 5 6 7 8\n"


def test_values_by_line_and_column_with_the_tables_as_coordinates():
    array = tarnovelix.read(memoryview(SCAN)).to_xarray()
    assert array.name == "value"
    assert array.dims == ("line", "column")
    expected = [[1, 2, 3, np.nan], [4, np.nan, np.nan, np.nan], [5, 6, 7, 8]]
    assert np.array_equal(array.values, np.array(expected), equal_nan=True)
    assert array["label"].values.tolist() == [10, 11, -12]
    assert array["point"].values.tolist() == [1.5, 2.0, 3.0, 0.0]
    assert array["events"].values.tolist() == [7, 8, 9, 0]
    assert array["column"].values.tolist() == [0, 1, 2, 3]
    assert array.attrs["source"] == "<memory>"
    # Selecting by coordinate works as xarray users expect.
    assert array.swap_dims(column="point").sel(point=2.0).values[0] == 2


def test_no_rows_give_an_empty_array(tmp_path):
    path = tmp_path / "empty.dat"
    path.write_bytes(b"points 1\nevents 2\nx\nno values here\n")
    array = tarnovelix.read(path).to_xarray()
    assert array.shape == (0, 0)
    assert array.attrs["source"] == str(path)


def rows_of(array):
    """The DataArray's values back as rows, line by line, column by column,
    the missing ones left out."""
    stacked = array.stack(row=("line", "column")).dropna("row")
    return {
        "value": stacked.values,
        "label": stacked["label"].values,
        "column": stacked["column"].values,
        "point": stacked["point"].values,
        "events": stacked["events"].values,
    }


def test_every_e2e_and_corpus_scan_holds_its_rows(source_dir):
    checked = 0
    for path in e2e_inputs(source_dir) + corpus_inputs(source_dir):
        scan = tarnovelix.read(path)
        rows = rows_of(scan.to_xarray())
        assert np.array_equal(rows["value"], scan.value.astype(np.float64)), path
        for name in ("label", "column", "point", "events"):
            assert np.array_equal(rows[name], getattr(scan, name)), (path, name)
        checked += len(scan) > 0
    assert checked > 100
