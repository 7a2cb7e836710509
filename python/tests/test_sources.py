"""read_many and convert_many take a list, one name, a glob pattern or a
folder; their jobs and errors arguments are checked; the package shows
its API alone."""

import bz2
import errno
import gzip
import lzma
import pathlib
import warnings

import numpy as np
import pytest

import tarnovelix

HEADER = b"# c\npoints 0.5 1.5 2.5\nevents 10 20 30\nskipped\n"

# The scans of the folder "scans", each with as many data lines as its
# place in this list plus one, so that a frame's rows tell which were read.
SCANS = {
    "scans/a.dat": None,
    "scans/b.dat.gz": gzip.compress,
    "scans/c.dat.bz2": bz2.compress,
    "scans/d.dat.xz": lzma.compress,
    "scans/e.dat": None,
}
# Beside them, names a folder's scans leave out.
NOT_SCANS = ["scans/notes.txt", "scans/.hidden.dat", "scans/e.ntp"]
# A name with a pattern's characters in it that exists, and what the
# pattern would match.
ODD = ["odd/[x].dat", "odd/x.dat"]


def rows_of(name) -> int:
    return (list(SCANS) + ODD).index(name) + 1


@pytest.fixture
def scans(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    for folder in ("scans", "scans/sub.dat", "odd", "empty"):
        (tmp_path / folder).mkdir()
    for name in list(SCANS) + NOT_SCANS + ODD:
        lines = rows_of(name) if name in SCANS or name in ODD else 3
        text = HEADER + b"".join(b"%d 7\n" % i for i in range(lines))  # a row each
        (tmp_path / name).write_bytes((SCANS.get(name) or bytes)(text))
    return tmp_path


FOLDER = list(SCANS)
SHAPES = [
    ("str", lambda: "scans/e.dat", ["scans/e.dat"]),
    ("Path", lambda: pathlib.Path("scans/e.dat"), ["scans/e.dat"]),
    ("bytes", lambda: b"scans/e.dat", ["scans/e.dat"]),
    ("glob", lambda: "scans/?.dat", ["scans/a.dat", "scans/e.dat"]),
    ("glob bytes", lambda: b"scans/[ed].dat*", ["scans/d.dat.xz", "scans/e.dat"]),
    ("existing name with [ ]", lambda: "odd/[x].dat", ["odd/[x].dat"]),
    ("folder", lambda: "scans", FOLDER),
    ("folder Path", lambda: pathlib.Path("scans/"), FOLDER),
    ("list", lambda: ["scans/e.dat", pathlib.Path("scans/a.dat")], ["scans/e.dat", "scans/a.dat"]),
    ("generator", lambda: (n for n in ["odd/x.dat", "scans/e.dat"]), ["odd/x.dat", "scans/e.dat"]),
    ("empty folder", lambda: "empty", []),
    ("empty list", lambda: [], []),
]


@pytest.mark.parametrize("sources, expected", [s[1:] for s in SHAPES], ids=[s[0] for s in SHAPES])
def test_read_many_takes_each_shape(scans, sources, expected):
    frame = tarnovelix.read_many(sources())
    names = [str(pathlib.Path(n)) for n in frame["file"].cat.categories]
    assert names == expected
    assert frame.groupby("file", observed=True).size().tolist() == [rows_of(n) for n in expected]


@pytest.mark.parametrize("sources, expected", [s[1:] for s in SHAPES], ids=[s[0] for s in SHAPES])
def test_convert_many_takes_each_shape(scans, sources, expected):
    results = tarnovelix.convert_many(sources(), output_dir="rows", jobs=2)
    assert [str(pathlib.Path(r.input)) for r in results] == expected
    assert all(r.ok for r in results), [r.error for r in results]
    for r in results:
        assert len(pathlib.Path(r.output).read_bytes().splitlines()) == rows_of(str(pathlib.Path(r.input)))


def test_a_pattern_that_matches_nothing_is_a_missing_file(scans):
    # As a shell leaves it: the pattern is the one name it is, so a typo
    # fails loudly rather than give an empty frame.
    with pytest.raises(tarnovelix.ScanError) as raised:
        tarnovelix.read_many("scans/*.csv")
    assert (raised.value.errno, raised.value.filename) == (errno.ENOENT, "scans/*.csv")
    (result,) = tarnovelix.convert_many("scans/*.csv")
    assert (result.error.errno, result.input) == (errno.ENOENT, "scans/*.csv")


BAD_JOBS = [("2", TypeError), (2.5, TypeError), (True, TypeError), ([2], TypeError),
            (0, ValueError), (-1, ValueError)]


@pytest.mark.parametrize("call", ["read_many", "convert_many"])
@pytest.mark.parametrize("jobs, error", BAD_JOBS)
@pytest.mark.parametrize("sources", [["scans/a.dat"], []], ids=["one", "none"])
def test_jobs_is_checked(scans, call, jobs, error, sources):
    with pytest.raises(error, match="^jobs must be"):
        getattr(tarnovelix, call)(sources, jobs=jobs)
    assert not (scans / "scans" / "a.ntp").exists()


@pytest.mark.parametrize("jobs", [None, 1, np.int64(3)])
def test_jobs_takes_whole_numbers_and_none(scans, jobs):
    assert len(tarnovelix.read_many("scans", jobs=jobs)) == sum(map(rows_of, SCANS))


ERRORS = [
    # errors, what is raised, how many warnings
    ("raise", tarnovelix.ScanError, 0),
    ("warn", None, 1),
    ("skip", None, 0),
    ("ignore", ValueError, 0),
    (None, ValueError, 0),
]


@pytest.mark.parametrize("errors, raised, warned", ERRORS)
def test_errors_says_what_a_missing_file_does(scans, errors, raised, warned):
    names = ["scans/a.dat", "scans/missing.dat", "scans/e.dat"]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        if raised is not None:
            with pytest.raises(raised) as error:
                tarnovelix.read_many(names, errors=errors)
            assert "missing" in str(error.value) or "errors must be" in str(error.value)
        else:
            frame = tarnovelix.read_many(names, errors=errors)
            assert list(frame["file"].cat.categories) == ["scans/a.dat", "scans/e.dat"]
            assert len(frame) == rows_of("scans/a.dat") + rows_of("scans/e.dat")
    assert [type(w.message) for w in caught] == [tarnovelix.ScanWarning] * warned
    for w in caught:
        assert "scans/missing.dat" in str(w.message) and "No such file" in str(w.message)
        assert w.filename == __file__  # points at the caller's line


def test_the_package_shows_its_api_alone():
    shown = dir(tarnovelix)
    assert shown == sorted(tarnovelix.__all__)
    assert "ScanWarning" in shown and issubclass(tarnovelix.ScanWarning, Warning)
    assert all(getattr(tarnovelix, name) is not None for name in shown)
    for internal in ("np", "os", "queue", "threading", "_core", "_scan", "Source"):
        assert internal not in shown
