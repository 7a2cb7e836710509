"""A quick look at a scan: ``python3 -m tarnovelix plot SCAN -o PICTURE``.

The values as an image over the columns' coordinates (from the header's
points line) and the data lines, the summed profile of every column below
it, on the same coordinate axis. Coordinates that do not increase, or that
no picture can show (infinite, or too far apart), give way to column
numbers. A failure is one line on standard error, ``tarnovelix: NAME:
REASON``, with status 1."""

from __future__ import annotations

import argparse
import os
import sys
from typing import NamedTuple, Optional, Sequence

import numpy as np

from . import read

# The widest span of cell edges drawn as coordinates: matplotlib works out
# ticks and margins a few times the span, which must stay within the range
# of a double. A span of 1.2e308 overflows there; 300 random sets of points
# spread up to an eighth of the largest double drew cleanly, and this
# keeps half of that.
WIDEST_SPAN = float(np.finfo(np.float64).max) / 16


def edges(centres: np.ndarray) -> np.ndarray:
    """Cell edges around sorted or unsorted coordinates, for pcolormesh;
    evenly spaced cells when the coordinates do not increase. Edges past
    the range of a double are infinite."""
    with np.errstate(over="ignore", invalid="ignore"):
        if len(centres) < 2 or np.any(np.diff(centres) <= 0):
            return np.arange(len(centres) + 1) - 0.5
        middle = (centres[1:] + centres[:-1]) / 2
        return np.concatenate(([2 * centres[0] - middle[0]], middle, [2 * centres[-1] - middle[-1]]))


class XAxis(NamedTuple):
    """The columns' cell edges and centres along x; `by_coordinate` when
    they are the header's coordinates, else column numbers, and `why`
    tells the reason the picture does not show (None when the coordinates
    do not increase: the axis then says "column")."""

    edges: np.ndarray
    centres: np.ndarray
    by_coordinate: bool
    why: Optional[str] = None


def x_axis(coordinates: np.ndarray) -> XAxis:
    """The x axis of columns whose coordinates are `coordinates`."""
    columns = len(coordinates)
    by_number = XAxis(np.arange(columns + 1) - 0.5, np.arange(columns), False)
    with np.errstate(over="ignore", invalid="ignore"):
        if columns < 2 or not np.all(np.diff(coordinates) > 0):
            return by_number
        cells = edges(coordinates)
        span = cells[-1] - cells[0]
    if np.all(np.isfinite(cells)) and span <= WIDEST_SPAN:
        return XAxis(cells, coordinates, True)
    why = "the header's points (%g to %g) are too far apart to draw; drawn over column numbers" % (
        coordinates[0], coordinates[-1])
    return by_number._replace(why=why)


def draw(scan, title: str, axis: Optional[XAxis] = None):
    """The figure of a scan (matplotlib); `axis` default: x_axis() of the
    header's points."""
    import matplotlib  # type: ignore[import]  # Debian's has no type information

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # type: ignore[import]

    image, labels = scan.grid()
    columns = image.shape[1]
    if axis is None:
        axis = x_axis(scan.header.points[:columns])

    figure, (top, bottom) = plt.subplots(
        2, 1, figsize=(8, 7), sharex=True, gridspec_kw={"height_ratios": [3, 1]},
        constrained_layout=True,
    )
    mesh = top.pcolormesh(axis.edges, np.arange(image.shape[0] + 1) - 0.5, image,
                          shading="flat", cmap="viridis")
    figure.colorbar(mesh, ax=top, label="value")
    top.set_ylabel("data line")
    top.set_title(title)
    if len(labels):
        ticks = np.linspace(0, len(labels) - 1, min(len(labels), 8)).round().astype(int)
        right = top.secondary_yaxis("right")
        right.set_yticks(ticks)
        right.set_yticklabels([str(labels[t]) for t in ticks])
        right.set_ylabel("label")
    profile = np.nansum(image, axis=0)
    bottom.step(axis.centres, profile, where="mid", color="tab:blue")
    bottom.set_ylabel("summed value")
    bottom.set_xlabel("coordinate (header's points)" if axis.by_coordinate else "column")
    bottom.grid(alpha=0.3)
    return figure


class Failure(Exception):
    """A failure of the subcommand, about the file `name`."""

    def __init__(self, name: str, reason: str) -> None:
        super().__init__(reason)
        self.name = name
        self.reason = reason


def shown(text: str) -> str:
    """`text` fit for one line: control characters as \\xNN, as the
    program's messages show them."""
    return "".join("\\x%02x" % ord(c) if ord(c) < 0x20 or ord(c) == 0x7F else c for c in text)


def tell(name: str, what: str) -> None:
    """Writes "tarnovelix: NAME: WHAT" on standard error."""
    sys.stderr.write("tarnovelix: %s: %s\n" % (shown(name), shown(what)))


def plot(scan_name: str, picture: str, dpi: int) -> None:
    """Draws the scan `scan_name` into `picture`; raises Failure."""
    try:
        scan = read(scan_name)
    except OSError as error:
        raise Failure(scan_name, error.strerror or str(error)) from error
    if len(scan) == 0:
        raise Failure(scan_name, "no rows to draw")
    axis = x_axis(scan.header.points[:int(scan.column.max()) + 1])
    if axis.why is not None:
        tell(scan_name, axis.why)
    try:
        figure = draw(scan, scan_name, axis)
    except ImportError as error:
        raise Failure(picture, "drawing needs matplotlib (%s)" % error) from error
    # matplotlib writes a name without an extension as NAME.png: the
    # picture named is the one written, a PNG.
    kind = None if os.path.splitext(picture)[1] else "png"
    try:
        figure.savefig(picture, dpi=dpi, format=kind)
    except (OSError, ValueError) as error:
        reason = getattr(error, "strerror", None) or str(error)
        raise Failure(picture, reason) from error


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The ``plot`` subcommand; returns the exit status."""
    parser = argparse.ArgumentParser(prog="python3 -m tarnovelix plot",
                                     description="Draws a scan: its values over coordinate and line, and the summed profile.")
    parser.add_argument("scan", help="the scan file")
    parser.add_argument("-o", "--output", required=True,
                        help="the picture to write (PNG, SVG, PDF, by its extension; PNG without one)")
    parser.add_argument("--dpi", type=int, default=100)
    arguments = parser.parse_args(argv)
    try:
        plot(arguments.scan, arguments.output, arguments.dpi)
    except Failure as failure:
        tell(failure.name, failure.reason)
        return 1
    return 0
