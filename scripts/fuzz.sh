#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz harnesses with clang in build-fuzz and runs each for
# SECONDS (default 5) on its seeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)"; exit 1; }
CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" -DCMAKE_BUILD_TYPE=Debug \
    -DOMBRIX_BUILD_GUI=OFF -DOMBRIX_FUZZ_SECONDS="$seconds"
ctest --test-dir "$root/build-fuzz" --output-on-failure -L fuzz
