#!/bin/sh
# Writes its standard input into a new file, as whoever runs it, and keeps the file open until
# the input ends: the program tests run it through sudo as CI's second account (the only
# command besides lp that the operator may run as that account), to play another user's RIP
# writing a print file into the operator's job folder. It never writes into a file that is
# there already.
set -eu
[ $# -eq 1 ] || { echo "usage: other_account_writer.sh NEW-FILE" >&2; exit 2; }
set -C
umask 022
exec cat >"$1"
