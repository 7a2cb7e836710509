# The README's cluster recipes run for real (tests/cluster/):
#   make cluster-test   its GNU parallel line over ssh and its Slurm job
#                       array, against the program of `make program` (or
#                       CLUSTER_PROGRAM=path, as CI gives the release one)
# As root: installs what is missing from Debian, and starts sshd, munged,
# slurmctld and slurmd on 127.0.0.1 for the time of each check, their
# sockets and state in a folder of their own under /run (munged wants
# one everyone may reach), wherever the checkout lives.
CLUSTER_PROGRAM ?=

.PHONY: cluster-deps cluster-test

cluster-deps:
	@bash tests/cluster/install.sh

cluster-test: cluster-deps $(if $(CLUSTER_PROGRAM),,program)
	bash tests/cluster/run.sh $(or $(CLUSTER_PROGRAM),$(PROGRAM)) build/cluster
