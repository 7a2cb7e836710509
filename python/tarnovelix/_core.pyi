from typing import Any, Dict, List, Optional, Sequence, Tuple

import numpy as np
import numpy.typing as npt

version: str
MAX_COLUMNS: int
FINDING_KINDS: Tuple[str, ...]

class Cancel:
    def __init__(self) -> None: ...
    def set(self) -> None: ...
    @property
    def is_set(self) -> bool: ...

class ReadFindings:
    # (kind, line or None, column, text), the first five of each kind.
    shown: Tuple[Tuple[str, Optional[int], int, str], ...]
    counts: Tuple[int, ...]
    summary: str

class ReadResult:
    label: npt.NDArray[np.int32]
    column: npt.NDArray[np.uint8]
    point: npt.NDArray[np.float64]
    events: npt.NDArray[np.uint32]
    value: npt.NDArray[np.uint32]
    lines: npt.NDArray[np.int64]
    comments: Tuple[bytes, ...]
    dropped: Optional[bytes]
    points: npt.NDArray[np.float64]
    events_table: npt.NDArray[np.uint32]
    counts: Tuple[Tuple[str, int], ...]
    console: bytes
    error: int
    reason: bytes
    findings: Optional[ReadFindings]

class ConvertResult:
    ok: bool
    console: bytes
    failed_file: str
    error: int
    reason: bytes

def read_path(
    name: bytes, cancel: Optional[Cancel] = ..., report: bool = ...
) -> ReadResult: ...
def read_buffer(
    source: memoryview, cancel: Optional[Cancel] = ..., report: bool = ...
) -> ReadResult: ...
def read_file_object(
    file: object,
    device: int = ...,
    inode: int = ...,
    cancel: Optional[Cancel] = ...,
    report: bool = ...,
) -> ReadResult: ...
def read_standard_input(cancel: Optional[Cancel] = ..., report: bool = ...) -> ReadResult: ...
def convert_object(
    source: object,
    name: bytes,
    output: bytes,
    device: int = ...,
    inode: int = ...,
    cancel: Optional[Cancel] = ...,
) -> ConvertResult: ...
def convert(input: bytes, output: bytes, cancel: Optional[Cancel] = ...) -> ConvertResult: ...
def grid(
    column: npt.NDArray[np.uint8],
    value: npt.NDArray[np.uint32],
    label: npt.NDArray[np.int32],
) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.int32]]: ...
def line_of_rows(
    column: npt.NDArray[np.uint8], lines: npt.NDArray[np.int64]
) -> npt.NDArray[np.int64]: ...
def frame_columns(scans: Sequence[Any], compact: bool) -> Tuple[npt.NDArray[Any], ...]: ...
def row_file_name(input: bytes, output_dir: bytes, packing: bytes = ...) -> bytes: ...
def refused_row_files(
    inputs: List[bytes], output_dir: bytes, packing: bytes = ...
) -> Dict[int, bytes]: ...
def run_command_line(arguments: List[bytes]) -> int: ...
