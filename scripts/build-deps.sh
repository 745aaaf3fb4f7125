#!/usr/bin/env bash
# Cross-builds the third-party libraries (LAME, libFLAC, id3lib, minimal
# FFmpeg, GoogleTest, libebur128) as static 64-bit Windows libraries from Debian's source
# packages, and installs nlohmann-json's headers from its own. Each one
# lands in $DEPS/<name> and is stamped; a stamped library is reused, so a
# second run costs seconds.
set -euo pipefail

DEPS=${1:?usage: build-deps.sh DEPS_DIR}
mkdir -p "$DEPS/src"
DEPS=$(cd "$DEPS" && pwd)
HOST=x86_64-w64-mingw32
TOOLCHAIN=$(cd "$(dirname "$0")/../cmake" && pwd)/mingw-w64-x86_64.cmake
JOBS=$(nproc)
STAMP_VERSION=3   # bump when the recipes below change

log() { echo "[deps] $*"; }

stamped() { [ -f "$DEPS/$1/.stamp" ] && [ "$(cat "$DEPS/$1/.stamp")" = "$STAMP_VERSION" ]; }
stamp() { echo "$STAMP_VERSION" > "$DEPS/$1/.stamp"; }

# Unpacks a Debian source package (with its patches applied) once.
source_dir() {
    local pkg=$1
    local dir
    dir=$(find "$DEPS/src" -maxdepth 1 -mindepth 1 -type d -name "${2:-$pkg}-*" | head -n 1)
    if [ -z "$dir" ]; then
        (cd "$DEPS/src" && apt-get source -qq "$pkg" >/dev/null 2>&1) || {
            echo "apt-get source $pkg failed" >&2; exit 1; }
        dir=$(find "$DEPS/src" -maxdepth 1 -mindepth 1 -type d -name "${2:-$pkg}-*" | head -n 1)
    fi
    echo "$dir"
}

build_lame() {
    stamped lame && return 0
    log "building LAME"
    local src; src=$(source_dir lame)
    rm -rf "$DEPS/lame" "$DEPS/build-lame"; mkdir -p "$DEPS/build-lame"
    (cd "$DEPS/build-lame" &&
        "$src/configure" --host=$HOST --prefix="$DEPS/lame" --disable-shared --enable-static \
            --disable-frontend --disable-decoder --disable-gtktest CFLAGS="-O2" \
            CC=$HOST-gcc-posix >/dev/null &&
        make -j"$JOBS" >/dev/null && make install >/dev/null)
    # The command-line encoder of the same source, for the encoding benchmark.
    rm -rf "$DEPS/build-lame-fe"; mkdir -p "$DEPS/build-lame-fe"
    (cd "$DEPS/build-lame-fe" &&
        "$src/configure" --host=$HOST --prefix="$DEPS/lame-frontend" --disable-shared --enable-static \
            --disable-decoder --disable-gtktest CFLAGS="-O2" LDFLAGS="-static" \
            CC=$HOST-gcc-posix >/dev/null &&
        make -j"$JOBS" >/dev/null && mkdir -p "$DEPS/lame/bin" &&
        cp frontend/lame.exe "$DEPS/lame/bin/lame.exe")
    rm -rf "$DEPS/build-lame" "$DEPS/build-lame-fe"
    stamp lame
}

# libFLAC has its own stamp: adding it must not rebuild the others.
FLAC_STAMP=2

build_flac() {
    [ -f "$DEPS/flac/.stamp" ] && [ "$(cat "$DEPS/flac/.stamp")" = "$FLAC_STAMP" ] && return 0
    log "building libFLAC and its command-line encoder"
    local src; src=$(source_dir flac)
    rm -rf "$DEPS/flac" "$DEPS/build-flac"; mkdir -p "$DEPS/build-flac"
    # One build gives both the library and flac.exe, the command-line
    # encoder of the same source that the FLAC benchmark runs against
    # (-static: it needs no DLL beside it under Wine). Only the folders
    # these need are made: a Debian patch touches doc/Makefile.am, whose
    # rebuild would want automake.
    (cd "$DEPS/build-flac" &&
        "$src/configure" --host=$HOST --prefix="$DEPS/flac" --disable-shared --enable-static \
            --disable-ogg --disable-cpplibs --disable-doxygen-docs --disable-examples \
            CFLAGS="-O2" LDFLAGS="-static" CC=$HOST-gcc-posix >/dev/null &&
        make -C src/libFLAC -j"$JOBS" >/dev/null && make -C src/share -j"$JOBS" >/dev/null &&
        make -C src/flac -j"$JOBS" >/dev/null &&
        make -C src/libFLAC install >/dev/null && make -C include/FLAC install >/dev/null &&
        mkdir -p "$DEPS/flac/bin" && cp src/flac/flac.exe "$DEPS/flac/bin/flac.exe")
    # libtool's -static leaves the stack protector's runtime a DLL: it goes
    # beside flac.exe (the program itself links libssp statically).
    cp "$($HOST-gcc-posix -print-file-name=libssp-0.dll)" "$DEPS/flac/bin/"
    rm -rf "$DEPS/build-flac"
    echo "$FLAC_STAMP" > "$DEPS/flac/.stamp"
}

# nlohmann-json is headers only: its single-header tree is all the build
# needs. A stamp of its own, so adding it rebuilds nothing else.
JSON_STAMP=1

build_json() {
    [ -f "$DEPS/json/.stamp" ] && [ "$(cat "$DEPS/json/.stamp")" = "$JSON_STAMP" ] && return 0
    log "installing nlohmann-json's headers"
    local src; src=$(source_dir nlohmann-json3)
    rm -rf "$DEPS/json"; mkdir -p "$DEPS/json/include"
    cp -r "$src/single_include/nlohmann" "$DEPS/json/include/"
    cp "$src/LICENSE.MIT" "$DEPS/json/"
    echo "$JSON_STAMP" > "$DEPS/json/.stamp"
}

