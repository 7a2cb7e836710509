#!/usr/bin/env bash
# The README's GNU parallel line, run for real over ssh: a few hundred
# scans in nested folders (names with blanks, quotes and a line break, the
# same names in several folders, one scan missing), converted in batches
# of up to 200 on "node1,node2,node3". Every row file must be byte for
# byte the single run's, the missing scan named on standard error and
# counted on its batch's last line, parallel's status the number of
# batches that failed (1), and the line run again after the scan is
# mended must convert everything with status 0.
#
# The three nodes are one sshd on 127.0.0.1 at a free high port, started
# here with a host key and a user key made here: the ssh configuration
# file in the scratch folder names node1, node2 and node3, each with
# HostName 127.0.0.1, that port, that key and a known-hosts file holding
# that host key. GNU parallel is given "ssh -F that-file" through
# PARALLEL_SSH, so the README's line runs as written; its HOME and TMPDIR
# are in the scratch folder, where it keeps its cache. sshd runs in a
# mount namespace of its own with a private /run, where it finds the
# folder it requires (/run/sshd) without one being made on the machine;
# SetEnv gives each session a PATH holding tarnovelix, as on a machine
# where it is installed (the local PATH does not: the conversions must run
# on the nodes).
#   parallel_ssh.sh BINARY SCRATCH [README]
set -eu
. "$(dirname "$0")/common.sh"
cluster_setup "$@"

mkdir ssh logs home tmp
ssh-keygen -q -t ed25519 -N '' -C tnx-host -f ssh/host_key
ssh-keygen -q -t ed25519 -N '' -C tnx-user -f ssh/user_key
cp ssh/user_key.pub ssh/authorized_keys
port=$(free_port)
cat >ssh/sshd_config <<EOF
ListenAddress 127.0.0.1:$port
HostKey $scratch/ssh/host_key
PidFile $scratch/ssh/sshd.pid
AuthorizedKeysFile $scratch/ssh/authorized_keys
# The key files are in the scratch folder, not in a home folder, whose
# ownership sshd would check.
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
PermitRootLogin prohibit-password
PrintMotd no
PrintLastLog no
SetEnv "PATH=$scratch/bin:/usr/bin:/bin" "$marker"
EOF
cat >ssh/config <<EOF
Host node1 node2 node3
  HostName 127.0.0.1
  Port $port
  User $(id -un)
  IdentityFile $scratch/ssh/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $scratch/ssh/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  BatchMode yes
EOF
echo "[127.0.0.1]:$port $(cat ssh/host_key.pub)" >ssh/known_hosts

start_daemon sshd logs/sshd.log unshare --mount --propagation private \
  sh -c 'mount -t tmpfs -o mode=755,size=1m tnx-run /run &&
    mkdir /run/sshd && exec /usr/sbin/sshd -D -e -f "$1"' sh "$scratch/ssh/sshd_config"
until_true "sshd listening on port $port" 10 \
  '[ -n "$(ss -Htln "sport = :$port")" ]' || exit
check_loopback sshd "${daemon_pids[0]}"

root=$scratch/data/scans
make_scans "$root"
convert_singly "$scratch/refs"
line=$(recipe parallel)
line=$(fill_in "$line")
echo "$line" | sed 's/^/  /'

# run_line: the README's line, its outputs in got.stdout and got.stderr,
# its status in `code` (124 if it ran for more than 5 minutes).
run_line() {
  code=0
  (cd home && env "$marker" HOME="$scratch/home" TMPDIR="$scratch/tmp" \
    PARALLEL_SSH="ssh -F $scratch/ssh/config" timeout -k 10 300 bash -c "$line") \
    >got.stdout 2>got.stderr </dev/null || code=$?
}

label="parallel, one scan missing"
run_line
[ $code -eq 1 ] || fail "$label: status $code, expected 1 (one batch failed)"
printf 'tarnovelix: %s: No such file or directory\n' "$broken" >want.stderr
cmp -s want.stderr got.stderr ||
  fail "$label: standard error is not the missing scan's line:
$(diff -u --label expected --label got want.stderr got.stderr | head -n 20)"
n=${#scans[@]}
counted=$(count_summaries got.stdout)
[ "$counted" = "$n $((n - 1)) 1" ] ||
  fail "$label: the batches count '$counted' (files, converted, failed), expected '$n $((n - 1)) 1'"
grep -qxF "== $broken -> ${broken%.dat}.ntp" got.stdout ||
  fail "$label: standard output does not name the missing scan"
grep -qxF "Could not open input file: $broken" got.stdout ||
  fail "$label: standard output lacks the missing scan's message"
check_rows "$label" "$scratch/refs"
check_no_temporaries "$label" "$root"
# Every batch went through the ssh server: at least ceil(n / 200) sessions.
sessions=$(grep -c '^Accepted publickey' logs/sshd.log || true)
[ "$sessions" -ge $(((n + 199) / 200)) ] ||
  fail "$label: $sessions ssh sessions for $n scans in batches of up to 200"

label="parallel, run again after the scan is mended"
cp "${scans[1]}" "$(dirname "$broken")/missing.raw"
"$binary" "$broken" "$scratch/refs/$((n - 1)).ntp" >/dev/null
broken=
run_line
[ $code -eq 0 ] || fail "$label: status $code"
[ ! -s got.stderr ] || fail "$label: standard error: $(head -n 3 got.stderr)"
counted=$(count_summaries got.stdout)
[ "$counted" = "$n $n 0" ] || fail "$label: the batches count '$counted'"
check_rows "$label" "$scratch/refs"
check_no_temporaries "$label" "$root"

[ $status -ne 0 ] || echo "parallel over ssh: $n scans in $sessions sessions, rows as single runs give"
exit $status
