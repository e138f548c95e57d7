#!/usr/bin/env bash
# Checks the Debian package that `make package` built: lintian finds no error, its control
# fields and files, the desktop and AppStream metadata, and that the extracted tavi-score finds its models under
# the extracted tree and scores the samples exactly as the build's tavi-score does.
# Its copyright names Tavi's licence and quotes those of ChaSen (from its source tarball, when
# given) and IPADIC (from Debian's ipadic); LICENSE is the Apache License's text.
# Usage: check-package.sh PACKAGE.deb BUILD_BIN_DIR SAMPLES_DIR [CHASEN_TARBALL [WEB_DIR]]
set -euo pipefail
deb=$1 bin=$2 samples=$3 tarball=${4:-} web=${5:-}
source=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "check-package: $deb: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "missing; build it with make package (make test does)"
[ "$deb" -nt "$bin/tavi-score" ] || fail "older than $bin/tavi-score; build it again with make package"

lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors: $(lintian "$deb" 2>/dev/null)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

depends=$(dpkg-deb -f "$deb" Depends)
for d in libchasen2 ipadic libc6 libqt6widgets6; do
    grep -Eq "(^|, )$d( \(|,|$)" <<<"$depends" || fail "Depends lacks $d: $depends"
done

for f in usr/bin/tavi usr/bin/tavi-score usr/bin/tavi-build-model usr/bin/tavi-morphemes \
    usr/share/tavi/yoroku2000.tcf usr/share/tavi/yoroku2000.dic usr/share/tavi/yoroku2000.siv \
    usr/share/tavi/syasetsu2000.tcf usr/share/tavi/syasetsu2000.dic usr/share/tavi/syasetsu2000.siv \
    usr/share/applications/tavi.desktop usr/share/metainfo/org.example.Tavi.metainfo.xml \
    usr/share/icons/hicolor/48x48/apps/tavi.png usr/share/icons/hicolor/256x256/apps/tavi.png \
    usr/share/doc/tavi/README.md usr/share/doc/tavi/MODELS.md usr/share/doc/tavi/copyright \
    usr/share/man/man1/tavi.1.gz usr/share/man/man1/tavi-score.1.gz \
    usr/share/man/man1/tavi-build-model.1.gz usr/share/man/man1/tavi-morphemes.1.gz; do
    [ -s "$root/$f" ] || fail "lacks /$f"
done
# The web server, once built, comes with its unit and the scripts that create its user.
if [ -e "$root/usr/bin/tavi-serve" ]; then
    for f in usr/lib/systemd/system/tavi-serve.service usr/share/man/man1/tavi-serve.1.gz; do
        [ -s "$root/$f" ] || fail "lacks /$f"
    done
    dpkg-deb -I "$deb" postinst | grep -q 'adduser --system' || fail "its postinst creates no system user"
fi
zcat "$root/usr/share/man/man1/tavi-score.1.gz" | grep -q '^\.SH EXAMPLES' || fail "tavi-score(1) has no EXAMPLES"
grep -q 'CC-BY-2.5' "$root/usr/share/doc/tavi/copyright" || fail "copyright names no licence of the news corpus"
for line in '出典：「情報通信白書」（総務省）（平成12年版〜令和5年版）' 'Sentences from Tatoeba (tatoeba.org), by its contributors'; do
    grep -qF "$line" "$root/usr/share/doc/tavi/copyright" || fail "copyright lacks the attribution line $line"
done

