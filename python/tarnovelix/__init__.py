"""Scans straight into Python.

A scan (three header lines, a dropped fourth line, then data lines of a
label and values) becomes NumPy arrays in one call, read by the converter's
own engine with its exact rules: formatting row ``i`` as
``"%4d %.3f %u %u\\n" % (label[i], point[i], events[i], value[i])`` gives
row ``i`` of the row file the command line writes.

    >>> import tarnovelix
    >>> scan = tarnovelix.read("scan.dat")
    >>> scan.value.sum(), scan.header.points[:3]
    >>> frame = tarnovelix.read_many(["a.dat", "b.dat"])   # pandas
    >>> tarnovelix.read("scan.dat", report=True).findings   # as --report
    >>> tarnovelix.convert("scan.dat", "scan.ntp")          # the row file
"""

from __future__ import annotations

import functools
import os
from typing import TYPE_CHECKING, Iterable, List, Optional, Union

from . import _core
from ._conversion import Conversion, batch_of, convert_pair
from ._findings import (
    Finding,
    FindingError,
    Findings,
    FindingWarning,
    act_on,
    checked_on_findings,
    counts_table,
    findings_of,
)
from ._inputs import Given, Name, Source, expanded, given_of
from ._names import PathName
from ._scan import Header, Scan, ScanError, ScanWarning, error_of, frame_of, headers_table, scan_of
from ._sources import checked_errors, checked_jobs, convert_source, input_names, kept, names_of
from ._workers import on_caller_or_worker, run_all

if TYPE_CHECKING:
    import pandas  # type: ignore[import]  # Debian's has no type information

__version__: str = _core.version

__all__ = [
    "ScanError",
    "ScanWarning",
    "FindingError",
    "FindingWarning",
    "Scan",
    "Header",
    "Findings",
    "Finding",
    "Conversion",
    "read",
    "read_many",
    "convert",
    "convert_many",
    "__version__",
]

# One name (a file, a glob pattern, a folder), one file object or content,
# or the items themselves.
Sources = Union[Source, Iterable[Source]]


def __dir__() -> List[str]:
    return list(__all__)


def _read(given: Given, cancel: Optional[_core.Cancel], report: bool = False) -> Scan:
    result = given.read(cancel, report)
    if result.error != 0:
        raise error_of(result.error, given.label(), result.reason)
    if given.looks_like_a_name(result):
        raise ValueError(
            "bytes are a scan's content, and these hold no line: give a "
            "file's name as str or os.PathLike (os.fsdecode(name))"
        )
    return scan_of(result, given.shown, findings_of(result))


def _read_or_failure(given: Given, cancel: Optional[_core.Cancel], report: bool = False):
    """The Scan, or the ScanError of a file that could not be read."""
    try:
        return _read(given, cancel, report)
    except ScanError as error:
        return error


def read(source: Source, report: bool = False, on_findings: str = "ignore") -> Scan:
    """Reads one scan into arrays.

    ``source`` is a file's name (``str`` or ``os.PathLike``; ``"~"``
    expanded, ``"-"`` standard input, packed files told by their first
    bytes), a binary file object (anything with ``readinto`` or ``read``:
    an open file, ``gzip.open(...)``, ``io.BytesIO``, read in blocks, never
    whole), or the scan's content in memory (``bytes``, ``bytearray``,
    ``memoryview``, any object with the buffer protocol; packed content is
    read as the text it holds). Bytes are always content, never a name: give
    a name held as bytes as ``os.fsdecode(name)``; bytes holding no line end
    that give nothing raise ``ValueError`` saying so. Anything else raises
    ``TypeError``. Malformed lines give no rows, as in the command line; a
    file that cannot be opened or read raises :class:`ScanError` with the
    system's reason, and what a file object's read raises passes through.
    The GIL is released while the file is read, and Ctrl-C stops a long
    read (a large file, a pipe, a file object) at its next read.

    With ``report=True`` the scan's :attr:`Scan.findings` are what the
    command line's ``--report`` shows of it: the first five findings of
    each kind, with their lines and texts, and the count of every kind
    (told what the one scan of each line saw: a few percent over a read
    without it). ``on_findings`` says what to do when there are
    any, as pandas' ``on_bad_lines`` does for bad lines: ``"ignore"``
    (the default), ``"warn"`` (a :class:`FindingWarning` per line of the
    report) or ``"raise"`` (a :class:`FindingError` naming the first
    finding); either of the last two reads with the report.
    """
    report = checked_on_findings(on_findings) != "ignore" or bool(report)
    given = given_of(source, "read")
    one = functools.partial(_read, report=True) if report else _read
    scan = on_caller_or_worker(one, given, (given.value,))
    act_on(scan.findings, given.label(), on_findings, stacklevel=2)
    return scan


