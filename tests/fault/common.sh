# Shared by the checks that run the real program in a scratch folder
# (sourced, not run): the program's absolute path, the folder emptied and
# entered, and failures that are counted rather than fatal.
#   . common.sh; check_setup BINARY SCRATCH [LAUNCHER WHY]
# With a LAUNCHER (wine), the check cannot run: it says WHY and exits 77,
# which the test runner counts as skipped. The caller ends with
# `exit $status`.

check_setup() {
  binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  if [ -n "${3:-}" ]; then
    echo "skipped: $4"
    exit 77
  fi
  rm -rf "$2"
  mkdir -p "$2"
  cd "$2" || exit 1
  status=0
}

fail() {
  echo "  FAIL: $1" >&2
  status=1
}
