#!/usr/bin/env bash
# The README's GNU parallel and Slurm recipes run for real (make
# cluster-test) with the program `make test` built: installs parallel,
# openssh-server, slurm-wlm and munge when missing, runs each recipe
# against daemons on 127.0.0.1 (their sockets and state under /run, so
# the checkout may be in a private folder) and stops them. About 75 s on
# a machine without the packages (25 s of it installing them), 50 s with
# them.
set -euo pipefail
make cluster-test CLUSTER_PROGRAM=build/release/tarnovelix
