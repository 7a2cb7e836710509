# Header lines longer than the input buffer (128 KiB) whose numbers have
# tens of thousands of digits: reals written with 70,000 zeros before or
# after their digits and an exponent that makes up for them, reals of
# 3,000 digits rounded from all of them, one beyond the range of a double,
# and integers of 70,000 digits. Made here rather than committed.
string(REPEAT "0" 70000 zeros)
string(REPEAT "3" 3000 threes)
string(REPEAT "7" 70000 sevens)
string(REPEAT "0" 400 few_zeros)
set(text "# huge header numbers\n")
string(APPEND text "points 0.${zeros}125e70001 1${zeros}.5e-70000 ")
string(APPEND text "-0.${threes}e1 ${threes}e-2999 1${few_zeros}\n")
string(APPEND text "events ${sevens} -${sevens}8 +0${few_zeros}9\n")
string(APPEND text "label\n1 2 3 4 5 6\n")
file(WRITE "${WORK}/input.dat" "${text}")
