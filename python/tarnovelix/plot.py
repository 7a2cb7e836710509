"""A quick look at a scan: ``python3 -m tarnovelix plot SCAN -o PICTURE``.

The values as an image over the columns' coordinates (from the header's
points line) and the data lines, the summed profile of every column below
it, on the same coordinate axis."""

from __future__ import annotations

import argparse
from typing import Optional, Sequence

import numpy as np

from . import read


def edges(centres: np.ndarray) -> np.ndarray:
    """Cell edges around sorted or unsorted coordinates, for pcolormesh;
    evenly spaced cells when the coordinates do not increase."""
    if len(centres) < 2 or np.any(np.diff(centres) <= 0):
        return np.arange(len(centres) + 1) - 0.5
    middle = (centres[1:] + centres[:-1]) / 2
    return np.concatenate(([2 * centres[0] - middle[0]], middle, [2 * centres[-1] - middle[-1]]))


def draw(scan, title: str):
    """The figure of a scan (matplotlib)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    image, labels = scan.grid()
    columns = image.shape[1]
    coordinates = scan.header.points[:columns]
    by_coordinate = len(coordinates) > 1 and np.all(np.diff(coordinates) > 0)
    x_edges = edges(coordinates) if by_coordinate else np.arange(columns + 1) - 0.5
    x_centres = coordinates if by_coordinate else np.arange(columns)

    figure, (top, bottom) = plt.subplots(
        2, 1, figsize=(8, 7), sharex=True, gridspec_kw={"height_ratios": [3, 1]},
        constrained_layout=True,
    )
    mesh = top.pcolormesh(x_edges, np.arange(image.shape[0] + 1) - 0.5, image,
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
    bottom.step(x_centres, profile, where="mid", color="tab:blue")
    bottom.set_ylabel("summed value")
    bottom.set_xlabel("coordinate (header's points)" if by_coordinate else "column")
    bottom.grid(alpha=0.3)
    return figure


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The ``plot`` subcommand; returns the exit status."""
    parser = argparse.ArgumentParser(prog="python3 -m tarnovelix plot",
                                     description="Draws a scan: its values over coordinate and line, and the summed profile.")
    parser.add_argument("scan", help="the scan file")
    parser.add_argument("-o", "--output", required=True, help="the picture to write (PNG, SVG, PDF)")
    parser.add_argument("--dpi", type=int, default=100)
    arguments = parser.parse_args(argv)
    scan = read(arguments.scan)
    if len(scan) == 0:
        parser.exit(1, "%s: no rows to draw\n" % arguments.scan)
    figure = draw(scan, arguments.scan)
    figure.savefig(arguments.output, dpi=arguments.dpi)
    return 0
