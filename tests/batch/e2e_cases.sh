#!/usr/bin/env bash
# The end-to-end cases again, through --batch: a file of a batch must be
# converted exactly as a single run converts it. Every case that names an
# input file and a plain row file (two arguments, the second NAME.ntp in the
# case's folder) takes part, the ones that fail on the input side included;
# its input is copied to in/CASE.dat, so the batch's row file is
# in/CASE.ntp (or DIR/CASE.ntp with -o DIR). The others are left out, each
# with its reason on the first lines of the output:
#   - fewer than two arguments: the fallback names, --help, --version;
#   - an input named like an option or "-" (the case is about that
#     spelling, and "-" is refused by a batch);
#   - standard input fed to the run (stdin);
#   - an output that is not NAME.ntp beside the input (a device, a folder,
#     standard output, a path through a missing folder, the input itself):
#     a batch names the row file after the input.
# Each case runs alone, then all of them in one batch, with -j 1 and -j 4,
# rows beside the inputs and in a folder of their own. Checked byte for
# byte every time: standard output ("== INPUT -> OUTPUT", then the case's
# expected.stdout, then the summary line), standard error (the cases'
# expected.stderr), each row file against expected.rows (no row file for a
# case without one), the exit status, the inputs unchanged, and no other
# file left (no temporary file).
#   e2e_cases.sh BINARY CASES_DIR SCRATCH
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cases_dir=$(cd "$2" && pwd)
dir=$3
rm -rf "$dir"
mkdir -p "$dir/in" "$dir/setup"
cd "$dir"

status=0
fail() {
  echo "  FAIL: $1" >&2
  status=1
}

