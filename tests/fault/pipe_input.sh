#!/bin/sh
# An input that is a stream: the converter reads /dev/stdin fed by a pipe,
# once in one go and once in pieces with pauses between them (so reads come
# back short), and must produce the same rows and console text as from the
# file itself, with status 0 and nothing on standard error.
#   pipe_input.sh BINARY INPUT SCRATCH [LAUNCHER]
# LAUNCHER, when given, is a program that runs the binary (memcheck.sh).
set -eu
input=$2
dir=$3
if [ $# -ge 4 ]; then
  launcher=$4
else
  launcher=
fi
binary=$1
convert() { $launcher "$binary" "$@"; }
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

convert "$input" file.ntp >file.out 2>file.err
cat "$input" | convert /dev/stdin pipe.ntp >pipe.out 2>pipe.err
{
  head -c 1000 "$input"
  sleep 0.2
  tail -c +1001 "$input" | head -c 3000
  sleep 0.2
  tail -c +4001 "$input"
} | convert /dev/stdin slow.ntp >slow.out 2>slow.err

status=0
for run in pipe slow; do
  cmp file.ntp $run.ntp || status=1
  cmp file.out $run.out || status=1
  if [ -s $run.err ]; then
    echo "$run: standard error not empty" >&2
    status=1
  fi
done
if [ ! -s file.ntp ]; then
  echo "no rows from $input" >&2
  status=1
fi
[ $status -eq 0 ] && echo "pipe input: $(wc -l <file.ntp) rows, as from the file"
exit $status
