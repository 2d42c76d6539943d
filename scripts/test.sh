#!/usr/bin/env bash
# Sets up, builds and runs every test: once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the threaded tests again under ThreadSanitizer; then the
# fuzz harnesses briefly, the optimised build and the package. Each stage says how long it
# took (wall time, and the CPU time of everything it ran), and a summary ends the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

times_file=$(mktemp)
summary=()
report() {
    local status=$?
    rm -f "$times_file"
    [ ${#summary[@]} -gt 0 ] || return 0
    echo
    echo "== stage times (wall; CPU = user + system of everything the stage ran)"
    printf '%s\n' "${summary[@]}"
    [ $status -eq 0 ] || echo "(stopped by a failure in the stage after the last one above)"
}
trap report EXIT

# stage NAME COMMAND...: runs one stage and notes its times.
stage() {
    local name=$1
    shift
    echo "== $name"
    local TIMEFORMAT='%R %U %S'
    # The times go to the file; what the command prints goes where it always did.
    { time "$@" 2>&4; } 4>&2 2>"$times_file"
    local wall user sys
    read -r wall user sys <"$times_file"
    local line
    line=$(awk -v n="$name" -v w="$wall" -v u="$user" -v s="$sys" \
        'BEGIN { printf "%-44s %6.0f s wall %7.0f s CPU (%.0f user, %.0f system)", n, w, u + s, u, s }')
    echo "== done: $line"
    summary+=("$line")
}

stage "setup" "$root/scripts/setup.sh"

stage "build with AddressSanitizer and UBSan" \
    "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_SANITIZE=address,undefined
stage "tests" ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

# Only the programs of the threaded tests (and what they link) are built here.
stage "build with ThreadSanitizer (threaded tests)" \
    "$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_SANITIZE=thread \
    -DOMBRIX_BUILD_GUI=OFF --target threaded_test_programs
stage "threaded tests" ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -L threaded

stage "fuzz harnesses, a few seconds each" "$root/scripts/fuzz.sh" 5

# GCC warns more when it optimises, and warnings are errors: the Release build of
# everything, tests included, must compile too. It has the package's hardening flags, so
# the package below reuses its objects (the same folder; only the tests are left out there).
stage "optimised build (Release, tests compiled)" \
    "$root/scripts/build.sh" "$root/build-package" -DCMAKE_BUILD_TYPE=Release -DOMBRIX_BUILD_TESTS=ON \
    -DOMBRIX_HARDEN=ON
stage "the Debian package, installed into a scratch root" "$root/scripts/package-test.sh" "$root/build-package"
