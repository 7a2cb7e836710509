#!/usr/bin/env bash
# Packed scans: a file packed with gzip, bzip2, xz or zstd converts as the
# text it holds, in a single run (by name and from standard input) and in a
# batch, whatever its name says: the same status, console text, reasons,
# --report findings and rows as its text under the same name. One table
# runs every format over every way in and every shape of packed file:
#   whole      the text packed
#   members    the text in two members or frames, one after the other
#   empty      an empty text packed
#   truncated  the packed file cut short
#   corrupted  bytes in its middle changed
# The damaged ones fail as a read does: status 1, the decoder's reason on
# standard error, and the row file that was there left as it was. A sample
# of the fuzzing corpus runs packed in each format too. Last, a
# small packed file holding a line of 300 MB keeps the peak resident memory
# (PEAK_RSS) within 8 MiB, unless NO_LIMIT gives a reason not to measure.
#   compressed.sh BINARY CASES_DIR SCRATCH PEAK_RSS [NO_LIMIT]
set -eu
peak_rss=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
no_limit=${5:-}
. "$(dirname "$0")/common.sh"
batch_setup "$1" "$2" "$3"

formats="gzip bzip2 xz zstd"
suffix() { case $1 in gzip) echo gz ;; bzip2) echo bz2 ;; xz) echo xz ;; zstd) echo zst ;; esac; }
pack() { case $1 in zstd) zstd -q -c ;; *) "$1" -c ;; esac; }

# The texts: the bundled example, a scan whose header lines are longer
# than one read (read again by offset when it can be), and one whose
# --report has findings.
mkdir texts
cp "$cases/../../../examples/scan.dat" texts/example.dat
cp "$cases/long_header_lines/input.dat" texts/long_header.dat
cp "$cases/header_counts/input.dat" texts/report.dat
printf '' >texts/nothing.dat

# packed FORMAT SHAPE TEXT: the packed file of that shape on stdout.
packed() {
  local n
  case $2 in
    whole) pack "$1" <"$3" ;;
    members)
      n=$(($(wc -c <"$3") / 2))
      head -c "$n" "$3" | pack "$1"
      tail -c +$((n + 1)) "$3" | pack "$1"
      ;;
    empty) pack "$1" </dev/null ;;
    truncated)
      pack "$1" <"$3" >cut.tmp
      head -c $(($(wc -c <cut.tmp) - 9)) cut.tmp
      ;;
    corrupted)
      pack "$1" <"$3" >cut.tmp
      n=$(($(wc -c <cut.tmp) / 2))
      head -c "$n" cut.tmp
      printf 'XXXXXXXXXXXXXXXX'
      tail -c +$((n + 17)) cut.tmp
      ;;
  esac
}

# run_in DIR MODE NAME: converts DIR/NAME in the way MODE says, from DIR,
# into out.ntp (made beforehand with old rows); what it printed, its status
# and its row file stay in DIR.
run_in() {
  local code=0
  printf 'old rows\n' >"$1/out.ntp"
  case $2 in
    file) (cd "$1" && "$binary" "$3" out.ntp --report) ;;
    stdin) (cd "$1" && "$binary" - out.ntp --report <"$3") ;;
    batch) (cd "$1" && "$binary" --batch -j 1 --report -o made -- "$3") ;;
  esac >"$1/stdout" 2>"$1/stderr" </dev/null || code=$?
  echo "$code" >"$1/status"
}

# same LABEL A B: the two runs printed, ended and wrote alike.
same() {
  local f
  for f in stdout stderr status out.ntp; do
    cmp -s "$2/$f" "$3/$f" || fail "$1: $f differs:
$(diff -u --text "$2/$f" "$3/$f" | head -n 12)"
  done
  if [ -d "$2/made" ] || [ -d "$3/made" ]; then
    diff -r "$2/made" "$3/made" >/dev/null || fail "$1: row files of the batch differ"
  fi
}

