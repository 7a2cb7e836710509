"""The files a call over many scans takes: a list, one name, a glob
pattern or a folder, and the checks of the arguments that go with it."""

from __future__ import annotations

import glob
import operator
import os
from typing import Any, List, Optional, Tuple

from . import _core
from ._conversion import Conversion, conversion_of
from ._inputs import ACCEPTED, Given, expanded, is_content, is_file_object, refused
from ._names import file_name

# The names a folder's scans go by: plain, or packed as the command line
# reads them (told by their first bytes; the suffix only picks the files).
SCAN_SUFFIXES = tuple(".dat" + packed for packed in ("", ".gz", ".bz2", ".xz", ".zst"))

ERRORS = ("raise", "warn", "skip")


def _folder_scans(folder: str) -> List[str]:
    """The scans of `folder`, sorted by name: its files named as scans, as
    `*.dat` would give them in a shell (hidden names left out)."""
    names = sorted(
        entry.name
        for entry in os.scandir(folder)
        if entry.name.endswith(SCAN_SUFFIXES)
        and not entry.name.startswith(".")
        and not entry.is_dir()
    )
    return [os.path.join(folder, name) for name in names]


def _names_of(name: str) -> List[str]:
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
    """The items of `sources`: one name (``str`` or ``os.PathLike``, "~"
    expanded: one file, a glob pattern or a folder), one file object or
    content (bytes-like), or any other iterable of items, taken as they
    are. A name is never taken letter by letter, nor content byte by
    byte. A ``PathLike`` is a name, never a pattern."""
    if isinstance(sources, os.PathLike):
        name = expanded(sources)
        return _folder_scans(name) if os.path.isdir(name) else [name]
    if isinstance(sources, str):
        return _names_of(expanded(sources))
    if is_content(sources) or is_file_object(sources):
        return [sources]
    try:
        return list(sources)
    except TypeError:
        raise refused(sources, "read_many", "a list of sources or " + ACCEPTED) from None


def input_names(inputs: Any) -> List[str]:
    """The names of the inputs of convert_many (see names_of), as str; a
    file object or content is refused: it has no row file name."""
    names = []
    for item in names_of(inputs):
        if not isinstance(item, (str, os.PathLike)):
            raise refused(
                item, "convert_many",
                "file names (str or os.PathLike; convert() takes a file "
                "object or content)",
            )
        names.append(expanded(item))
    return names


def convert_source(job: Tuple[Given, str], cancel) -> Conversion:
    """Converts a file object or content (`job`: the source and the row
    file's name); what the file object's reads raised passes through."""
    given, output = job
    shown = given.label()
    # The console's name for the input; "-" would be standard input.
    name = "./-" if shown == "-" else shown
    outcome = _core.convert_object(
        given.value, file_name(name), file_name(output), given.device, given.inode, cancel
    )
    return conversion_of(outcome, shown, output)


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
