#!/usr/bin/env bash
# Throughput of tavi-score against ChaSen alone, on 1,000 answers cut from the corpus texts.
# Prints the times and the ratios -j1 / chasen and -j2 / chasen. Run by hand after a build:
#   bench/throughput.sh [BUILD_DIR] [ANSWERS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Answers of about 1,600 characters: the first paragraphs of corpus documents, in UTF-8.
mkdir -p "$work/answers"
i=0
for f in data/corpus/essays/*.txt data/corpus/news/*.txt; do
    [ "$i" -ge "$count" ] && break
    awk 'BEGIN { n = 0 } { n += length($0) + 1; if (n > 4800) exit; print }' "$f" > "$work/answers/$(printf '%05d' "$i").txt"
    i=$((i + 1))
done
cp data/samples/question.txt "$work/question.txt"

# One run of a command, in seconds, best of three.
best_of_three() {
    local best=""
    for _ in 1 2 3; do
        local start end t
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "$best"
}

chasen_time=$(best_of_three sh -c "chasen $work/answers/*.txt")
j1=$(best_of_three "$build/bin/tavi-score" -j1 --format csv -q "$work/question.txt" "$work/answers")
j2=$(best_of_three "$build/bin/tavi-score" -j2 --format csv -q "$work/question.txt" "$work/answers")
printf 'answers: %d\n' "$count"
printf 'chasen alone:    %.3f s\n' "$chasen_time"
printf 'tavi-score -j1:  %.3f s  (%.2f x chasen; target <= 1.25)\n' "$j1" "$(awk -v a="$j1" -v b="$chasen_time" 'BEGIN { print a / b }')"
printf 'tavi-score -j2:  %.3f s  (%.2f x chasen; target <= 0.70)\n' "$j2" "$(awk -v a="$j2" -v b="$chasen_time" 'BEGIN { print a / b }')"
