#!/usr/bin/env bash
# A batch at the edges where its promises used to break, each with -j 1 and
# -j 4 where the number of jobs could matter:
#   1. a row file that is the file standard output was sent to
#      (`--batch a.dat > a.ntp`): its rows go there, and every text of the
#      batch to standard error, never into the rows;
#   2. a row file that is a symbolic link to another file's row file: the
#      later file is refused, as for two names of one row file, whatever
#      the number of jobs; links to /dev/null take any number of files;
#   3. a row file that is a FIFO whose reader leaves after a few bytes: that
#      file fails ("Broken pipe"), the batch goes on and ends as usual;
#   4. a file whose text does not end its line (a header echo cut by a NUL
#      byte): the next file's "== " line still starts a line of its own;
#   5. a tight limit on memory (ulimit -v 300000) with 16 jobs: the threads
#      share their heaps, and a file that fails for memory is tried once
#      more while no other job converts, so every file converts; a failure
#      would still give its reason, and the batch never aborts or leaves a
#      temporary file;
#   6. a row file that is an input of the batch (a scan named a.ntp beside
#      a.dat, or a row file that is a link to another input): the file
#      whose row file it is is refused, in either order, and the input is
#      never written;
#   7. --report after a file with findings and missing files: the count of
#      files with findings is exact with every -j.
#   edges.sh BINARY CASES_DIR SCRATCH
set -eu
. "$(dirname "$0")/common.sh"
batch_setup "$@"

sample five_line_example e/a.dat
sample wrap_32_bit e/b.dat
sample header_counts e/c.dat

# 1. Standard output is the row file of a.dat.
for jobs in 1 4; do
  label="row file on standard output, -j $jobs"
  rm -f e/*.ntp
  want_start
  want_file e/a.dat e/a.ntp five_line_example
  want_file e/b.dat e/b.ntp wrap_32_bit
  want_summary 2 2 0
  code=0
  "$binary" --batch -j "$jobs" e/a.dat e/b.dat >e/a.ntp 2>got.stderr </dev/null || code=$?
  [ "$code" -eq 0 ] || fail "$label: status $code"
  check_rows e/a.ntp five_line_example
  check_rows e/b.ntp wrap_32_bit
  compare_text "$label: standard error" want.stdout got.stderr
done

# 2. Symbolic links between row files.
for jobs in 1 4; do
  label="a.ntp a link to b.ntp, -j $jobs"
  rm -f e/*.ntp
  ln -s b.ntp e/a.ntp
  want_start
  want_file e/a.dat e/a.ntp five_line_example
  want_failure e/b.dat e/b.ntp \
    $'\nCould not open output file: e/b.ntp (also the row file of e/a.dat)\n' \
    "tarnovelix: e/b.ntp: also the row file of e/a.dat"
  want_summary 2 1 1
  run_batch "$label" 1 --batch -j "$jobs" e/a.dat e/b.dat
  [ -L e/a.ntp ] || fail "$label: the link was replaced"
  check_rows e/b.ntp five_line_example

  label="row files linked to /dev/null, -j $jobs"
  rm -f e/*.ntp
  ln -s /dev/null e/a.ntp
  ln -s /dev/null e/b.ntp
  want_start
  want_file e/a.dat e/a.ntp five_line_example
  want_file e/b.dat e/b.ntp wrap_32_bit
  want_summary 2 2 0
  run_batch "$label" 0 --batch -j "$jobs" e/a.dat e/b.dat
done
rm -f e/*.ntp

# 3. A row file that is a FIFO whose reader takes ten bytes and leaves. Its
# rows are more than a pipe holds, so the writes meet the closed pipe.
awk 'BEGIN {
  print "# many rows"; print "points 1 2 3"; print "events 4 5 6"; print "label"
  for (i = 0; i < 20000; i++) print i, i, i * 3, i * 7
}' >e/b.dat
"$binary" e/b.dat single.ntp >b.stdout
for jobs in 1 4; do
  label="b.ntp a FIFO whose reader leaves, -j $jobs"
  rm -f e/*.ntp
  mkfifo e/b.ntp
  head -c 10 e/b.ntp >/dev/null &
  want_start
  want_file e/a.dat e/a.ntp five_line_example
  printf '== e/b.dat -> e/b.ntp\n' >>want.stdout
  cat b.stdout >>want.stdout
  printf '\nCould not write output file: e/b.ntp\n' >>want.stdout
  printf 'tarnovelix: e/b.ntp: Broken pipe\n' >>want.stderr
  want_file e/c.dat e/c.ntp header_counts
  want_summary 3 2 1
  run_batch "$label" 1 --batch -j "$jobs" e/a.dat e/b.dat e/c.dat
  wait
  check_rows e/a.ntp five_line_example
  check_rows e/c.ntp header_counts
  check_no_temporaries e
done
rm -f e/*.ntp
sample wrap_32_bit e/b.dat

# 4. A text that does not end its line.
printf '# a\n# b\nsomething\0 cut\nlabel\n7 1 2\n' >e/cut.dat
for jobs in 1 4; do
  label="a text cut short, -j $jobs"
  want_start
  printf '== e/cut.dat -> e/cut.ntp\n\nsomething:omething\n' >>want.stdout
  want_file e/a.dat e/a.ntp five_line_example
  want_summary 2 2 0
  run_batch "$label" 0 --batch -j "$jobs" e/cut.dat e/a.dat
done
rm -f e/*.ntp

# 5. Memory that runs out with many jobs. Under a sanitizer or a launcher
# the limit would hit their own mappings first.
if grep -qE "__(asan|tsan)_init" "$binary"; then
  echo "memory limit: skipped under a sanitizer"
else
  mkdir m
  for i in $(seq -w 1 300); do cp "$cases/header_counts/input.dat" "m/f$i.dat"; done
  for round in 1 2 3; do
    label="300 files, -j 16, ulimit -v 300000, round $round"
    rm -f m/*.ntp
    code=0
    (
      ulimit -v 300000
      exec "$binary" --batch -j 16 m/f*.dat
    ) >got.stdout 2>got.stderr </dev/null || code=$?
    [ "$code" -eq 0 ] || fail "$label: status $code"
    # A file may give two reasons (its input and its row file).
    failed=$(sed -nE 's/^tarnovelix: m\/(f[0-9]+)\..*/\1/p' got.stderr | sort -u | wc -l)
    others=$(grep -vcE '^tarnovelix: m/f[0-9]+\.(dat|ntp): Cannot allocate memory$' got.stderr || true)
    [ "$others" -eq 0 ] || fail "$label: other lines on standard error: $(head -n 3 got.stderr)"
    grep -qx "== 300 files: $((300 - failed)) converted, $failed failed" got.stdout ||
      fail "$label: the summary does not count $failed failures: $(tail -n 1 got.stdout)"
    [ "$failed" -eq 0 ] || fail "$label: $failed files failed for memory"
    made=0
    for f in m/f*.ntp; do
      [ -e "$f" ] || continue
      made=$((made + 1))
      cmp -s "$cases/header_counts/expected.rows" "$f" || fail "$label: $f is not the rows"
    done
    [ "$made" -eq $((300 - failed)) ] || fail "$label: $made row files for $((300 - failed)) files converted"
    check_no_temporaries m
    echo "$label: status $code, $made converted, $failed failed for memory"
  done
