"""What a conversion gives, and the conversions the batch would make."""

from __future__ import annotations

import errno
import os
from dataclasses import dataclass
from typing import Callable, List, Optional, Tuple

from . import _core
from ._names import decode, file_name
from ._scan import ScanError


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


Conversion.__module__ = "tarnovelix"


def conversion_of(outcome, input_name: str, output_name: str) -> Conversion:
    """The Conversion of a conversion's result (``_core.ConvertResult``):
    a failure with the program's own errno value and reason."""
    result = Conversion(input_name, output_name, decode(outcome.console))
    if not outcome.ok:
        name = input_name if outcome.failed_file == "input" else output_name
        reason = decode(outcome.reason) or os.strerror(outcome.error)
        result.error = ScanError(outcome.error, reason, name)
    return result


def convert_pair(pair: Tuple[str, str], cancel) -> Conversion:
    """Converts ``pair[0]`` into ``pair[1]``."""
    input_name, output_name = pair
    outcome = _core.convert(file_name(input_name), file_name(output_name), cancel)
    return conversion_of(outcome, input_name, output_name)


def batch_of(
    names: List[str], folder: str, packing: str = ""
) -> Callable[[int, object], Conversion]:
    """The conversion of input ``i`` of `names` as the batch makes it, its
    row file in `folder` (empty: beside it), packed as `packing` says
    (".gz", ".zst" or empty): one(i, cancel)."""
    if folder:
        # As in the batch, a folder that cannot be made (a file of that
        # name, no permission) stops nothing: each conversion then fails
        # with its own reason ("Not a directory", ...).
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError:
            pass
    encoded = [file_name(n) for n in names]
    encoded_folder = file_name(folder)
    encoded_packing = file_name(packing)
    outputs = [
        os.fsdecode(_core.row_file_name(n, encoded_folder, encoded_packing))
        for n in encoded
    ]
    # The batch's own plan: the same row file (through links, in any case
    # the folder folds) for two inputs refuses the later, a row file that
    # is an input refuses its file, a device never.
    refused = _core.refused_row_files(encoded, encoded_folder, encoded_packing)

    def one(i: int, cancel) -> Conversion:
        if i in refused:
            error = ScanError(errno.EEXIST, decode(refused[i]), outputs[i])
            return Conversion(names[i], outputs[i], "", error)
        return convert_pair((names[i], outputs[i]), cancel)

    return one
