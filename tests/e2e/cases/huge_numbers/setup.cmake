# Labels and values of hundreds of thousands of digits, longer than the
# input buffer (128 KiB): only their last 32 digits count (10^32 is a
# multiple of 2^32), with leading zeros, signs, and a sign right after a
# number starting the next one. Made here rather than committed.
string(REPEAT "1" 200000 ones)
string(REPEAT "0" 150000 zeros)
string(REPEAT "9" 300000 nines)
string(REPEAT "4294967296" 20000 wraps)
set(text "# huge numbers\npoints 1 2 3 4\nevents 4 5 6 7\nlabel\n")
string(APPEND text "-${ones}25 ${zeros}42 +${nines}-${ones}\n")
string(APPEND text "${wraps}7 ${wraps} -${zeros}1\n")
string(APPEND text "${zeros}2147483648 ${nines}x 5\n")
file(WRITE "${WORK}/input.dat" "${text}")
