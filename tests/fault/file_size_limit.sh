#!/usr/bin/env bash
# A row file that cannot grow past a size limit (ulimit -f, with SIGXFSZ
# ignored so that write() fails with EFBIG instead of killing the process):
# the real system's write error on a regular file, the kind of output whose
# rows a separate thread writes. The run must end with status 1, the write
# message and its reason, and leave the output as it was before the run:
# its earlier content, or no file at all, and no temporary file beside it.
#   file_size_limit.sh BINARY SCRATCH [LAUNCHER]
set -eu  # bash: its ulimit -f counts 1024-byte blocks
binary=$1
dir=$2
launcher=${3:-}
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

awk 'BEGIN {
  print "# size limit"
  print "points 0.5 1 1.5 2 2.5 3 3.5 4"
  print "events 1 2 3 4 5 6 7 8"
  print "label"
  for (i = 0; i < 60000; i++) print i - 30000, i, i * 3, i * 7, 5, i % 9, 17, i * 13, 99
}' >in.dat

$launcher "$binary" in.dat full.ntp >full.out
status=0
fail() {
  echo "  $1" >&2
  status=1
}
for kib in 64 1024 2000; do
  for before in "old rows" ""; do
    rm -f cut.ntp
    [ -n "$before" ] && echo "$before" >cut.ntp
    set +e
    (
      trap '' XFSZ
      ulimit -f "$kib"
      exec $launcher "$binary" in.dat cut.ntp
    ) >cut.out 2>cut.err
    code=$?
    set -e
    echo "limit ${kib} KiB, output ${before:-absent} before: status $code"
    [ "$code" -eq 1 ] || fail "expected status 1"
    grep -qx "Could not write output file: cut.ntp" cut.out ||
      fail "the write message is missing"
    [ -z "$launcher" ] && ! grep -qx "tarnovelix: cut.ntp: File too large" cut.err &&
      fail "the reason is missing: $(cat cut.err)"
    if [ -n "$before" ]; then
      [ "$(cat cut.ntp)" = "$before" ] || fail "the earlier row file changed"
    else
      [ ! -e cut.ntp ] || fail "a row file was left"
    fi
    leftover=$(find . -name '.cut.ntp*' | head -n 1)
    [ -z "$leftover" ] || fail "temporary file left: $leftover"
  done
done
exit $status
