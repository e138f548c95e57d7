#!/usr/bin/env bash
# Throughput of tavi-score against ChaSen alone, on 1,000 answers cut from the corpus texts.
# Prints the best times of ROUNDS (default 5) interleaved rounds and the ratios -j1 / chasen
# and -j2 / chasen; also ChaSen on the two halves of the answers at once, which shows what two
# processes gain on this machine at the time. Run by hand after a build:
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
files=("$work"/answers/*.txt)
half=$(( ${#files[@]} / 2 ))
printf '%s\n' "${files[@]:0:half}" > "$work/first-half"
printf '%s\n' "${files[@]:half}" > "$work/second-half"

# Seconds of one run of a command.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

# Rounds of the three commands one after the other, so that a change in the machine's load
# touches all three alike; the best time of each counts.
rounds=${ROUNDS:-5}
chasen_time="" halves="" j1="" j2=""
for _ in $(seq "$rounds"); do
    chasen_time=$(min "$chasen_time" "$(seconds sh -c "chasen $work/answers/*.txt")")
    halves=$(min "$halves" "$(seconds sh -c "xargs chasen < $work/first-half > /dev/null & xargs chasen < $work/second-half; wait")")
    j1=$(min "$j1" "$(seconds "$build/bin/tavi-score" -j1 --format csv -q "$work/question.txt" "$work/answers")")
    j2=$(min "$j2" "$(seconds "$build/bin/tavi-score" -j2 --format csv -q "$work/question.txt" "$work/answers")")
done
printf 'answers: %d\n' "$count"
printf 'chasen alone:    %.3f s\n' "$chasen_time"
printf 'chasen, halves:  %.3f s  (%.2f x chasen: two ChaSen processes at once)\n' "$halves" "$(awk -v a="$halves" -v b="$chasen_time" 'BEGIN { print a / b }')"
printf 'tavi-score -j1:  %.3f s  (%.2f x chasen; target <= 1.25)\n' "$j1" "$(awk -v a="$j1" -v b="$chasen_time" 'BEGIN { print a / b }')"
printf 'tavi-score -j2:  %.3f s  (%.2f x chasen; target <= 0.70)\n' "$j2" "$(awk -v a="$j2" -v b="$chasen_time" 'BEGIN { print a / b }')"
