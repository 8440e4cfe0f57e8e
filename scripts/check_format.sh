#!/usr/bin/env bash
# Checks that every C++ source and header under src/, tests/ and fuzz/ is as
# clang-format (with the project's .clang-format) would leave it. Names each
# file that drifts and exits 1 if any does; `cmake --build build --target
# format` or `clang-format -i FILE` mends them.
#
# Usage: scripts/check_format.sh        (CLANG_FORMAT overrides the program)
# The formatting is that of Debian 12's clang-format (14); other versions
# may disagree on a few lines.
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format=${CLANG_FORMAT:-clang-format}
if ! command -v "$clang_format" >/dev/null; then
    echo "check_format: $clang_format not found (Debian: apt-get install clang-format)" >&2
    exit 2
fi

# Sixteen files to a clang-format process, two processes at once; each
# difference is reported as "FILE:LINE:COLUMN: error: code should be
# clang-formatted".
drifting=$(find src tests fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
    { xargs -0 -n 16 -P 2 "$clang_format" --dry-run --Werror 2>&1 || true; } |
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)

if [ -n "$drifting" ]; then
    echo "$drifting" | sed 's/^/not formatted: /'
    echo "check_format: $(echo "$drifting" | wc -l) file(s) differ from clang-format's output" >&2
    exit 1
fi
