"""What the package's tests share: the command line of the same build (the
reference every array is checked against), the source tree, a runner that
converts with it, the console text as Python's calls keep it, and a child
that measures a call's memory."""

import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

SOURCE_DIR = pathlib.Path(
    os.environ.get("TNX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2])
)


def _program() -> pathlib.Path:
    named = os.environ.get("TNX_PROGRAM")
    if named:
        return pathlib.Path(named)
    return SOURCE_DIR / "build" / "release" / "tarnovelix"


@pytest.fixture(scope="session")
def program() -> pathlib.Path:
    path = _program()
    if not path.exists():
        pytest.skip("the program is not built: %s" % path)
    return path


@pytest.fixture(scope="session")
def source_dir() -> pathlib.Path:
    return SOURCE_DIR


def run_program(program, *args, cwd=None):
    """Runs the command line; returns (exit status, stdout, stderr)."""
    done = subprocess.run(
        [str(program), *map(str, args)], cwd=cwd, capture_output=True, check=False
    )
    return done.returncode, done.stdout, done.stderr


def rows_of(program, scan_path, tmp_path):
    """The row file and console text the command line makes of scan_path."""
    out = tmp_path / "reference.ntp"
    status, stdout, _ = run_program(program, scan_path, out)
    assert status == 0, stdout
    return out.read_bytes(), stdout


def formatted(scan) -> bytes:
    """The rows of a Scan formatted as the row file shows them."""
    return scan.format_rows()


# Python's calls keep at most this many bytes of each line of the console
# text (only the echo of a header line is ever that long).
LINE_KEPT = 64 << 10


def kept_console(stdout: bytes) -> bytes:
    """The command line's console text as Python's calls keep it: a line
    longer than LINE_KEPT bytes cut there and marked "[... N more bytes]"."""
    return b"\n".join(
        line if len(line) <= LINE_KEPT
        else line[:LINE_KEPT] + b"[... %d more bytes]" % (len(line) - LINE_KEPT)
        for line in stdout.split(b"\n")
    )


# A child making one call of the scan NAME (SOURCE: "file", "memory",
# "file object" or "pipe", the pipe its standard input); prints by how many KiB the call
# raised the process's peak resident memory. The peak is VmHWM, the
# child's own: getrusage's ru_maxrss starts at the parent's size at fork.
_PEAK_GROWTH = textwrap.dedent(
    """
    import sys, tarnovelix
    import pandas

    def peak():
        with open("/proc/self/status") as status:
            return next(int(l.split()[1]) for l in status if l.startswith("VmHWM:"))

    call, source, name = sys.argv[1:]
    if source == "memory":
        name = memoryview(open(name, "rb").read())
    elif source == "pipe":
        name = "/dev/stdin"
    elif source == "file object":
        name = open(name, "rb")
    before = peak()
    if call == "read":
        tarnovelix.read(name)
    elif call == "read_many":
        tarnovelix.read_many([name])
    elif call == "convert":
        tarnovelix.convert(name, "rows.ntp")
    else:
        (result,) = tarnovelix.convert_many([name], output_dir="rows")
        assert result.ok, result.error
    print(peak() - before)
    """
)


def peak_growth_kib(call, source, scan_path) -> int:
    """By how much `call` ("read", "read_many", "convert", "convert_many")
    of `scan_path` from `source` raises a fresh process's peak memory."""
    piped = {"input": scan_path.read_bytes()} if source == "pipe" else {"stdin": subprocess.DEVNULL}
    done = subprocess.run(
        [sys.executable, "-c", _PEAK_GROWTH, call, source, str(scan_path)],
        cwd=scan_path.parent, capture_output=True, check=False, **piped,
    )
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return int(done.stdout)
