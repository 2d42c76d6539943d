#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz harnesses with clang in build-fuzz and runs each for
# SECONDS (default 5) on its seeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
dir=$root/build-fuzz
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)"; exit 1; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
    -DOMBRIX_BUILD_GUI=OFF -DOMBRIX_FUZZ_SECONDS="$seconds" >/dev/null
targets=$(sed -n 's/^  "\([a-z_]*\)|.*/fuzz_\1/p' "$root/fuzz/CMakeLists.txt")
# shellcheck disable=SC2086
cmake --build "$dir" --target $targets
ctest --test-dir "$dir" --output-on-failure -L fuzz
