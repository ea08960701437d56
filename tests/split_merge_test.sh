#!/bin/sh
# split-range and merge-results with revadd: a range split into 1, 2 and 7 parts, run
# and merged, gives one run's palin.txt byte for byte; each refusal says why, writes nothing.
#   usage: tests/split_merge_test.sh path/to/revadd path/to/scripts
set -eu
revadd=$(realpath "$1") scripts=$(realpath "$2") work=$(mktemp -d "${TMPDIR:-/tmp}/revadd-split-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
run() { mkdir -p "$1" && (cd "$1" && echo "$2" | "$revadd" >/dev/null) || fail "revadd $2 in $1"; }

# Leading zeros and parts whose fewest steps differ (187 takes 23, 196 forms none), a
# negative start, and parts that carry into a new digit (the second starts at 10^22).
for case in "0187 14 30:1 2 7" "-1234 40 60:2" "9999999999999999999994 40 30:7"; do
    set -- ${case%:*}
    run "whole$1" "${case%:*}"
    for parts in ${case#*:}; do
        dirs=""
        for answers in $("$scripts/split-range" "$1" "$2" "$parts" "$3" | tr ' ' ,); do
            run "p$1-$parts-${answers%%,*}" "$(echo "$answers" | tr , ' ')"
            dirs="p$1-$parts-${answers%%,*} $dirs"  # backwards: the merge orders them
        done
        "$scripts/merge-results" $dirs >merged && cmp -s merged "whole$1/palin.txt" ||
            fail "${case%:*} in $parts parts differs from one run"
    done
done

[ "$("$scripts/split-range" -05 5000000000 3 10 | tr '\n' ' ')" = \
  "-05 1666666667 10 -1666666672 1666666667 10 -3333333339 1666666666 10 " ] || fail "split past 32 bits"
"$scripts/split-range" 1 4294967294 1 10 2>/dev/null && fail "a part larger than one run"
mkdir big1 big2
summary='0 of 2147483647 numbers in the range\n%s to %s\nformed palindromes in 5 or fewer iterations\n'
printf "${summary}high iterations: 0\nlow iterations: 10000\n" 1 2147483648 >big1/palin.txt
printf "${summary}high iterations: 0\nlow iterations: 10000\n" 2147483648 4294967295 >big2/palin.txt
[ "$("$scripts/merge-results" big2 big1 | head -n 2 | tr '\n' ' ')" = \
  "0 of 4294967294 numbers in the range 1 to 4294967295 " ] || fail "merge past 32 bits"

# Refusals, beside the first of the seven parts of 0187: 187 and 188.
run limit "189 2 31"
run overlap "188 2 30"
mkdir stopped missing
head -n 4 p0187-7-0187/palin.txt >stopped/palin.txt
for refusal in "missing:is missing" "stopped:has no summary" "overlap:overlap" "limit:with 31" \
    "p0187-7-191:no part holds 189 up to 191" "whole-1234:different directions"; do
    if "$scripts/merge-results" p0187-7-0187 "${refusal%%:*}" >out 2>err || [ -s out ] ||
        ! grep -q "${refusal#*:}" err; then fail "${refusal%%:*} not refused as '${refusal#*:}': $(cat err)"; fi
done
[ "$failures" -eq 0 ] && echo "split and merge: all passed"
exit "$failures"
