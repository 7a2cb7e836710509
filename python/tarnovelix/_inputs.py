"""What read() and convert() take as a scan, told apart by one rule: a
``str`` or ``os.PathLike`` is a file's name ("-": standard input, "~"
expanded), an object with the buffer protocol (``bytes``, ``bytearray``,
``memoryview``, ``mmap``, a NumPy byte array) is the scan's content, and
an object with ``readinto`` or ``read`` is a binary file read block by
block. A name given as bytes is content, never a name: such a name is
given as ``os.fsdecode(name)``."""

from __future__ import annotations

import io
import os
from typing import Any, NamedTuple, Optional, Protocol, Union

from . import _core
from ._names import file_name

class Readable(Protocol):
    """A binary file object: ``open(name, "rb")``, ``gzip.open(name)``,
    ``io.BytesIO``, ``sys.stdin.buffer``..."""

    def read(self, __size: int) -> bytes: ...


Content = Union[bytes, bytearray, memoryview]
Name = Union[str, os.PathLike[str], os.PathLike[bytes]]
Source = Union[Name, Content, Readable]

ACCEPTED = (
    "a file name (str or os.PathLike; '-' is standard input), a binary "
    "file object (with readinto or read) or a scan's content (bytes, "
    "bytearray, memoryview)"
)

# Bytes this long or shorter that hold no line end and give nothing are
# most likely a file's name given as bytes (no name is longer).
_NAME_BYTES = 4096


class Given(NamedTuple):
    """One source as a call takes it. `kind`: "name", "stdin", "content"
    or "file"; `value`: the name (str), the content (a memoryview of
    bytes) or the file object; `shown`: what messages and Scan.source call
    it (None for content and a file object without a name); `device` and
    `inode`: the file a file object reads, where known (0 otherwise)."""

    kind: str
    value: Any
    shown: Optional[str]
    device: int = 0
    inode: int = 0
    # Content given as `bytes`, the type a name may be held in.
    as_bytes: bool = False

    def label(self, index: Optional[int] = None) -> str:
        """What messages call this source: its name, or else "<memory>" or
        "<file object>", numbered with `index` ("<memory 2>")."""
        if self.shown is not None:
            return self.shown
        what = "memory" if self.kind == "content" else "file object"
        return "<%s>" % what if index is None else "<%s %d>" % (what, index)

    def read(self, cancel, report: bool = False) -> _core.ReadResult:
        if self.kind == "name":
            return _core.read_path(file_name(self.value), cancel, report)
        if self.kind == "stdin":
            return _core.read_standard_input(cancel, report)
        if self.kind == "content":
            return _core.read_buffer(self.value, cancel, report)
        return _core.read_file_object(
            self.value, self.device, self.inode, cancel, report
        )

    def looks_like_a_name(self, result: _core.ReadResult) -> bool:
        """Whether this content gave nothing and could be a file's name
        given as bytes: bytes, short, with no line end."""
        view = self.value
        return (
            self.as_bytes
            and isinstance(view, memoryview)
            and 0 < view.nbytes <= _NAME_BYTES
            and b"\n" not in view.tobytes()
            and len(result.label) == 0
            and not result.counts
        )


def expanded(name: Union[Name, bytes]) -> str:
    """A name as str, "~" expanded as os.path.expanduser does."""
    return os.path.expanduser(os.fsdecode(os.fspath(name)))


def is_content(source: object) -> bool:
    try:
        memoryview(source)  # type: ignore[arg-type]
    except TypeError:
        return False
    return True


def is_file_object(source: object) -> bool:
    return callable(getattr(source, "readinto", None)) or callable(
        getattr(source, "read", None)
    )


def _file_identity(file: object) -> tuple:
    """The device and inode of the file a file object reads, (0, 0) when
    it has none (a BytesIO, a socket's file)."""
    try:
        info = os.fstat(file.fileno())  # type: ignore[attr-defined]
    except (AttributeError, OSError, ValueError, io.UnsupportedOperation):
        return 0, 0
    return info.st_dev, info.st_ino


def refused(source: object, call: str, accepted: str = ACCEPTED) -> TypeError:
    # The type alone: a source may be a whole scan, never shown.
    return TypeError("%s() takes %s, not %s" % (call, accepted, type(source).__name__))


def given_of(source: object, call: str = "read") -> Given:
    """How `source` is read; TypeError for anything that is no source."""
    if isinstance(source, (str, os.PathLike)):
        name = expanded(source)
        return Given("stdin", "-", "-") if name == "-" else Given("name", name, name)
    try:
        view = memoryview(source).cast("B")  # type: ignore[arg-type]
    except TypeError:
        pass
    else:
        return Given("content", view, None, as_bytes=isinstance(source, bytes))
    if isinstance(source, io.TextIOBase):
        raise TypeError(
            "%s() reads a file opened in binary mode ('rb'), not %s"
            % (call, type(source).__name__)
        )
    if not is_file_object(source):
        raise refused(source, call)
    label = getattr(source, "name", None)
    return Given("file", source, label if isinstance(label, str) else None, *_file_identity(source))
