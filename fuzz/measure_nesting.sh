#!/usr/bin/env bash
# Prints the stack bytes per nesting level of parse, evaluate, write and
# destroy, for the Release build (build/), the sanitizer build
# (build-sanitize/) and the fuzzing build (build-fuzz/), whichever exist.
# Each is measured with the objects and the compiler flags of that build.
#
# Usage: fuzz/measure_nesting.sh [LOW HIGH]   (depths, default 100 900)
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(find src -name '*.cpp' ! -path src/driver/main.cpp | sort)
out=build-fuzz/nesting
mkdir -p "$out"

measure() {
    local name=$1 compiler=$2 objects=$3
    shift 3
    echo "== $name"
    "$compiler" -std=c++17 -Isrc "$@" fuzz/nesting_stack.cpp $objects -o "$out/$name" -pthread
    ASAN_OPTIONS=detect_leaks=0 "$out/$name" "$low" "$high"
}

objects_of() {
    local dir=$1
    for source in "${sources[@]}"; do
        printf '%s ' "$dir/CMakeFiles/qorvantel_core.dir/$source.o"
    done
}

low=${1:-100}
high=${2:-900}
if [ -d build ]; then
    measure release g++ "$(objects_of build)" -O3 -DNDEBUG
fi
if [ -d build-sanitize ]; then
    measure sanitize g++ "$(objects_of build-sanitize)" -g -fsanitize=address,undefined -fno-omit-frame-pointer
fi
if [ -d build-fuzz/obj ]; then
    measure fuzz clang++ "$(ls build-fuzz/obj/*.o | tr '\n' ' ')" -g -O1 -fno-omit-frame-pointer \
        -fsanitize=fuzzer-no-link,address,undefined
fi
