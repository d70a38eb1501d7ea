#!/bin/sh
# Prints the home of a JVM that satisfies java11.jvm (in the current directory), as found by
# the launcher named by the first argument; fails when there is none.
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
printf 'ACTION: SEARCH\nJVM: %s/java11.jvm\n' "$(pwd)" > "$work/search.tag"
"$1" -qv:in "$work/search.tag" > "$work/answer" || exit 1
{ read -r found; read -r home; read -r jvmfile; } < "$work/answer"
if [ "$found" != 1 ]; then
    echo "no JVM found" >&2
    exit 1
fi
# The jvm file the launcher wrote for the match is ours now: this script does not need it.
rm -f "$jvmfile"
echo "$home"
