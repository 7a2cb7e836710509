# shellcheck shell=bash
# Shared by the cluster checks (sourced, not run): the README's recipes
# read out of README.md, the daemons a check starts and stops, and the
# scans it converts, compared with single runs.
#   . common.sh; cluster_setup BINARY SCRATCH [README]
# What a check makes is under SCRATCH (the daemons' configuration and
# logs, the scans and their row files), but for the sockets and state of
# the daemons that want them in a place of their own (daemon_folder).
# Every daemon listens on 127.0.0.1 only and is stopped by its process id
# when the check ends, however it ends. Each process the check starts
# carries TNX_CLUSTER_RUN=SCRATCH in its environment (the daemons, and
# through them the jobs and ssh sessions they start), so that one left
# behind is found by that, reported and stopped. The caller ends with
# `exit $status`.

cluster_setup() {
  binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  readme=${3:-$here/../../README.md}
  [ -f "$readme" ] || { echo "no README at $readme" >&2; exit 1; }
  readme=$(cd "$(dirname "$readme")" && pwd)/$(basename "$readme")
  scratch=$2
  rm -rf "$scratch"
  mkdir -p "$scratch"
  scratch=$(cd "$scratch" && pwd)
  umask 022
  cd "$scratch" || exit
  marker="TNX_CLUSTER_RUN=$scratch"
  daemon_names=()
  daemon_pids=()
  helper_pids=()
  daemons=
  status=0
  trap cluster_cleanup EXIT
  # The folder the recipes' tarnovelix is found in, as if installed.
  mkdir bin
  ln -s "$binary" bin/tarnovelix
}

fail() {
  echo "  FAIL: $1" >&2
  status=1
}

