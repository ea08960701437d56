#!/bin/sh
# split-range and merge-results with revadd, in rows: ranges split, each part run in a
# directory of its own, merged in reverse order, against one run's palin.txt byte for
# byte; split-range's lines and refusals; merge-results' refusals of files that are no
# whole report and of parts that are not one range; then random round trips. A refusal
# must exit with 1, write nothing on standard output and say why.
#   usage: tests/split_merge_test.sh path/to/revadd path/to/scripts
#   SEED=n varies the random round trips (16 by default).
# Rows are split into words on purpose; "a && b || fail" reports any step that fails.
# shellcheck disable=SC2015,SC2086,SC2089,SC2090
set -eu
revadd=$(realpath "$1") scripts=$(realpath "$2") work=$(mktemp -d "${TMPDIR:-/tmp}/revadd-split-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
split=$scripts/split-range merge=$scripts/merge-results
# run DIR ANSWERS: one run in DIR, made first.
run() {
    mkdir -p -- "$1" && (cd -- "$1" && echo "$2" | "$revadd" >/dev/null) ||
        fail "revadd $2 in $1: exit status $?"
}
# refused MESSAGE COMMAND...: exit status 1, nothing on standard output, MESSAGE on standard error.
refused() {
    message=$1 status=0
    shift
    "$@" >out 2>err || status=$?
    [ "$status" -eq 1 ] && [ ! -s out ] && grep -qF -- "$message" err ||
        fail "$* gave status $status, $(wc -c <out) bytes, '$(cat err)'; expected 1, none, '$message'"
}
# trip NAME START COUNT LIMIT PARTS: split, run each part in NAME-k, merge, against one run.
trip() {
    run "$1" "$2 $3 $4"
    "$split" "$2" "$3" "$5" "$4" >"$1.lines" || { fail "split-range $2 $3 $5 $4"; return; }
    k=0 dirs=""
    while read -r answers; do
        k=$((k + 1)) && run "$1-$k" "$answers" && dirs="$1-$k $dirs"
    done <"$1.lines"
    "$merge" $dirs >"$1.merged" && cmp -s -- "$1.merged" "$1/palin.txt" ||
        fail "$2 $3 $4 in $5 parts ($1-*) differs from one run${6-}"
}
nines() { printf "%0$1d" 0 | tr 0 9; }
zeros() { printf "%0$1d" 0; }

# Leading zeros on the first part, parts whose fewest steps differ and a number that
# forms none (196), negative and signed zero starts, parts that gain a digit (at 10^22,
# at 10^300), limits written with signs; every part in a directory named with a "-".
n=0
for row in "0187 14 30:1 2 7" "-1234 40 60:2" "9999999999999999999994 40 30:7" "+0 5 3:2" \
    "-000 6 5:3" "89 10 -0:3" "89 10 +05:2" "$(nines 299)5 9 20:3"; do
    for parts in ${row#*:}; do
        n=$((n + 1)) && set -- ${row%:*} && trip "-t$n" "$1" "$2" "$3" "$parts"
    done
done

# split-range: past 32 bits, limits as revadd takes them, the largest COUNT, the longest
# start and the most parts a long start allows; then each refusal, with the range of
# PARTS it takes.
long=$(nines 989)7136688469
for row in "-05 5000000000 3 +010:-05 1666666667 10,-1666666672 1666666667 10,-3333333339 1666666666 10," \
    "1 4294967294 2 -0:1 2147483647 0,2147483648 2147483647 0," "7 1 1 -2147483648:7 1 -2147483648," \
    "$(nines 999) 2 1 5:$(nines 999) 2 5," \
    "$long 4294967294 3 5:$long 1431655765 5,$(nines 989)8568344234 1431655765 5,$(nines 999) 1431655764 5,"; do
    [ "$($split ${row%%:*} | tr '\n' ,)" = "${row#*:}" ] || fail "split-range ${row%%:*}"
done
[ "$($split 1 2147483644852516353 999999999 1 | head -n 1)" = "1 2147483647 1" ] || fail "the largest COUNT"
for row in "1 4294967295 1 10:PARTS must be a whole number from 3 to 999999999 for COUNT 4294967295 (a part" \
    "1 10 11 5:PARTS must be a whole number from 1 to 10 for COUNT 10" \
    "1 2147483644852516354 999999999 1:COUNT must be a whole number from 1 to 2147483644852516353" \
    "$(nines 999) 2 2 5:from 1 to 1 for COUNT 2 (a part holds 1 to 2147483647 numbers: with more, a part would start at a number longer than the 999 characters" \
    "-$(nines 998) 3 2 5:from 1 to 1 for COUNT 3" "$long 4294967294 4 5:from 2 to 3 for COUNT" \
    "$(nines 989)7852516353 4294967294 2 5:the 4294967294 numbers from $(nines 989)7852516353 cannot be split" \
    "1 1 1 2147483648:ITERATIONS must be a whole number from -2147483648 to 2147483647" \
    "1x 1 1 1:START must be digits after an optional + or -"; do
    refused "${row#*:}" "$split" ${row%%:*}
done

# merge-results: the parts a (0187 to 190), b (190 to 193), c (193 to 196), then files
# cut or altered, parts that are not one range, and dashes, equals signs and palin.txt in
# names.
run a "0187 3 30" && run b "190 3 30" && run c "193 3 30"
run limit "190 3 31" && run zeros "0190 3 30" && run plus "+190 3 30" && run down "-190 3 30"
run negative "190 -3 30" && run -e "196 2 30" && run x=1 "193 3 30" && mkdir -p name/palin.txt none
for p in 20 300; do
    lead=1$(zeros $((p - 4)))
    run "s$p" "${lead}100 5 10" && run "o$p" "${lead}103 5 10" && run "g$p" "${lead}106 5 10"
    refused "s$p (${lead}100 to ${lead}105) and o$p (${lead}103 to ${lead}108) overlap: both hold ${lead}103" "$merge" "o$p" "s$p"
    refused "no part holds the numbers ${lead}105 to ${lead}106: one is missing between s$p" "$merge" "g$p" "s$p"
done
lines=$(wc -l <a/palin.txt) bytes=$(wc -c <a/palin.txt)
for row in "0:ends without a summary: the run was stopped or is still going" "8:ends without a summary" \
    "2:ends inside the record of 0187: it was cut short" "13:ends inside the summary, after line 13" \
    "$((lines - 1)):ends inside the summary, after line $((lines - 1))"; do
    mkdir -p "cut${row%%:*}" && head -n "${row%%:*}" a/palin.txt >"cut${row%%:*}/palin.txt"
    refused "cut${row%%:*}/palin.txt ${row#*:}" "$merge" "cut${row%%:*}" b
done
for size in $((bytes - 1)) $((bytes - 20)); do
    mkdir -p "cut-$size" && head -c "$size" a/palin.txt >"cut-$size/palin.txt"
    refused "cut-$size/palin.txt does not end with a line break" "$merge" b "cut-$size"
done
mkdir -p count typed swap high twice && sed 1,4d a/palin.txt >count/palin.txt && sed 1s/0187/187/ a/palin.txt >typed/palin.txt
{ head -n 12 b/palin.txt && tail -n 5 a/palin.txt; } >swap/palin.txt && cat a/palin.txt b/palin.txt >twice/palin.txt
sed 's/^high iterations: 7$/high iterations: 8/' a/palin.txt >high/palin.txt
for row in "count:line 9: the summary counts 3 hits, but 2 records come before it" \
    "typed:line 14: the first record is of 187, but the range starts at 0187" \
    "swap:line 14: the range ends before 190, but the last record is of 192" \
    "high:line 16: expected \"high iterations: 7\", the most steps a record took; found \"high iterations: 8\"" \
    "twice:line 18: expected the end of the file after the summary" \
    "b b:b (190 to 193) and b (190 to 193) hold the same numbers" \
    "zeros:zeros (0190 to 193) starts at 0190, with leading zeros or a +, which only the first part may have" \
    "plus:plus (+190 to 193) starts at +190" \
    "limit:a (0187 to 190) was run with a limit of 30 iterations, limit (190 to 193) with 31" \
    "down:a (0187 to 190) and down (-190 to -193) count in different directions" \
    "negative:line 1: the run was given a range of -3 numbers, which searches none" \
    "-e -f:-f is not a directory" "none:none/palin.txt does not exist" "name:name/palin.txt is a directory"; do
    refused "${row#*:}" "$merge" a ${row%%:*}
done
"$merge" -- x=1 -e b a >merged && run whole "0187 11 30" && cmp -s merged whole/palin.txt ||
    fail "a, b, x=1 and -e differ from one run"

# Random round trips: starts of 1 to 40 digits, the first with a sign and leading zeros
# or not, 1 to 30 numbers in 1 to 6 parts, limits of 1 to 25 steps.
seed=${SEED:-16} x=${SEED:-16}
random() { x=$(((x * 1103515245 + 12345) % 2147483648)) && r=$((x / 65536 % $1)); }
for i in 1 2 3 4 5 6; do
    random 40 && length=$((r + 1)) digits=""
    while [ ${#digits} -lt "$length" ]; do random 10 && digits=$digits$r; done
    random 3 && start=$(echo " + -" | cut -d ' ' -f $((r + 1)))
    random 3 && start=$start$(echo " 0 00" | cut -d ' ' -f $((r + 1)))$digits
    random 30 && count=$((r + 1)) && random 6 && parts=$((r % count + 1)) && random 25
    trip "r$i" "$start" "$count" $((r + 1)) "$parts" " (random round trip $i, SEED=$seed)"
done

[ "$failures" -eq 0 ] && echo "split and merge: all passed"
exit "$failures"
