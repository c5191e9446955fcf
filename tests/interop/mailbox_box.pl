#!/usr/bin/perl
# Reads each mbox named on the command line with Mail::Box and prints, as
# JSON, the Subject, From, Date and Message-ID fields of every message found.
use strict;
use warnings;
use JSON::PP;
use Mail::Box::Manager;

my $manager = Mail::Box::Manager->new;
my @boxes;
for my $path (@ARGV) {
    my $folder = $manager->open(folder => $path, type => 'mbox', access => 'r',
                                lock_type => 'NONE', log => 'NONE', trace => 'NONE')
        or die "cannot open $path\n";
    my @messages;
    for my $message ($folder->messages) {
        my %fields;
        for my $name (qw(subject from date message-id)) {
            my @all = $message->head->get($name);
            $fields{$name} = [map { $_->unfoldedBody } @all];
        }
        push @messages, \%fields;
    }
    push @boxes, \@messages;
    $folder->close(write => 'NEVER');
}
# Header bytes pass as Latin-1 characters so that any byte survives.
print JSON::PP->new->ascii->canonical->encode(\@boxes);
