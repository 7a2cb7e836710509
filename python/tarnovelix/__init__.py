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
    >>> tarnovelix.convert("scan.dat", "scan.ntp")          # the row file
"""

from __future__ import annotations

import errno as _errno
import os
import queue
import stat
import threading
from dataclasses import dataclass, field
from typing import Iterable, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core

__version__: str = _core.version

__all__ = [
    "ScanError",
    "Scan",
    "Header",
    "Conversion",
    "read",
    "read_many",
    "convert",
    "convert_many",
    "__version__",
]

PathName = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class ScanError(OSError):
    """A scan or row file that could not be read or written.

    An :class:`OSError`: ``errno`` holds the system's error number,
    ``strerror`` its reason and ``filename`` the file concerned.
    """


def _error(code: int, name: object) -> ScanError:
    return ScanError(code, os.strerror(code), name)


def _decode(text: bytes) -> str:
    # Header lines may hold any bytes: they come back unchanged through
    # os.fsencode-like encoding.
    return text.decode("utf-8", "surrogateescape")


@dataclass(frozen=True)
class Header:
    """The header's tables.

    ``points`` (float64) and ``events`` (uint32) hold the coordinate and
    the events number of each of the 100 columns (0 where no header line
    gave one); ``counts`` lists, for each points or events line in order,
    its keyword and how many numbers it gave (-1 when only white space
    followed the keyword, as the console text shows).
    """

    points: np.ndarray
    events: np.ndarray
    counts: Tuple[Tuple[str, int], ...]


@dataclass(frozen=True)
class Scan:
    """The rows of one scan, one array element per row in row-file order.

    ``label`` int32, ``column`` uint8 (the value's column, which the row
    file does not show), ``point`` float64 (the column's coordinate, every
    bit of the double, where the row file shows three decimals), ``events``
    uint32 and ``value`` uint32. ``header`` holds the tables, ``console``
    the text the command line prints for the header (each line kept to its
    first 65,536 bytes, see :class:`Conversion`), ``source`` the name read
    (None for a scan in memory).
    """

    label: np.ndarray
    column: np.ndarray
    point: np.ndarray
    events: np.ndarray
    value: np.ndarray
    header: Header
    console: str
    source: Optional[str] = None

    def __len__(self) -> int:
        return len(self.value)

    def to_pandas(self):
        """The rows as a pandas DataFrame with the columns label, column,
        point, events and value (the arrays themselves, not copies)."""
        import pandas as pd

        return pd.DataFrame(
            {
                "label": self.label,
                "column": self.column,
                "point": self.point,
                "events": self.events,
                "value": self.value,
            },
            copy=False,
        )

    def grid(self) -> Tuple[np.ndarray, np.ndarray]:
        """The values as a (lines, columns) float64 array, one line per
        data line that gave rows, NaN where a line gave no value for a
        column (float64 holds every uint32 exactly), and the label of each
        line. A line's rows are its columns 0, 1, ..., so a row of column 0
        starts the next line."""
        starts = np.flatnonzero(self.column == 0)
        columns = int(self.column.max()) + 1 if len(self) else 0
        image = np.full((len(starts), columns), np.nan)
        line_of_row = np.cumsum(self.column == 0) - 1
        image[line_of_row, self.column] = self.value
        return image, self.label[starts]

    def to_xarray(self):
        """The values as an xarray DataArray named ``value`` over the
        dimensions ``line`` and ``column`` (see :meth:`grid`), with the
        coordinates ``label`` along ``line`` and ``point`` and ``events``
        (the header's tables) along ``column``. xarray is imported only
        when asked for."""
        import xarray as xr

        image, labels = self.grid()
        columns = image.shape[1]
        return xr.DataArray(
            image,
            dims=("line", "column"),
            coords={
                "line": np.arange(image.shape[0]),
                "column": np.arange(columns, dtype=np.uint8),
                "label": ("line", labels),
                "point": ("column", self.header.points[:columns]),
                "events": ("column", self.header.events[:columns]),
            },
            name="value",
            attrs={"source": self.source if self.source is not None else "<memory>"},
        )

    def format_rows(self) -> bytes:
        """The row file's text, formatted from the arrays (slow: for
        checks and small scans)."""
        return b"".join(
            b"%4d %.3f %u %u\n" % row
            for row in zip(
                self.label.tolist(),
                self.point.tolist(),
                self.events.tolist(),
                self.value.tolist(),
            )
        )


def _is_path(source: object) -> bool:
    return isinstance(source, (str, bytes, os.PathLike))


def _file_name(name) -> bytes:
    """`name` as the system takes it. A NUL byte would end the name early
    and so name another file: refused, as Python's own calls refuse it."""
    encoded = os.fsencode(name)
    if b"\0" in encoded:
        raise ValueError("embedded null byte")
    return encoded


