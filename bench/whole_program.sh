#!/usr/bin/env bash
# Whole-program times of revadd: each set of answers piped in, standard output to
# /dev/null, palin.txt written in a scratch directory; the best wall time of five runs
# with the CPU time of that run (every thread's), and the peak resident memory of one more.
#   usage: bench/whole_program.sh path/to/revadd ["answers" ...]
#   PREFIX="taskset -c 0" bench/whole_program.sh ... runs each under that command
set -euo pipefail
exe=$(realpath "$1")
shift
[ $# -gt 0 ] || set -- "196 1 10000" "196 1 100000" "196 1 300000" "1 1000000 1000"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
TIMEFORMAT='%3R %3U %3S'
for answers in "$@"; do
    best="" cpu=""
    for _ in 1 2 3 4 5; do
        read -r wall user sys < <( { time printf '%s\n' "$answers" | ${PREFIX:-} "$exe" >/dev/null; } 2>&1 )
        if [ -z "$best" ] || awk "BEGIN{exit !($wall < $best)}"; then
            best=$wall cpu=$(awk "BEGIN{printf \"%.3f\", $user + $sys}")
        fi
    done
    mb="-"  # peak memory needs GNU time (Debian package time)
    if [ -x /usr/bin/time ]; then
        rss=$( { printf '%s\n' "$answers" | /usr/bin/time -f %M ${PREFIX:-} "$exe" >/dev/null; } 2>&1 )
        mb=$(awk "BEGIN{printf \"%.1f\", $rss/1024}")
    fi
    printf '%-24s %8s s  CPU %8s s %8s MB\n' "$answers" "$best" "$cpu" "$mb"
done
