#!/usr/bin/env bash
# Measures each fuzz target's speed: three runs of SECONDS (default 30)
# from a scratch copy of the committed corpus, and the median of the
# executions per second libFuzzer reports at the end of each run. Run
# fuzz/build.sh first.
#
# Usage: fuzz/speed.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
for target in batch_fuzzer interactive_fuzzer; do
    kind=${target%_fuzzer}
    rates=()
    for run in 1 2 3; do
        scratch=$(mktemp -d)
        log=$(mktemp)
        "build-fuzz/$target" "$scratch" "fuzz/corpus/$kind" -dict=fuzz/qorvantel.dict -use_counters=0 \
            -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$scratch/" >"$log" 2>&1 || true
        rates+=("$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")")
        rm -rf "$scratch" "$log"
    done
    median=$(printf '%s\n' "${rates[@]}" | sort -n | sed -n 2p)
    echo "$target: ${rates[*]} executions/s; median $median"
done
