"""read and convert take a name, "~", "-", a file object or content;
read_many and convert_many take a list, one name, a glob pattern or a
folder; their jobs and errors arguments are checked; the package shows
its API alone."""

import bz2
import errno
import gzip
import io
import lzma
import os
import pathlib
import warnings

import numpy as np
import pytest
from conftest import run_program

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
    monkeypatch.setenv("HOME", str(tmp_path))
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
    ("glob", lambda: "scans/?.dat", ["scans/a.dat", "scans/e.dat"]),
    ("glob ~", lambda: "~/scans/[ed].dat*", ["scans/d.dat.xz", "scans/e.dat"]),
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
    names = [os.path.relpath(n) for n in frame["file"].cat.categories]
    assert names == expected
    assert frame.groupby("file", observed=True).size().tolist() == [rows_of(n) for n in expected]


@pytest.mark.parametrize("sources, expected", [s[1:] for s in SHAPES], ids=[s[0] for s in SHAPES])
def test_convert_many_takes_each_shape(scans, sources, expected):
    results = tarnovelix.convert_many(sources(), output_dir="rows", jobs=2)
    assert [os.path.relpath(r.input) for r in results] == expected
    assert all(r.ok for r in results), [r.error for r in results]
    for r in results:
        assert len(pathlib.Path(r.output).read_bytes().splitlines()) == rows_of(os.path.relpath(r.input))


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


@pytest.fixture
def example(scans, source_dir):
    """The example scan's bytes, beside the scans as ex.dat and ex.dat.gz."""
    data = (source_dir / "examples" / "scan.dat").read_bytes()
    (scans / "ex.dat").write_bytes(data)
    (scans / "ex.dat.gz").write_bytes(gzip.compress(data))
    return data


class Trickle:
    """A file object of `data` with read() alone (`readinto=False`) or
    readinto() alone, giving at most 1000 bytes a call; from byte `fail_at`
    on, each call raises `error`, or gives what `give` makes of the buffer."""

    def __init__(self, data, readinto=True, fail_at=None, error=None, give=None):
        self.stream, self.fail_at, self.error, self.give = io.BytesIO(data), fail_at, error, give
        if readinto:
            self.readinto = self._readinto
        else:
            self.read = self._read

    def _failing(self):
        return self.fail_at is not None and self.stream.tell() >= self.fail_at

    def _readinto(self, buffer):
        if self._failing():
            if self.error is not None:
                raise self.error
            return self.give(buffer)
        return self.stream.readinto(memoryview(buffer)[:1000])

    def _read(self, size):
        if self._failing():
            if self.error is not None:
                raise self.error
            return self.give(size)
        return self.stream.read(min(size, 1000))


def with_standard_input(name, call, *args):
    """call(*args) with the descriptor of standard input on the file `name`
    (as the command line reads it), restored afterwards."""
    saved = os.dup(0)
    try:
        with open(name, "rb") as file:
            os.dup2(file.fileno(), 0)
        return call(*args)
    finally:
        os.dup2(saved, 0)
        os.close(saved)


# Each way to give the example scan: the source (made anew for each call)
# and the name read_many gives it ("<memory>", "<file object>": content, a
# file object without a name, which the Scan calls None).
SOURCES = [
    ("str", lambda d: "ex.dat", "ex.dat"),
    ("Path", lambda d: pathlib.Path("ex.dat"), "ex.dat"),
    ("~", lambda d: "~/ex.dat", "~/ex.dat"),
    ("Path ~", lambda d: pathlib.Path("~/ex.dat"), "~/ex.dat"),
    ("packed name", lambda d: "ex.dat.gz", "ex.dat.gz"),
    ("-", lambda d: "-", "-"),
    ("open file", lambda d: open("ex.dat", "rb"), "ex.dat"),
    ("unbuffered file", lambda d: open("ex.dat", "rb", buffering=0), "ex.dat"),
    ("packed open file", lambda d: open("ex.dat.gz", "rb"), "ex.dat.gz"),
    ("gzip.open", lambda d: gzip.open("ex.dat.gz"), "ex.dat.gz"),
    ("BytesIO", lambda d: io.BytesIO(d), "<file object>"),
    ("packed BytesIO", lambda d: io.BytesIO(gzip.compress(d)), "<file object>"),
    ("read alone", lambda d: Trickle(d, readinto=False), "<file object>"),
    ("readinto alone", lambda d: Trickle(d), "<file object>"),
    ("bytes", lambda d: d, "<memory>"),
    ("packed bytes", lambda d: gzip.compress(d), "<memory>"),
    ("bytearray", lambda d: bytearray(d), "<memory>"),
    ("memoryview", lambda d: memoryview(d), "<memory>"),
    ("NumPy bytes", lambda d: np.frombuffer(d, np.uint8), "<memory>"),
]
FIELDS = ("label", "column", "point", "events", "value")


@pytest.mark.parametrize("make, shown", [s[1:] for s in SOURCES], ids=[s[0] for s in SOURCES])
def test_each_source_reads_and_converts_as_the_file(program, example, make, shown):
    expected = tarnovelix.read("ex.dat")
    scan = with_standard_input("ex.dat", tarnovelix.read, make(example))
    for field in FIELDS:
        assert np.array_equal(getattr(scan, field), getattr(expected, field)), field
    assert scan.console == expected.console
    unnamed = shown.startswith("<")
    assert scan.source == (None if unnamed else os.path.expanduser(shown))
    frame = with_standard_input("ex.dat", tarnovelix.read_many, make(example))
    assert frame.value.tolist() == expected.value.tolist()
    assert frame["file"].cat.categories.tolist() == [shown[:-1] + " 0>" if unnamed else scan.source]
    done = with_standard_input("ex.dat", tarnovelix.convert, make(example), "~/out.ntp")
    assert done.ok and done.output == os.path.expanduser("~/out.ntp")
    status, _, _ = run_program(program, "ex.dat", "reference.ntp")
    assert status == 0
    assert pathlib.Path("out.ntp").read_bytes() == pathlib.Path("reference.ntp").read_bytes()


