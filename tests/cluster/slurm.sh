#!/usr/bin/env bash
# The README's Slurm job array, run for real on a single-node Slurm
# started here (slurmctld, slurmd and munged, all on 127.0.0.1; their
# sockets, keys and state in a folder of their own under /run, see
# daemon_folder, their configuration and logs in the scratch folder).
# Three runs of the README's job script, with the README's list of files
# made the README's way:
# - a few hundred scans in nested folders (names with blanks, quotes and a
#   line break, the same names in several folders), one of them missing:
#   every row file byte for byte the single run's; the task holding the
#   missing scan ends FAILED, naming it and counting it in its output,
#   and `sbatch --wait` gives its exit code; every other task COMPLETED;
# - that task submitted again alone after the scan is mended: it
#   completes, the mended scan is converted, and no row file of another
#   task is touched (same inode, same time);
# - a list of fewer files than tasks, two of them FIFOs that deliver part
#   of a scan and then wait, one with a row file of an earlier run: the
#   tasks with no file complete, and `scancel` of the running tasks of
#   the FIFOs (SIGTERM to every process of the task) leaves no temporary
#   file, no row file for the new one and the earlier row file as it was.
# The node declares 128 processors and 4 GiB, more than the machine has
# (config_overrides), so that the sixteen tasks of 8 processors and
# 256 MiB run at once, as on a cluster; accounting is off, so each task's
# state and exit code are read from `scontrol show job`.
#   slurm.sh BINARY SCRATCH [README]
set -eu
. "$(dirname "$0")/common.sh"
cluster_setup "$@"

daemon_folder
mkdir logs slurm "$daemons/munge" "$daemons/state" "$daemons/spool"
mungekey --create --keyfile="$daemons/munge/munge.key"
start_daemon munged logs/munged.log munged --foreground \
  --key-file="$daemons/munge/munge.key" --socket="$daemons/munge/socket" \
  --pid-file="$daemons/munge/munged.pid" --seed-file="$daemons/munge/seed" \
  --log-file="$scratch/logs/munged.log"
until_true "munged's socket" 10 '[ -S "$daemons/munge/socket" ]' || exit

ctld_port=$(free_port)
slurmd_port=$(free_port)
while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done
export SLURM_CONF=$scratch/slurm/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=tnxtest
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$daemons/munge/socket
# Each daemon listens on its host's address (127.0.0.1), not on every
# address of the machine.
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
StateSaveLocation=$daemons/state
SlurmdSpoolDir=$daemons/spool
SlurmctldPidFile=$daemons/slurmctld.pid
SlurmdPidFile=$daemons/slurmd.pid
SlurmctldLogFile=$scratch/logs/slurmctld.log
SlurmdLogFile=$scratch/logs/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU_Memory
SlurmdParameters=config_overrides
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MailProg=/bin/true
ReturnToService=2
NodeName=node1 NodeAddr=127.0.0.1 CPUs=128 RealMemory=4096 State=UNKNOWN
PartitionName=main Nodes=node1 Default=YES MaxTime=INFINITE State=UP
EOF
start_daemon slurmctld logs/slurmctld.out slurmctld -D -f "$SLURM_CONF"
until_true "slurmctld answering" 20 'scontrol ping 2>/dev/null | grep -q UP' || exit
start_daemon slurmd logs/slurmd.out slurmd -D -N node1 -f "$SLURM_CONF"
until_true "node1 idle" 30 \
  '[ "$(sinfo -h -n node1 -o %T 2>/dev/null)" = idle ]' || exit
for i in "${!daemon_pids[@]}"; do
  check_loopback "${daemon_names[$i]}" "${daemon_pids[$i]}"
done

# The scheduler's jobs end before the daemons stop, however the check ends.
cleanup_hook() {
  local jobs
  jobs=$(squeue -h -o %i 2>/dev/null)
  [ -n "$jobs" ] || return 0
  scancel $jobs 2>/dev/null || true
  until_true "the jobs' end" 60 '[ -z "$(squeue -h 2>/dev/null)" ]'
}

