#!/usr/bin/env bash
# Runs each fuzz target of a REVADD_FUZZ build for the given seconds (60 by default) on a
# copy of its seeds, so that what libFuzzer adds stays out of the repository; exits
# non-zero when any target finds anything, naming the input that reproduces it.
#   tests/fuzz/run_fuzzers.sh <build-dir> [seconds]
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 <build-dir> [seconds]" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/revadd-fuzz-XXXXXX")
findings="${FUZZ_FINDINGS_DIR:-$build/fuzz-findings}"
mkdir -p "$findings"
trap 'rm -rf "$work"' EXIT
failed=0
for target in dialogue arithmetic memo; do
    cp -r "$here/corpus/$target" "$work/$target"
    echo "== fuzzing $target for ${2:-60} s"
    # An input that runs for half a minute is a hang, and counts as a finding.
    if ! "$build/tests/fuzz/revadd_fuzz_$target" -max_total_time="${2:-60}" -timeout=30 -rss_limit_mb=4096 \
            -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work/$target" >"$work/log" 2>&1; then
        failed=1
        tail -n 40 "$work/log" >&2
        grep -o 'Test unit written to .*' "$work/log" >&2
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/log"
done
exit "$failed"