fi

# 6. Row files that are inputs. e/c.ntp is a link to the input e/b.dat.
sample header_counts e/a.ntp
cp e/a.ntp a.ntp.before
ln -s b.dat e/c.ntp
# want_for NAME: what the batch shows for the input NAME.
want_for() {
  local refused=$'\nCould not open output file: %s (%s)\n'
  case $1 in
    e/a.ntp) want_failure "$1" e/a.ntp "$(printf "$refused" e/a.ntp 'same file as the input')"$'\n' \
      "tarnovelix: e/a.ntp: same file as the input" ;;
    e/b.dat) want_file e/b.dat e/b.ntp wrap_32_bit ;;
    *) want_failure "$1" "${1%.dat}.ntp" \
      "$(printf "$refused" "${1%.dat}.ntp" 'an input of this batch')"$'\n' \
      "tarnovelix: ${1%.dat}.ntp: an input of this batch" ;;
  esac
}
for jobs in 1 4; do
  for files in "e/a.dat e/a.ntp e/b.dat" "e/a.ntp e/b.dat e/a.dat" \
    "e/c.dat e/b.dat" "e/b.dat e/c.dat"; do
    label="row files that are inputs: $files, -j $jobs"
    rm -f e/b.ntp
    want_start
    for f in $files; do want_for "$f"; done
    count=$(wc -w <<<"$files")
    want_summary "$count" 1 $((count - 1))
    run_batch "$label" 1 --batch -j "$jobs" $files
    cmp -s a.ntp.before e/a.ntp || fail "$label: the input e/a.ntp was written"
    cmp -s "$cases/wrap_32_bit/input.dat" e/b.dat || fail "$label: the input e/b.dat was written"
    [ -L e/c.ntp ] || fail "$label: the link e/c.ntp was replaced"
    check_rows e/b.ntp wrap_32_bit
  done
done

# 7. --report counts the files with findings and no other, with any number
# of jobs: a missing file after one with findings has none.
printf '# x\npoints 1 2\nevents 3 4\ndropped\n1 2 nan\n' >e/x.dat
cp e/x.dat e/y.dat
for jobs in 1 2 4; do
  for _ in 1 2 3 4 5; do
    label="--report over files with findings and missing files, -j $jobs"
    "$binary" --batch --report -q -j "$jobs" e/x.dat e/no1.dat e/no2.dat e/y.dat e/no3.dat \
      e/no4.dat >/dev/null 2>got.stderr </dev/null || true
    [ "$(tail -n 1 got.stderr)" = "tarnovelix: 2 of 6 files had findings" ] ||
      fail "$label: $(tail -n 1 got.stderr)"
  done
done

[ $status -ne 0 ] || echo "batch edges: every promise held"
exit $status
