#!/usr/bin/env bash
# Installs the Debian packages Tavi needs to build, test and run; only what is missing.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libchasen2 ipadic chasen
    libeigen3-dev libspectra-dev libcli11-dev nlohmann-json3-dev
    libcpp-httplib-dev libssl-dev libsqlite3-dev libsodium-dev libzip-dev libpugixml-dev libcsv-dev
    chromium chromium-driver python3-selenium openssl poppler-utils
    qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev libx11-dev
    xvfb xauth fonts-ipafont-gothic
    dpkg-dev help2man appstream desktop-file-utils lintian
    clang-format
)
# npm fetches axe-core for the browser test; Debian's unless a Node.js with its own npm is there.
command -v npm >/dev/null || packages+=(npm)
# make fuzz also needs clang with its sanitizer and libFuzzer runtimes.
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-14-dev)
# make web (the browser build) also needs emscripten, acorn for its JavaScript optimiser, and
# the header of the double-array library that ChaSen is built with. The sources of zlib, libzip,
# pugixml and libcsv, which it compiles too, are fetched by its CMake files (cmake/WebSources.cmake).
[ "${1:-}" = "--web" ] && packages+=(emscripten node-acorn darts)
# The browser test checks every page with axe-core (npm), kept beside the test and out of git.
install_axe() {
    local here
    here="$(cd "$(dirname "$0")/.." && pwd)"
    [ -f "$here/tests/browser/node_modules/axe-core/axe.min.js" ] && return 0
    echo "Installing axe-core into tests/browser/node_modules"
    npm install --silent --no-save --no-package-lock --no-audit --no-fund --prefix "$here/tests/browser" axe-core@4.10.3
}
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && { install_axe; exit 0; }
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
install_axe
