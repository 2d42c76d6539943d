#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz harnesses with clang in build-fuzz and runs each for
# SECONDS (default 5) on its seeds, then prints how many inputs each one ran.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "usage: fuzz.sh [SECONDS]"; exit 2; }
dir=$root/build-fuzz
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)"; exit 1; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
    -DOMBRIX_BUILD_GUI=OFF -DOMBRIX_FUZZ_SECONDS="$seconds" >/dev/null
targets=$(sed -n 's/^  "\([a-z_]*\)|.*/fuzz_\1/p' "$root/fuzz/CMakeLists.txt")
# shellcheck disable=SC2086
cmake --build "$dir" --target $targets
log=$dir/fuzz-last.log
# A harness's own time-out plus its start and its last inputs; ctest's default would cut
# a long run short.
status=0
ctest --test-dir "$dir" -V -L fuzz --timeout $((seconds + 120)) >"$log" 2>&1 || status=$?
# libFuzzer ends with "Done N runs in T second(s)"; ctest numbers each test's lines.
awk '/Start +[0-9]+: fuzz_/ { name = $NF; sub(/^fuzz_/, "", name); sub(/_briefly$/, "", name) }
     /Done [0-9]+ runs in/ { for (i = 1; i <= NF; ++i) if ($i == "Done") printf "%-18s %12s runs in %s s\n", name, $(i + 1), $(i + 4) }' "$log"
if [[ $status -ne 0 ]]; then
    grep -E "ERROR|Failed|crash-|Test Failed" "$log" | head -40
    echo "fuzz.sh: a harness failed; the whole output is in $log"
fi
exit $status