def _scan_of(result: dict, source: Optional[str]) -> Scan:
    return Scan(
        label=result["label"],
        column=result["column"],
        point=result["point"],
        events=result["events"],
        value=result["value"],
        header=Header(
            points=result["points"],
            events=result["events_table"],
            counts=tuple(result["counts"]),
        ),
        console=_decode(result["console"]),
        source=source,
    )


def _read(source, cancel) -> Scan:
    if _is_path(source):
        name = os.fspath(source)
        result = _core.read_path(_file_name(name), cancel)
        shown = os.fsdecode(name)
    else:
        result = _core.read_buffer(memoryview(source).cast("B"), cancel)
        shown = None
    if result["error"] != 0:
        raise _error(result["error"], shown if shown is not None else "<memory>")
    return _scan_of(result, shown)


def read(source: Union[PathName, bytearray, memoryview]) -> Scan:
    """Reads one scan into arrays.

    ``source`` is a file name (``str``, ``bytes`` or ``os.PathLike``) or a
    scan held in memory (any other bytes-like object: ``bytearray``,
    ``memoryview``, a NumPy byte array; wrap ``bytes`` content in a
    ``memoryview``). Malformed lines give no rows, as in the command line;
    a file that cannot be opened or read raises :class:`ScanError` with the
    system's reason. The GIL is released while the file is read, and Ctrl-C
    stops a long read (a large file, a pipe) at its next read.
    """
    return _on_caller_or_worker(_read, source, (source,))


def _jobs(jobs: Optional[int]) -> int:
    if jobs is None:
        jobs = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
    if jobs < 1:
        raise ValueError("jobs must be at least 1")
    return max(1, min(jobs, 256))


class _Workers:
    """Threads kept for the process that run the calls of :func:`_run_all`.

    A thread that converts takes one of the program's slots for the names
    of its temporary files for good, so threads are reused rather than made
    anew for every call. They are daemon threads: between calls they only
    wait for work (a call returns only once its work is over), and waiting
    must not keep the interpreter from ending. A thread is counted before
    it starts, so an interrupt while it starts cannot lose it.
    """

    def __init__(self) -> None:
        self._tasks: "queue.SimpleQueue" = queue.SimpleQueue()
        self._lock = threading.Lock()
        self._threads = 0
        # Tasks queued or running: calls from several threads at once each
        # get threads of their own rather than wait for one another.
        self._wanted = 0

    def run(self, tasks: int, task) -> None:
        """Queues `task` `tasks` times, with threads enough to run every
        task queued at once."""
        for _ in range(tasks):
            with self._lock:
                self._wanted += 1
                while self._threads < self._wanted:
                    self._threads += 1
                    threading.Thread(
                        target=self._serve,
                        name="tarnovelix-%d" % self._threads,
                        daemon=True,
                    ).start()
            self._tasks.put(task)

    def _serve(self) -> None:
        while True:
            task = self._tasks.get()
            try:
                task()
            finally:
                with self._lock:
                    self._wanted -= 1


_WORKERS = _Workers()

if hasattr(os, "register_at_fork"):
    # A child made by fork() has none of its parent's threads: it starts
    # its own rather than queue work for threads that are not there.
    def _workers_of_child() -> None:
        global _WORKERS
        _WORKERS = _Workers()

    os.register_at_fork(after_in_child=_workers_of_child)


