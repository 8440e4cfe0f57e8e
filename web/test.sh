#!/usr/bin/env bash
# Builds the web page (web/build.sh) and runs its two tests: the module
# against the native console byte for byte under node, and the page in
# headless Chromium. Installs what is missing. Screenshots are kept in
# web/artifacts. Ends with "N passed, M failed"; non-zero on any failure.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

missing=()
command -v emcc >/dev/null || missing+=(emscripten)
command -v chromium >/dev/null || missing+=(chromium)
if ((${#missing[@]})); then
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" || exit 1
fi
if [ ! -d web/node_modules/puppeteer-core ]; then
    (cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund) || exit 1
fi
if [ ! -x build/qorvantel ] || [ ! -x build/qorvantel-convert ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build build -j2 --target qorvantel qorvantel-convert || exit 1
fi
web/build.sh || exit 1

passed=0
failed=0
tally() {
    local summary
    summary="$(tail -n 1 "$1")"
    if [[ "$summary" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
    else
        failed=$((failed + 1))
    fi
}

log="$(mktemp)"
echo "== the module against the console, byte for byte"
python3 web/tests/byte_exact.py build/qorvantel web/dist/qorvantel.js 2>&1 | tee "$log"
tally "$log"
echo "== the page in headless Chromium"
node web/tests/browser.mjs build/qorvantel web/artifacts 2>&1 | tee "$log"
tally "$log"
rm -f "$log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
