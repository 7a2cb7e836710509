"""The files a call over many scans takes: a list, one name, a glob
pattern or a folder, and the checks of the arguments that go with it."""

from __future__ import annotations

import glob
import operator
import os
from typing import Any, List, Optional

# The names a folder's scans go by: plain, or packed as the command line
# reads them (told by their first bytes; the suffix only picks the files).
SCAN_SUFFIXES = tuple(".dat" + packed for packed in ("", ".gz", ".bz2", ".xz", ".zst"))

ERRORS = ("raise", "warn", "skip")


def _folder_scans(folder) -> list:
    """The scans of `folder`, sorted by name: its files named as scans, as
    `*.dat` would give them in a shell (hidden names left out)."""
    dot = "." if isinstance(folder, str) else b"."
    suffixes = SCAN_SUFFIXES if isinstance(folder, str) else tuple(map(os.fsencode, SCAN_SUFFIXES))
    names = sorted(
        entry.name
        for entry in os.scandir(folder)
        if entry.name.endswith(suffixes)
        and not entry.name.startswith(dot)
        and not entry.is_dir()
    )
    return [os.path.join(folder, name) for name in names]


def _names_of(name) -> list:
    """The files one name stands for. A folder gives its scans; a pattern
    gives its matches, sorted. A name that exists is that file even with
    `*`, `?` or `[` in it; a pattern that matches nothing is left as the
    one name it is, as a shell leaves it, so that it fails as a missing
    file rather than give nothing without a word."""
    if os.path.isdir(name):
        return _folder_scans(name)
    if os.path.lexists(name) or not glob.has_magic(name):
        return [name]
    return sorted(glob.glob(name)) or [name]


def names_of(sources: Any) -> list:
    """The items of `sources`, a name (``str``, ``bytes``, ``os.PathLike``:
    one file, a glob pattern or a folder) or any other iterable of items,
    taken as they are. A name is never taken letter by letter. A
    ``PathLike`` is a name, never a pattern."""
    if isinstance(sources, os.PathLike):
        name = os.fspath(sources)
        return _folder_scans(name) if os.path.isdir(name) else [name]
    if isinstance(sources, (str, bytes)):
        return _names_of(sources)
    return list(sources)


def checked_jobs(jobs: Optional[int]) -> Optional[int]:
    """`jobs` as an int (None stays None: one per processor available);
    anything but a whole number at least 1 is refused."""
    if jobs is None:
        return None
    if isinstance(jobs, bool):
        raise TypeError("jobs must be an int or None, not bool")
    try:
        count = operator.index(jobs)
    except TypeError:
        raise TypeError("jobs must be an int or None, not %s" % type(jobs).__name__) from None
    if count < 1:
        raise ValueError("jobs must be at least 1, not %d" % count)
    return count


def checked_errors(errors: str) -> str:
    if not isinstance(errors, str) or errors not in ERRORS:
        raise ValueError("errors must be 'raise', 'warn' or 'skip', not %r" % (errors,))
    return errors


def kept(results: List[Any], names: List[str], errors: str, warning) -> tuple:
    """The results that are not failures and their names. A failure (an
    OSError among `results`) is raised, warned of with the category
    `warning` (and left out), or left out, as `errors` says; the first in
    order is the one raised."""
    good, good_names = [], []
    for result, name in zip(results, names):
        if not isinstance(result, OSError):
            good.append(result)
            good_names.append(name)
        elif errors == "raise":
            raise result
        elif errors == "warn":
            import warnings

            reason = result.strerror or str(result)
            warnings.warn(warning("skipped %s: %s" % (name, reason)), stacklevel=3)
    return good, good_names
