import os
from dataclasses import dataclass
from typing import Iterable, List, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

PathName = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
Source = Union[PathName, bytearray, memoryview]

class ScanError(OSError): ...

@dataclass(frozen=True)
class Header:
    points: npt.NDArray[np.float64]
    events: npt.NDArray[np.uint32]
    counts: Tuple[Tuple[str, int], ...]

@dataclass(frozen=True)
class Scan:
    label: npt.NDArray[np.int32]
    column: npt.NDArray[np.uint8]
    point: npt.NDArray[np.float64]
    events: npt.NDArray[np.uint32]
    value: npt.NDArray[np.uint32]
    header: Header
    console: str
    source: Optional[str] = ...
    def __len__(self) -> int: ...
    def to_pandas(self): ...
    def grid(self) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.int32]]: ...
    def to_xarray(self): ...
    def format_rows(self) -> bytes: ...

@dataclass
class Conversion:
    input: str
    output: str
    console: str
    error: Optional[ScanError] = ...
    @property
    def ok(self) -> bool: ...

def read(source: Source) -> Scan: ...
def read_many(sources: Iterable[Source], jobs: Optional[int] = ...): ...
def convert(input: PathName, output: PathName) -> Conversion: ...
def convert_many(
    inputs: Iterable[PathName],
    output_dir: Optional[PathName] = ...,
    jobs: Optional[int] = ...,
) -> List[Conversion]: ...
