#!/usr/bin/env bash
# Runs every libFuzzer target for a while (FUZZ_SECONDS each, default 600), seeded from the
# samples. Inputs that make a target fail are copied to tests/data/fuzz/<target>/, where the
# regression test replays them. Needs a build of the fuzz targets: make fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-600}
build=${FUZZ_BUILD:-build-fuzz}
normal=${BUILD:-build}
work=${FUZZ_WORK:-build-fuzz/corpus}
mkdir -p "$work"

seed() {  # seed <target> <files...>
    mkdir -p "$work/$1"
    shift_target=$1
    shift
    for f in "$@"; do cp "$f" "$work/$shift_target/" 2>/dev/null || true; done
}
seed reader data/samples/answers/*.txt data/samples/question.txt
mkdir -p "$work/features"
for f in data/samples/answers/*.txt; do
    { iconv -f CP932 -t UTF-8 "$f" 2>/dev/null || cat "$f"; } | chasen | iconv -f UTF-8 -t CP932 -c \
        > "$work/features/$(basename "$f")" || true
done
mkdir -p "$work/settings" "$work/dictionary" "$work/matrix" "$work/params"
printf 'dicfile words.dic\nsivfile words.siv\n' > "$work/settings/plain.tcf"
printf '# model\nDicFile small.dic  # comment\n%% other\nSIVFILE small.siv\n' > "$work/settings/comments.tcf"
if [ -f "$normal/bin/yoroku2000.dic" ]; then head -c 4000 "$normal/bin/yoroku2000.dic" > "$work/dictionary/head.dic"; fi
printf '\x02\x00\x00\x00\x03\x00\x00\x00' > "$work/matrix/header.siv"
head -c 200 /dev/zero >> "$work/matrix/header.siv"
if [ -x "$normal/bin/tavi-score" ]; then
    "$normal/bin/tavi-score" --format csv -q data/samples/question.txt --save-params "$work/params/samples.prm" \
        data/samples/answers >/dev/null 2>&1 || true
fi

for pair in reader:FuzzReader features:FuzzAnalysisFeatures settings:FuzzSettingsFile \
            dictionary:FuzzDictionary matrix:FuzzMatrix params:FuzzParameterFile; do
    name=${pair%%:*}
    binary=$build/bin/fuzz_${pair#*:}
    findings=tests/data/fuzz/$name
    mkdir -p "$findings" "$work/$name-findings"
    echo "== $name: $seconds s"
    LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp \
        "$binary" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=4096 \
        -artifact_prefix="$work/$name-findings/" -print_final_stats=1 "$work/$name" 2>&1 | tail -12 || true
    for f in "$work/$name-findings"/*; do
        if [ -f "$f" ]; then
            cp "$f" "$findings/"
            echo "finding kept: $findings/$(basename "$f")"
        fi
    done
done
