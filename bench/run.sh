#!/usr/bin/env bash
# The measurements of README.md's Measurements section, as one table: each ombrix-cli
# command through a 9600-baud pacing relay against its wire time plus the protocol's
# waits, CPU while waiting on a silent address, the ordinary and the quick search over
# 255 addresses with four projectors and over the four alone, and the window program's
# start-up against a bare Qt window, ombrix-server (list latency during the check, state change to event,
# memory with 16 projectors; latency and memory under never-reading streams and slow
# headers; a command through the server's seat against the free line), and the block
# history (snapshot against backup, space of a year of
# snapshots, a site's diff, a long history list). Build first (a Release build gives
# the fairest numbers).
# Usage: bench/run.sh [--skip-normal-search] [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
skip_normal=0
build=$root/build
for a in "$@"; do
    case $a in
        --skip-normal-search) skip_normal=1 ;;
        -h|--help) sed -n 2,12p "$0"; exit 0 ;;
        *) build=$a ;;
    esac
done
build=$(cd "$build" && pwd)
bin=$build/bin
baud=9600
for tool in ombrix-cli ombrix-sim ombrix-pace; do
    [ -x "$bin/$tool" ] || { echo "run.sh: $bin/$tool is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Four projectors spread over the range: the demo bus moved to 1, 90, 170 and 255.
sed -e "s|^description = |description = $root/data/|" \
    -e 's/^address = 4$/address = 90/' -e 's/^address = 7$/address = 170/' -e 's/^address = 12$/address = 255/' \
    "$root/data/demo-bus.cfg" >"$work/bus.cfg"

wait_for() { for _ in $(seq 100); do [ -e "$1" ] && return 0; sleep 0.05; done; echo "run.sh: $1 did not appear" >&2; exit 1; }
"$bin/ombrix-sim" --bus "$work/bus.cfg" --pty --link "$work/sim-tty" </dev/null >/dev/null 2>&1 &
pids+=($!)
wait_for "$work/sim-tty"
"$bin/ombrix-pace" --device "$work/sim-tty" --link "$work/tty" --baud $baud >/dev/null &
pids+=($!)
wait_for "$work/tty"
mkdir -p "$work/wd"

char_ms=$(awk -v b=$baud 'BEGIN { print 10 * 1000 / b }')
TIMEFORMAT='%R %U %S'
row() { printf '| %-34s | %8s | %8s | %6s | %8s |\n' "$@"; }
timed() {  # prints "real user sys" of one ombrix-cli run
    { time "$bin/ombrix-cli" --workdir "$work/wd" --device "$work/tty" "$@" >"$work/out" 2>&1 || true; } 2>&1
}

echo "Commands at $baud baud through ombrix-pace (wall time of the whole ombrix-cli run;"
echo "expected = bytes on the wire x $(printf %.3f "$char_ms") ms + the command's settle and closing waits)"
echo
row "command" "wall s" "expect s" "ratio" "CPU s"
row "----------------------------------" "--------" "--------" "------" "--------"
block=$(printf '%02x' $(seq 0 63))
# The wire header of projector 1's current block (the demo projector's blocks are 64 bytes).
header=$("$bin/ombrix-cli" --workdir "$work/wd" --device "$work/tty" location 1 | sed -n 's/^location: //p')
[ -n "$header" ] || { echo "run.sh: no answer from projector 1" >&2; exit 1; }
# name | wire bytes (request, ACK, answer, data runs) | waits in ms | arguments
while IFS='|' read -r name bytes waits args; do
    read -r real user sys <<<"$(timed $args)"
    expect=$(awk -v b="$bytes" -v w="$waits" -v c="$char_ms" 'BEGIN { printf "%.3f", (b * c + w) / 1000 }')
    ratio=$(awk -v r="$real" -v e="$expect" 'BEGIN { if (e > 0) printf "%.2f", r / e; else print "-" }')
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    row "$name" "$real" "$expect" "$ratio" "$cpu"
done <<EOF2
(start and exit only: --help)|0|0|--help
status|17|700|status 1
identity|17|300|identity 1
serial|17|400|serial 1
id|17|250|id 1
runtime|17|300|runtime 1
location|17|400|location 1
read-block (64 bytes)|82|400|read-block 1 $header 64
write-block (64 bytes)|76|400|write-block 1 $header $block
read-param|17|500|read-param 1 48 0
write-param|10|300|write-param 1 48 0 1
key|10|0|key 1 14
EOF2
echo

if [ -x "$bin/group_press" ]; then
    echo "A \"+1\" press (read, clamp, step) on a group of four (1, 90, 170, 255) against the"
    echo "same press on each alone; the group should cost the four singles and nothing more:"
    echo
    printf '| %-34s | %8s | %8s | %6s |\n' "press" "wall s" "4 x 1 s" "ratio"
    printf '| %-34s | %8s | %8s | %6s |\n' "----------------------------------" "--------" "--------" "------"
    read -r group singles <<<"$("$bin/group_press" "$work/tty" "$root/data" 1 90 170 255 || echo "- -")"
    ratio=$(awk -v g="$group" -v s="$singles" 'BEGIN { if (s > 0) printf "%.2f", g / s; else print "-" }')
    printf '| %-34s | %8s | %8s | %6s |\n' "+1 on a group of 4" "$group" "$singles" "$ratio"
    echo
fi

# The block history: a snapshot reads what a backup reads (its store costs no line time),
# a year of unchanged nightly snapshots costs no space, a site's diff and a long history
# list stay quick.
echo "Block history (snapshot and backup of projector 90 at $baud baud through ombrix-pace;"
echo "the store's measurements from bench/history_bench, the listing by ombrix-cli):"
echo
printf '| %-34s | %10s | %10s | %6s |\n' "measurement" "value" "against" "ratio"
printf '| %-34s | %10s | %10s | %6s |\n' "----------------------------------" "----------" "----------" "------"
mkdir -p "$work/hist"
cp "$root"/data/*.dsc "$work/hist/"
hist() { "$bin/ombrix-cli" --workdir "$work/hist" --device "$work/tty" "$@" >"$work/out" 2>&1 || true; }
# Projector 1 is in standby after the key row above.
hist snapshot 90  # the first one also asks for the serial number
read -r backup _ _ <<<"$( { time hist backup 90 b.set --force; } 2>&1 )"
grep -q '^backup: ' "$work/out" || backup=failed
read -r snapshot _ _ <<<"$( { time hist snapshot 90; } 2>&1 )"
grep -q ', complete' "$work/out" || snapshot=failed
printf '| %-34s | %8s s | %8s s | %6s |\n' "snapshot against backup (line)" "$snapshot" "$backup" \
    "$(awk -v a="$snapshot" -v b="$backup" 'BEGIN { printf "%.2f", a / b }')"
if [ -x "$bin/history_bench" ]; then
    mkdir -p "$work/hb"
    "$bin/history_bench" "$work/hb" >"$work/hb.out"
    v() { awk -v k="$1" '$1 == k { print $2 }' "$work/hb.out"; }
    printf '| %-34s | %10s | %10s | %6s |\n' "365 days x 16 unchanged (bytes)" "$(v space_365_days_bytes)" \
        "$(v space_one_day_bytes)" "$(v space_ratio)"
    printf '| %-34s | %7s ms | %7s ms | %6s |\n' "diff 16 projectors x 30 blocks" "$(v diff_16x30_ms)" 200 \
        "$(awk -v a="$(v diff_16x30_ms)" 'BEGIN { printf "%.2f", a / 200 }')"
    read -r listing user sys <<<"$( { time "$bin/ombrix-cli" --workdir "$work/hb/many" history >/dev/null 2>&1; } 2>&1 )"
    printf '| %-34s | %8s s | %8s s | %6s |\n' "ombrix-cli history, 10000 (wall)" "$listing" 0.2 \
        "$(awk -v a="$listing" 'BEGIN { printf "%.2f", a / 0.2 }')"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    printf '| %-34s | %8s s | %8s s | %6s |\n' "ombrix-cli history, 10000 (CPU)" "$cpu" 0.2 \
        "$(awk -v a="$cpu" 'BEGIN { printf "%.2f", a / 0.2 }')"
    # 100 projectors x 730 nights x 100 blocks, the older year pruned while snapshots go on.
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
    printf '| %-34s | %8s s | %8s s | %6s |\n' "prune a year of 100x730x100" "$(v site_prune_year_s)" 5 \
        "$(ratio "$(v site_prune_year_s)" 5)"
    printf '| %-34s | %7s ms | %7s ms | %6s |\n' "snapshot during prune (max wait)" "$(v site_snapshot_wait_max_ms)" \
        1000 "$(ratio "$(v site_snapshot_wait_max_ms)" 1000)"
    printf '| %-34s | %7s ms | %7s ms | %6s |\n' "GET one entry, site store (p99)" "$(v site_get_entry_p99_ms)" 20 \
        "$(ratio "$(v site_get_entry_p99_ms)" 20)"
    printf '| %-34s | %7s ms | %7s ms | %6s |\n' "GET a page of 200, site (p99)" "$(v site_get_page_p99_ms)" 20 \
        "$(ratio "$(v site_get_page_p99_ms)" 20)"
fi
echo

echo "CPU while a command waits on a silent address (bench/silent-wait-cpu.sh):"
"$root/bench/silent-wait-cpu.sh" "$build" | sed 's/^/    /' || true
echo

# A search over 1-255 (and 256, sent as 0): "Check to address 256" in options.cfg; with
# "set" first, the generated address set of the four projectors instead, where every
# address asked answers.
search() {
    local set=0
    if [ "$1" = set ]; then set=1; shift; fi
    local label=$1
    shift
    rm -rf "$work/search" && mkdir -p "$work/search"
    "$bin/ombrix-cli" --workdir "$work/search" --device "$work/tty" status 1 >/dev/null 2>&1 || true
    # A search (untimed) writes a valid options.cfg, whose search fields are then set.
    [ -f "$work/search/options.cfg" ] ||
        "$bin/ombrix-cli" --workdir "$work/search" --device "$work/tty" search --quick >/dev/null 2>&1 || true
    python3 - "$work/search/options.cfg" <<'PY'
import struct, sys
p = sys.argv[1]
b = bytearray(open(p, "rb").read())
struct.pack_into("<iiBB", b, 0, 256, 0, 0, 0)
b[26], b[27] = 1, 255
open(p, "wb").write(b)
PY
    if [ $set = 1 ]; then
        python3 - "$work/search" <<'PY'
import struct, sys
d = sys.argv[1]
open(d + "/addr.cfg", "wb").write(struct.pack("<4i", 1, 90, 170, 255))
b = bytearray(open(d + "/options.cfg", "rb").read())
struct.pack_into("<iiBB", b, 0, 4, 0, 1, 0)
open(d + "/options.cfg", "wb").write(b)
PY
    fi
    local t
    t=$( { time "$bin/ombrix-cli" --workdir "$work/search" --device "$work/tty" search "$@" >"$work/search.out" 2>&1 || true; } 2>&1 )
    local found
    found=$(grep -o 'address [0-9]* found' "$work/search.out" | awk '{ printf "%s%s", sep, $2; sep = "," }')
    read -r real user sys <<<"$t"
    printf '| %-34s | %8s | %8.3f | %-22s |\n' "$label" "$real" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "${found:-none}"
}
echo "Search over 255 addresses at $baud baud, four projectors (1, 90, 170, 255):"
echo
printf '| %-34s | %8s | %8s | %-22s |\n' "search" "wall s" "CPU s" "found"
printf '| %-34s | %8s | %8s | %-22s |\n' "----------------------------------" "--------" "--------" "----------------------"
search quick --quick
if [ $skip_normal = 1 ]; then
    printf '| %-34s | %8s | %8s | %-22s |\n' "ordinary" "skipped" "" ""
else
    search ordinary
fi
echo
echo "Search of the generated set of the four projectors (every address asked answers):"
echo
printf '| %-34s | %8s | %8s | %-22s |\n' "search" "wall s" "CPU s" "found"
printf '| %-34s | %8s | %8s | %-22s |\n' "----------------------------------" "--------" "--------" "----------------------"
search set "quick, all answer" --quick
search set "ordinary, all answer"
echo

echo "Start-up to the frame shown, offscreen (best of 3; peak RSS):"
echo
startup() {
    local best="" rss=""
    for _ in 1 2 3; do
        rm -rf "$work/gui" && mkdir -p "$work/gui"
        local out
        out=$(cd "$work/gui" && QT_QPA_PLATFORM=offscreen OMBRIX_EXIT_WHEN_SHOWN=1 timeout 60 /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -1)
        read -r s kb <<<"$out"
        if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s rss=$kb; fi
    done
    printf '| %-34s | %8s | %10s |\n' "$name" "$best" "$((rss / 1024)) MiB"
}
printf '| %-34s | %8s | %10s |\n' "program" "wall s" "peak RSS"
printf '| %-34s | %8s | %10s |\n' "----------------------------------" "--------" "----------"
if [ -x "$bin/ombrix" ]; then name=ombrix startup "$bin/ombrix" --workdir "$work/gui"; fi
if [ -x "$bin/bare_window" ]; then name="bare Qt window" startup "$bin/bare_window"; fi
echo

if [ -x "$bin/ombrix-server" ]; then
    "$root/bench/server_bench.py" "$bin" "$root/data" || echo "run.sh: the server measurements failed" >&2
    echo
    "$root/bench/server_load_bench.py" "$bin" "$root/data" || echo "run.sh: the server load measurements failed" >&2
    echo
    echo "A program beside the server, through its seat, at $baud baud through ombrix-pace:"
    echo
    "$root/bench/seat_bench.py" "$bin" "$root/data" || echo "run.sh: the seat measurements failed" >&2
fi
