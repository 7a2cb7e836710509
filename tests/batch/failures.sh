#!/usr/bin/env bash
# Files that fail in the middle of a batch stop nothing: the files around
# them are converted with their own text, each failure prints the message
# and the reason its single run prints, the summary counts both, and the
# status is 1; with -q only the failures' texts are shown. The failures
# are ones that hold for root too: a missing input, a folder as input, an
# input that is its own row file (x.ntp) or has it as a hard link, a row
# file whose place a folder takes, a row file that is a link to /dev/full
# (written directly, as devices are: the write fails part-way), and an
# output folder below a regular file. Every batch runs with -j 1 and -j 4: the texts come in the order
# given either way. Last, a malformed batch command line converts nothing:
# status 2, the problem and the usage line on standard error.
#   failures.sh BINARY CASES_DIR SCRATCH
set -eu
. "$(dirname "$0")/common.sh"
batch_setup "$@"

sample five_line_example m/a.dat
sample wrap_32_bit m/b.dat
sample header_counts m/c.dat
sample five_line_example m/taken.dat
sample five_line_example m/h.dat
ln m/h.dat m/h.ntp
sample five_line_example m/full.dat
ln -s /dev/full m/full.ntp
mkdir m/dir.dat m/taken.ntp
printf 'rows of an earlier run\n' >m/x.ntp
cp m/x.ntp x.before
printf 'a file, not a folder\n' >somefile
files=(m/a.dat m/missing.dat m/b.dat m/dir.dat m/x.ntp m/h.dat m/taken.dat m/full.dat
  m/c.dat)

for jobs in 1 4; do
  # Rows beside the inputs; in the inputs' folder spelled another way, so
  # that the inputs that are their own row files are known by identity;
  # and the same quietly.
  for run in beside other-spelling quiet; do
    rm -f m/a.ntp m/b.ntp m/c.ntp
    rows=m/
    options=(-j "$jobs")
    case $run in
      other-spelling)
        rows=./m/
        options+=(-o ./m/)
        ;;
      quiet) options+=(-q) ;;
    esac
    label="-j $jobs, $run"
    want_start
    [ $run = quiet ] || want_file m/a.dat "${rows}a.ntp" five_line_example
    want_failure m/missing.dat "${rows}missing.ntp" \
      $'\nCould not open input file: m/missing.dat\n' \
      "tarnovelix: m/missing.dat: No such file or directory"
    [ $run = quiet ] || want_file m/b.dat "${rows}b.ntp" wrap_32_bit
    want_failure m/dir.dat "${rows}dir.ntp" \
      $'\nCould not open input file: m/dir.dat\n' \
      "tarnovelix: m/dir.dat: Is a directory"
    for same in x h; do
      input=m/$same.ntp
      [ $same = x ] || input=m/$same.dat
      want_failure "$input" "$rows$same.ntp" \
        $'\nCould not open output file: '"$rows$same.ntp"$' (same file as the input)\n' \
        "tarnovelix: $rows$same.ntp: same file as the input"
    done
    want_failure m/taken.dat "${rows}taken.ntp" \
      $'\nCould not open output file: '"${rows}taken.ntp"$'\n' \
      "tarnovelix: ${rows}taken.ntp: Is a directory"
    # Written directly through the link, like any device: the disk is full.
    printf '== %s -> %s\n' m/full.dat "${rows}full.ntp" >>want.stdout
    cat "$cases/five_line_example/expected.stdout" >>want.stdout
    printf '\nCould not write output file: %s\n' "${rows}full.ntp" >>want.stdout
    printf 'tarnovelix: %sfull.ntp: No space left on device\n' "$rows" >>want.stderr
    [ $run = quiet ] || want_file m/c.dat "${rows}c.ntp" header_counts
    want_summary 9 3 6
    run_batch "$label" 1 --batch "${options[@]}" "${files[@]}"
    check_rows m/a.ntp five_line_example
    check_rows m/b.ntp wrap_32_bit
    check_rows m/c.ntp header_counts
    cmp -s x.before m/x.ntp || fail "$label: m/x.ntp, its own row file, changed"
    cmp -s "$cases/five_line_example/input.dat" m/h.ntp ||
      fail "$label: m/h.ntp, a hard link of its input, changed"
    for absent in m/missing.ntp m/dir.ntp m/missing.dat; do
      [ ! -e "$absent" ] || fail "$label: $absent appeared"
    done
    [ -z "$(ls -A m/taken.ntp)" ] || fail "$label: m/taken.ntp, a folder, got files"
    [ "$(readlink m/full.ntp)" = /dev/full ] || fail "$label: the link m/full.ntp changed"
    check_no_temporaries m
  done

  # An output folder that cannot be made: every file fails, each with the
  # message of its single run, the input's failure coming first.
  label="-j $jobs -o somefile/sub"
  want_start
  printf 'tarnovelix: somefile/sub: Not a directory\n' >want.stderr
  want_failure m/a.dat somefile/sub/a.ntp \
    $'\nCould not open output file: somefile/sub/a.ntp\n' \
    "tarnovelix: somefile/sub/a.ntp: Not a directory"
  want_failure m/missing.dat somefile/sub/missing.ntp \
    $'\nCould not open input file: m/missing.dat\n' \
    "tarnovelix: m/missing.dat: No such file or directory"
  want_failure m/c.dat somefile/sub/c.ntp \
    $'\nCould not open output file: somefile/sub/c.ntp\n' \
    "tarnovelix: somefile/sub/c.ntp: Not a directory"
  want_summary 3 0 3
  run_batch "$label" 1 --batch -j "$jobs" -o somefile/sub m/a.dat m/missing.dat m/c.dat
  [ "$(cat somefile)" = "a file, not a folder" ] || fail "$label: somefile changed"
done

# Malformed command lines: the problem, the usage line, nothing converted.
rm -f m/a.ntp m/b.ntp m/c.ntp
before=$(find . | sort)
usage="usage: tarnovelix --batch [-j N | --jobs N] [-o DIR | --output-dir DIR] [-q | --quiet] [--] FILE..."
while IFS='|' read -r args problem; do
  read -r -a argv <<<"$args"
  label="--batch $args"
  : >want.stdout
  printf 'tarnovelix: --batch: %s\n%s\n' "$problem" "$usage" >want.stderr
  run_batch "$label" 2 --batch "${argv[@]}"
  [ "$(find . | sort)" = "$before" ] || fail "$label: files changed: $(find m -name '*.ntp')"
done <<'CASES'
m/a.dat -j 0 m/b.dat|the number of jobs must be from 1 to 256, not '0'
m/a.dat --jobs=257|the number of jobs must be from 1 to 256, not '257'
m/a.dat -j2x|the number of jobs must be from 1 to 256, not '2x'
m/a.dat -j|option -j needs a number
m/a.dat -o|option -o needs a folder
m/a.dat --output-dir=|option --output-dir= needs a folder
m/a.dat --bogus m/b.dat|unknown option '--bogus' (a file whose name starts with - goes after --)
m/a.dat -|standard input (-) cannot be a file of a batch; a file named - is ./-
-q -j 2 -o out|no files to convert
CASES

[ $status -ne 0 ] || echo "failures in the middle of a batch: the others converted, status 1"
exit $status
