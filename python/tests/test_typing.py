"""The package's annotations as a type checker sees them: Debian's mypy over
typed_example.py, the calls a user writes, and the return types named."""

import os
import re
import shutil
import subprocess
import sys
import typing

import pytest

import tarnovelix

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "typed_example.py")

# Debian's pandas has no type information and xarray's costs mypy half a
# minute to read: both are taken as Any, so the frames themselves are not
# checked (test_return_types names them instead).
CONFIG = """\
[mypy]
ignore_missing_imports = True
[mypy-pandas.*,xarray.*]
follow_imports = skip
"""


def mypy_missing() -> bool:
    probe = subprocess.run([sys.executable, "-m", "mypy", "--version"], capture_output=True)
    return probe.returncode != 0


@pytest.mark.skipif(mypy_missing(), reason="mypy is not installed (apt-get install python3-mypy)")
def test_mypy_accepts_the_example_and_rejects_the_marked_calls(tmp_path):
    config = tmp_path / "mypy.ini"
    config.write_text(CONFIG)
    shutil.copy(EXAMPLE, tmp_path / "typed_example.py")
    # The package is found where this Python imports it (PYTHONPATH or the
    # venv's site-packages), as a user's mypy finds an installed package.
    run = subprocess.run(
        [sys.executable, "-m", "mypy", "--config-file", str(config),
         "--python-executable", sys.executable, "--cache-dir", str(tmp_path / "cache"),
         "--no-error-summary", "typed_example.py"],
        cwd=tmp_path, capture_output=True, text=True, timeout=120,
    )
    with open(EXAMPLE) as example:
        marked = {n for n, line in enumerate(example, 1) if line.rstrip().endswith("# rejected")}
    reported = {int(m) for m in re.findall(r"^typed_example\.py:(\d+): error", run.stdout, re.M)}
    assert run.returncode == 1, run.stdout + run.stderr
    assert len(marked) >= 5
    assert reported == marked, run.stdout


@pytest.mark.parametrize(
    "function, module, name",
    [
        (tarnovelix.Scan.to_pandas, "pandas", "DataFrame"),
        (tarnovelix.Scan.to_xarray, "xarray", "DataArray"),
        (tarnovelix.read_many, "pandas", "DataFrame"),
    ],
)
def test_return_types(function, module, name):
    library = pytest.importorskip(module)
    hints = typing.get_type_hints(function, localns={module: library})
    assert hints["return"] is getattr(library, name)
