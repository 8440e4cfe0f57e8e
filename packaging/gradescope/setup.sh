#!/usr/bin/env bash
# Gradescope's setup.sh: installs qorvantel-check on the autograder's Ubuntu
# image. From the Debian package beside this script (qorvantel_*.deb, made
# with `cpack -G DEB` in a build folder) when there is one and it installs;
# otherwise from the source tree beside it (a qorvantel/ folder, or the
# tarball qorvantel.tar.gz, as `git archive` writes it), built with CMake.
# Run as root by Gradescope, from /autograder/source.
set -euo pipefail
cd "$(dirname "$0")"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q python3

if ls qorvantel_*.deb >/dev/null 2>&1 && apt-get install -y -q ./qorvantel_*.deb; then
    qorvantel-check --version
    exit 0
fi
echo "Building qorvantel from source."
apt-get install -y -q g++ cmake make pkg-config libsqlite3-dev
if [ ! -d qorvantel ] && [ -f qorvantel.tar.gz ]; then
    mkdir qorvantel && tar -xzf qorvantel.tar.gz -C qorvantel
fi
cmake -S qorvantel -B qorvantel-build -DCMAKE_BUILD_TYPE=Release -DQORVANTEL_TESTS=OFF -DQORVANTEL_LINE_EDITING=off
cmake --build qorvantel-build -j"$(nproc)" --target qorvantel-check
install -m 755 qorvantel-build/qorvantel-check /usr/local/bin/qorvantel-check
qorvantel-check --version