def test_read_many_takes_sources_of_every_kind_in_one_list(example):
    expected = tarnovelix.read("ex.dat")
    frame = tarnovelix.read_many(
        [io.BytesIO(example), "ex.dat", example, open("ex.dat.gz", "rb"), memoryview(example)], jobs=3)
    assert frame["file"].cat.categories.tolist() == [
        "<file object 0>", "ex.dat", "<memory 2>", "ex.dat.gz", "<memory 4>"]
    assert frame.value.tolist() == expected.value.tolist() * 5


# What no call takes, and what the TypeError says instead.
REFUSED = [
    ("int", lambda: 42, "takes .*a file name"),
    ("None", lambda: None, "takes .*a file name"),
    ("float", lambda: 2.5, "takes .*a file name"),
    ("object", object, "takes .*a file name"),
    ("text file", lambda: open("ex.dat"), "binary mode"),
]


@pytest.mark.parametrize("call", [
    tarnovelix.read, tarnovelix.read_many, lambda s: tarnovelix.convert(s, "out.ntp")],
    ids=["read", "read_many", "convert"])
@pytest.mark.parametrize("make, said", [r[1:] for r in REFUSED], ids=[r[0] for r in REFUSED])
def test_what_is_no_source_is_a_type_error_listing_what_is(example, call, make, said):
    with pytest.raises(TypeError, match=said) as raised:
        call(make())
    if said != "binary mode":
        for accepted in ("str", "os.PathLike", "standard input", "file object", "bytes", "memoryview"):
            assert accepted in str(raised.value)
    assert not pathlib.Path("out.ntp").exists()


@pytest.mark.parametrize("inputs", [b"ex.dat", io.BytesIO(b""), ["ex.dat", bytearray(b"x\n")]],
                         ids=["bytes", "file object", "content in a list"])
def test_convert_many_takes_names_alone(example, inputs):
    with pytest.raises(TypeError, match=r"^convert_many\(\) takes file names"):
        tarnovelix.convert_many(inputs, output_dir="rows")
    assert not pathlib.Path("rows").exists()


SECRET = b"secret-scan-line"
DAMAGED = gzip.compress(HEADER + SECRET * 5000)[:-40]
# Calls that fail on content: none may show it.
LEAKS = [
    ("bytes holding no line", lambda: tarnovelix.read(SECRET), ValueError),
    ("damaged packed bytes", lambda: tarnovelix.read(DAMAGED), tarnovelix.ScanError),
    ("damaged packed file object", lambda: tarnovelix.read(io.BytesIO(DAMAGED)), tarnovelix.ScanError),
    ("convert of damaged bytes", lambda: tarnovelix.convert(DAMAGED, "out.ntp"), tarnovelix.ScanError),
    ("read_many of damaged bytes", lambda: tarnovelix.read_many([DAMAGED]), tarnovelix.ScanError),
    ("convert_many of bytes", lambda: tarnovelix.convert_many(SECRET), TypeError),
]


@pytest.mark.parametrize("call, error", [c[1:] for c in LEAKS], ids=[c[0] for c in LEAKS])
def test_an_error_never_holds_content(scans, call, error):
    with pytest.raises(error) as raised:
        call()
    for shown in (str(raised.value), repr(raised.value), repr(raised.value.args)):
        assert "secret" not in shown
    assert not pathlib.Path("out.ntp").exists()


class Broken(Exception):
    pass


# File objects whose reads fail, and what the call raises: the object's own
# exception, passed through.
BROKEN = [
    ("raises at once", lambda d: Trickle(d, fail_at=0, error=Broken("at once")), Broken),
    ("raises midway", lambda d: Trickle(d, fail_at=20000, error=Broken("midway")), Broken),
    ("read raises", lambda d: Trickle(d, readinto=False, fail_at=20000, error=Broken()), Broken),
    ("OSError", lambda d: Trickle(d, fail_at=5000, error=OSError(errno.EIO, "gone")), OSError),
    ("Ctrl-C in a read", lambda d: Trickle(d, fail_at=20000, error=KeyboardInterrupt()), KeyboardInterrupt),
    ("readinto gives text", lambda d: Trickle(d, fail_at=20000, give=lambda b: "7"), TypeError),
    ("readinto gives too many", lambda d: Trickle(d, fail_at=20000, give=lambda b: len(b) + 1), ValueError),
    ("read gives str", lambda d: Trickle(d, readinto=False, fail_at=0, give=lambda n: "x"), TypeError),
    ("read gives too much", lambda d: Trickle(d, readinto=False, fail_at=0, give=lambda n: b"x" * (n + 1)),
     ValueError),
]


@pytest.mark.parametrize("call", [
    tarnovelix.read, tarnovelix.read_many, lambda s: tarnovelix.read_many([s], errors="skip"),
    lambda s: tarnovelix.convert(s, "out.ntp")], ids=["read", "read_many", "read_many skip", "convert"])
@pytest.mark.parametrize("make, error", [b[1:] for b in BROKEN], ids=[b[0] for b in BROKEN])
def test_a_failing_file_object_passes_its_exception_through(example, call, make, error):
    source = make(example)
    with pytest.raises(error) as raised:
        call(source)
    assert type(raised.value) is error
    if source.error is not None:
        assert raised.value is source.error
    assert not pathlib.Path("out.ntp").exists()
