# Shared by the batch checks (sourced, not run): the program's absolute
# path, failures that are counted rather than fatal, and a batch run
# compared byte for byte with the text it should print. The inputs are
# taken from end-to-end cases, whose expected.stdout and expected.rows are
# the single run's text and rows.
#   . common.sh; batch_setup BINARY CASES_DIR SCRATCH
# The caller ends with `exit $status`.

batch_setup() {
  # A writer left waiting to open a FIFO that the run never opened would
  # hold the test's output open, and the test runner would wait for it.
  trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
  binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  cases=$(cd "$2" && pwd)
  scratch=$3
  rm -rf "$scratch"
  mkdir -p "$scratch"
  cd "$scratch"
  status=0
}

fail() {
  echo "  FAIL: $1" >&2
  status=1
}

# sample CASE DEST: the input of end-to-end case CASE copied to DEST.
sample() {
  mkdir -p "$(dirname "$2")"
  cp "$cases/$1/input.dat" "$2"
}

# The text the run should print, built up by the calls below.
want_start() {
  : >want.stdout
  : >want.stderr
}
# shown NAME: NAME as the program writes it into a line, its control
# bytes (a tab, a line break, ESC, DEL) as \xHH.
shown() {
  local LC_ALL=C name=$1 out= c i
  for ((i = 0; i < ${#name}; i++)); do
    c=${name:i:1}
    [[ $c == [[:cntrl:]] ]] && printf -v c '\\x%02x' "'$c"
    out+=$c
  done
  printf '%s' "$out"
}
# want_file INPUT OUTPUT CASE: a file converted as CASE is.
want_file() {
  printf '== %s -> %s\n' "$(shown "$1")" "$(shown "$2")" >>want.stdout
  cat "$cases/$3/expected.stdout" >>want.stdout
}
# want_failure INPUT OUTPUT MESSAGE REASON_LINE: a file that failed.
want_failure() {
  printf '== %s -> %s\n%s' "$1" "$2" "$3" >>want.stdout
  printf '%s\n' "$4" >>want.stderr
}
# want_summary TOTAL CONVERTED FAILED
want_summary() {
  printf '\n== %s files: %s converted, %s failed\n' "$1" "$2" "$3" >>want.stdout
}

# run_batch LABEL STATUS ARG...: runs the program with ARG..., standard
# input empty, and compares its status and both outputs with the wanted.
run_batch() {
  local label=$1 want_status=$2 got_status=0
  shift 2
  "$binary" "$@" >got.stdout 2>got.stderr </dev/null || got_status=$?
  [ "$got_status" -eq "$want_status" ] ||
    fail "$label: exit status $got_status, expected $want_status"
  compare_text "$label: standard output" want.stdout got.stdout
  compare_text "$label: standard error" want.stderr got.stderr
}

# compare_text WHAT EXPECTED GOT
compare_text() {
  cmp -s "$2" "$3" ||
    fail "$1 differs:
$(diff -u --text --label expected --label got "$2" "$3" | head -n 40)"
}

# check_rows ROW_FILE CASE: the row file holds CASE's rows.
check_rows() {
  if [ ! -f "$1" ]; then
    fail "${label:+$label: }$1 was not written"
  elif ! cmp -s "$cases/$2/expected.rows" "$1"; then
    fail "${label:+$label: }$1 is not the rows of $2"
  fi
}

# check_no_temporaries DIR: no hidden temporary row file left in DIR.
check_no_temporaries() {
  local left
  left=$(find "$1" -name '.*.tnx-*' | head -n 3)
  [ -z "$left" ] || fail "${label:+$label: }temporary files left: $left"
}
