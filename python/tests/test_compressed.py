"""convert and convert_many read packed scans as the text they hold, and
convert writes row files named .gz or .zst packed: the rows of the plain
scan, or the command line's failure with the old row file kept."""

import bz2
import gzip
import lzma
import shutil
import subprocess

import pytest

import tarnovelix

SCAN = b"# c\npoints 0.5 1.5 2.5\nevents 10 20 30\nskipped\n" + b"".join(
    b"%d %d %d %d\n" % (i, i * 3, i * 5 + 1, 7) for i in range(2000)
)


def zstd_pack(data):
    return subprocess.run(["zstd", "-q", "-c"], input=data, stdout=subprocess.PIPE, check=True).stdout


def zstd_unpack(data):
    return subprocess.run(["zstd", "-q", "-dc"], input=data, stdout=subprocess.PIPE, check=True).stdout


PACK = {"gz": gzip.compress, "bz2": bz2.compress, "xz": lzma.compress, "zst": zstd_pack}
UNPACK = {"gz": gzip.decompress, "zst": zstd_unpack}


def shaped(ext, shape):
    pack = PACK[ext]
    if shape == "whole":
        return pack(SCAN)
    if shape == "members":
        return pack(SCAN[:1000]) + pack(SCAN[1000:])
    packed = pack(SCAN)
    if shape == "truncated":
        return packed[: len(packed) // 2]
    return packed[: len(packed) // 2] + b"\xff" * 16 + packed[len(packed) // 2 + 16 :]


@pytest.fixture
def plain_rows(tmp_path):
    (tmp_path / "plain.dat").write_bytes(SCAN)
    tarnovelix.convert(tmp_path / "plain.dat", tmp_path / "plain.ntp")
    return (tmp_path / "plain.ntp").read_bytes()


@pytest.mark.parametrize("ext", sorted(PACK))
@pytest.mark.parametrize("shape", ["whole", "members", "truncated", "corrupted"])
@pytest.mark.parametrize("named", [True, False])
def test_convert_reads_packed_scans(tmp_path, plain_rows, ext, shape, named):
    if ext == "zst" and shutil.which("zstd") is None:
        pytest.skip("no zstd program to pack with")
    source = tmp_path / ("s.dat." + ext if named else "s.dat")
    source.write_bytes(shaped(ext, shape))
    out = tmp_path / "out.ntp"
    out.write_bytes(b"old rows\n")
    if shape in ("whole", "members"):
        assert tarnovelix.convert(source, out).ok
        assert out.read_bytes() == plain_rows
    else:
        with pytest.raises(tarnovelix.ScanError) as failure:
            tarnovelix.convert(source, out)
        assert failure.value.filename == str(source)
        assert out.read_bytes() == b"old rows\n"


@pytest.mark.parametrize("ext", ["gz", "zst", "bz2", "xz"])
def test_convert_writes_packed_row_files(tmp_path, plain_rows, ext):
    if ext == "zst" and shutil.which("zstd") is None:
        pytest.skip("no zstd program to unpack with")
    (tmp_path / "s.dat.gz").write_bytes(gzip.compress(SCAN))
    out = tmp_path / ("rows.ntp." + ext)
    out.write_bytes(b"old rows\n")
    if ext in UNPACK:
        assert tarnovelix.convert(tmp_path / "s.dat.gz", out).ok
        assert UNPACK[ext](out.read_bytes()) == plain_rows
    else:
        with pytest.raises(tarnovelix.ScanError):
            tarnovelix.convert(tmp_path / "s.dat.gz", out)
        assert out.read_bytes() == b"old rows\n"


def test_convert_many_names_packed_scans_after_their_text(tmp_path, plain_rows):
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "run.dat.gz").write_bytes(gzip.compress(SCAN))
    tarnovelix.convert_many([tmp_path / "in" / "run.dat.gz"], tmp_path / "out")
    assert (tmp_path / "out" / "run.ntp").read_bytes() == plain_rows


@pytest.mark.parametrize("compress", ["gz", "zst"])
def test_convert_many_writes_packed_row_files(tmp_path, plain_rows, compress):
    if compress == "zst" and shutil.which("zstd") is None:
        pytest.skip("no zstd program to unpack with")
    (tmp_path / "run.dat.bz2").write_bytes(bz2.compress(SCAN))
    (result,) = tarnovelix.convert_many([tmp_path / "run.dat.bz2"], compress=compress)
    assert result.ok
    assert UNPACK[compress]((tmp_path / ("run.ntp." + compress)).read_bytes()) == plain_rows
    with pytest.raises(ValueError):
        tarnovelix.convert_many([tmp_path / "run.dat.bz2"], compress="xz")


@pytest.mark.parametrize("ext", sorted(PACK))
@pytest.mark.parametrize("shape", ["whole", "members", "truncated", "corrupted"])
@pytest.mark.parametrize("source_kind", ["file", "bytes"])
def test_read_takes_packed_scans_as_their_text(tmp_path, ext, shape, source_kind):
    if ext == "zst" and shutil.which("zstd") is None:
        pytest.skip("no zstd program to pack with")
    (tmp_path / "plain.dat").write_bytes(SCAN)
    plain = tarnovelix.read(tmp_path / "plain.dat")
    packed = shaped(ext, shape)
    path = tmp_path / "s.dat"
    path.write_bytes(packed)
    source = path if source_kind == "file" else bytearray(packed)
    if shape in ("whole", "members"):
        scan = tarnovelix.read(source)
        assert len(scan) == len(plain) == 2000 * 3
        for name in ("label", "column", "point", "events", "value"):
            assert (getattr(scan, name) == getattr(plain, name)).all()
        assert scan.console == plain.console
    else:
        with pytest.raises(tarnovelix.ScanError) as failure:
            tarnovelix.read(source)
        assert failure.value.strerror
        assert failure.value.strerror != "Input/output error"
        if source_kind == "file":
            assert failure.value.filename == str(path)


def test_read_many_reads_packed_scans(tmp_path):
    (tmp_path / "a.dat").write_bytes(SCAN)
    (tmp_path / "b.dat.gz").write_bytes(gzip.compress(SCAN))
    frame = tarnovelix.read_many([tmp_path / "a.dat", tmp_path / "b.dat.gz"])
    assert len(frame) == 2 * 2000 * 3