# Selection, and each case's expectations under its batch name.
names=()
for case_dir in "$cases_dir"/*/; do
  case_dir=${case_dir%/}
  name=$(basename "$case_dir")
  args=()
  if [ -f "$case_dir/args" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
      [ -n "$line" ] && args+=("$line")
    done <"$case_dir/args"
  fi
  reason=
  if [ ${#args[@]} -lt 2 ]; then
    reason="fewer than two arguments"
  else
    case "${args[0]}" in
      -* | ./- | /dev/*) reason="the input's name is what it checks (${args[0]})" ;;
    esac
    case "${args[1]}" in
      */* | -) reason="${reason:+$reason; }the output's name is what it checks (${args[1]})" ;;
      *.ntp) ;;
      *) reason="${reason:+$reason; }the output's name is what it checks (${args[1]})" ;;
    esac
    [ ! -f "$case_dir/stdin" ] || reason="${reason:+$reason; }reads standard input"
  fi
  if [ -n "$reason" ]; then
    echo "skipped $name: $reason"
    continue
  fi
  input=${args[0]}
  want_exit=0
  [ -f "$case_dir/expected.exit" ] && want_exit=$(head -n 1 "$case_dir/expected.exit")

  # The input as the case's runner makes it: copied, or made by setup.cmake.
  work=setup/$name
  mkdir -p "$work"
  for f in "$case_dir"/*; do
    case "$(basename "$f")" in
      args | expected.* | setup.cmake | posix_only | stdin) ;;
      *) cp -p "$f" "$work/" ;;
    esac
  done
  if [ -f "$case_dir/setup.cmake" ]; then
    cmake -DWORK="$PWD/$work" -DCASE_DIR="$case_dir" -P "$case_dir/setup.cmake"
  fi
  if [ -e "$work/$input" ]; then
    mv "$work/$input" "in/$name.dat"
  elif [ "$want_exit" = 0 ]; then
    echo "case $name: its input $input was not made" >&2
    exit 1
  fi

  # The case's texts name the input; the batch's name it in/CASE.dat.
  for what in stdout stderr; do
    if [ -f "$case_dir/expected.$what" ]; then
      if [ "$want_exit" = 0 ]; then
        cp "$case_dir/expected.$what" "$work/$what"
      else
        grep -qF ": $input" "$case_dir/expected.$what" ||
          { echo "case $name: expected.$what does not name $input" >&2; exit 1; }
        sed "s|: $input\$|: in/$name.dat|; s|^tarnovelix: $input: |tarnovelix: in/$name.dat: |" \
          "$case_dir/expected.$what" >"$work/$what"
      fi
    else
      : >"$work/$what"
    fi
  done
  [ -f "$case_dir/expected.rows" ] && cp "$case_dir/expected.rows" "$work/rows"
  echo "$want_exit" >"$work/exit"
  names+=("$name")
done
[ ${#names[@]} -ge 20 ] || { echo "only ${#names[@]} cases found in $cases_dir" >&2; exit 1; }
echo "${#names[@]} cases: ${names[*]}"

inputs_sum() { (cd in && find . -type f -name "*.dat" | sort | xargs -r sha256sum); }
inputs_before=$(inputs_sum)
inputs_listing=$(cd in && find . | sort)

# run_batch LABEL OUTDIR JOBS CASE...: one batch over CASE..., rows in OUTDIR
# (empty: beside the inputs), and every check.
run_batch() {
  local label=$1 out_dir=$2 jobs=$3
  shift 3
  local files=() options=(-j "$jobs") converted=0 failed=0 name row_file
  local rows_dir=in
  if [ -n "$out_dir" ]; then
    options+=(-o "$out_dir")
    rows_dir=$out_dir
  fi
  : >want.stdout
  : >want.stderr
  local want_listing=$inputs_listing
  for name in "$@"; do
    files+=("in/$name.dat")
    row_file=$rows_dir/$name.ntp
    printf '== %s -> %s\n' "in/$name.dat" "$row_file" >>want.stdout
    cat "setup/$name/stdout" >>want.stdout
    cat "setup/$name/stderr" >>want.stderr
    if [ "$(cat "setup/$name/exit")" = 0 ]; then
      converted=$((converted + 1))
    else
      failed=$((failed + 1))
    fi
  done
  printf '\n== %s files: %s converted, %s failed\n' $# $converted $failed >>want.stdout
  local want_status=0
  [ $failed -eq 0 ] || want_status=1

  local got_status=0
  "$binary" --batch "${options[@]}" "${files[@]}" >got.stdout 2>got.stderr </dev/null ||
    got_status=$?
  [ "$got_status" -eq "$want_status" ] ||
    fail "$label: exit status $got_status, expected $want_status"
  cmp -s want.stdout got.stdout ||
    fail "$label: standard output differs:
$(diff -u --text --label expected --label got want.stdout got.stdout | head -n 40)"
  cmp -s want.stderr got.stderr ||
    fail "$label: standard error differs:
$(diff -u --text --label expected --label got want.stderr got.stderr | head -n 40)"

  local want_rows=()
  for name in "$@"; do
    row_file=$rows_dir/$name.ntp
    if [ -f "setup/$name/rows" ]; then
      want_rows+=("./$name.ntp")
      if [ ! -f "$row_file" ]; then
        fail "$label: $row_file was not written"
      elif ! cmp -s "setup/$name/rows" "$row_file"; then
        fail "$label: $row_file differs from $name/expected.rows"
      fi
    fi
  done
  [ "$(inputs_sum)" = "$inputs_before" ] || fail "$label: an input changed"
  # Nothing but the inputs and the expected row files: no temporary file,
  # no row file of a failed case.
  local got_listing
  if [ -n "$out_dir" ]; then
    [ "$(cd in && find . | sort)" = "$want_listing" ] ||
      fail "$label: in/ holds files it should not: $(cd in && find . | sort | tr '\n' ' ')"
    want_listing=$(printf '%s\n' . "${want_rows[@]}" | sort)
    got_listing=$(cd "$out_dir" && find . | sort)
  else
    want_listing=$(printf '%s\n' "$want_listing" "${want_rows[@]}" | sort)
    got_listing=$(cd in && find . | sort)
  fi
  [ "$got_listing" = "$want_listing" ] ||
    fail "$label: unexpected files: $(comm -13 <(echo "$want_listing") <(echo "$got_listing") | tr '\n' ' ')"
  # The next run starts without these row files.
  for name in "$@"; do rm -f "$rows_dir/$name.ntp"; done
  [ -z "$out_dir" ] || rm -rf "$out_dir"
}

for name in "${names[@]}"; do
  for jobs in 1 4; do
    run_batch "$name alone, -j $jobs" "" "$jobs" "$name"
  done
done
for jobs in 1 4; do
  run_batch "all ${#names[@]} cases, -j $jobs" "" "$jobs" "${names[@]}"
  run_batch "all ${#names[@]} cases, -j $jobs -o out" out "$jobs" "${names[@]}"
done

if [ $status -eq 0 ]; then
  echo "every case converted as a single run converts it: alone and together, -j 1 and -j 4"
fi
exit $status
