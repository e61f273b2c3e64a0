#!/usr/bin/perl
# Prints the two tables of the upper-casing names are compared by, from Perl's
# Unicode::UCD: the runs of UpperRuns in shared/u_upcase.cpp (Unicode's simple upper-case
# mapping of the BMP, every letter whose upper case is one unit), as runs of letters one or
# two apart that share the distance to their upper case; then OneWayLetters in
# builder/engine/WindowsNames.cpp, the letters whose upper case does not lower back to
# them. Run by hand when the tables are to follow a newer Unicode; the build never runs it.
use strict;
use warnings;
use Unicode::UCD qw(charinfo);

my (%upper, @oneWay);
for my $c (0 .. 0xFFFF) {
  next if $c >= 0xD800 && $c <= 0xDFFF;
  my $info = charinfo($c) or next;
  next if $info->{upper} eq '';
  my $u = hex $info->{upper};
  next if $u > 0xFFFF;
  $upper{$c} = $u;
  my $back = charinfo($u)->{lower};
  push @oneWay, $c unless $back ne '' && hex($back) == $c;
}
my (%done, @runs);
for my $c (sort { $a <=> $b } keys %upper) {
  next if $done{$c};
  my $delta = ($upper{$c} - $c) & 0xFFFF;
  my ($last, $step) = ($c, 1);
  # Every other letter only where the letters between are mapped by no run: the runs
  # must not overlap, as the lookup searches them by their ends.
  for my $try (1, 2) {
    my $e = $c;
    $e += $try while exists $upper{$e + $try} && (($upper{$e + $try} - $e - $try) & 0xFFFF) == $delta &&
                     ($try == 1 || !exists $upper{$e + 1});
    ($last, $step) = ($e, $try) if ($e - $c) / $try > ($last - $c) / $step;
  }
  $step = 1 if $last == $c;
  for (my $i = $c; $i <= $last; $i += $step) { $done{$i} = 1; }
  push @runs, sprintf('{0x%04X, 0x%04X, 0x%04X, %d},', $c, $last, $delta, $step);
}
sub PrintWrapped {
  my $line = '';
  for my $item (@_) {
    if ($line ne '' && length($line) + length($item) + 1 > 116) {
      print "    $line\n";
      $line = '';
    }
    $line .= ($line eq '' ? '' : ' ') . $item;
  }
  print "    $line\n" if $line ne '';
}
print "UpperRuns:\n";
PrintWrapped(@runs);
print "OneWayLetters:\n";
PrintWrapped(map { sprintf('0x%04X,', $_) } @oneWay);
printf STDERR "%d letters in %d runs, %d of them one way, Unicode %s\n", scalar(keys %upper), scalar(@runs),
  scalar(@oneWay), Unicode::UCD::UnicodeVersion();
