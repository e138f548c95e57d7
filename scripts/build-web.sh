#!/usr/bin/env bash
# Builds the browser build with emscripten: scripts/build-web.sh TREE WEB_DIR CHASEN_TARBALL NATIVE
# configures and builds the emscripten tree TREE, whose files for the page go to WEB_DIR, with
# the files that the native tree NATIVE generates. Installs emscripten first when it is missing.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 TREE WEB_DIR CHASEN_TARBALL NATIVE_TREE" >&2; exit 2; }
tree=$1 web=$2 tarball=$3 native=$4
cd "$(dirname "$0")/.."
scripts/install-deps.sh --web
if [ ! -f "$tree/CMakeCache.txt" ]; then
    emcmake cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        "-DTAVI_WEB_DIR=$web" "-DTAVI_CHASEN_SOURCE=$tarball" "-DTAVI_NATIVE_TREE=$native" >/dev/null
fi
cmake --build "$tree" -j "${JOBS:-2}"
