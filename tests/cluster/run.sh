#!/usr/bin/env bash
# Runs each cluster check (parallel_ssh.sh, slurm.sh) and counts them.
#   run.sh BINARY SCRATCH
set -u
if [ "$(id -u)" -ne 0 ]; then
  echo "the cluster checks run the daemons as root: run them as root" >&2
  exit 1
fi
here=$(dirname "$0")
passed=0
failed=0
for check in parallel_ssh slurm; do
  echo "== $check"
  start=$SECONDS
  if bash "$here/$check.sh" "$1" "$2/$check"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "$check FAILED"
  fi
  echo "($((SECONDS - start)) s)"
done
echo "cluster checks: $passed passed, $failed failed"
[ $failed -eq 0 ]
