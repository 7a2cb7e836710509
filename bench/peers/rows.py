"""The row file of a scan file in plain Python, as a user would write it.

    python3 rows.py INPUT OUTPUT

Lines 1 to 3 are the header, line 4 is skipped, every later line is a label
and up to 100 values.
"""
import sys


def main():
    source, target = sys.argv[1], sys.argv[2]
    points = [0.0] * 100
    events = [0] * 100
    with open(source) as lines, open(target, "w") as out:
        for number, line in enumerate(lines):
            fields = line.split()
            if number < 3:
                if fields and fields[0] == "points":
                    for j, text in enumerate(fields[1:101]):
                        points[j] = float(text)
                elif fields and fields[0] == "events":
                    for j, text in enumerate(fields[1:101]):
                        events[j] = int(text)
                continue
            if number == 3 or not fields:
                continue
            label = int(fields[0])
            for j, text in enumerate(fields[1:101]):
                out.write("%4d %.3f %d %d\n" % (label, points[j], events[j], int(text)))


main()
