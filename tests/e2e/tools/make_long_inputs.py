#!/usr/bin/env python3
"""Writes the inputs of the long-line cases (fixed seed, so the committed
files can be made again). Their expectations come from tnx_reference."""

import os
import random

CASES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cases")


def write(case, text):
    os.makedirs(os.path.join(CASES, case), exist_ok=True)
    with open(os.path.join(CASES, case, "input.dat"), "wb") as f:
        f.write(text.encode())
    with open(os.path.join(CASES, case, "args"), "w") as f:
        f.write("input.dat\nout.ntp\n")


def ten_digits(rng, count):
    # Values from 1000000000 to 9999999999: most are past 32 bits and wrap.
    return " ".join(str(rng.randrange(10**9, 10**10)) for _ in range(count))


def main():
    rng = random.Random(20261207)
    points = " ".join(f"{-6 + 0.125 * i:.4f}" for i in range(100))
    events = " ".join(str(1000 + 7 * i) for i in range(100))
    lines = ["# 100 columns", "points " + points, "events " + events,
             "label c0 c1 c2 ...",
             # 1101 characters: the old 999-character cut fell inside a value.
             "1 " + ten_digits(rng, 100),
             # Only the first 100 values give rows.
             "-2 " + ten_digits(rng, 150),
             "3 " + " ".join(str(rng.randrange(0, 2**32)) for _ in range(100)),
             # A number that starts at character 995 and ends past 1000.
             "4 " + "0" * 992 + "123456789 5"]
    write("long_data_lines", "\n".join(lines) + "\n")

    reals = " ".join(f"{rng.uniform(-1000, 1000):.6f}" for _ in range(120))
    lines = ["points " + reals,
             "events " + ten_digits(rng, 101),
             "xs " + "y" * 1200,
             "dropped " + "z" * 1100,
             "17 " + " ".join(str(i) for i in range(101))]
    write("long_header_lines", "\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
