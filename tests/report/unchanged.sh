#!/usr/bin/env bash
# With --report the rows, standard output and the exit status are exactly
# as without it, on every end-to-end case's input and every input of the
# fuzzing corpus, in one batch of them all (the single runs are the
# end-to-end cases' e2e_report.*). The batch's standard error holds each
# file's report in the order of the files, as the single runs give it,
# then the count of files with findings.
#   unchanged.sh BINARY E2E_CASES CORPUS SCRATCH
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cases=$(cd "$2" && pwd)
corpus=$(cd "$3" && pwd)
scratch=$4
rm -rf "$scratch"
mkdir -p "$scratch/in" "$scratch/rows"
cd "$scratch" || exit 1
status=0
fail() {
  echo "  FAIL: $1" >&2
  status=1
}

n=0
files=()
for input in "$cases"/*/input.dat "$corpus"/*; do
  [ -f "$input" ] || continue
  n=$((n + 1))
  files+=("in/$(printf 'f%04d' $n).dat")
  cp "$input" "${files[-1]}"
done
[ $n -gt 500 ] || fail "only $n inputs found"

"$binary" --batch -j 2 "${files[@]}" >plain.stdout 2>plain.stderr
plain_status=$?
mv in/*.ntp rows/
"$binary" --batch --report -j 2 "${files[@]}" >report.stdout 2>report.stderr
report_status=$?
[ $plain_status -eq $report_status ] ||
  fail "batch: status $report_status with --report, $plain_status without"
cmp -s plain.stdout report.stdout || fail "batch: standard output differs"
[ -s plain.stderr ] && fail "batch: standard error without --report"
for f in "${files[@]}"; do
  row=${f%.dat}.ntp
  cmp -s "$row" "rows/${row#in/}" || fail "batch: rows of $f differ"
done

# The single runs' reports, file after file.
: >want.stderr
for f in "${files[@]}"; do
  "$binary" "$f" single.ntp --report >/dev/null 2>>want.stderr
done
# Every line names its file (and line) in the usual form; each file with
# findings ends with its summary.
grep -Evq '^tarnovelix: in/f[0-9]{4}\.dat(:[0-9]+)?: ' want.stderr &&
  fail "a report line of another form: $(grep -Ev '^tarnovelix: in/f[0-9]{4}\.dat(:[0-9]+)?: ' want.stderr | head -1)"
with_findings=$(grep -Ec '^tarnovelix: in/f[0-9]{4}\.dat: [0-9]+ findings? \(' want.stderr)
reported=$(grep -Eo '^tarnovelix: in/f[0-9]{4}\.dat' want.stderr | sort -u | wc -l)
[ "$with_findings" -eq "$reported" ] ||
  fail "$reported files reported, $with_findings summaries"
[ "$with_findings" -gt 100 ] && [ "$with_findings" -lt $n ] ||
  fail "$with_findings of $n inputs had findings: the corpus should show both"
printf 'tarnovelix: %d of %d files had findings\n' "$with_findings" $n >>want.stderr
cmp -s want.stderr report.stderr ||
  fail "batch: standard error is not the single runs' reports in order:
$(diff want.stderr report.stderr | head -20)"
exit $status
