#!/usr/bin/perl
# Prints every record of a DBF table as Perl's XBase reads it, for canon.py raw: one line per
# record, "<flag>\t<value>\t...", the flag "*" for a deleted record, values with backslash,
# TAB, CR and LF escaped and \N for an undefined value.
use strict;
use warnings;
use XBase;

my $table = XBase->new($ARGV[0]) or die XBase->errstr;
binmode STDOUT;
for my $i (0 .. $table->last_record) {
  my ($deleted, @values) = $table->get_record($i);
  die $table->errstr unless defined $deleted;
  my @out = ($deleted ? "*" : "");
  for my $v (@values) {
    if (!defined $v) { push @out, "\\N"; next; }
    $v =~ s/\\/\\\\/g; $v =~ s/\t/\\t/g; $v =~ s/\r/\\r/g; $v =~ s/\n/\\n/g;
    push @out, $v;
  }
  print join("\t", @out), "\n";
}
$table->close;
