#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (as
# root) and cross-builds the third-party libraries into build/deps.
# Idempotent: a machine that has everything costs a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest python3
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    libz-mingw-w64-dev nasm dpkg-dev
    wine wine64 xvfb xauth imagemagick
    ffmpeg python3-mutagen flac locales libssl-dev openssl fonts-wqy-zenhei libebur128-dev loudgain
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "[setup] installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source packages: derived from the machine's own binary package entries.
enable_source_packages() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    echo "[setup] enabling source packages"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        case "$f" in *orvo-deb-src.sources) continue;; esac
        grep -q '^Enabled: *no' "$f" && continue
        sed -e 's/^Types: *deb$/Types: deb-src/' "$f"
        echo
    done > /etc/apt/sources.list.d/orvo-deb-src.sources
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list > /etc/apt/sources.list.d/orvo-deb-src.list
    fi
    apt-get update -qq
}

# A Japanese locale: Wine then takes code page 932 (double-byte) as the
# ANSI code page, for the tests of double-byte names and texts.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf-\?8$'; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

deps_ready() {
    local d
    for d in lame id3lib ffmpeg gtest; do
        [ -f "build/deps/$d/.stamp" ] && [ "$(cat "build/deps/$d/.stamp")" = "$(sed -n 's/^STAMP_VERSION=\([0-9]*\).*/\1/p' scripts/build-deps.sh)" ] || return 1
    done
    # libFLAC, nlohmann-json and libebur128 have stamps of their own
    for d in flac:FLAC_STAMP json:JSON_STAMP ebur128:EBUR128_STAMP; do
        [ -f "build/deps/${d%%:*}/.stamp" ] && [ "$(cat "build/deps/${d%%:*}/.stamp")" = "$(sed -n "s/^${d#*:}=\([0-9]*\).*/\1/p" scripts/build-deps.sh)" ] || return 1
    done
}

if ! deps_ready; then
    enable_source_packages
    scripts/build-deps.sh build/deps
fi
