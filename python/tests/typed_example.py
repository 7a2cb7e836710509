"""Calls a user writes, for the type checker (test_typing.py runs mypy over
this file); never run. Each line marked ``# rejected`` must be refused."""

import gzip
import io
from pathlib import Path
from typing import List, Optional

import tarnovelix


def accepted() -> None:
    scan: tarnovelix.Scan = tarnovelix.read("scan.dat")
    scan = tarnovelix.read(Path("scan.dat"))
    scan = tarnovelix.read("~/scan.dat")
    scan = tarnovelix.read("-")
    scan = tarnovelix.read(b"# c\npoints 1\n")
    scan = tarnovelix.read(bytearray(b"# c\npoints 1\n"))
    scan = tarnovelix.read(memoryview(b"points 1\n"))
    with open("scan.dat", "rb") as file:
        scan = tarnovelix.read(file)
    scan = tarnovelix.read(gzip.open("scan.dat.gz"))
    scan = tarnovelix.read(io.BytesIO(b"# c\n"))
    values = scan.to_xarray().sel(column=0)
    frame = scan.to_pandas()
    frame = scan.to_pandas(compact=True)
    image, labels = scan.grid()
    comments: tuple = scan.header.comments
    dropped: Optional[str] = scan.header.dropped
    frame = tarnovelix.read_many(["a.dat", Path("b.dat"), b"# c\n", io.BytesIO(b"")], jobs=2)
    frame = tarnovelix.read_many("scans/*.dat", errors="warn")
    frame = tarnovelix.read_many(Path("scans"), compact=True)
    done: tarnovelix.Conversion = tarnovelix.convert(Path("a.dat"), "a.ntp")
    done = tarnovelix.convert(b"# c\n", b"a.ntp")
    done = tarnovelix.convert(open("a.dat", "rb"), "~/a.ntp")
    results: List[tarnovelix.Conversion] = tarnovelix.convert_many(
        [Path("a.dat"), "b.dat"], output_dir=Path("rows"), jobs=4, compress="gz"
    )
    results = tarnovelix.convert_many("scans", jobs=None)
    print(values, frame, done, results, image, labels, comments, dropped)


def rejected() -> None:
    tarnovelix.read(42)  # rejected
    tarnovelix.read(open("a.dat"))  # rejected
    tarnovelix.convert_many([b"a.dat"])  # rejected
    tarnovelix.read_many(["a.dat"], jobs="2")  # rejected
    tarnovelix.read("a.dat").lines.decode()  # rejected
    tarnovelix.convert_many(["a.dat"], jobs=2.5)  # rejected
    tarnovelix.convert("a.dat")  # rejected
    text: str = tarnovelix.read("a.dat").console.encode()  # rejected
    count: int = tarnovelix.convert("a.dat", "a.ntp")  # rejected
    print(text, count)