build_id3lib() {
    stamped id3lib && return 0
    log "building id3lib"
    local src; src=$(source_dir id3lib3.8.3)
    local out="$DEPS/id3lib" obj="$DEPS/build-id3lib"
    rm -rf "$out" "$obj"; mkdir -p "$out/include" "$out/lib" "$obj"
    # Its autotools do not regenerate; the Windows config header serves, with zlib.
    sed -e 's|/\* #undef HAVE_ZLIB \*/|#define HAVE_ZLIB 1|' "$src/config.h.win32" > "$obj/config.h"
    local f pids=()
    for f in "$src"/src/*.cpp; do
        $HOST-g++-posix -O2 -std=gnu++98 -w -DHAVE_CONFIG_H -DID3LIB_LINKOPTION=1 \
            -I"$obj" -I"$src/include" -I"$src/include/id3" -I"$src/src" \
            -c "$f" -o "$obj/$(basename "${f%.cpp}").o" &
        pids+=($!)
        if [ ${#pids[@]} -ge "$JOBS" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
    done
    for p in "${pids[@]}"; do wait "$p"; done
    $HOST-ar rcs "$out/lib/libid3.a" "$obj"/*.o
    cp -r "$src/include/id3.h" "$src/include/id3" "$out/include/"
    rm -rf "$obj"
    stamp id3lib
}

build_ffmpeg() {
    stamped ffmpeg && return 0
    log "building FFmpeg (WMA v2 encoder and ASF only)"
    local src; src=$(source_dir ffmpeg)
    rm -rf "$DEPS/ffmpeg" "$DEPS/build-ffmpeg"; mkdir -p "$DEPS/build-ffmpeg"
    (cd "$DEPS/build-ffmpeg" &&
        "$src/configure" --prefix="$DEPS/ffmpeg" --enable-cross-compile --arch=x86_64 \
            --target-os=mingw32 --cross-prefix=$HOST- --cc=$HOST-gcc-posix --cxx=$HOST-g++-posix \
            --enable-static --disable-shared --disable-programs --disable-doc --disable-network \
            --disable-autodetect --disable-debug --disable-everything \
            --disable-avdevice --disable-avfilter --disable-swscale --disable-swresample --disable-postproc \
            --enable-encoder=wmav2 --enable-decoder=wmav2 --enable-muxer=asf --enable-demuxer=asf \
            --enable-protocol=file >/dev/null &&
        make -j"$JOBS" >/dev/null 2>&1 && make install >/dev/null)
    rm -rf "$DEPS/build-ffmpeg"
    stamp ffmpeg
}

# libebur128 (loudness for ReplayGain): a stamp of its own. Its source
# package's upstream tarball is checked against the package's own .dsc and
# used as it is; the package's Debian part only packages it (and some
# mirrors lack it).
EBUR128_STAMP=1

build_ebur128() {
    [ -f "$DEPS/ebur128/.stamp" ] && [ "$(cat "$DEPS/ebur128/.stamp")" = "$EBUR128_STAMP" ] && return 0
    log "building libebur128"
    local src dsc tarball
    src=$(find "$DEPS/src" -maxdepth 1 -mindepth 1 -type d -name "libebur128-*" | head -n 1)
    if [ -z "$src" ]; then
        (cd "$DEPS/src" && apt-get source --download-only -qq libebur128 >/dev/null 2>&1) || true
        dsc=$(ls "$DEPS"/src/libebur128_*.dsc 2>/dev/null | head -n 1)
        tarball=$(ls "$DEPS"/src/libebur128_*.orig.tar.* 2>/dev/null | head -n 1)
        [ -n "$dsc" ] && [ -n "$tarball" ] || { echo "apt-get source libebur128 failed" >&2; exit 1; }
        grep -q "$(sha256sum "$tarball" | cut -d' ' -f1) .* $(basename "$tarball")" "$dsc" ||
            { echo "$tarball does not match $dsc" >&2; exit 1; }
        tar -xf "$tarball" -C "$DEPS/src"
        src=$(find "$DEPS/src" -maxdepth 1 -mindepth 1 -type d -name "libebur128-*" | head -n 1)
    fi
    rm -rf "$DEPS/ebur128" "$DEPS/build-ebur128"
    cmake -S "$src" -B "$DEPS/build-ebur128" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE=-O2 \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
        -DCMAKE_INSTALL_PREFIX="$DEPS/ebur128" >/dev/null
    cmake --build "$DEPS/build-ebur128" -j"$JOBS" >/dev/null
    cmake --install "$DEPS/build-ebur128" >/dev/null
    cp "$src/COPYING" "$DEPS/ebur128/"
    rm -rf "$DEPS/build-ebur128"
    echo "$EBUR128_STAMP" > "$DEPS/ebur128/.stamp"
}

build_gtest() {
    stamped gtest && return 0
    log "building GoogleTest"
    rm -rf "$DEPS/gtest" "$DEPS/build-gtest"
    cmake -S /usr/src/googletest -B "$DEPS/build-gtest" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_INSTALL_PREFIX="$DEPS/gtest" -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$DEPS/build-gtest" -j"$JOBS" >/dev/null
    cmake --install "$DEPS/build-gtest" >/dev/null
    rm -rf "$DEPS/build-gtest"
    stamp gtest
}

build_lame
build_flac
build_json
build_id3lib
build_ffmpeg
build_gtest
build_ebur128
log "all libraries ready in $DEPS"
