#!/usr/bin/env bash
# Row files at the edges real scripts reach, with the real system:
#   - row file names of 243 to 255 bytes (the longest a file system takes),
#     made and then replaced: the hidden temporary name must not pass the
#     limit (a shortened form is used);
#   - an empty output name: refused before anything is converted;
#   - a writable row file of another user in a sticky folder (mode 1777):
#     replacing it by a rename would be refused, so it is written in place
#     (needs root, to run the program as another user);
#   - a row file on a read-only file system: the system's own reason,
#     "Read-only file system" (needs a user namespace to mount one);
#   - "- -" with standard input and output one terminal, or one socket:
#     converted, as interactive use and services started on a connection
#     need, where a regular file would be refused as the same file.
# A check that cannot run here says so and is counted as skipped.
#   output_edges.sh BINARY SCRATCH [LAUNCHER]
set -u
. "$(dirname "$0")/common.sh"
check_setup "$1" "$2" "${3:-}" \
  "these checks need the real program, not a launcher"

cat >a.dat <<'EOF'
# edges
points 0.5 1.0 1.5
events 10 20 30
label a b c
7 100 200 300
-12 5 6 7
EOF
"$binary" a.dat want.ntp >want.stdout 2>want.stderr || fail "the plain run failed"
[ -s want.ntp ] || fail "the plain run made no rows"

# 1. Long names: made, then replaced (a hidden name beside an existing file).
for length in 243 250 251 255; do
  name=$(printf 'r%.0s' $(seq 1 $((length - 4)))).ntp
  rm -f -- "$name"
  for round in made replaced; do
    code=0
    "$binary" a.dat "$name" >/dev/null 2>err.txt || code=$?
    [ "$code" -eq 0 ] || fail "name of $length bytes, $round: status $code: $(cat err.txt)"
    cmp -s want.ntp "$name" || fail "name of $length bytes, $round: rows differ"
  done
  left=$(find . -name '.*tnx-*' | head -n 1)
  [ -z "$left" ] || fail "name of $length bytes: temporary file left: $left"
done
# Names that differ only after the kept part still get distinct hidden names:
# two jobs replace both at once.
long=$(printf 'u%.0s' $(seq 1 240))
cp a.dat "${long}1.dat" && cp a.dat "${long}2.dat"
echo old >"${long}1.ntp" && echo old >"${long}2.ntp"
code=0
"$binary" --batch -q -j 2 "${long}1.dat" "${long}2.dat" >/dev/null 2>err.txt || code=$?
[ "$code" -eq 0 ] || fail "two long names in one batch: status $code: $(cat err.txt)"
for n in 1 2; do
  cmp -s want.ntp "${long}$n.ntp" || fail "two long names in one batch: rows of $n differ"
done
echo "long names: 243 to 255 bytes made and replaced"

# 2. An empty output name.
code=0
"$binary" a.dat "" >got.stdout 2>got.stderr || code=$?
[ "$code" -eq 1 ] || fail "empty output name: status $code, expected 1"
printf '\nCould not open output file: \n' | cmp -s - got.stdout ||
  fail "empty output name: standard output: $(cat got.stdout)"
printf 'tarnovelix: : No such file or directory\n' | cmp -s - got.stderr ||
  fail "empty output name: standard error: $(cat got.stderr)"
echo "empty output name: status $code"

# 3. Another user's writable row file in a sticky folder.
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "skipped: a sticky folder of another user needs root and setpriv"
else
  mkdir sticky && chmod 1777 sticky
  echo "rows of another user" >sticky/out.ntp
  chmod 666 sticky/out.ntp
  chmod 755 . && chmod 644 a.dat
  code=0
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$binary" a.dat sticky/out.ntp >/dev/null 2>err.txt || code=$?
  [ "$code" -eq 0 ] || fail "sticky folder: status $code: $(cat err.txt)"
  cmp -s want.ntp sticky/out.ntp || fail "sticky folder: rows differ"
  [ "$(stat -c %U sticky/out.ntp)" = root ] ||
    fail "sticky folder: the row file changed hands"
  left=$(find sticky -name '.*tnx-*' | head -n 1)
  [ -z "$left" ] || fail "sticky folder: temporary file left: $left"
  echo "sticky folder, another user's row file: status $code, written in place"
fi

# 4. A read-only file system: the system's reason, for a row file there and
# for a new one.
if ! unshare -rm true 2>/dev/null; then
  echo "skipped: no user namespace to mount a read-only file system in"
else
  mkdir ro
  code=0
  unshare -rm bash -c '
    mount -t tmpfs tmpfs ro && echo old >ro/out.ntp && mount -o remount,ro ro &&
    for out in ro/out.ntp ro/new.ntp; do
      "$1" a.dat "$out" >/dev/null 2>>ro.err
      echo "$out $?" >>codes.txt
    done
    cat ro/out.ntp >>codes.txt' _ "$binary" 2>setup.err || code=$?
  if [ "$code" -ne 0 ] || [ ! -f codes.txt ]; then
    echo "skipped: mounting a read-only file system failed: $(head -c 200 setup.err)"
  else
    printf 'ro/out.ntp 1\nro/new.ntp 1\nold\n' | cmp -s - codes.txt ||
      fail "read-only file system: statuses and content: $(cat codes.txt)"
    printf 'tarnovelix: ro/out.ntp: Read-only file system\ntarnovelix: ro/new.ntp: Read-only file system\n' |
      cmp -s - ro.err || fail "read-only file system: reasons: $(cat ro.err)"
    echo "read-only file system: $(tr '\n' ' ' <ro.err)"
  fi
fi

# 5. "- -" on one terminal, and on one socket (Python makes both).
if ! command -v python3 >/dev/null; then
  echo "skipped: - - on a terminal or a socket needs python3"
  exit $status
fi
python3 - "$binary" a.dat want.ntp <<'EOF' || fail "- - on a terminal or a socket"
import os, pty, socket, subprocess, sys, time

binary, scan, want = sys.argv[1], sys.argv[2], open(sys.argv[3], "rb").read()
text = open(scan, "rb").read()
ok = True

def check(what, code, got):
    global ok
    # A terminal shows CR LF for each line end, and echoes what was typed.
    rows = got.replace(b"\r\n", b"\n")
    if code != 0 or want not in rows:
        print(f"  {what}: status {code}, rows missing: {got[:300]!r}")
        ok = False
    else:
        print(f"{what}: status {code}, every row")

# One socket as standard input and output, as a service gets its connection.
mine, theirs = socket.socketpair()
proc = subprocess.Popen([binary, "-", "-"], stdin=theirs, stdout=theirs,
                        stderr=subprocess.DEVNULL)
theirs.close()
mine.sendall(text)
mine.shutdown(socket.SHUT_WR)
got = b""
while chunk := mine.recv(65536):
    got += chunk
check("- - on one socket", proc.wait(timeout=30), got)

# One terminal as standard input and output, as typed at a prompt.
master, slave = pty.openpty()
proc = subprocess.Popen([binary, "-", "-"], stdin=slave, stdout=slave,
                        stderr=subprocess.DEVNULL)
os.close(slave)
for line in text.splitlines(keepends=True):
    os.write(master, line)
os.write(master, b"\x04")  # end of input, at the start of a line
got = b""
deadline = time.time() + 30
while time.time() < deadline:
    try:
        chunk = os.read(master, 65536)
    except OSError:  # the terminal is gone once the program ends
        break
    if not chunk:
        break
    got += chunk
check("- - on one terminal", proc.wait(timeout=30), got)
sys.exit(0 if ok else 1)
EOF

exit $status
