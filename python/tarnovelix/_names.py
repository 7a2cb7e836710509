"""File names and text as the engine takes and gives them."""

from __future__ import annotations

import os
from typing import Union

PathName = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def file_name(name) -> bytes:
    """`name` as the system takes it. A NUL byte would end the name early
    and so name another file: refused, as Python's own calls refuse it."""
    encoded = os.fsencode(name)
    if b"\0" in encoded:
        raise ValueError("embedded null byte")
    return encoded


def decode(text: bytes) -> str:
    # Header lines may hold any bytes: they come back unchanged through
    # os.fsencode-like encoding.
    return text.decode("utf-8", "surrogateescape")
