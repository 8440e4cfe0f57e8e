#!/usr/bin/env bash
# Extends the committed corpus: runs fuzz/run.sh for SECONDS per target
# (default 0: merge only what fuzz/corpus-work/ already holds), then merges
# the working corpus, the seeds and the committed corpus of each target into
# a fresh fuzz/corpus/<kind>/ with libFuzzer's -merge=1, which keeps only
# inputs that add coverage, so the committed corpus stays small. Review and
# commit fuzz/corpus/ afterwards. Coverage is judged as fuzz/run.sh judges
# it: by the branches taken, not by how often (-use_counters=0).
#
# Usage: fuzz/build.sh && fuzz/merge.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-0}
if [ "$seconds" -gt 0 ]; then
    fuzz/run.sh "$seconds" || echo "fuzz/run.sh reported findings: see fuzz/corpus-work/artifacts/" >&2
fi
work=fuzz/corpus-work
python3 fuzz/make_corpus.py "$work"
for target in batch_fuzzer interactive_fuzzer check_fuzzer csv_fuzzer guarantee_fuzzer; do
    kind=${target%_fuzzer}
    fresh=$(mktemp -d)
    mkdir -p "fuzz/corpus/$kind" "$work/$kind"
    "build-fuzz/$target" -merge=1 -use_counters=0 -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
        -dict=fuzz/qorvantel.dict "$fresh" "fuzz/corpus/$kind" "$work/$kind" "fuzz/seeds/$kind" \
        >"$work/$target.merge.log" 2>&1
    rm -rf "fuzz/corpus/$kind"
    mv "$fresh" "fuzz/corpus/$kind"
    chmod 755 "fuzz/corpus/$kind"
    echo "$target: $(ls "fuzz/corpus/$kind" | wc -l) inputs, $(du -sk "fuzz/corpus/$kind" | cut -f1) KB;" \
        "$(grep -E 'MERGE-OUTER: [0-9]+ new files' "$work/$target.merge.log" | tail -1)"
done
