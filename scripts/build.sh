#!/usr/bin/env bash
# build.sh [BUILD_DIR [cmake arguments...] [--target TARGET...]]: configures and builds
# everything, or only the targets named after --target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
configure=()
targets=()
while [ $# -gt 0 ]; do
    if [ "$1" = --target ]; then
        shift
        targets=(--target "$@")
        break
    fi
    configure+=("$1")
    shift
done
launcher=()
# A compiler cache makes rebuilds of several checkouts cheap where one is installed.
# Paths inside the checkout are hashed relative to it, and the build folder's own path not
# at all, so a fresh clone elsewhere reuses what another checkout compiled.
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
fi
cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "${configure[@]}" >/dev/null
cmake --build "$dir" "${targets[@]}"