# damaged LABEL DIR NAME MODE: the run failed as a read does.
damaged() {
  [ "$(cat "$2/status")" = 1 ] || fail "$1: status $(cat "$2/status"), expected 1"
  grep -q "^tarnovelix: $3: ." "$2/stderr" || [ "$4" = stdin ] ||
    fail "$1: no reason for $3 on standard error: $(cat "$2/stderr")"
  [ "$4" = batch ] || grep -q "Could not read input file" "$2/stdout" ||
    fail "$1: no read failure told: $(cat "$2/stdout")"
  [ "$(cat "$2/out.ntp")" = "old rows" ] || fail "$1: the old row file was replaced"
  [ ! -d "$2/made" ] || [ -z "$(ls -A "$2/made")" ] ||
    fail "$1: the batch left a row file: $(ls -A "$2/made")"
}

cases_run=0
for format in $formats; do
  command -v "$format" >/dev/null || { echo "no $format here: skipped"; continue; }
  ext=$(suffix "$format")
  for text in example long_header report nothing; do
    for shape in whole members empty truncated corrupted; do
      # Every shape of the example; the other texts whole.
      [ "$text" = example ] || [ "$shape" = whole ] || continue
      # A name that says the packing, and, for a whole or cut file, one
      # that does not.
      names="s.dat.$ext"
      [ "$shape" != whole ] && [ "$shape" != truncated ] || names="$names x.dat"
      for name in $names; do
        for mode in file stdin batch; do
          label="$format $shape $text as $name by $mode"
          rm -rf ref got && mkdir ref got
          packed "$format" "$shape" "texts/$text.dat" >"got/$name"
          if [ "$shape" = empty ]; then : >"ref/$name"; else cp "texts/$text.dat" "ref/$name"; fi
          run_in ref "$mode" "$name"
          run_in got "$mode" "$name"
          case $shape in
            truncated | corrupted) damaged "$label" got "$name" "$mode" ;;
            *) same "$label" ref got ;;
          esac
          cases_run=$((cases_run + 1))
        done
      done
    done
  done
done

# A sample of the fuzzing corpus of the conversion (every 100th of its
# stored scans, odd bytes and all), packed whole in each format, converts as
# its text does: by name for one, from standard input for the next. A
# stored scan that itself starts with a signature is left out, since its
# plain run would decode it.
corpus=$cases/../../../fuzz/corpus/run
n=0
for seed in $(ls "$corpus" | awk 'NR % 100 == 1'); do
  sig=$(head -c 4 "$corpus/$seed" | od -An -tx1 | tr -d ' \n')
  case $sig in 1f8b* | 425a68* | fd377a58* | 28b52ffd*) continue ;; esac
  for format in $formats; do
    command -v "$format" >/dev/null || continue
    mode=$([ $((n % 2)) = 0 ] && echo file || echo stdin)
    n=$((n + 1))
    rm -rf ref got && mkdir ref got
    cp "$corpus/$seed" ref/c.dat
    pack "$format" <"$corpus/$seed" >got/c.dat
    run_in ref "$mode" c.dat
    run_in got "$mode" c.dat
    same "corpus $seed in $format by $mode" ref got
    cases_run=$((cases_run + 1))
  done
done
[ "$n" -ge 20 ] || fail "only $n packed scans of the corpus"

# A text that starts like a bzip2 header, and a text named as packed,
# convert as text.
for start in BZh BZh9 'BZh91AY'; do
  label="text starting $start"
  rm -rf got && mkdir got
  { printf '%s\n' "$start"; cat texts/example.dat; } >got/y.dat.gz
  run_in got file y.dat.gz
  [ "$(cat got/status)" = 0 ] && ! grep -q "Could not read" got/stdout &&
    [ "$(cat got/out.ntp)" != "old rows" ] ||
    fail "$label: not converted as text: status $(cat got/status), $(head -n 2 got/stderr)"
  cases_run=$((cases_run + 1))
done

