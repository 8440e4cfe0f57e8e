#!/usr/bin/env bash
# Builds the web page into web/dist: the interpreter compiled to WebAssembly
# (qorvantel.js and qorvantel.wasm), the page's scripts bundled with the
# editor (CodeMirror, from npm, pinned in web/package-lock.json), its styles,
# the example databases and the manual. The folder is the whole site: it
# loads nothing from the network. Installs what it needs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

missing=()
command -v emcc >/dev/null || missing+=(emscripten)
command -v cmake >/dev/null || missing+=(cmake)
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]})); then
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
if [ ! -x web/node_modules/.bin/esbuild ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
    (cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi

# The toolchain's JavaScript optimizer needs acorn, which Debian ships for its
# own node; another node on the PATH does not look there.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

version="$(git describe --always --dirty 2>/dev/null || echo unknown)"
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DQORVANTEL_TESTS=OFF \
    -DQORVANTEL_VERSION="$version" >/dev/null
cmake --build build-web -j2 --target qorvantel_web

dist="$root/web/dist"
rm -rf "$dist"
mkdir -p "$dist"
cp build-web/web/qorvantel.js build-web/web/qorvantel.wasm "$dist/"
cp web/page/index.html web/page/style.css web/page/worker.js "$dist/"
web/node_modules/.bin/esbuild web/page/src/main.js --bundle --minify --format=iife --target=chrome105,firefox110,safari16 \
    --outfile="$dist/page.js" --log-level=warning
python3 web/bundle_examples.py examples "$dist/examples.js"
python3 web/bundle_manual.py docs/manual.md "$dist/manual.js"
echo "web/dist: $(du -k "$dist/qorvantel.wasm" | cut -f1) KB module, $(du -sk "$dist" | cut -f1) KB in all, version $version"
