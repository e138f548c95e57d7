#!/usr/bin/env bash
# ChaSen in WebAssembly under Node against Debian's `chasen` on the same files, both with the
# installed configuration and dictionary: the outputs must be byte-identical.
# Usage: chasen-identical.sh CHASEN_JS FILE_OR_FOLDER...  (Shift_JIS files are converted to UTF-8,
# the dictionary's encoding, first).
set -euo pipefail
wasm=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inputs=()
for arg in "$@"; do
    if [ -d "$arg" ]; then files=("$arg"/*.txt); else files=("$arg"); fi
    for f in "${files[@]}"; do
        out="$work/$(printf '%04d' ${#inputs[@]})-$(basename "$f")"
        iconv -f UTF-8 -t UTF-8 "$f" >"$out" 2>/dev/null || iconv -f CP932 -t UTF-8 "$f" >"$out" ||
            { echo "$f: neither UTF-8 nor Shift_JIS" >&2; exit 1; }
        inputs+=("$out")
    done
done
[ ${#inputs[@]} -gt 0 ] || { echo "no input files" >&2; exit 1; }

# emscripten 3.1.6's loader would fetch() the .wasm file under Node 18 and later.
run_wasm() { node --no-experimental-fetch "$wasm" "$@"; }
chasen "${inputs[@]}" >"$work/native.out"
run_wasm "${inputs[@]}" >"$work/wasm.out"
lines=$(wc -l <"$work/native.out")
[ "$lines" -gt 0 ] || { echo "Debian's chasen printed nothing" >&2; exit 1; }
if cmp -s "$work/native.out" "$work/wasm.out"; then
    echo "identical on ${#inputs[@]} files: $lines lines, $(wc -c <"$work/native.out") bytes"
    exit 0
fi
# Name the files that differ.
for f in "${inputs[@]}"; do
    cmp -s <(chasen "$f") <(run_wasm "$f") || echo "differs: $(basename "$f" | cut -c6-)" >&2
done
exit 1
