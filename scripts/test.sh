#!/usr/bin/env bash
# Sets up, builds and runs every test: once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the threaded tests again under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_SANITIZE=address,undefined
echo "== tests"
ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

echo "== build with ThreadSanitizer (threaded tests)"
"$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_SANITIZE=thread -DOMBRIX_BUILD_GUI=OFF
echo "== threaded tests"
ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -L threaded

echo "== fuzz harnesses, a few seconds each"
"$root/scripts/fuzz.sh" 5

# GCC warns more when it optimises, and warnings are errors: the Release build of
# everything, tests included, must compile too. The package below reuses its objects
# (the same folder; only the tests are left out there).
echo "== optimised build (Release, tests compiled)"
"$root/scripts/build.sh" "$root/build-package" -DCMAKE_BUILD_TYPE=Release -DOMBRIX_BUILD_TESTS=ON

echo "== the Debian package, installed into a scratch root"
"$root/scripts/package-test.sh" "$root/build-package"
