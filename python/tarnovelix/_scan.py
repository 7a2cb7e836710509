"""What a read gives: the rows of one scan as arrays, and its header."""

from __future__ import annotations

import os
from dataclasses import dataclass
from functools import cached_property
from typing import TYPE_CHECKING, Any, Dict, List, Optional, Sequence, Tuple

import numpy as np

from . import _core
from ._names import decode

if TYPE_CHECKING:
    # For the annotations only: pandas and xarray are imported by the calls
    # that use them.
    import pandas  # type: ignore[import]  # Debian's has no type information
    import xarray

    from ._findings import Findings


class ScanError(OSError):
    """A scan or row file that could not be read or written.

    An :class:`OSError`: ``errno`` holds the system's error number,
    ``strerror`` its reason and ``filename`` the file concerned.
    """


class ScanWarning(UserWarning):
    """A warning of the package: a file :func:`read_many` left out with
    ``errors="warn"``, and why."""


def error_of(code: int, name: object, reason: bytes = b"") -> ScanError:
    """The ScanError of `code` for `name`: `reason` (a decoder's words for
    a damaged packed input) or else the system's text for `code`."""
    return ScanError(code, decode(reason) or os.strerror(code), name)


@dataclass(frozen=True)
class Header:
    """The header's tables.

    ``points`` (float64) and ``events`` (uint32) hold the coordinate and
    the events number of each of the 100 columns (0 where no header line
    gave one); ``counts`` lists, for each points or events line in order,
    its keyword and how many numbers it gave (-1 when only white space
    followed the keyword, as the console text shows). ``comments`` holds
    the header's comment lines (those starting with ``#``) and ``dropped``
    the line after the header, which gives no rows (None when the input
    has none), each without its line end and kept to its first 65,536
    bytes like the console text (a longer line ends with ``[... N more
    bytes]``).
    """

    points: np.ndarray
    events: np.ndarray
    counts: Tuple[Tuple[str, int], ...]
    comments: Tuple[str, ...] = ()
    dropped: Optional[str] = None


