#!/usr/bin/env bash
# Packed files in the Windows build, which has zlib alone: a scan packed
# with gzip converts as its text by name, from standard input and in a
# batch, and a row file named .gz (or asked for by -z gz) is written
# packed; a scan packed with bzip2, xz or zstd is refused with its reason,
# the old row file kept, and a row file named .bz2, .xz or .zst is refused
# before anything is written. Standard input is given through a pipe, as a
# Windows shell's redirection reaches the program under wine only so.
#   windows_packed.sh EXE CASES_DIR SCRATCH [LAUNCHER]
set -eu
. "$(dirname "$0")/common.sh"
launcher=${4:-}
batch_setup "$1" "$2" "$3"

sample five_line_example text.dat
sed 's/$/\r/' "$cases/five_line_example/expected.rows" >want.rows
sed 's/$/\r/' "$cases/five_line_example/expected.stdout" >want.stdout
gzip -n -c text.dat >run.dat.gz
bzip2 -c text.dat >run.dat.bz2
xz -c text.dat >run.dat.xz
zstd -q -c text.dat >run.dat.zst
unread='compressed in a format this build cannot read'
unwritten='row files are written packed as .gz only'

# convert WAY ARG...: runs the program on ARG... the way WAY says (args,
# or stdin:FILE through a pipe), its outputs in got.*, its status echoed.
convert() {
  local way=$1 code=0
  shift
  case $way in
    args) $launcher "$binary" "$@" </dev/null ;;
    stdin:*) cat "${way#stdin:}" | $launcher "$binary" "$@" ;;
  esac >got.stdout 2>got.stderr || code=$?
  echo "$code"
}

# Reading, one row per format and way in: the status, and the rows (ok) or
# the reason on standard error with the old row file kept (refused).
while read -r way input output want; do
  label="$way $input"
  printf 'old rows\n' >out.ntp
  rm -f run.ntp
  case $way in
    file) code=$(convert args "$input" out.ntp) ;;
    stdin) code=$(convert "stdin:$input" - out.ntp) ;;
    batch) code=$(convert args --batch -j 1 "$input") ;;
  esac
  if [ "$want" = ok ]; then
    [ "$code" -eq 0 ] || fail "$label: status $code, expected 0"
    cmp -s want.rows "$output" || fail "$label: $output is not the text's rows"
    [ "$way" = batch ] || compare_text "$label: standard output" want.stdout got.stdout
  else
    [ "$code" -eq 1 ] || fail "$label: status $code, expected 1"
    grep -qF "$unread" got.stderr || fail "$label: no reason: $(cat got.stderr)"
    [ "$(cat out.ntp)" = 'old rows' ] || fail "$label: the old row file was changed"
    [ ! -e run.ntp ] || fail "$label: a row file was written"
  fi
done <<'TABLE'
file  run.dat.gz  out.ntp ok
stdin run.dat.gz  out.ntp ok
batch run.dat.gz  run.ntp ok
file  run.dat.bz2 out.ntp refused
stdin run.dat.xz  out.ntp refused
file  run.dat.zst out.ntp refused
stdin run.dat.zst out.ntp refused
batch run.dat.zst run.ntp refused
batch run.dat.xz  run.ntp refused
TABLE

# Writing: a row file named .gz holds the rows packed; the other packed
# names are refused and nothing is written.
for output in out.ntp.gz out.ntp.zst out.ntp.bz2 out.ntp.xz; do
  rm -f "$output"
  code=$(convert args text.dat "$output")
  if [ "$output" = out.ntp.gz ]; then
    [ "$code" -eq 0 ] || fail "$output: status $code, expected 0"
    gzip -dc "$output" | cmp -s want.rows - || fail "$output: not the rows, packed"
  else
    [ "$code" -eq 1 ] || fail "$output: status $code, expected 1"
    grep -qF "$unwritten" got.stderr || fail "$output: no reason: $(cat got.stderr)"
    [ ! -e "$output" ] || fail "$output: written"
  fi
done

# A batch's -z: gz packs each row file, zst is refused as a usage error.
rm -f run.ntp.gz
code=$(convert args --batch -z gz run.dat.gz)
[ "$code" -eq 0 ] || fail "-z gz: status $code, expected 0"
gzip -dc run.ntp.gz 2>/dev/null | cmp -s want.rows - || fail "-z gz: run.ntp.gz is not the rows, packed"
code=$(convert args --batch -z zst run.dat.gz)
[ "$code" -eq 2 ] || fail "-z zst: status $code, expected 2"
grep -qF 'option -z needs a format: gz' got.stderr || fail "-z zst: no reason: $(cat got.stderr)"

[ $status -ne 0 ] || echo "packed files: gzip read and written; bzip2, xz, zstd refused with their reason"
exit $status
