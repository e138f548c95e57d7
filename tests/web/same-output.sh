#!/usr/bin/env bash
# A native program and its WebAssembly build under Node, run on the same files: the outputs must
# be byte-identical. Usage: same-output.sh NATIVE PROGRAM_JS FILE_OR_FOLDER...
set -euo pipefail
native=$1 wasm=$2
shift 2
files=()
for arg in "$@"; do
    if [ -d "$arg" ]; then files+=("$arg"/*.txt); else files+=("$arg"); fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$native" "${files[@]}" >"$work/native.out"
# emscripten 3.1.6's loader would fetch() the .wasm file under Node 18 and later.
node --no-experimental-fetch "$wasm" "${files[@]}" >"$work/wasm.out"
[ -s "$work/native.out" ] || { echo "$native printed nothing" >&2; exit 1; }
if cmp "$work/native.out" "$work/wasm.out"; then
    echo "identical on ${#files[@]} files: $(wc -c <"$work/native.out") bytes"
else
    diff <(tr -d '\r' <"$work/native.out" | iconv -f CP932 -t UTF-8 -c) \
        <(tr -d '\r' <"$work/wasm.out" | iconv -f CP932 -t UTF-8 -c) | head -20 >&2
    exit 1
fi
