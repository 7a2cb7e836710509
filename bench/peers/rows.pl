# The row file of a scan file in plain Perl, as a user would write it:
#   perl rows.pl INPUT OUTPUT
# Lines 1 to 3 are the header, line 4 is skipped, every later line is a
# label and up to 100 values.
use strict;
use warnings;

my ($source, $target) = @ARGV;
open(my $in, '<', $source) or die "cannot open $source: $!\n";
open(my $out, '>', $target) or die "cannot open $target: $!\n";
my (@points, @events);
while (my $line = <$in>) {
    my @fields = split ' ', $line;
    if ($. <= 3) {
        next unless @fields;
        my $last = $#fields < 100 ? $#fields : 100;
        @points[0 .. $last - 1] = @fields[1 .. $last] if $fields[0] eq 'points';
        @events[0 .. $last - 1] = @fields[1 .. $last] if $fields[0] eq 'events';
        next;
    }
    next if $. == 4 || !@fields;
    my ($label, @values) = @fields;
    $#values = 99 if @values > 100;
    for my $j (0 .. $#values) {
        printf $out "%4d %.3f %u %u\n", $label, $points[$j], $events[$j], $values[$j];
    }
}
close($out) or die "cannot write $target: $!\n";