class _Call:
    """One call of :func:`_run_all`: its items, claimed one at a time in
    order by the threads that run it, their results and failures. Each item
    has a cancel flag of its own, so that a failure stops only the items
    after it and the first failure in order is always the one raised."""

    def __init__(self, function, items: Sequence) -> None:
        self.function = function
        self.items = items
        self.results: list = [None] * len(items)
        self.failures: dict = {}
        self.cancels: list = [None] * len(items)
        self.claimed = 0
        self.end = len(items)  # items from here on are not started
        self.running = 0
        self.changed = threading.Condition(threading.Lock())

    def work(self) -> None:
        while True:
            with self.changed:
                if self.claimed >= self.end:
                    return
                i = self.claimed
                self.claimed += 1
                self.running += 1
                cancel = self.cancels[i] = _core.Cancel()
            failure = None
            try:
                result = self.function(self.items[i], cancel)
            except BaseException as error:  # raised in the caller's thread
                failure = error
            with self.changed:
                self.running -= 1
                if failure is None:
                    self.results[i] = result
                else:
                    self.failures[i] = failure
                    self.stop_after(i)
                self.changed.notify_all()

    def stop_after(self, last: int) -> None:
        """Stops the items after `last`: those under way at their next read
        or write, those not started at all. Called with `changed` held."""
        for j in range(last + 1, self.claimed):
            self.cancels[j].set()
        self.end = min(self.end, last + 1)

    def over(self) -> bool:
        return self.running == 0 and self.claimed >= self.end

    def wait(self) -> None:
        with self.changed:
            self.changed.wait_for(self.over)


# Reads of less than this run on the caller's thread: handing one to a
# worker costs about 40 microseconds, more than stopping it early saves.
_LONG_READ_BYTES = 1 << 20


def _may_take_long(source) -> bool:
    """Whether reading or writing `source` may last long enough for Ctrl-C
    to matter: a large file or buffer, or a file that is not a regular one
    (a pipe or a device may keep the call waiting), standard input or
    output ("-") among them."""
    if not _is_path(source):
        try:
            return memoryview(source).nbytes >= _LONG_READ_BYTES
        except TypeError:
            return False  # the read itself says what is wrong
    if os.fsdecode(os.fspath(source)) == "-":
        return True
    try:
        info = os.stat(source)
    except OSError:
        return False
    return not stat.S_ISREG(info.st_mode) or info.st_size >= _LONG_READ_BYTES


def _on_caller_or_worker(function, item, sources: Sequence):
    """function(item, cancel): on a worker, so that Ctrl-C can stop it, when
    any of `sources` may take long; on the caller's thread otherwise."""
    if any(_may_take_long(s) for s in sources):
        return _run_all(function, [item], 1)[0]
    return function(item, None)


def _run_all(function, items: Sequence, jobs: Optional[int]):
    """Runs function(item, cancel) for every item on `jobs` threads and
    returns the results in order. An exception stops the items after its
    own (those under way at their next read or write) and the first in
    order is raised once they are all over. An interrupt (Ctrl-C) of the
    caller stops every item and is raised the same way. A second interrupt
    gives up waiting for them: a read blocked on a pipe that nobody writes
    never comes back to see its flag."""
    call = _Call(function, items)
    try:
        _WORKERS.run(min(_jobs(jobs), len(items)), call.work)
        call.wait()
    except BaseException:
        with call.changed:
            call.stop_after(-1)
        call.wait()
        raise
    if call.failures:
        raise call.failures[min(call.failures)]
    return call.results


def read_many(sources: Iterable[Union[PathName, bytearray, memoryview]], jobs: Optional[int] = None):
    """Reads many scans into one pandas DataFrame.

    The columns of :meth:`Scan.to_pandas` and ``file`` (categorical: the
    name of each row's scan, as given), the scans in the order given.
    ``jobs`` threads read at once (default: one per processor available),
    the GIL released. The first file that fails raises its
    :class:`ScanError` after the others stopped; an interrupt stops every
    read promptly.
    """
    import pandas as pd

    items = list(sources)
    scans: List[Scan] = _run_all(_read, items, jobs) if items else []
    names = [
        os.fsdecode(os.fspath(s)) if _is_path(s) else "<memory %d>" % i
        for i, s in enumerate(items)
    ]
    lengths = np.array([len(s) for s in scans], dtype=np.int64)
    codes_type = np.int16 if len(names) < 2**15 else np.int32
    codes = np.repeat(np.arange(len(names), dtype=codes_type), lengths)
    categories = pd.Index(names).unique()
    if len(categories) != len(names):
        # The same name given twice: one category for both.
        codes = categories.get_indexer(np.asarray(names, dtype=object))[codes].astype(codes_type)

    def joined(field_name: str, dtype) -> np.ndarray:
        if not scans:
            return np.empty(0, dtype=dtype)
        return np.concatenate([getattr(s, field_name) for s in scans])

    return pd.DataFrame(
        {
            "file": pd.Categorical.from_codes(codes, categories=categories),
            "label": joined("label", np.int32),
            "column": joined("column", np.uint8),
            "point": joined("point", np.float64),
            "events": joined("events", np.uint32),
            "value": joined("value", np.uint32),
        },
        copy=False,
    )


