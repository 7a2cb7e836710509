"""The recipe for many machines: a Dask cluster (here a LocalCluster of two
worker processes on the loopback) converts and reads 200 scans; the row
files are the command line's and the arrays format to them."""

import os

import numpy as np
import pytest

distributed = pytest.importorskip("distributed")

import tarnovelix
from conftest import run_program

HEADER = b"# c\npoints 0.25 0.5 0.75 1.0\nevents 4 3 2 1\nskipped\n"


def convert_and_read(scan_path, output_dir):
    """What each worker runs: the row file, then the rows as arrays."""
    import tarnovelix as tnx

    (converted,) = tnx.convert_many([scan_path], output_dir=output_dir, jobs=1)
    if converted.error is not None:
        raise converted.error
    scan = tnx.read(scan_path)
    return converted.output, scan.format_rows()


def test_local_cluster_converts_and_reads_200_files(program, tmp_path):
    scans = tmp_path / "scans"
    scans.mkdir()
    files = []
    for i in range(200):
        path = scans / ("scan%03d.dat" % i)
        path.write_bytes(HEADER + b"".join(b"%d %d %d %d\n" % (j, i, j * i, 7) for j in range(i % 13)))
        files.append(str(path))
    cluster = distributed.LocalCluster(
        n_workers=2, threads_per_worker=2, processes=True,
        host="127.0.0.1", dashboard_address=None,
    )
    try:
        with distributed.Client(cluster) as client:
            futures = client.map(convert_and_read, files, output_dir=str(tmp_path / "rows"))
            results = client.gather(futures)
    finally:
        cluster.close()
    status, _, _ = run_program(program, "--batch", "-q", "-o", tmp_path / "cli", *files)
    assert status == 0
    for path, (row_file, formatted) in zip(files, results):
        expected = (tmp_path / "cli" / (os.path.basename(path)[:-4] + ".ntp")).read_bytes()
        assert open(row_file, "rb").read() == expected, path
        assert formatted == expected, path
