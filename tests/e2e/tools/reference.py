#!/usr/bin/env python3
"""A slow, plain reference of the conversion, used to write and check goldens.

It knows nothing of the program's code: it follows the input and row-file
rules directly. Only a development aid: the committed goldens are what the
tests compare against, so running the tests needs no Python.

    reference.py INPUT STDOUT ROWS   write the console text and the row file
    reference.py --check CASES_DIR   compare every plain conversion case
                                     (args "input output", exit status 0)
                                     with what this reference computes
"""

import os
import sys

MAX_COLUMNS = 100
HEADER_LINES = 3
WHITE = b" \t\n\r\v\f"
DIGITS = b"0123456789"


def split_lines(data):
    """Yields (text, has_newline) for every line: the bytes up to the first
    NUL or the line end, a CR right before the LF being part of the line end."""
    start = 0
    while start < len(data):
        end = data.find(b"\n", start)
        if end < 0:
            raw, has_newline, start = data[start:], False, len(data)
        else:
            raw, has_newline, start = data[start:end], True, end + 1
            if raw.endswith(b"\r"):
                raw = raw[:-1]
        nul = raw.find(b"\0")
        if nul >= 0:
            raw, has_newline = raw[:nul], False
        yield raw, has_newline


def skip_white(text, pos):
    while pos < len(text) and text[pos] in WHITE:
        pos += 1
    return pos


def take_digits(text, pos):
    start = pos
    while pos < len(text) and text[pos] in DIGITS:
        pos += 1
    return text[start:pos], pos


def scan_integer(text, pos):
    """Optional sign and digits, wrapped modulo 2**32. Returns (value, pos)
    or (None, pos) when no digit follows the sign."""
    negative = False
    if pos < len(text) and text[pos] in b"+-":
        negative = text[pos:pos + 1] == b"-"
        pos += 1
    digits, pos = take_digits(text, pos)
    if not digits:
        return None, pos
    value = int(digits) % 2**32
    if negative:
        value = (-value) % 2**32
    return value, pos


def scan_real(text, pos):
    start = pos
    if pos < len(text) and text[pos] in b"+-":
        pos += 1
    whole, pos = take_digits(text, pos)
    fraction = b""
    if pos < len(text) and text[pos:pos + 1] == b".":
        fraction, after = take_digits(text, pos + 1)
        if whole or fraction:
            pos = after
    if not whole and not fraction:
        return None, pos
    mantissa_end = pos
    exponent = b""
    if pos < len(text) and text[pos] in b"eE":
        pos += 1
        sign = b""
        if pos < len(text) and text[pos] in b"+-":
            sign = text[pos:pos + 1]
            pos += 1
        digits, pos = take_digits(text, pos)
        if digits:
            exponent = b"e" + sign + digits
    return float((text[start:mantissa_end] + exponent).decode()), pos


def scan_list(text, pos, scan_one, slots):
    """Up to len(slots) numbers, each after optional white space. Returns the
    count stored, or -1 when the text ends before the first number."""
    count = 0
    while count < len(slots):
        pos = skip_white(text, pos)
        if pos == len(text):
            return -1 if count == 0 else count
        value, pos = scan_one(text, pos)
        if value is None:
            return count
        slots[count] = value
        count += 1
    return count


def header_line(text, has_newline, points, events, console):
    if not text or text[:1] == b"#":
        return
    anchor = text.find(b"s")
    if anchor < 0:
        return
    begin = skip_white(text, 0)
    end = begin
    while end < len(text) and text[end] not in WHITE:
        end += 1
    keyword = text[begin:end]
    tail = text[anchor + 1:]
    console += b"\n" + keyword + b":" + tail + (b"\n" if has_newline else b"")
    if keyword == b"points":
        count = scan_list(tail, 0, scan_real, points)
        console += b"\n%d 'points' records found, %f %f  %f\n" % (
            count, points[0], points[1], points[2])
    elif keyword == b"events":
        count = scan_list(tail, 0, scan_integer, events)
        console += b"\n%d 'events' records found, %d %d %d ...\n" % (
            count, events[0], events[1], events[2])


def data_line(text, points, events, rows):
    pos = skip_white(text, 0)
    label, pos = scan_integer(text, pos)
    if label is None:
        return
    if label >= 2**31:
        label -= 2**32
    values = [0] * MAX_COLUMNS
    count = scan_list(text, pos, scan_integer, values)
    for j in range(max(count, 0)):
        rows += b"%4d %.3f %d %d\n" % (label, points[j], events[j], values[j])


def convert(data):
    points = [0.0] * MAX_COLUMNS
    events = [0] * MAX_COLUMNS
    console, rows = bytearray(), bytearray()
    for number, (text, has_newline) in enumerate(split_lines(data)):
        if number < HEADER_LINES:
            header_line(text, has_newline, points, events, console)
        elif number > HEADER_LINES:
            data_line(text, points, events, rows)
    return bytes(console), bytes(rows)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check(cases_dir):
    failures = checked = 0
    for name in sorted(os.listdir(cases_dir)):
        case = os.path.join(cases_dir, name)
        args_path = os.path.join(case, "args")
        if not os.path.isfile(args_path):
            continue
        args = read(args_path).decode().split("\n")
        args = [a for a in args if a]
        extras = set(os.listdir(case)) - {"args", "expected.stdout",
                                          "expected.rows", args[0] if args else ""}
        if len(args) != 2 or extras or not os.path.isfile(os.path.join(case, args[0])):
            continue
        console, rows = convert(read(os.path.join(case, args[0])))
        checked += 1
        for what, got, path in (("stdout", console, "expected.stdout"),
                                ("rows", rows, "expected.rows")):
            path = os.path.join(case, path)
            want = read(path) if os.path.exists(path) else None
            if want != got:
                failures += 1
                print(f"{name}: {what} differs from the reference")
    print(f"{checked} cases checked, {failures} differences")
    return 1 if failures else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "--check":
        return check(argv[2])
    if len(argv) != 4:
        print(__doc__)
        return 2
    console, rows = convert(read(argv[1]))
    with open(argv[2], "wb") as f:
        f.write(console)
    with open(argv[3], "wb") as f:
        f.write(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
