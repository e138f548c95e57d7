#!/usr/bin/env bash
# tavi-score natively and under Node (tavi-score.mjs) with the same arguments, each in a folder of
# its own: the exit status, the standard output and every file written (-o, --save-params,
# --report) must be byte-identical, and so must the messages, but for the folder of the built-in
# models (the native program's own, ../models/ beside tavi-score.mjs).
# Usage: score-identical.sh NATIVE TAVI_SCORE_MJS ARGUMENT...
set -euo pipefail
native=$1 mjs=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/native" "$work/wasm"
status=0
(cd "$work/native" && "$native" "$@" >../native.out 2>../native.err) || status=$?
wasm_status=0
(cd "$work/wasm" && node "$mjs" "$@" >../wasm.out 2>../wasm.err) || wasm_status=$?
failed=0
if [ "$status" != "$wasm_status" ]; then
    echo "exit status: native $status, Node $wasm_status" >&2
    cat "$work/wasm.err" >&2
    failed=1
fi
if [ "$status" = 0 ] && [ ! -s "$work/native.out" ] && [ -z "$(ls "$work/native")" ]; then
    echo "native tavi-score wrote nothing" >&2
    exit 1
fi
compare() {  # NAME NATIVE_FILE WASM_FILE
    if ! cmp -s "$2" "$3"; then
        echo "$1 differs:" >&2
        diff <(iconv -f CP932 -t UTF-8 -c "$2") <(iconv -f CP932 -t UTF-8 -c "$3") | head -20 >&2 || true
        failed=1
    fi
}
compare "standard output" "$work/native.out" "$work/wasm.out"
native_models=$(dirname "$native")
sed -e "s|$native_models/|MODELS/|g" -e "s|$(realpath -m "$native_models/../share/tavi")/|MODELS/|g" \
    "$work/native.err" >"$work/native.messages"
sed "s|$(cd "$(dirname "$mjs")/../models" && pwd)/|MODELS/|g" "$work/wasm.err" >"$work/wasm.messages"
compare "messages" "$work/native.messages" "$work/wasm.messages"
written=$(cd "$work/native" && find . -type f | sort)
if [ "$written" != "$(cd "$work/wasm" && find . -type f | sort)" ]; then
    echo "files written: native [$written], Node [$(cd "$work/wasm" && find . -type f | sort)]" >&2
    failed=1
fi
for file in $written; do compare "$file" "$work/native/$file" "$work/wasm/$file"; done
[ "$failed" = 0 ] || exit 1
echo "identical: exit status $status, $(wc -c <"$work/native.out") bytes of output, files: ${written//$'\n'/ }"
