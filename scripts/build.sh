#!/usr/bin/env bash
# Configures and builds the Windows program and tests (build/win) and the
# native sanitizer build of the platform-free code (build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc)

if [ ! -f build/win/CMakeCache.txt ]; then
    cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DORVO_DEPS_DIR="$ROOT/build/deps" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" >/dev/null
fi
cmake --build build/win -j"$JOBS"

if [ "${1:-}" != "--windows-only" ]; then
    if [ ! -f build/native/CMakeCache.txt ]; then
        CC=clang CXX=clang++ cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
    fi
    cmake --build build/native -j"$JOBS"
fi
