#!/usr/bin/env bash
# The way to hand a whole tree to batches, names with blanks and tabs
# included (a tab shows as \x09 in a heading):
#   find DIR -name '*.dat' -print0 | xargs -0 tarnovelix --batch -o OUT
# once as one batch and with -n 2, so that xargs runs three batches into
# the same folder, with and without -q. Every .dat file must be converted
# into OUT/NAME.ntp with its own rows, the text of each batch must be its
# files' texts (none with -q) in the order xargs gave them and its
# summary, nothing goes to standard error, other files are left alone, and
# xargs reports status 0.
#   xargs.sh BINARY CASES_DIR SCRATCH
set -eu
. "$(dirname "$0")/common.sh"
batch_setup "$@"

# Each input with a case of its own, so a mixed-up row file shows.
declare -A case_of=(
  ["scans/scan one.dat"]=five_line_example
  ["scans/ lead  two.dat"]=wrap_32_bit
  ["scans/sub dir/three.dat"]=header_counts
  [$'scans/sub dir/deeper/four\tfive.dat']=minus_one_values
  ["scans/sub dir/deeper/six.dat"]=no_header
)
for name in "${!case_of[@]}"; do sample "${case_of[$name]}" "$name"; done
echo "not a scan" >"scans/notes.txt"
out="out dir"

for run in "" "2" "2 -q"; do
  read -r per_batch quiet <<<"$run" || true
  label="xargs${per_batch:+ -n $per_batch}${quiet:+ (--batch $quiet)}"
  rm -rf "$out"
  # The order find gives, which xargs keeps.
  mapfile -d '' names < <(find scans -name '*.dat' -print0)
  [ ${#names[@]} -eq ${#case_of[@]} ] || fail "$label: find gave ${#names[@]} names"
  size=${per_batch:-${#names[@]}}
  want_start
  for i in "${!names[@]}"; do
    name=${names[$i]}
    stem=$(basename "$name" .dat)
    [ -n "$quiet" ] || want_file "$name" "$out/$stem.ntp" "${case_of[$name]}"
    left=$((${#names[@]} - i - 1))
    if [ $(((i + 1) % size)) -eq 0 ] || [ $left -eq 0 ]; then
      in_batch=$(((i % size) + 1))
      want_summary $in_batch $in_batch 0
    fi
  done
  code=0
  find scans -name '*.dat' -print0 |
    xargs -0 ${per_batch:+-n $per_batch} "$binary" --batch $quiet -o "$out" \
      >got.stdout 2>got.stderr || code=$?
  [ "$code" -eq 0 ] || fail "$label: status $code"
  compare_text "$label: standard output" want.stdout got.stdout
  compare_text "$label: standard error" want.stderr got.stderr
  for name in "${names[@]}"; do
    check_rows "$out/$(basename "$name" .dat).ntp" "${case_of[$name]}"
  done
  [ "$(find "$out" -type f | wc -l)" -eq ${#names[@]} ] ||
    fail "$label: $out holds other files: $(ls -A "$out")"
  [ "$(find scans -name '*.ntp' | wc -l)" -eq 0 ] || fail "$label: row files in scans/"
done

[ $status -ne 0 ] || echo "every file converted through xargs, one batch and three"
exit $status
