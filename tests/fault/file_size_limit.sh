#!/usr/bin/env bash
# A row file that cannot grow past a size limit (ulimit -f, with SIGXFSZ
# ignored so that write() fails with EFBIG instead of killing the process):
# the real system's write error on a regular file, the kind of output whose
# rows a separate thread writes. The run must end with status 1 and the
# write message, and the row file must be exactly the start of the full rows:
# nothing lost before the limit, nothing written twice.
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
for kib in 64 1024 2000; do
  set +e
  (
    trap '' XFSZ
    ulimit -f "$kib"
    exec $launcher "$binary" in.dat cut.ntp
  ) >cut.out
  code=$?
  set -e
  size=$(wc -c <cut.ntp)
  echo "limit ${kib} KiB: status $code, $size bytes of $(wc -c <full.ntp)"
  if [ "$code" -ne 1 ]; then
    echo "  expected status 1" >&2
    status=1
  fi
  if ! grep -qx "Could not write output file: cut.ntp" cut.out; then
    echo "  the write message is missing" >&2
    status=1
  fi
  if [ "$size" -ne $((kib * 1024)) ] || ! cmp -s -n "$size" cut.ntp full.ntp; then
    echo "  the row file is not the first $((kib * 1024)) bytes of the rows" >&2
    status=1
  fi
done
exit $status
