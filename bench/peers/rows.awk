# The row file of a scan file in awk, as a user would write it:
#   awk -f rows.awk INPUT > OUTPUT
# Lines 1 to 3 are the header, line 4 is skipped, every later line is a
# label and up to 100 values.
NR <= 3 {
  if ($1 == "points") for (i = 2; i <= NF && i <= 101; i++) points[i - 2] = $i
  if ($1 == "events") for (i = 2; i <= NF && i <= 101; i++) events[i - 2] = $i
  next
}
NR == 4 { next }
{
  for (i = 2; i <= NF && i <= 101; i++)
    printf "%4d %.3f %u %u\n", $1, points[i - 2], events[i - 2], $i
}