# submit ARG...: sbatch ARG... rows.sh from the current folder, tarnovelix
# on the PATH, the check's marker in the jobs' environment; the job's id
# in `job`, sbatch's status in `code` (124 if it waited for more than 5
# minutes).
submit() {
  code=0
  job=$(env "$marker" PATH="$scratch/bin:$PATH" timeout 300 \
    sbatch --parsable "$@" rows.sh) || code=$?
  job=${job%%;*}
}

# task_states JOB: "TASK STATE EXIT_CODE", a line for each task.
task_states() {
  scontrol -o show job "$1" |
    sed -n 's/.* ArrayTaskId=\([0-9]*\) .* JobState=\([A-Z_]*\) .* ExitCode=\([0-9:]*\) .*/\1 \2 \3/p' |
    sort -n
}

# list_tasks: the task of each listed file in `task_of`, as the job
# script shares out files.list among 16 tasks.
list_tasks() {
  local listed i
  mapfile -d '' listed <files.list
  task_of=()
  for i in "${!listed[@]}"; do task_of[${listed[$i]}]=$((i % 16)); done
  [ ${#listed[@]} -eq ${#task_of[@]} ] || fail "$label: files.list names a file twice"
}
declare -A task_of

# --- The archive, one scan missing.
root=$scratch/data/scans
make_scans "$root"
convert_singly "$scratch/refs"
n=${#scans[@]}
mkdir submit
cd submit
raw_list=$(recipe slurm-list)
list=$(fill_in "$raw_list")
script=$(recipe slurm-job)
script=$(fill_in "$script")
printf '%s\n' "$list" "" "$script" | sed 's/^./  &/'
bash -c "$list"
printf '%s\n' "$script" >rows.sh

label="job array, one scan missing"
list_tasks
[ ${#task_of[@]} -eq $n ] || fail "$label: files.list names ${#task_of[@]} files of $n"
bad_task=${task_of[$broken]}
submit --wait
[ $code -eq 123 ] || fail "$label: sbatch --wait gave $code, expected 123"
want=$(for t in $(seq 0 15); do
  if [ "$t" = "$bad_task" ]; then echo "$t FAILED 123:0"; else echo "$t COMPLETED 0:0"; fi
done)
got=$(task_states "$job")
[ "$got" = "$want" ] || fail "$label: the tasks' states:
$(diff <(echo "$want") <(echo "$got") | head -n 10)"
out="slurm-${job}_$bad_task.out"
grep -qxF "tarnovelix: $broken: No such file or directory" "$out" ||
  fail "$label: $out does not name the missing scan"
grep -qxF "== $broken -> ${broken%.dat}.ntp" "$out" ||
  fail "$label: $out does not show the missing scan's batch entry"
share=$(grep -c "^$bad_task\$" < <(printf '%s\n' "${task_of[@]}"))
counted=$(count_summaries "$out")
[ "$counted" = "$share $((share - 1)) 1" ] ||
  fail "$label: $out counts '$counted', expected '$share $((share - 1)) 1'"
counted=$(cat slurm-"$job"_*.out | count_summaries /dev/stdin)
[ "$counted" = "$n $((n - 1)) 1" ] ||
  fail "$label: the tasks count '$counted' in all, expected '$n $((n - 1)) 1'"
check_rows "$label" "$scratch/refs"
check_no_temporaries "$label" "$root"

# --- The failed task again, alone, after the scan is mended.
label="the failed task submitted again"
cp "${scans[1]}" "$(dirname "$broken")/missing.raw"
"$binary" "$broken" "$scratch/refs/$((n - 1)).ntp" >/dev/null
# The row files of the other tasks, and their inodes and times.
others=()
for name in "${scans[@]}"; do
  [ "${task_of[$name]:-}" = "$bad_task" ] || others+=("${name%.dat}.ntp")
done
before=$(printf '%s\0' "${others[@]}" | xargs -0 stat -c '%i %.9Y' 2>&1) || true
broken=
submit --wait --array="$bad_task"
[ $code -eq 0 ] || fail "$label: sbatch --wait gave $code"
got=$(task_states "$job")
[ "$got" = "$bad_task COMPLETED 0:0" ] || fail "$label: its state: $got"
counted=$(count_summaries "slurm-${job}_$bad_task.out")
[ "$counted" = "$share $share 0" ] || fail "$label: it counts '$counted'"
check_rows "$label" "$scratch/refs"
check_no_temporaries "$label" "$root"
after=$(printf '%s\0' "${others[@]}" | xargs -0 stat -c '%i %.9Y' 2>&1) || true
[ "$after" = "$before" ] || fail "$label: row files of other tasks were touched:
$(diff <(echo "$before") <(echo "$after") | head -n 6)"

# --- Cancelled while two FIFOs hold their tasks; fewer files than tasks.
label="tasks cancelled"
held=$scratch/data/held
mkdir -p "$held"
for i in 0 1 2 3 4 5 6 7; do cp "${scans[$i]}" "$held/scan $i.dat"; done
{
  head -n 4 "${scans[0]}"
  awk 'BEGIN { for (i = 0; i < 3000; i++) print i, i * 7, i * 11, 4294967295 }'
} >held.part
mkfifo "$held/slow one.dat" "$held/slow two.dat"
echo "rows of an earlier run" >"$held/slow two.ntp"
# Each feeder gives its FIFO the part of a scan and keeps it open, as a
# file on a stalled mount would.
for fifo in "$held/slow one.dat" "$held/slow two.dat"; do
  env "$marker" tail -c +1 -f held.part >"$fifo" &
  helper_pids+=($!)
done
mkdir "$scratch/submit held"
cd "$scratch/submit held"
bash -c "$(fill_in "${raw_list//\/data\/scans/\/data\/held}")"
printf '%s\n' "$script" >rows.sh
list_tasks
[ ${#task_of[@]} -eq 10 ] || fail "$label: files.list names ${#task_of[@]} files of 10"
slow_tasks=$(printf '%s\n' "${task_of["$held/slow one.dat"]}" \
  "${task_of["$held/slow two.dat"]}" | sort -u)
submit
[ $code -eq 0 ] || fail "$label: sbatch gave $code"
# held_temporaries: the temporary row files open in the runs that read a
# FIFO: named .NAME.tnx-PID-N beside a row file that exists, unnamed (a
# link "/folder/#inode (deleted)") for a new one.
held_temporaries() {
  local pid links
  for pid in $(marked_pids); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = tarnovelix ] || continue
    links=$(for fd in /proc/"$pid"/fd/*; do readlink "$fd"; done 2>/dev/null)
    grep -qF "$held/slow " <<<"$links" || continue
    printf '%s\n' "${links//"$held/"/}"
  done | grep -cE '^(\.slow two\.ntp\.tnx-|#[0-9]+ \(deleted\)$)'
}
until_true "$label: the FIFOs' temporary row files" 30 \
  '[ "$(held_temporaries)" -eq 2 ]'
# others_ended: every task without a FIFO has ended, well or not.
others_ended() {
  task_states "$job" | grep -vE "^($(echo $slow_tasks | tr ' ' '|')) " |
    grep -cE ' (PENDING|CONFIGURING|RUNNING|COMPLETING) ' | grep -qx 0
}
until_true "$label: the end of the tasks without a FIFO" 30 others_ended
for t in $slow_tasks; do scancel "${job}_$t"; done
until_true "$label: the end of the cancelled tasks" 60 \
  '[ -z "$(squeue -h -j "$job")" ]'
want=$(for t in $(seq 0 15); do
  if grep -qx "$t" <<<"$slow_tasks"; then echo "$t CANCELLED"; else echo "$t COMPLETED 0:0"; fi
done)
got=$(task_states "$job" | sed 's/\(CANCELLED\) .*/\1/')
[ "$got" = "$want" ] || fail "$label: the tasks' states:
$(diff <(echo "$want") <(echo "$got") | head -n 10)"
check_no_temporaries "$label" "$held"
[ ! -e "$held/slow one.ntp" ] || fail "$label: a row file for the new FIFO"
[ "$(cat "$held/slow two.ntp")" = "rows of an earlier run" ] ||
  fail "$label: the earlier row file of the FIFO changed"
for i in 0 1 2 3 4 5 6 7; do
  cmp -s "$scratch/refs/$i.ntp" "$held/scan $i.ntp" ||
    fail "$label: $held/scan $i.ntp is not the single run's rows"
done

[ $status -ne 0 ] || echo "slurm: $n scans in 16 tasks, one task again, two cancelled: rows as single runs give"
exit $status
