#!/usr/bin/env bash
# Runs every fuzz target of a REVADD_FUZZ build for the given time each (60 s by default),
# one after the other, each on a copy of its seed corpus in a temporary directory so that
# what libFuzzer adds never lands in the repository. Exits non-zero if any target finds
# anything, naming the input that reproduces it.
#
#   tests/fuzz/run_fuzzers.sh <build-dir> [seconds]
set -uo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 <build-dir> [seconds]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/revadd-fuzz-XXXXXX")
# Reproducers are kept outside the temporary directory, which goes when the script ends.
findings="${FUZZ_FINDINGS_DIR:-$build/fuzz-findings}"
mkdir -p "$findings"
trap 'rm -rf "$work"' EXIT

failed=0
for target in dialogue arithmetic memo; do
    binary="$build/tests/fuzz/revadd_fuzz_$target"
    if [ ! -x "$binary" ]; then
        echo "missing $binary: configure with -DREVADD_FUZZ=ON and build first" >&2
        exit 2
    fi
    cp -r "$here/corpus/$target" "$work/$target"
    log="$work/$target.log"
    echo "== fuzzing $target for $seconds s"
    # A single input that runs for half a minute is a hang, and counts as a finding.
    "$binary" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$work/$target" >"$log" 2>&1
    status=$?
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::average_exec_per_sec' "$log"
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "!! $target failed (exit status $status); the end of its log:" >&2
        tail -n 40 "$log" >&2
        reproducer=$(grep -o 'Test unit written to .*' "$log" | sed 's/^Test unit written to //' | tail -n 1)
        if [ -n "$reproducer" ]; then
            echo "!! reproducer: $reproducer (run: $binary $reproducer)" >&2
        fi
    fi
done
exit "$failed"
