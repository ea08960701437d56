#!/usr/bin/env bash
# Two or more builds of revadd on the same answers, run by run in turn, so that a busy
# machine's load falls on each alike: the best wall time, and the best and median CPU time
# (every thread's) of each, palin.txt written in a scratch directory a run.
#   usage: bench/alternate.sh ROUNDS "answers" path/to/revadd path/to/other/revadd ...
set -euo pipefail
rounds=$1 answers=$2
shift 2
exes=()
for exe in "$@"; do exes+=("$(realpath "$exe")"); done
set -- "${exes[@]}"
TIMEFORMAT='%3R %3U %3S'
declare -A wall cpu all
for ((r = 0; r < rounds; r++)); do
    for exe in "$@"; do
        scratch=$(mktemp -d)
        read -r w u s < <(cd "$scratch" && { time printf '%s\n' "$answers" | "$exe" >/dev/null 2>&1; } 2>&1)
        rm -rf "$scratch"
        c=$(awk "BEGIN{print $u + $s}")
        all[$exe]="${all[$exe]:-} $c"
        if [ -z "${wall[$exe]:-}" ] || awk "BEGIN{exit !($w < ${wall[$exe]})}"; then wall[$exe]=$w; fi
        if [ -z "${cpu[$exe]:-}" ] || awk "BEGIN{exit !($c < ${cpu[$exe]})}"; then cpu[$exe]=$c; fi
    done
done
for exe in "$@"; do
    median=$(printf '%s\n' ${all[$exe]} | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
    printf '%-40s %8s s  CPU %8s s (median %s s)\n' "$exe" "${wall[$exe]}" "${cpu[$exe]}" "$median"
done
