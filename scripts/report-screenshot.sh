#!/usr/bin/env bash
# Scores the bundled sample essays with an HTML report and renders it with headless Chromium
# into docs/report.png. Installs Chromium and a Japanese font first when they are missing.
# BUILD names the build folder (default build); tavi-score and the models are built there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
out=${REPORT_PNG:-docs/report.png}

missing=()
command -v chromium >/dev/null 2>&1 || missing+=(chromium)
fc-list :lang=ja 2>/dev/null | grep -q . || missing+=(fonts-noto-cjk)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tavi-score tavi_models >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/tavi-score" -q data/samples/question.txt --report "$work/report.html" data/samples/answers >/dev/null
mkdir -p "$(dirname "$out")"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" \
    --screenshot="$PWD/$out" --window-size=1200,1600 "file://$work/report.html" 2>/dev/null
echo "Wrote $out"