# recipe NAME: the indented block that follows the line
# "<!-- cluster-test: NAME -->" in the README, without its indent; the
# check stops when there is none (call it alone in a command
# substitution, whose failure stops the check).
recipe() {
  local text
  text=$(awk -v marker="<!-- cluster-test: $1 -->" '
    $0 == marker { found = 1; next }
    found && /^$/ { if (started) held = held "\n"; next }
    found && /^    / { printf "%s%s\n", held, substr($0, 5); held = ""; started = 1; next }
    found && started { exit }
    found { exit 1 }
  ' "$readme") || true
  if [ -z "$text" ]; then
    echo "the README has no block after <!-- cluster-test: $1 -->" >&2
    exit 1
  fi
  printf '%s\n' "$text"
}

# fill_in TEXT: TEXT with the archive's folder /data/ replaced by
# SCRATCH/data/, quoted for the shell.
fill_in() {
  local quoted
  quoted=$(printf '%q' "$scratch/data")
  printf '%s\n' "${1//\/data\//"$quoted/"}"
}

# until_true WHAT SECONDS CONDITION: waits up to SECONDS for CONDITION.
until_true() {
  local tries=$(($2 * 10))
  while [ $tries -gt 0 ]; do
    eval "$3" && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  fail "$1 did not happen within $2 s"
  return 1
}

# daemon_folder: a new folder for the daemons' sockets and state, in
# `daemons`, under /run (or /tmp), mode 755; removed when the check ends,
# after its daemons. Not in the scratch folder, which lies wherever the
# checkout does: munged refuses a socket that not everyone may reach
# ("execute permissions for all required" on any folder above it, as on a
# home folder or a `mktemp -d` of mode 700), and a socket's path may not
# be longer than 107 bytes.
daemon_folder() {
  local base
  for base in /run /tmp; do
    # A base that everyone may search.
    [ -d "$base" ] && ((8#$(stat -c %a "$base") & 1)) || continue
    daemons=$(mktemp -d "$base/tnx-cluster.XXXXXX") && break
  done
  [ -n "$daemons" ] || { echo "no folder for the daemons under /run or /tmp" >&2; exit 1; }
  chmod 755 "$daemons"
}

# free_port: a TCP port nothing listens on, among the high ones.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    [ -n "$(ss -Htln "sport = :$port")" ] || break
  done
  echo "$port"
}

# start_daemon NAME LOG COMMAND...: COMMAND in the background, in the
# foreground mode of the daemon (no fork, so its process id is $!).
start_daemon() {
  local name=$1 log=$2
  shift 2
  env "$marker" "$@" >>"$log" 2>&1 </dev/null &
  daemon_names+=("$name")
  daemon_pids+=($!)
}

# check_loopback NAME PID: fails when the process listens on an address
# other than 127.0.0.1 (munged has only its socket file).
check_loopback() {
  local beyond
  beyond=$(ss -Htulnp | grep -F "pid=$2," | awk '$5 !~ /^127\.0\.0\.1:/ { print $5 }')
  [ -z "$beyond" ] || fail "$1 (pid $2) listens beyond the loopback address: $beyond"
}

# stop_pid PID: SIGTERM, then SIGKILL if it is still there after 15 s.
stop_pid() {
  kill "$1" 2>/dev/null || return 0
  local tries=150
  while kill -0 "$1" 2>/dev/null && [ $tries -gt 0 ]; do
    sleep 0.1
    tries=$((tries - 1))
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# marked_pids: the processes whose environment holds this check's marker.
marked_pids() {
  local dir
  for dir in /proc/[0-9]*; do
    grep -qzxF "$marker" "$dir/environ" 2>/dev/null && echo "${dir#/proc/}"
  done
  return 0
}

cluster_cleanup() {
  # A check that stops on an unexpected error has failed.
  local code=$? i pid left
  [ $code -eq 0 ] || status=1
  # The check's own hook first (the scheduler's jobs), then the helpers
  # (FIFO feeders), then the daemons, last started first stopped.
  if declare -F cleanup_hook >/dev/null; then cleanup_hook || true; fi
  for pid in "${helper_pids[@]}"; do stop_pid "$pid"; done
  for ((i = ${#daemon_pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${daemon_pids[$i]}"
  done
  left=$(marked_pids)
  if [ -n "$left" ]; then
    fail "left running: $(ps -o pid=,args= -p "$(echo $left | tr ' ' ,)")"
    for pid in $left; do kill -KILL "$pid" 2>/dev/null || true; done
  fi
  [ -z "$daemons" ] || rm -rf -- "$daemons"
  [ $status -eq 0 ] || show_logs
  exit $status
}

# show_logs: the end of each daemon's log, after a failure (without
# munged's notes, which Slurm's traffic fills).
show_logs() {
  local log
  for log in "$scratch"/logs/*; do
    [ -f "$log" ] || continue
    echo "--- $log" >&2
    grep -v '^munged: Info: ' "$log" | tail -n 15 >&2
  done
}

# make_scans ROOT: a few hundred scans under ROOT in nested folders, the
# same names in several folders, names with blanks, quotes, shell
# characters and a line break; and one missing: a symbolic link to
# nothing, as a scan is when deleted after it was listed or when its
# storage is gone. Sets `scans` (every name, the missing one last) and
# `broken` (the missing one). The data are drawn from a fixed seed: a few
# columns of reals and events numbers, labels and values of every size,
# some files with CR LF line ends and some of thousands of lines.
make_scans() {
  local root=$1 day run n name
  scans=()
  for day in 1 2 3 4 5; do
    for run in "run A" "run B" "run B/retake 2"; do
      for n in $(seq -w 1 28); do
        scans+=("$root/day 0$day/$run/scan $n.dat")
      done
    done
  done
  for name in "it's \$HOME" 'semi;colon "q"' 'back\slash' 'star*' \
    ' leading blank' $'tab\there' $'line\nbreak' '-dash' 'mesure_été' \
    'a.b.c' 'x -> y' '%s %n' '{}'; do
    scans+=("$root/odd names/$name.dat")
  done
  mkdir -p "${scans[@]%/*}"
  printf '%s\0' "${scans[@]}" | awk -v RS='\0' '
    function r(n) { return int(rand() * n) }
    function put(text) { printf "%s%s", text, eol > name }
    {
      name = $0
      srand(NR)
      cols = 1 + r(12)
      lines = NR % 40 == 0 ? 3000 : r(60)
      eol = NR % 7 == 0 ? "\r\n" : "\n"
      put("# scan " NR)
      s = "points"; for (c = 0; c < cols; c++) s = s " " (r(16001) - 8000) / 8
      put(s)
      s = "events"; for (c = 0; c < cols; c++) s = s " " r(100000)
      put(s)
      put("label")
      for (l = 0; l < lines; l++) {
        s = sprintf("%.0f", r(4294967296) - 2147483648)
        for (c = 0; c < cols; c++) s = s " " sprintf("%.0f", r(4294967296))
        put(s)
      }
      close(name)
    }'
  broken="$root/day 03/run B/broken scan.dat"
  ln -s missing.raw "$broken"
  scans+=("$broken")
}

# convert_singly REFS: each scan's rows from a single run, into REFS/N.ntp
# for scans[N] (none for the missing one); two runs at a time.
convert_singly() {
  local i
  mkdir -p "$1"
  for i in "${!scans[@]}"; do
    [ "${scans[$i]}" = "$broken" ] || printf '%s\0%s\0' "${scans[$i]}" "$1/$i.ntp"
  done | xargs -0 -n 2 -P 2 "$binary" >/dev/null || fail "a single run failed"
}

# fingerprints FILE...: a checksum of each FILE, a line each, in order.
fingerprints() {
  [ $# -gt 0 ] || return 0
  printf '%s\0' "$@" | xargs -0 sha256sum | sed 's/^\\//' | cut -c 1-64
}

# check_rows LABEL REFS: every scan but the missing one has its row file
# beside it, byte for byte the single run's; the missing one has none.
check_rows() {
  local i rows=() refs=() got want wrong=()
  for i in "${!scans[@]}"; do
    if [ "${scans[$i]}" = "$broken" ]; then
      [ ! -e "${broken%.dat}.ntp" ] || fail "$1: the missing scan has a row file"
    elif [ ! -f "${scans[$i]%.dat}.ntp" ]; then
      wrong+=("${scans[$i]%.dat}.ntp (none)")
    else
      rows+=("${scans[$i]%.dat}.ntp")
      refs+=("$2/$i.ntp")
    fi
  done
  mapfile -t got < <(fingerprints "${rows[@]}")
  mapfile -t want < <(fingerprints "${refs[@]}")
  for i in "${!want[@]}"; do
    [ "${got[$i]:-}" = "${want[$i]}" ] || wrong+=("${rows[$i]}")
  done
  [ ${#wrong[@]} -eq 0 ] ||
    fail "$1: ${#wrong[@]} row files are not the single run's rows: ${wrong[*]:0:3}"
}

# check_no_temporaries LABEL DIR: no hidden temporary row file in DIR.
check_no_temporaries() {
  local left
  left=$(find "$2" -name '.*.tnx-*' | head -n 3)
  [ -z "$left" ] || fail "$1: temporary files left: $left"
}

# count_summaries TEXT_FILE: "FILES CONVERTED FAILED", summed over the
# batches' last lines in TEXT_FILE.
count_summaries() {
  sed -n 's/^== \([0-9]*\) files: \([0-9]*\) converted, \([0-9]*\) failed$/\1 \2 \3/p' "$1" |
    awk '{ f += $1; c += $2; x += $3 } END { print f + 0, c + 0, x + 0 }'
}
