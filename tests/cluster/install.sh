#!/usr/bin/env bash
# Installs from Debian what the cluster checks run, when it is missing:
# GNU parallel, the ssh server (and with it the client), Slurm, munge,
# and ss. Their packages would start their services (sshd on port 22 of
# every address, munged, slurmctld, slurmd): a policy-rc.d refusing every
# start is in place while they install, the machine's own if it has one,
# else one made here and removed after.
set -euo pipefail
need=()
for pkg in parallel openssh-server slurm-wlm munge iproute2; do
  dpkg-query -W -f '${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' ||
    need+=("$pkg")
done
[ ${#need[@]} -gt 0 ] || exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "the cluster checks need ${need[*]}, which only root can install" >&2
  exit 1
fi
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# No service starts while the cluster checks install.\nexit 101\n' \
    >"$policy"
  chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
echo "installing ${need[*]}"
apt=(apt-get -o DPkg::Lock::Timeout=300 -qq)
"${apt[@]}" update
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends \
  "${need[@]}" >/dev/null