# Tavi's licence: the Apache License's text at the root, named for every file of the package.
cmp -s "$source/LICENSE" /usr/share/common-licenses/Apache-2.0 || fail "LICENSE is not the Apache License 2.0"
copyright=$root/usr/share/doc/tavi/copyright
grep -Pzq '\nFiles: \*\nCopyright: [^\n]+\nLicense: Apache-2\.0\n' "$copyright" || fail "copyright: Files: * is not Apache-2.0"
grep -q '^License: Apache-2.0$' "$copyright" || fail "copyright has no Apache-2.0 licence paragraph"
grep -qF '/usr/share/common-licenses/Apache-2.0' "$copyright" || fail "copyright does not point to the Apache licence's text"
# Every line of a notice, spaces squeezed, among the copyright's lines (a paragraph's lines
# start with a space, an empty one is " .").
quotes() {
    local notice
    notice=$(sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e 's/[[:space:]]\+/ /g' "$copyright")
    while IFS= read -r line; do
        line=$(sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e 's/[[:space:]]\+/ /g' <<<"$line")
        [ -z "$line" ] || [ "$line" = . ] || grep -qxF -- "$line" <<<"$notice" || { echo "$line"; return 1; }
    done
}
for name in ChaSen IPADIC; do grep -q "$name" "$copyright" || fail "copyright does not name $name"; done
ipadic_notice=$(sed -n '/^License: BSD-3-Clause with ICOT term/,$p' /usr/share/doc/ipadic/copyright | tail -n +2)
missing=$(quotes <<<"$ipadic_notice") || fail "copyright lacks IPADIC's notice line: $missing"
if [ -n "$tarball" ] && [ -f "$tarball" ]; then
    missing=$(tar -xJOf "$tarball" chasen-2.4.5/COPYING | quotes) || fail "copyright lacks ChaSen's notice line: $missing"
fi
# The browser build, when it was built, is in /usr/share/tavi/web/ (without the Node programs).
if [ -n "$web" ] && [ -d "$web" ]; then
    (cd "$web" && find . -path ./node -prune -o -type f -print) | while IFS= read -r f; do
        cmp -s "$web/$f" "$root/usr/share/tavi/web/$f" || fail "/usr/share/tavi/web/${f#./} differs from $web or is missing"
    done
    [ ! -e "$root/usr/share/tavi/web/node" ] || fail "/usr/share/tavi/web/node is in the package"
    for name in 'Apache License' 'Nara Institute of Science and Technology' 'ICOT' 'Tatoeba'; do
        grep -q "$name" "$root/usr/share/tavi/web/about.html" || fail "/usr/share/tavi/web/about.html does not name $name"
    done
    # The extracted tavi-serve finds it in ../share/tavi/web/ and serves it under /app/.
    "$root/usr/bin/tavi-serve" --data "$root/serve-data" --listen 127.0.0.1:0 >"$root/serve.log" 2>&1 &
    serve=$!
    for _ in $(seq 100); do grep -q 'で待ち受けています' "$root/serve.log" && break; sleep 0.2; done
    port=$(grep -o '127\.0\.0\.1:[0-9]*' "$root/serve.log" | head -1 | cut -d: -f2)
    served=$(python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode())' \
        "http://127.0.0.1:${port:-0}/app/about.html" 2>&1 || true)
    kill "$serve"
    wait "$serve" || true
    grep -q 'Nara Institute of Science and Technology' <<<"$served" ||
        fail "the extracted tavi-serve does not serve /usr/share/tavi/web/ under /app/: ${served:0:300}"
fi

desktop-file-validate "$root/usr/share/applications/tavi.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.Tavi.metainfo.xml"

# The extracted scorer looks for its models beside itself, then in ../share/tavi/: they are
# found in the extracted tree, and it scores as the build does.
out=$root/out
mkdir "$out"
score() { "$1" --format csv -j 2 -q "$samples/question.txt" "$samples/answers"; }
score "$bin/tavi-score" >"$out/build.csv"
score "$root/usr/bin/tavi-score" >"$out/package.csv" || fail "the extracted tavi-score failed"
cmp -s "$out/build.csv" "$out/package.csv" || fail "the extracted tavi-score scores differently from the build's"
mv "$root/usr/share/tavi" "$root/usr/share/tavi-moved"
if score "$root/usr/bin/tavi-score" >/dev/null 2>&1; then
    fail "the extracted tavi-score scored without the models of the extracted tree"
fi
echo "check-package: $deb: ok"