# Row files named as packed: .gz and .zst are written packed (their text the
# plain rows, the run's text the same), also from a packed input; .bz2 and
# .xz are refused, and a failed read leaves the old packed row file.
rm -rf ref && mkdir ref
cp texts/example.dat ref/s.dat
run_in ref file s.dat
gzip -c texts/example.dat >packed.gz
for out in gz zst bz2 xz; do
  for input in texts/example.dat packed.gz; do
    label="row file .$out from $input"
    printf 'old rows\n' >"rows.$out"
    code=0
    "$binary" "$input" "rows.$out" >got.stdout 2>got.stderr || code=$?
    case $out in
      gz | zst)
        [ "$code" = 0 ] || fail "$label: status $code"
        cmp -s got.stdout ref/stdout || fail "$label: console text differs"
        unpacked=$(case $out in gz) gzip -dc "rows.$out" ;; zst) zstd -dc "rows.$out" ;; esac | cksum)
        [ "$unpacked" = "$(cksum <ref/out.ntp)" ] || fail "$label: unpacked rows differ"
        ;;
      *)
        [ "$code" = 1 ] || fail "$label: status $code, expected 1"
        grep -q "^tarnovelix: rows.$out: row files are written packed as" got.stderr ||
          fail "$label: no reason: $(cat got.stderr)"
        [ "$(cat "rows.$out")" = "old rows" ] || fail "$label: the old row file was replaced"
        ;;
    esac
    cases_run=$((cases_run + 1))
  done
done
head -c 2000 packed.gz >cut.gz
printf 'old rows\n' >rows.zst
"$binary" cut.gz rows.zst >/dev/null 2>got.stderr && fail "cut.gz into rows.zst: status 0"
[ "$(cat rows.zst)" = "old rows" ] || fail "cut.gz into rows.zst: the old row file was replaced"

# A batch: run.dat and run.dat.gz name one row file, run.ntp, the later
# refused; -z gz and -z zst write the row files packed; -z xz is refused.
rm -rf b && mkdir b
cp texts/example.dat b/run.dat
gzip -c texts/example.dat >b/run.dat.gz
code=0
(cd b && "$binary" --batch -j 1 run.dat run.dat.gz) >b.out 2>b.err || code=$?
[ "$code" = 1 ] && grep -q '^== run.dat.gz -> run.ntp$' b.out &&
  grep -q '^Could not open output file: run.ntp' b.out ||
  fail "batch of run.dat and run.dat.gz: status $code, $(cat b.out b.err | head -n 5)"
cmp -s b/run.ntp ref/out.ntp || fail "batch of run.dat and run.dat.gz: rows differ"
for z in gz zst; do
  code=0
  (cd b && "$binary" --batch -j 1 -q --compress "$z" run.dat.gz) >b.out 2>&1 || code=$?
  unpacked=$(case $z in gz) gzip -dc b/run.ntp.gz ;; zst) zstd -dc b/run.ntp.zst ;; esac | cksum)
  [ "$code" = 0 ] && [ "$unpacked" = "$(cksum <ref/out.ntp)" ] ||
    fail "batch -z $z: status $code, rows unpacked $unpacked"
  cases_run=$((cases_run + 1))
done
code=0
(cd b && "$binary" --batch -z xz run.dat) >b.out 2>&1 || code=$?
[ "$code" = 2 ] || fail "batch -z xz: status $code, expected 2"

# A packed file whose one data line is 300 MB long.
if [ -z "$no_limit" ] && command -v zstd >/dev/null; then
  { head -n 4 texts/example.dat; tr '\0' 1 </dev/zero | head -c 300000000; echo; } |
    zstd -q -3 >bomb.zst
  code=0
  "$peak_rss" rss.txt "$binary" bomb.zst /dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "bomb: status $code"
  [ "$(cat rss.txt)" -le 8192 ] ||
    fail "bomb: peak resident memory $(cat rss.txt) KiB, more than 8192 KiB"
  echo "bomb: peak resident memory $(cat rss.txt) KiB"
fi

[ "$cases_run" -gt 100 ] || fail "only $cases_run cases ran"
echo "$cases_run cases"
exit $status
