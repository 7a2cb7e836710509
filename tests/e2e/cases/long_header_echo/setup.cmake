# A header line whose first word is longer than the input buffer (128 KiB)
# and holds its first s at its start: the echo shows the word and then all
# of it again after the s, which the program reads again from the input.
# Made here rather than committed.
string(REPEAT "w" 131100 word)
set(text "s${word} echo\npoints 1.5\t2.5\nevents 7\nlabel\n5 1 2\n")
file(WRITE "${WORK}/input.dat" "${text}")
