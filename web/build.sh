#!/usr/bin/env bash
# Builds the web page into web/dist: the interpreter compiled to WebAssembly
# (qorvantel.js and qorvantel.wasm), the page's own files and the example
# databases. The folder is the whole site.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

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
cp web/page/* "$dist/"
python3 web/bundle_examples.py examples "$dist/examples.js"
echo "web/dist: $(du -k "$dist/qorvantel.wasm" | cut -f1) KB module, version $version"
