#!/bin/sh
# formail.sh STORE OUTPUT
# procmail's formail, as a shell user would use it: each message file of a
# folder through formail (which adds the From_ line and quotes "From " lines),
# appended to the folder's mbox.
set -eu
store=$1
output=$2
find "$store" -type d | while IFS= read -r folder; do
    rel=${folder#"$store"}
    set -- "$folder"/*.[eE][mM][lL]
    [ -e "$1" ] || continue
    mkdir -p "$output/$rel"
    for message in "$@"; do
        formail <"$message"
    done >>"$output/$rel/$(basename "$folder").mbox"
done