def read_many(
    sources: Sources,
    jobs: Optional[int] = None,
    errors: str = "raise",
    report: bool = False,
    on_findings: str = "ignore",
    compact: bool = False,
) -> pandas.DataFrame:
    """Reads many scans into one pandas DataFrame.

    ``sources`` is a list of sources (as :func:`read` takes them), one
    file object or content, or one name: a file, a glob pattern
    (``"scans/*.dat"``, its matches sorted; a pattern that matches nothing
    is read as the name it is, and fails as a missing file) or a folder (its ``*.dat`` files and the packed
    ``*.dat.gz``, ``.bz2``, ``.xz`` and ``.zst``, sorted). The columns of
    :meth:`Scan.to_pandas` (``events`` and ``value`` int64, or uint32 with
    ``compact=True``; ``line`` the row's data line in its file) and
    ``file`` (categorical: the name of each row's scan, as given), the
    scans in order. ``jobs`` threads read at
    once (default: one per processor available), the GIL released. With
    ``errors="raise"`` the first file that fails raises its
    :class:`ScanError` after the others stopped; ``"warn"`` leaves out a
    file that cannot be read with a :class:`ScanWarning`, ``"skip"``
    without a word. An interrupt stops every read promptly.

    ``frame.attrs["headers"]`` holds each file's header texts as columns
    (``file``, ``comments`` and ``dropped`` as :meth:`Scan.metadata` has
    them, a row per file read, in order).

    With ``report=True``, ``frame.attrs["findings"]`` holds each file's
    count of findings of every kind as columns (``file``, then one per
    kind of :attr:`Findings.KINDS`, a row per file read, in order):
    ``pandas.DataFrame(frame.attrs["findings"])`` makes it a table.
    ``on_findings`` is :func:`read`'s, file by file in order, once every
    file is read.
    """
    # A missing pandas fails before any file is read.
    import pandas

    count = checked_jobs(jobs)
    checked_errors(errors)
    report = checked_on_findings(on_findings) != "ignore" or bool(report)
    items = [given_of(item, "read_many") for item in names_of(sources)]
    one = _read if errors == "raise" else _read_or_failure
    if report:
        one = functools.partial(one, report=True)
    results = run_all(one, items, count) if items else []
    names = [given.label(i) for i, given in enumerate(items)]
    scans, names = kept(results, names, errors, ScanWarning)
    for scan, name in zip(scans, names):
        act_on(scan.findings, name, on_findings, stacklevel=2)
    frame = frame_of(pandas, scans, names, compact)
    frame.attrs["headers"] = headers_table(scans, names)
    if report:
        frame.attrs["findings"] = counts_table([s.findings for s in scans], names)
    return frame


def convert(input: Source, output: PathName) -> Conversion:
    """Converts the scan ``input`` into the row file ``output`` exactly as
    the command line does: the same rows, the same safe output (a regular
    row file is replaced only once every row is written). ``input`` is any
    source :func:`read` takes (a name, ``"-"``, a file object, content);
    ``output`` is a name (``str``, ``bytes`` or ``os.PathLike``, ``"~"``
    expanded; ``"-"``: standard output). Raises
    :class:`ScanError` on failure, with the command line's reason (an
    ``output`` that is the input itself, by any name or link: EINVAL,
    "same file as the input", the input never written); returns the
    :class:`Conversion`. Ctrl-C
    stops a long conversion at its next read or write, its row file not put
    in place. What a file object's read raises passes through."""
    given = given_of(input, "convert")
    output_name = expanded(output)
    if given.kind in ("name", "stdin"):
        pair = (given.value, output_name)
        result = on_caller_or_worker(convert_pair, pair, pair)
    else:
        job = (given, output_name)
        result = on_caller_or_worker(convert_source, job, (given.value, output_name))
    if result.error is not None:
        raise result.error
    return result


def convert_many(
    inputs: Union[Name, Iterable[Name]],
    output_dir: Optional[PathName] = None,
    jobs: Optional[int] = None,
    compress: Optional[str] = None,
) -> List[Conversion]:
    """Converts many scans as the command line's batch does: each into a
    row file named like it with its last extension replaced by ``.ntp``
    (a ``.gz``, ``.bz2``, ``.xz`` or ``.zst`` suffix dropped first),
    beside it or in ``output_dir`` (created if missing); with ``compress``
    ``"gz"`` or ``"zst"``, packed as ``scan.ntp.gz`` or ``scan.ntp.zst``. Returns one
    :class:`Conversion` per input, in order; a failure never stops the
    others, nor does an ``output_dir`` that cannot be made (each file then
    fails with the reason, "Not a directory" for an existing file). A file
    whose row file an earlier one writes, or whose row file is another of
    the inputs, is refused. An interrupt stops every conversion promptly
    and leaves no partial row file. ``inputs`` is a list of names or one
    name: a file, a glob pattern or a folder, as :func:`read_many` takes
    them (names only: a file object or content has no row file name of its
    own, and raises ``TypeError``; :func:`convert` converts one)."""
    count = checked_jobs(jobs)
    if compress not in (None, "gz", "zst"):
        raise ValueError("compress must be 'gz' or 'zst', not %r" % (compress,))
    packing = "" if compress is None else "." + compress
    names = input_names(inputs)
    folder = "" if output_dir is None else expanded(output_dir)
    one = batch_of(names, folder, packing)
    return run_all(one, list(range(len(names))), count) if names else []
