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
# The pool is the one Release uses; under AddressSanitizer it poisons the
# space no object owns.
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
    -Isrc)
# The checker's guarantees need Z3 (Debian: libz3-dev); without it the
# objects are built without QORVANTEL_HAVE_Z3, as the page is, and the
# checker only searches. QORVANTEL_FUZZ_Z3=0 leaves it out on purpose.
link=()
if [ "${QORVANTEL_FUZZ_Z3:-1}" != 0 ] && pkg-config --exists z3 2>/dev/null; then
    read -r -a z3_flags <<<"$(pkg-config --cflags z3)"
    flags+=(-DQORVANTEL_HAVE_Z3 "${z3_flags[@]}")
    read -r -a link <<<"$(pkg-config --libs z3)"
    echo "with Z3"
else
    echo "without Z3: the checker only searches"
fi
mkdir -p "$out/obj"
# Objects built with other flags (with Z3 or without) are built again.
if [ "$(cat "$out/flags" 2>/dev/null)" != "${flags[*]}" ]; then
    rm -f "$out"/obj/*.o
    echo "${flags[*]}" >"$out/flags"
fi

# Everything but the programs' entry points and grading's worker processes,
# the terminal line editor, the browser glue (built by Emscripten only) and
# the Python glue.
sources=()
while IFS= read -r source; do
    sources+=("$source")
done < <(find src -name '*.cpp' ! -path src/driver/main.cpp ! -path src/check/check_main.cpp ! -path 'src/check/check_workers*' ! -path src/convert/convert_main.cpp ! -path src/driver/line_editor.cpp ! -path 'src/web/*' ! -path 'src/python/*' | sort)

# Compile what is older than its source, than any header or than this
# script (which holds the flags), two at a time.
objects=()
running=0
for source in "${sources[@]}"; do
    object="$out/obj/$(echo "${source%.cpp}" | tr / _).o"
    objects+=("$object")
    if [ -e "$object" ] && [ -z "$(find "$source" src fuzz/build.sh -newer "$object" \( -name '*.h' -o -path "$source" -o -name build.sh \) | head -1)" ]; then
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

for target in batch_fuzzer interactive_fuzzer check_fuzzer csv_fuzzer guarantee_fuzzer; do
    echo "linking $out/$target"
    "$CXX" "${flags[@]}" "fuzz/$target.cpp" "${objects[@]}" "${link[@]}" -o "$out/$target"
done
