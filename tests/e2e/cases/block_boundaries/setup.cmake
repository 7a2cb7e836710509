# Writes an input of about 4 MB whose lines are longer than the reader's
# block (128 KiB, and 1 MiB before it): the CR of the first line is its
# 1048576th byte, the last of a block either way, and its LF the next one,
# and numbers sit past the first MiB of a line. Made here rather than
# committed.
set(keyword "points 1")
string(LENGTH "${keyword}" length)
math(EXPR pad "1048575 - ${length}")
string(REPEAT " " ${pad} spaces)
set(text "${spaces}${keyword}\r\nevents 5 6 7\r\n#\r\ndropped\r\n")
string(REPEAT " " 1048576 mib)
string(APPEND text "5 1${mib}123456789 4${mib}\r\n6 7\r\n-8${mib}9\t10 11")
file(WRITE "${WORK}/input.dat" "${text}")
