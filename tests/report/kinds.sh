#!/usr/bin/env bash
# What --report says of each kind of finding, byte for byte, with a case
# that shows the kind and one beside it that must not (a clean line, a
# blank line, a number just inside its range). Each case is a file whose
# header gives three columns, then data lines; the report must name every
# finding at its line and count each kind, and say nothing of a clean file.
#   kinds.sh BINARY SCRATCH
set -u
. "$(dirname "$0")/../fault/common.sh"
check_setup "$1" "$2"

header='title\npoints 1.5 2.5 3.5\nevents 10 20 30\ndropped\n'
# check NAME DATA WANTED: DATA (printf format) after the header; WANTED the
# report's lines ('' for none), NAME standing for the file's name.
check() {
  local name=$1 data=$2 wanted=$3
  printf "$header$data" >"$name.dat"
  "$binary" "$name.dat" "$name.ntp" --report >got.stdout 2>got.stderr
  local got_status=$?
  "$binary" "$name.dat" "$name.plain.ntp" >plain.stdout 2>plain.stderr
  [ $got_status -eq 0 ] || fail "$name: status $got_status"
  cmp -s "$name.ntp" "$name.plain.ntp" || fail "$name: rows differ with --report"
  cmp -s got.stdout plain.stdout || fail "$name: standard output differs with --report"
  [ -s plain.stderr ] && fail "$name: standard error without --report: $(cat plain.stderr)"
  local want=${wanted//NAME/$name.dat}
  [ -n "$want" ] && want+=$'\n'
  if [ "$(cat got.stderr; echo .)" != "$want." ]; then
    fail "$name: report
--- got
$(cat got.stderr)
--- wanted
$want"
  fi
}

# Clean: every line gives its rows; blank lines, lines of white space and
# numbers at the very ends of their ranges are no findings.
check clean '1 5 6 7\n\n   \t \n-2147483648 4294967295 0 +7\n2147483647 -0 007 4294967295\n' ''

check no_rows_text '1 5 6 7\nnan 3\n# a comment\n' \
'tarnovelix: NAME:6: gives no rows: it starts with "nan"
tarnovelix: NAME:7: gives no rows: it starts with "#"
tarnovelix: NAME: 2 findings (lines without rows: 2)'

check no_rows_label '4\n5  \n6 x\n' \
'tarnovelix: NAME:5: gives no rows: a label and no value
tarnovelix: NAME:6: gives no rows: a label and no value
tarnovelix: NAME:7: gives no rows: a label, then "x"
tarnovelix: NAME: 3 findings (lines without rows: 3)'

check text_in_values '1 5x 6\n2 5 nan 7\n3 5 6 - 7\n4 5 6 7\n' \
'tarnovelix: NAME:5: values stop at "x" in column 2: the rest of the line gives no rows
tarnovelix: NAME:6: values stop at "nan" in column 2: the rest of the line gives no rows
tarnovelix: NAME:7: values stop at "-" in column 3: the rest of the line gives no rows
tarnovelix: NAME: 3 findings (lines whose values stop at text: 3)'

# The text is cut to 16 bytes, and a byte that is not printable ASCII is
# shown as \xHH, never sent to the terminal as it stands; so are a quote
# and a backslash, so the quoted text ends at the first quote.
check text_shown '1 5 abcdefghijklmnopqrstuvwxyz\n2 5 \033[31mred\n3 5 a"b\\c\n' \
'tarnovelix: NAME:5: values stop at "abcdefghijklmnop..." in column 2: the rest of the line gives no rows
tarnovelix: NAME:6: values stop at "\x1b[31mred" in column 2: the rest of the line gives no rows
tarnovelix: NAME:7: values stop at "a\x22b\x5cc" in column 2: the rest of the line gives no rows
tarnovelix: NAME: 3 findings (lines whose values stop at text: 3)'

values100=$(seq -s ' ' 1 100)
check past_max_columns "1 $values100\n2 $values100 101\n3 $values100 end\n" \
'tarnovelix: NAME:5: 100 values, more than the header gave (points 3, events 3): columns 4 to 100 get coordinate 0 and events number 0
tarnovelix: NAME:6: more than 100 values: the rest of the line from "101" is passed over
tarnovelix: NAME:6: 100 values, more than the header gave (points 3, events 3): columns 4 to 100 get coordinate 0 and events number 0
tarnovelix: NAME:7: more than 100 values: the rest of the line from "end" is passed over
tarnovelix: NAME:7: 100 values, more than the header gave (points 3, events 3): columns 4 to 100 get coordinate 0 and events number 0
tarnovelix: NAME: 5 findings (lines of more than 100 values: 2, lines past the header'"'"'s columns: 3)'

check past_header '1 5 6 7\n2 5 6 7 8\n3 5 6 7 8 9\n' \
'tarnovelix: NAME:6: 4 values, more than the header gave (points 3, events 3): column 4 gets coordinate 0 and events number 0
tarnovelix: NAME:7: 5 values, more than the header gave (points 3, events 3): columns 4 to 5 get coordinate 0 and events number 0
tarnovelix: NAME: 2 findings (lines past the header'"'"'s columns: 2)'

check wrapped '1 4294967295 2147483648\n1 4294967296\n1 5 -1\n2147483648 1\n-2147483649 1\n1 99999999999999999999\n' \
'tarnovelix: NAME:6: value "4294967296" in column 1 is outside the 32-bit range: it reads as 0
tarnovelix: NAME:7: value "-1" in column 2 is negative: it reads as 4294967295
tarnovelix: NAME:8: label "2147483648" is outside the 32-bit range: it reads as -2147483648
tarnovelix: NAME:9: label "-2147483649" is outside the 32-bit range: it reads as 2147483647
tarnovelix: NAME:10: value "9999999999999999..." in column 1 is outside the 32-bit range: it reads as 1661992959
tarnovelix: NAME: 5 findings (lines with a wrapped number: 5)'

check nul_byte '1 5 6\0007 8\n\000\n2 5 6 7\n' \
'tarnovelix: NAME:5: a NUL byte at byte 6 ends the line'"'"'s text
tarnovelix: NAME:6: gives no rows: it starts with a NUL byte
tarnovelix: NAME:6: a NUL byte at byte 1 ends the line'"'"'s text
tarnovelix: NAME: 3 findings (lines without rows: 1, lines with a NUL byte: 2)'

# Only the first findings of a kind are shown; the count has them all.
printf "${header}x\nx\nx\nx\nx\nx\nx\n" >many.dat
"$binary" many.dat many.ntp --report >/dev/null 2>many.stderr
[ "$(grep -c ':[0-9]*: gives no rows' many.stderr)" -eq 5 ] ||
  fail "many: not the first 5 shown: $(cat many.stderr)"
[ "$(tail -n 1 many.stderr)" = 'tarnovelix: many.dat: 7 findings (lines without rows: 7)' ] ||
  fail "many: summary: $(tail -n 1 many.stderr)"
grep -q 'many.dat:5:' many.stderr && grep -q 'many.dat:9:' many.stderr &&
  ! grep -q 'many.dat:10:' many.stderr || fail "many: not lines 5 to 9"

# A data line longer than the input buffer (128 KiB) comes in pieces, its
# numbers compacted: the report sees where its values stop (shown as "x"),
# the value past the 100th and a negative value, not a value past 32 bits.
blanks=$(head -c 140000 /dev/zero | tr '\0' ' ')
check long_lines "1 5 6${blanks}abc 7\n2 -5 99999999999${blanks}\n3 $values100${blanks}101\n" \
'tarnovelix: NAME:5: values stop at "x" in column 3: the rest of the line gives no rows
tarnovelix: NAME:6: value "-5" in column 1 is negative: it reads as 4294967291
tarnovelix: NAME:7: more than 100 values: the rest of the line from "101" is passed over
tarnovelix: NAME:7: 100 values, more than the header gave (points 3, events 3): columns 4 to 100 get coordinate 0 and events number 0
tarnovelix: NAME: 4 findings (lines whose values stop at text: 1, lines of more than 100 values: 1, lines past the header'"'"'s columns: 1, lines with a wrapped number: 1)'

# The longest line read whole is 131,072 bytes, its line end (LF or CR LF)
# not counted: its report is in full (the text where its values stop, a
# value past 32 bits); a byte longer, it is read in pieces, as above.
whole='tarnovelix: NAME:5: values stop at "abc" in column 4: the rest of the line gives no rows
tarnovelix: NAME:5: value "99999999999" in column 2 is outside the 32-bit range: it reads as 1215752191
tarnovelix: NAME: 2 findings (lines whose values stop at text: 1, lines with a wrapped number: 1)'
pieces='tarnovelix: NAME:5: values stop at "x" in column 4: the rest of the line gives no rows
tarnovelix: NAME: 1 finding (lines whose values stop at text: 1)'
for size in 131071 131072 131073; do
  blanks=$(head -c $((size - 20)) /dev/zero | tr '\0' ' ')
  for end in lf crlf; do
    eol='\n'
    [ $end = lf ] || eol='\r\n'
    wanted=$whole
    [ $size -le 131072 ] || wanted=$pieces
    check "line_${size}_$end" "1 5 99999999999 6${blanks}abc$eol" "$wanted"
  done
done

# The header's own kinds: a keyword line that gives no number, and a
# keyword with no line at all.
header_case() {
  local name=$1 text=$2 wanted=$3
  printf "$text" >"$name.dat"
  "$binary" "$name.dat" "$name.ntp" --report >/dev/null 2>got.stderr
  local want=${wanted//NAME/$name.dat}
  [ -n "$want" ] && want+=$'\n'
  [ "$(cat got.stderr; echo .)" = "$want." ] ||
    fail "$name: report
--- got
$(cat got.stderr)
--- wanted
$want"
}
header_case header_counts 'title\npoints\nevents abc\ndropped\n' \
'tarnovelix: NAME:2: the "points" line gives no numbers (count -1): nothing follows its keyword
tarnovelix: NAME:3: the "events" line gives no numbers (count 0): text that is no number follows its keyword
tarnovelix: NAME: 2 findings (keyword lines without numbers: 2)'
header_case header_missing 'title\npoints 1 2\nno keyword here\ndropped\n1 2 3\n' \
'tarnovelix: NAME: no "events" line in the header: every events number is 0
tarnovelix: NAME:5: 2 values, more than the header gave (points 2, events 0): columns 1 to 2 get events number 0
tarnovelix: NAME: 2 findings (lines past the header'"'"'s columns: 1, keyword lines missing: 1)'
# The fourth line is dropped unread, whatever it holds.
header_case header_fourth_line 'title\npoints 1 2\n# events 5 6\nevents 5 6\n1 2\n' \
'tarnovelix: NAME: no "events" line in the header: every events number is 0
tarnovelix: NAME:5: 1 value, more than the header gave (points 2, events 0): column 1 gets events number 0
tarnovelix: NAME: 2 findings (lines past the header'"'"'s columns: 1, keyword lines missing: 1)'
# A NUL byte ends the text of a header line as of a data line (here the
# points at two, the events line at its keyword); the fourth line is not
# read.
header_case header_nul 'ti\000tle\npoints 1 2\000 3 4\nevents\000 5 6\ndrop\000ped\n1 5\n' \
'tarnovelix: NAME:1: a NUL byte at byte 3 ends the line'"'"'s text
tarnovelix: NAME:2: a NUL byte at byte 11 ends the line'"'"'s text
tarnovelix: NAME:3: the "events" line gives no numbers (count -1): nothing follows its keyword
tarnovelix: NAME:3: a NUL byte at byte 7 ends the line'"'"'s text
tarnovelix: NAME:5: 1 value, more than the header gave (points 2, events 0): column 1 gets events number 0
tarnovelix: NAME: 5 findings (lines past the header'"'"'s columns: 1, lines with a NUL byte: 3, keyword lines without numbers: 1)'
header_case header_clean 'points 1 2\nevents 5 6\n\ndropped\n1 2 3\n' ''

# Standard input is named as in every other message.
printf "${header}x\n" | "$binary" - out.ntp --report >/dev/null 2>got.stderr
grep -qx 'tarnovelix: -:5: gives no rows: it starts with "x"' got.stderr ||
  fail "standard input: $(cat got.stderr)"

# Where --report cannot be an option it is a name: a single run's first two
# arguments, and a batch's files after --.
printf "${header}x\n" >./--report
"$binary" --report named.ntp >got.stdout 2>got.stderr
grep -q "3 'points' records found" got.stdout && [ ! -s got.stderr ] ||
  fail "--report as the input's name: $(cat got.stdout got.stderr)"
"$binary" --batch -- --report >/dev/null 2>got.stderr
[ ! -s got.stderr ] || fail "--report as a batch's file: $(cat got.stderr)"
exit $status
