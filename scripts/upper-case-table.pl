#!/usr/bin/perl
# Prints the runs of UpperRuns in builder/engine/WindowsNames.cpp: Unicode's simple
# upper-case mapping of the BMP, kept where the upper case lowers back to the letter, as
# runs of letters one or two apart that share the distance to their upper case. Run by
# hand when the table is to follow a newer Unicode; the build never runs it.
use strict;
use warnings;
use Unicode::UCD qw(charinfo);

my %upper;
for my $c (0 .. 0xFFFF) {
  next if $c >= 0xD800 && $c <= 0xDFFF;
  my $info = charinfo($c) or next;
  next if $info->{upper} eq '';
  my $u = hex $info->{upper};
  next if $u > 0xFFFF;
  my $back = charinfo($u)->{lower};
  $upper{$c} = $u if $back ne '' && hex($back) == $c;
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
my $line = '';
for my $run (@runs) {
  if ($line ne '' && length($line) + length($run) + 1 > 116) {
    print "    $line\n";
    $line = '';
  }
  $line .= ($line eq '' ? '' : ' ') . $run;
}
print "    $line\n" if $line ne '';
printf STDERR "%d letters in %d runs, Unicode %s\n", scalar(keys %upper), scalar(@runs), Unicode::UCD::UnicodeVersion();
