#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/: every source of the program
# except main, compiled once with AddressSanitizer and UndefinedBehaviorSanitizer
# into objects shared by both targets. Needs clang++ with libFuzzer (the
# compiler-rt runtime).
#
# Usage: fuzz/build.sh        (CXX overrides the compiler)
set -euo pipefail
cd "$(dirname "$0")/.."

CXX=${CXX:-clang++}
out=build-fuzz
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc)
mkdir -p "$out/obj"

sources=()
while IFS= read -r source; do
    sources+=("$source")
done < <(find src -name '*.cpp' ! -path src/driver/main.cpp | sort)

# Compile what is older than its source or than any header, two at a time.
newest_header=$(find src -name '*.h' -printf '%T@\n' | sort -n | tail -1)
objects=()
running=0
for source in "${sources[@]}"; do
    object="$out/obj/$(echo "${source%.cpp}" | tr / _).o"
    objects+=("$object")
    if [ -e "$object" ] && [ "$object" -nt "$source" ] &&
        [ "$(stat -c %Y "$object")" -ge "${newest_header%.*}" ]; then
        continue
    fi
    echo "compiling $source"
    rm -f "$object"
    "$CXX" "${flags[@]}" -c "$source" -o "$object" &
    running=$((running + 1))
    if [ "$running" -ge 2 ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

for target in batch_fuzzer interactive_fuzzer; do
    echo "linking $out/$target"
    "$CXX" "${flags[@]}" "fuzz/$target.cpp" "${objects[@]}" -o "$out/$target"
done
