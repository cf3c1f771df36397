#!/usr/bin/perl
# Reads the files named in DIR/manifest with XBase::Index (read only) and compares what it
# sees with what the manifest expects. See tests/engine/CdxPeerExport.cpp for the format.
use strict;
use warnings;
use XBase::Index;

my $dir = shift or die "usage: $0 DIR\n";
my $failures = 0;
my $checks = 0;

sub same {
  my ($type, $got, $want) = @_;
  return abs($got - $want) <= 1e-6 * (1 + abs($want)) if $type eq 'N';
  return $got == $want if $type eq 'D';
  # The reader rebuilds the leading bytes a key shares with the key before it from that key
  # without its trailing blanks, so shared blanks come back as NULs (it reads the fixtures'
  # leaves, made by another writer, the same way).
  $got =~ tr/\0/ /;
  $got =~ s/\s+$//;
  return $got eq $want;
}

sub fail { print STDERR "FAIL: @_\n"; $failures++; }

sub open_tag {
  my ($file, $tag, $type) = @_;
  my $index = XBase::Index->new("$dir/$file", tag => $tag, type => $type)
    or die "cannot open $file $tag: " . XBase::Index->errstr . "\n";
  return $index;
}

open my $manifest, '<', "$dir/manifest" or die "no manifest: $!\n";
while (my $line = <$manifest>) {
  chomp $line;
  my @f = split /\t/, $line, -1;
  $checks++;
  if ($f[0] eq 'tags') {
    my $index = XBase::Index->new("$dir/$f[1]", type => 'C')
      or die "cannot open $f[1]: " . XBase::Index->errstr . "\n";
    my $tags = join ',', $index->tags;
    fail("$f[1]: tags $tags, expected $f[2]") unless $tags eq $f[2];
  } elsif ($f[0] eq 'list') {
    my ($file, $tag, $type, $expect) = @f[1 .. 4];
    my $index = open_tag($file, $tag, $type);
    $index->prepare_select or die $index->errstr;
    open my $want, '<', "$dir/$expect" or die "$expect: $!\n";
    my $n = 0;
    while (my $w = <$want>) {
      chomp $w;
      my ($wkey, $wrec) = $w =~ /^(.*) (\d+)$/;
      my @got = $index->fetch;
      $n++;
      if (!@got) { fail("$file $tag: ends after $n entries"); last; }
      if (!same($type, $got[0], $wkey) || $got[1] != $wrec) {
        fail("$file $tag entry $n: got '$got[0]' $got[1], expected '$wkey' $wrec");
        last;
      }
    }
    my @extra = $index->fetch;
    fail("$file $tag: more entries than expected ('$extra[0]' $extra[1])") if @extra;
  } elsif ($f[0] eq 'seek') {
    my ($file, $tag, $type, $value, $wkey, $wrec) = @f[1 .. 6];
    my $index = open_tag($file, $tag, $type);
    $index->prepare_select_eq($value) or die $index->errstr;
    my @got = $index->fetch;
    if (!@got || !same($type, $got[0], $wkey) || $got[1] != $wrec) {
      my $shown = @got ? "'$got[0]' $got[1]" : 'nothing';
      fail("$file $tag seek '$value': got $shown, expected '$wkey' $wrec");
    }
  }
}
print "$checks checks, $failures failures\n";
exit($failures ? 1 : 0);
