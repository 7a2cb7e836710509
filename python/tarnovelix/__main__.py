"""``python3 -m tarnovelix``: the command line (the same arguments, output
and exit status as the program), and ``python3 -m tarnovelix plot SCAN -o
PICTURE`` for a quick look at a scan."""

import os
import signal
import sys

from . import _core

# What the module adds to the program's --help: its own subcommand.
_PLOT_HELP = """
python3 -m tarnovelix plot [--dpi N] SCAN -o PICTURE
draws a quick look at SCAN into PICTURE: the values over the columns'
coordinates and the data lines, and the summed profile of each column
(PNG, SVG, PDF... by the picture's extension, PNG without one).
python3 -m tarnovelix plot --help tells more.
"""


def main(argv=None) -> int:
    """Runs the command line with ``argv`` (default: sys.argv[1:]); returns
    the exit status."""
    arguments = sys.argv[1:] if argv is None else list(argv)
    if arguments[:1] == ["plot"]:
        from .plot import main as plot_main

        return plot_main(arguments[1:])
    sys.stdout.flush()
    sys.stderr.flush()
    # As the program: a signal that ends the run removes its temporary row
    # files, which needs the signal's default action, not Python's handler.
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    status = _core.run_command_line([b"tarnovelix"] + [os.fsencode(a) for a in arguments])
    if arguments in (["--help"], ["-h"]):
        sys.stdout.write(_PLOT_HELP)
        sys.stdout.flush()
    return status


if __name__ == "__main__":
    sys.exit(main())
