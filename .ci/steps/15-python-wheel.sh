#!/usr/bin/env bash
# The Python package as a user gets it: the wheel built offline (make
# python), installed with pip into a fresh venv that sees the system's
# NumPy and pandas, and its tests run against the installed package from
# outside the source tree.
set -euo pipefail
make python
venv=build/python-venv
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --no-index --no-deps --force-reinstall dist/tarnovelix-*.whl
# The text of the wheel's METADATA, below its fields, is the package's
# README, whole.
/usr/bin/python3 - dist/tarnovelix-*.whl python/README.md <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as wheel:
    name = next(n for n in wheel.namelist() if n.endswith(".dist-info/METADATA"))
    metadata = wheel.read(name).decode()
body = metadata.split("\n\n", 1)[1]
readme = open(sys.argv[2]).read()
assert body.strip() == readme.strip(), "METADATA does not hold python/README.md"
assert "Description-Content-Type: text/markdown" in metadata
print("README in METADATA:", len(readme.splitlines()), "lines of python/README.md")
EOF
tests=$(mktemp -d)
trap 'rm -rf "$tests"' EXIT
cp python/tests/*.py "$tests/"
cd "$tests"
TNX_PROGRAM="$OLDPWD/build/release/tarnovelix" TNX_SOURCE_DIR="$OLDPWD" \
  "$OLDPWD/$venv/bin/python" -m pytest -q -p no:cacheprovider .
"$OLDPWD/$venv/bin/python" -c 'import tarnovelix, sys; assert "site-packages" in tarnovelix.__file__, tarnovelix.__file__; print("installed", tarnovelix.__version__, tarnovelix.__file__)'
