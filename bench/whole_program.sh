#!/usr/bin/env bash
# Whole-program times of revadd: each set of answers piped in, standard output to
# /dev/null, palin.txt written in a scratch directory; best wall time of five runs and
# the peak resident memory of the last.
#   usage: bench/whole_program.sh path/to/revadd ["answers" ...]
set -euo pipefail
exe=$(realpath "$1")
shift
[ $# -gt 0 ] || set -- "196 1 10000" "196 1 100000" "196 1 300000" "1 1000000 1000"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
TIMEFORMAT=%3R
for answers in "$@"; do
    best=""
    for _ in 1 2 3 4 5; do
        t=$( { time printf '%s\n' "$answers" | "$exe" >/dev/null; } 2>&1 )
        if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
    done
    mb="-"  # peak memory needs GNU time (Debian package time)
    if [ -x /usr/bin/time ]; then
        rss=$( { printf '%s\n' "$answers" | /usr/bin/time -f %M "$exe" >/dev/null; } 2>&1 )
        mb=$(awk "BEGIN{printf \"%.1f\", $rss/1024}")
    fi
    printf '%-18s %8s s %8s MB\n' "$answers" "$best" "$mb"
done
