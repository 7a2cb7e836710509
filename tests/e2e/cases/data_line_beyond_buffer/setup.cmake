# Data lines far longer than the input buffer (128 KiB), made here rather
# than committed: values separated by runs of hundreds of kilobytes of
# blanks and tabs, a CR LF line end, values past the 100th, a NUL that ends
# a line's text (from nul_end.part: CMake strings hold no NUL), and a line
# that starts with text that is no number.
string(REPEAT " " 300000 blanks)
string(REPEAT "\t" 200000 tabs)
string(REPEAT " 7" 150 sevens)
string(REPEAT " " 140000 few_blanks)
set(text "# beyond the buffer\npoints 1 2 3\nevents 4 5 6\nlabel\n")
string(APPEND text "1${blanks}10${tabs}20 30\r\n")
string(APPEND text "2${sevens}${blanks}\n")
string(APPEND text "3 5${few_blanks}")
file(WRITE "${WORK}/head.part" "${text}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat head.part nul_end.part
                WORKING_DIRECTORY "${WORK}" OUTPUT_FILE "${WORK}/input.dat"
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE "${WORK}/head.part")
