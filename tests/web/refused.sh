#!/usr/bin/env bash
# What the WebAssembly tavi-score cannot read (it has no zip, XML and CSV libraries) it refuses
# with a message and no output, instead of scoring it as an empty answer.
# Usage: refused.sh TAVI_SCORE_MJS QUESTION ANSWER_TXT
set -euo pipefail
mjs=$1 question=$2 answer=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/folder"
cp "$answer" "$work/folder/a.txt"
printf 'PK\003\004 not scored\n' >"$work/folder/b.DOCX"
printf '"名前","回答"\r\n"山田","%s"\r\n' "$(iconv -f CP932 -t UTF-8 "$answer" 2>/dev/null || cat "$answer")" >"$work/form.csv"
failed=0
expect() {  # STATUS TEXT ARGUMENT...: the exit status, a text of the message, and no output
    local want=$1 text=$2 got=0
    shift 2
    node "$mjs" -q "$question" --format csv "$@" >"$work/out" 2>"$work/err" || got=$?
    if [ "$got" != "$want" ] || ! grep -qF "$text" "$work/err" || [ -s "$work/out" ]; then
        echo "tavi-score.mjs $*: exit status $got (want $want), output $(wc -c <"$work/out") bytes, message:" >&2
        cat "$work/err" >&2
        failed=1
    fi
}
expect 2 "Word 文書 (.docx) はこの WebAssembly 版では読めません" "$work/folder"
expect 2 "b.DOCX" "$work/folder/a.txt" "$work/folder/b.DOCX"
expect 1 "表 (.csv, .xlsx) はこの WebAssembly 版では読めません" --text-column 回答 --name-column 名前 "$work/form.csv"
# The text answer alone is scored.
node "$mjs" -q "$question" --format csv "$work/folder/a.txt" >"$work/out"
[ "$(grep -c 'a.txt' "$work/out")" = 1 ] || { echo "a.txt alone was not scored:" >&2; cat "$work/out" >&2; failed=1; }
[ "$failed" = 0 ] || exit 1
echo "refused: a .docx in a folder and named, a CSV sheet; the text answer alone scored"
