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

# temporary_with_rows PID NAME: the temporary row file of the run PID for
# the row file NAME in this folder, once it holds rows; nothing before. A
# hidden name beside NAME where the system cannot make a file without a
# name; else the file is seen only among the run's open files, where Linux
# shows it as "/folder/#inode (deleted)".
temporary_with_rows() {
  local fd
  find . -name ".$2.tnx-*" -size +0 | head -n 1
  for fd in /proc/"$1"/fd/*; do
    case "$(readlink "$fd" 2>/dev/null)" in
      */\#*" (deleted)")
        [ "$(stat -L -c %s "$fd" 2>/dev/null || echo 0)" -gt 0 ] && echo "$fd"
        ;;
    esac
  done
}
