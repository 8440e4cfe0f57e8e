#!/usr/bin/env bash
# Runs each fuzz target for SECONDS (default 60) after fuzz/build.sh, one
# after the other. The working corpora live in fuzz/corpus-work/ (not
# committed) and start from the golden cases, the seeds in fuzz/seeds/ and
# the committed, minimised corpus in fuzz/corpus/<kind>/, so that every run
# goes on from what earlier campaigns found. fuzz/merge.sh folds a run's
# findings back into fuzz/corpus/.
# Crash, leak, timeout and out-of-memory inputs are written to
# fuzz/corpus-work/artifacts/. Exits non-zero when any target found anything.
#
# Usage: fuzz/run.sh [SECONDS]
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
work=fuzz/corpus-work
mkdir -p "$work/artifacts"
python3 fuzz/make_corpus.py "$work" || exit 1

status=0
for target in batch_fuzzer interactive_fuzzer check_fuzzer csv_fuzzer guarantee_fuzzer; do
    kind=${target%_fuzzer}
    program=build-fuzz/$target
    if [ ! -x "$program" ]; then
        echo "$program is missing: run fuzz/build.sh first" >&2
        exit 1
    fi
    log=$work/$target.log
    echo "== fuzzing $target for $seconds s"
    # -max_len: 16 KB hold every construct of the grammar and reach the
    # nesting bound with the widest operators (the seeds do so); longer
    # inputs only slow the search down. The hostile tests cover long lines.
    # -use_counters=0: an input counts as new for the branches it takes, not
    # for how often it takes them. Counting rewarded mere repetition (more
    # rows, more lines, one more time round a loop) with thousands of inputs
    # new only in that, each costing the search its bookkeeping, and grew
    # the corpus towards the longest inputs; without it both targets run
    # three to four times as many inputs a second.
    mkdir -p "fuzz/corpus/$kind" "$work/$kind"
    "$program" "$work/$kind" "fuzz/corpus/$kind" "fuzz/seeds/$kind" \
        -dict=fuzz/qorvantel.dict \
        -use_counters=0 \
        -max_total_time="$seconds" \
        -max_len=16384 \
        -timeout=10 \
        -rss_limit_mb=2048 \
        -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/$target-" \
        >"$log" 2>&1
    result=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$log" | sed "s/^/$target: /"
    if [ "$result" -ne 0 ]; then
        echo "$target: FINDING (exit status $result); log $log:"
        grep -E -A 40 '^==[0-9]+==ERROR|runtime error|^SUMMARY|ALARM|out-of-memory|_fuzzer: ' "$log" | head -80
        ls "$work"/artifacts/"$target"-* 2>/dev/null
        status=1
    fi
done
exit $status