@dataclass(frozen=True)
class Scan:
    """The rows of one scan, one array element per row in row-file order.

    ``label`` int32, ``column`` uint8 (the value's column, which the row
    file does not show), ``point`` float64 (the column's coordinate, every
    bit of the double, where the row file shows three decimals), ``events``
    uint32 and ``value`` uint32: compact and exact, but arithmetic on them
    wraps around modulo 2**32 (``scan.value - 1000`` gives 4294967295 for
    a value of 999); :meth:`to_pandas` gives them as int64, and
    ``scan.value.astype(np.int64)`` does here. ``lines`` (int64) holds the
    number in the file, from 1 as ``--report`` counts lines, of each data
    line that gave rows; :attr:`line` the line of each row. ``header``
    holds the tables, ``console`` the text the command line prints for
    the header (each line kept to its first 65,536 bytes, see
    :class:`Conversion`), ``source`` the name read (a file object's
    ``name``; None for a scan in memory or a file object without a name),
    ``findings`` what ``--report`` shows of the scan
    (:class:`Findings`; None unless read with ``report=True``).
    """

    label: np.ndarray
    column: np.ndarray
    point: np.ndarray
    events: np.ndarray
    value: np.ndarray
    lines: np.ndarray
    header: Header
    console: str
    source: Optional[str] = None
    findings: Optional[Findings] = None

    def __len__(self) -> int:
        return len(self.value)

    @cached_property
    def line(self) -> np.ndarray:
        """Each row's data line: its number in the file (int64, from 1, as
        ``--report`` counts lines), worked out on first use."""
        return _core.line_of_rows(self.column, self.lines)

    def metadata(self) -> Dict[str, Any]:
        """What a frame's or DataArray's ``attrs`` hold: ``source`` (the
        name read, ``"<memory>"`` for a scan in memory), ``comments`` (the
        header's comment lines, joined by newlines) and ``dropped`` (the
        dropped line, empty when there was none)."""
        return {
            "source": self.source if self.source is not None else "<memory>",
            "comments": "\n".join(self.header.comments),
            "dropped": self.header.dropped or "",
        }

    def to_pandas(self, compact: bool = False) -> pandas.DataFrame:
        """The rows as a pandas DataFrame with the columns line (int64, see
        :attr:`line`), label, column, point, events and value, and
        :meth:`metadata` as its ``attrs``. ``events`` and ``value`` are
        int64, so arithmetic on them is exact (what ``read_csv`` of the row
        file gives); ``compact=True`` keeps them uint32 as the arrays are
        (4 bytes a value less, but ``frame.value - 1000`` then wraps around
        below 0). The other columns are the arrays themselves, not copies."""
        import pandas as pd

        frame = pd.DataFrame(
            {
                "line": self.line,
                "label": self.label,
                "column": self.column,
                "point": self.point,
                "events": wide(self.events, compact),
                "value": wide(self.value, compact),
            },
            copy=False,
        )
        frame.attrs.update(self.metadata())
        return frame

    def grid(self) -> Tuple[np.ndarray, np.ndarray]:
        """The values as a (lines, columns) float64 array, one line per
        data line that gave rows (their numbers are :attr:`lines`), NaN
        where a line gave no value for a column (float64 holds every uint32
        exactly), and the label of each line. Built in one pass over the
        arrays, the GIL released; ValueError for arrays that are not a
        scan's (a line's rows are its columns 0, 1, ... in order)."""
        return _core.grid(self.column, self.value, self.label)

    def to_xarray(self) -> xarray.DataArray:
        """The values as an xarray DataArray named ``value`` over the
        dimensions ``line`` (its coordinate the data line numbers,
        :attr:`lines`) and ``column`` (see :meth:`grid`), with the
        coordinates ``label`` along ``line`` and ``point`` and ``events``
        (the header's tables) along ``column``, and :meth:`metadata` as
        its ``attrs``. xarray is imported only when asked for."""
        import xarray as xr

        image, labels = self.grid()
        columns = image.shape[1]
        return xr.DataArray(
            image,
            dims=("line", "column"),
            coords={
                "line": self.lines,
                "column": np.arange(columns, dtype=np.uint8),
                "label": ("line", labels),
                "point": ("column", self.header.points[:columns]),
                "events": ("column", self.header.events[:columns]),
            },
            name="value",
            attrs=self.metadata(),
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


def wide(array: np.ndarray, compact: bool) -> np.ndarray:
    """`array` as int64, or as it is when `compact`."""
    return array if compact else array.astype(np.int64)


def scan_of(result, source: Optional[str], findings: Optional[Findings] = None) -> Scan:
    """The Scan of a read's result (``_core.ReadResult``) and its findings."""
    return Scan(
        label=result.label,
        column=result.column,
        point=result.point,
        events=result.events,
        value=result.value,
        lines=result.lines,
        header=Header(
            points=result.points,
            events=result.events_table,
            counts=result.counts,
            comments=tuple(decode(c) for c in result.comments),
            dropped=None if result.dropped is None else decode(result.dropped),
        ),
        console=decode(result.console),
        source=source,
        findings=findings,
    )


def headers_table(scans: Sequence[Scan], names: Sequence[str]) -> Dict[str, List[str]]:
    """Each scan's header texts as columns: ``file`` (its name, as given),
    ``comments`` and ``dropped`` as :meth:`Scan.metadata` gives them, a row
    per scan, in order."""
    texts = [scan.metadata() for scan in scans]
    return {
        "file": list(names),
        "comments": [t["comments"] for t in texts],
        "dropped": [t["dropped"] for t in texts],
    }


def frame_of(
    pd, scans: Sequence[Scan], names: Sequence[str], compact: bool = False
) -> pandas.DataFrame:
    """The rows of `scans` as one DataFrame of the pandas module `pd`: the
    columns of :meth:`Scan.to_pandas` (with `compact` as it takes it) and
    ``file`` (categorical: the name of each row's scan, one category for a
    name given twice)."""
    lengths = np.array([len(s) for s in scans], dtype=np.int64)
    codes_type = np.int16 if len(names) < 2**15 else np.int32
    codes = np.repeat(np.arange(len(names), dtype=codes_type), lengths)
    categories = pd.Index(names).unique()
    if len(categories) != len(names):
        codes = categories.get_indexer(np.asarray(names, dtype=object))[codes].astype(codes_type)

    # Every column written once, in its final dtype, by one pass over the
    # scans with the GIL released.
    line, label, column, point, events, value = _core.frame_columns(scans, compact)
    return pd.DataFrame(
        {
            "file": pd.Categorical.from_codes(codes, categories=categories),
            "line": line,
            "label": label,
            "column": column,
            "point": point,
            "events": events,
            "value": value,
        },
        copy=False,
    )


# The public names are the package's own: shown and pickled as such.
for _type in (ScanError, ScanWarning, Header, Scan):
    _type.__module__ = "tarnovelix"
