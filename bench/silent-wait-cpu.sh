#!/usr/bin/env bash
# How much CPU a command waiting on a silent address burns: the waits must sleep in the
# kernel, so this should stay far below 5% of one core.
# Usage: bench/silent-wait-cpu.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
"$bin/ombrix-sim" --bus "$root/data/demo-bus.cfg" --pty --link "$work/tty" </dev/null >/dev/null 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done

TIMEFORMAT='%R %U %S'
total_real=0 total_cpu=0
for command in "status 9" "identity 9" "read-block 9 255 255 255 255 64" "key 9 14"; do
    t=$( { time "$bin/ombrix-cli" --device "$work/tty" $command >/dev/null 2>&1 || true; } 2>&1 )
    read -r real user sys <<<"$t"
    awk -v c="$command" -v r="$real" -v u="$user" -v s="$sys" \
        'BEGIN { printf "%-40s %6.2f s waited, %6.3f s CPU (%5.2f%%)\n", c, r, u + s, 100 * (u + s) / r }'
    total_real=$(awk -v a="$total_real" -v b="$real" 'BEGIN { print a + b }')
    total_cpu=$(awk -v a="$total_cpu" -v u="$user" -v s="$sys" 'BEGIN { print a + u + s }')
done
awk -v c="$total_cpu" -v r="$total_real" \
    'BEGIN { share = 100 * c / r; printf "all: %.2f%% of one core while waiting\n", share; exit !(share < 5) }'
