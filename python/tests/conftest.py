"""What the package's tests share: the command line of the same build (the
reference every array is checked against), the source tree, and a runner
that converts with it."""

import os
import pathlib
import subprocess

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