@dataclass
class Conversion:
    """The outcome of converting one scan into its row file.

    ``console`` is the text the command line prints for it on standard
    output (its messages included), ``error`` the :class:`ScanError` of a
    failure or None. A line of ``console`` keeps at most its first 65,536
    bytes: the echo of a longer header line is cut there and ends with
    ``[... N more bytes]``, N the bytes left out (its line end not
    counted), so a call needs no memory for the echo of a header line as
    long as the file. A line of more than 65,536 bytes (encoded back with
    ``surrogateescape``) is always one that was cut.
    """

    input: str
    output: str
    console: str
    error: Optional[ScanError] = None

    @property
    def ok(self) -> bool:
        return self.error is None


_STATUS_OK = 0


_REASONS = {os.strerror(code): code for code in _errno.errorcode}


def _reason_of(errors: str, name: str) -> Optional[Tuple[int, str]]:
    """The errno value and reason of the program's line about `name`
    ("tarnovelix: NAME: REASON"), when it has one. The line shows the
    name's control characters (C0 and DEL) as \\xHH."""
    shown = "".join("\\x%02x" % ord(c) if c < " " or c == "\x7f" else c for c in name)
    prefix = "tarnovelix: %s: " % shown
    # Lines end at LF alone: a name may hold characters splitlines() ends
    # a line at (U+0085, U+2028).
    for line in errors.split("\n"):
        if line.startswith(prefix):
            reason = line[len(prefix):]
            return _REASONS.get(reason, 0), reason
    return None


def _convert(pair: Tuple[str, str], cancel) -> Conversion:
    input_name, output_name = pair
    status, text, errors, code, side = _core.convert(
        _file_name(input_name), _file_name(output_name), cancel
    )
    result = Conversion(input_name, output_name, _decode(text))
    if status != _STATUS_OK:
        name = input_name if side == "input" else output_name
        # The program's own reason line tells best what failed: the system's
        # reason, or the program's own (an output that is the input is
        # refused before any call fails: EINVAL).
        found = _reason_of(_decode(errors), name)
        reason = None
        if found is not None:
            reason = found[1]
            if found[0] != 0:
                code = found[0]
        if code == 0:
            code = _errno.EINVAL
        result.error = ScanError(code, reason or os.strerror(code), name)
    return result


def convert(input: PathName, output: PathName) -> Conversion:
    """Converts the scan ``input`` into the row file ``output`` exactly as
    the command line does: the same rows, the same safe output (a regular
    row file is replaced only once every row is written). Raises
    :class:`ScanError` on failure, with the command line's reason (an
    ``output`` that is the input itself, by any name or link: EINVAL,
    "same file as the input", the input never written); returns the
    :class:`Conversion`. Ctrl-C
    stops a long conversion at its next read or write, its row file not put
    in place."""
    pair = (os.fsdecode(os.fspath(input)), os.fsdecode(os.fspath(output)))
    result = _on_caller_or_worker(_convert, pair, pair)
    if result.error is not None:
        raise result.error
    return result


def convert_many(
    inputs: Iterable[PathName],
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
    and leaves no partial row file."""
    if compress not in (None, "gz", "zst"):
        raise ValueError("compress must be 'gz' or 'zst', not %r" % (compress,))
    packing = "" if compress is None else "." + compress
    names = [os.fsdecode(os.fspath(i)) for i in inputs]
    folder = "" if output_dir is None else os.fsdecode(os.fspath(output_dir))
    if folder:
        # As in the batch, a folder that cannot be made (a file of that
        # name, no permission) stops nothing: each conversion then fails
        # with its own reason ("Not a directory", ...).
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError:
            pass
    encoded = [_file_name(n) for n in names]
    encoded_folder = _file_name(folder)
    outputs = [os.fsdecode(_core.row_file_name(n, encoded_folder)) + packing for n in encoded]
    # The batch's own plan: the same row file (through links, in any case
    # the folder folds) for two inputs refuses the later, a row file that
    # is an input refuses its file, a device never.
    refused = _core.refused_row_files(encoded, encoded_folder)

    def one(i: int, cancel) -> Conversion:
        if i in refused:
            error = ScanError(_errno.EEXIST, _decode(refused[i]), outputs[i])
            return Conversion(names[i], outputs[i], "", error)
        return _convert((names[i], outputs[i]), cancel)

    return _run_all(one, list(range(len(names))), jobs) if names else []

