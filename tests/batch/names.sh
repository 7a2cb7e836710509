#!/usr/bin/env bash
# Where a batch puts each row file, and the one row file two inputs would
# share. A row file is named like its input with the last extension
# replaced by .ntp (none added to, a dot in a folder's name or at the
# start of a name is no extension), beside the input or in the -o folder,
# which is made with its parents when missing. Two inputs with one row
# file: the later one is refused with its own message and counts as
# failed, whatever the spelling of the folder, whether the earlier one
# converted, and the number of jobs; the row file holds the earlier one's
# rows. Every batch runs with -j 1 and -j 4.
#   names.sh BINARY CASES_DIR SCRATCH
set -eu
. "$(dirname "$0")/common.sh"
batch_setup "$@"

# Each input gets its own rows, so a row file shows which input wrote it.
sample five_line_example n/scan.dat
sample wrap_32_bit n/run.2.dat
sample header_counts bare/scan
sample no_header n/.hidden
sample minus_one_values d.d/raw
sample five_line_example ./-dash.dat
sample wrap_32_bit a/scan.dat
sample header_counts b/scan.dat
sample no_header a/scan.txt

# refused INPUT ROW_FILE EARLIER: the message of a refused duplicate.
refused() {
  want_failure "$1" "$2" \
    $'\nCould not open output file: '"$2 (also the row file of $3)"$'\n' \
    "tarnovelix: $2: also the row file of $3"
}

for jobs in 1 4; do
  # The names, beside the inputs; -- lets a name start with -.
  label="names, -j $jobs"
  rm -rf n/*.ntp bare/*.ntp d.d/*.ntp ./*.ntp
  want_start
  want_file n/scan.dat n/scan.ntp five_line_example
  want_file n/run.2.dat n/run.2.ntp wrap_32_bit
  want_file bare/scan bare/scan.ntp header_counts
  want_file n/.hidden n/.hidden.ntp no_header
  want_file d.d/raw d.d/raw.ntp minus_one_values
  want_file -dash.dat -dash.ntp five_line_example
  want_summary 6 6 0
  run_batch "$label" 0 --batch -j "$jobs" n/scan.dat n/run.2.dat bare/scan \
    n/.hidden d.d/raw -- -dash.dat
  check_rows n/scan.ntp five_line_example
  check_rows n/run.2.ntp wrap_32_bit
  check_rows bare/scan.ntp header_counts
  check_rows n/.hidden.ntp no_header
  check_rows d.d/raw.ntp minus_one_values
  check_rows ./-dash.ntp five_line_example
  [ ! -e n/run.ntp ] && [ ! -e d.ntp ] || fail "$label: a row file named after the wrong dot"

  # -o: made with its parents; given with a trailing slash.
  for out in new/deeper/out new/trailing/; do
    label="-o $out, -j $jobs"
    rm -rf new
    shown=${out%/}/
    want_start
    want_file n/scan.dat "${shown}scan.ntp" five_line_example
    want_file n/run.2.dat "${shown}run.2.ntp" wrap_32_bit
    want_summary 2 2 0
    run_batch "$label" 0 --batch -j "$jobs" -o "$out" n/scan.dat n/run.2.dat
    check_rows "${shown}scan.ntp" five_line_example
    check_rows "${shown}run.2.ntp" wrap_32_bit
    [ "$(find new -type f | wc -l)" -eq 2 ] || fail "$label: other files in new/"
  done

  # Duplicates, each batch in a fresh folder.
  label="duplicate in -o out, -j $jobs"
  rm -rf out
  want_start
  want_file a/scan.dat out/scan.ntp wrap_32_bit
  refused b/scan.dat out/scan.ntp a/scan.dat
  want_summary 2 1 1
  run_batch "$label" 1 --batch -j "$jobs" -o out a/scan.dat b/scan.dat
  check_rows out/scan.ntp wrap_32_bit
  check_no_temporaries out

  label="duplicate beside the inputs, another extension, -j $jobs"
  rm -f a/scan.ntp
  want_start
  want_file a/scan.dat a/scan.ntp wrap_32_bit
  refused a/scan.txt a/scan.ntp a/scan.dat
  want_summary 2 1 1
  run_batch "$label" 1 --batch -j "$jobs" a/scan.dat a/scan.txt
  check_rows a/scan.ntp wrap_32_bit

  label="duplicate through another spelling of the folder, -j $jobs"
  rm -f a/scan.ntp b/scan.ntp
  want_start
  want_file b/scan.dat b/scan.ntp header_counts
  want_file a/scan.dat a/scan.ntp wrap_32_bit
  refused ./a/../b/scan.dat ./a/../b/scan.ntp b/scan.dat
  want_summary 3 2 1
  run_batch "$label" 1 --batch -j "$jobs" b/scan.dat a/scan.dat ./a/../b/scan.dat
  check_rows b/scan.ntp header_counts
  check_rows a/scan.ntp wrap_32_bit

  label="duplicate of a file that failed, -j $jobs"
  rm -rf out
  want_start
  want_failure missing/scan.dat out/scan.ntp \
    $'\nCould not open input file: missing/scan.dat\n' \
    "tarnovelix: missing/scan.dat: No such file or directory"
  refused a/scan.dat out/scan.ntp missing/scan.dat
  want_summary 2 0 2
  run_batch "$label" 1 --batch -j "$jobs" -o out missing/scan.dat a/scan.dat
  [ ! -e out/scan.ntp ] || fail "$label: out/scan.ntp was written"
  check_no_temporaries out
done

[ $status -ne 0 ] || echo "row file names and duplicates as documented"
exit $status
