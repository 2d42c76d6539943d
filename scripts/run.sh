#!/usr/bin/env bash
# Sets up, builds and runs Ombrix on the simulated projector bus of data/demo-bus.cfg:
# the simulator serves a pseudo-terminal, COM2 is mapped to it, and the program starts
# in the demo folder with the communication window open on that bus. Only the programs
# and libraries it runs are built. Without a display the same bus is shown through
# ombrix-cli.
#
# Exit status: the program's own when it ran; 1 when the window did not open (the reason
# is printed), or when setting up, building or the simulator failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

build=$root/build
# A folder made by hand keeps its own build type; a new one is built optimised without
# debug information, which compiles about as fast as a debug build and links faster.
type=()
[ -e "$build/CMakeCache.txt" ] || type=(-DCMAKE_BUILD_TYPE=Release)
"$root/scripts/build.sh" "$build" "${type[@]}" --target ombrix ombrix-sim ombrix-cli kelvaneproj kelvanebmp

bin=$build/bin
demo=$root/demo
mkdir -p "$demo"
cp -f "$root"/data/*.dsc "$demo"/ 2>/dev/null || true

gui=
sim=
cleanup() {
    [ -z "$gui" ] || kill -TERM "$gui" 2>/dev/null || true
    [ -z "$sim" ] || kill "$sim" 2>/dev/null || true
}
trap cleanup EXIT
"$bin/ombrix-sim" --bus "$root/data/demo-bus.cfg" --pty --link "$demo/ttyOMBRIX" \
    --control "$demo/sim-control" </dev/null >"$demo/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$demo/ttyOMBRIX" ] && break; sleep 0.1; done
[ -e "$demo/ttyOMBRIX" ] || { echo "the simulator did not start; see $demo/sim.log" >&2; exit 1; }
printf '# COM ports of the demo: COM2 is the simulated bus.\nCOM2 = %s\n' "$demo/ttyOMBRIX" >"$demo/comports.cfg"
# A first demo searches a user-defined address set (1, 4, 7, 9, 12; nobody at 9) and
# checks every 10 seconds, so everything is seen quickly. Options can be changed in the
# program as usual.
[ -e "$demo/options.cfg" ] || cp "$root/data/demo/options.cfg" "$root/data/demo/user_addr.cfg" "$demo"/

echo "Simulated projector bus on $(readlink "$demo/ttyOMBRIX"), mapped to COM2 in $demo/comports.cfg."
echo "Faults can be injected while it runs: echo 'fault 4 silence' > $demo/sim-control"
# OMBRIX_SCREENSHOT=FILE.png: start the program, picture the display once the search has
# shown the projectors, and end it; under xvfb-run the picture is taken inside the same
# virtual display.
shot=${OMBRIX_SCREENSHOT:-}
[ -z "$shot" ] || [ "${shot#/}" != "$shot" ] || shot=$PWD/$shot
cd "$demo"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    log=$demo/ombrix.log
    # The communication window's search writes addr.cfg when it is done.
    rm -f addr.cfg
    "$bin/ombrix" --communication 2> >(tee "$log" >&2) &
    gui=$!
    # Opened means: the process is alive and its window is mapped on the display.
    opened=
    deadline=$((SECONDS + 30))
    while [ $SECONDS -lt $deadline ]; do
        if ! kill -0 "$gui" 2>/dev/null; then
            status=0
            wait "$gui" || status=$?
            gui=
            echo "ombrix: the window did not open: the program ended (exit status $status)." >&2
            [ ! -s "$log" ] || { echo "What it said:" >&2; tail -n 5 "$log" | sed 's/^/    /' >&2; }
            exit 1
        fi
        if [ -z "${DISPLAY:-}" ]; then
            # Wayland alone: no X tool can see the window; still alive after its start is
            # what can be told.
            if [ $SECONDS -ge $((deadline - 27)) ]; then opened=1; break; fi
            sleep 0.2
            continue
        fi
        if xdotool search --all --onlyvisible --pid "$gui" --class ombrix >/dev/null 2>&1; then
            opened=1
            break
        fi
        sleep 0.2
    done
    if [ -z "$opened" ]; then
        echo "ombrix: the window did not open: the program runs, but no window of it was mapped on" >&2
        echo "display $DISPLAY within 30 s." >&2
        exit 1
    fi
    echo "The window is open, with the communication window searching the simulated bus."
    if [ -z "$shot" ]; then
        status=0
        wait "$gui" || status=$?
        gui=
        exit $status
    fi
    deadline=$((SECONDS + 60))
    while [ ! -e addr.cfg ] && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
    [ -e addr.cfg ] || echo "run.sh: the search did not end within 60 s; the picture shows it as it is" >&2
    sleep 1  # the tree's paint
    import -window root "$shot"
    kill -TERM "$gui" 2>/dev/null || true
    status=0
    wait "$gui" || status=$?
    gui=
    echo "The window after the first search: $shot"
    exit $status
fi

echo
echo "No display found, so the window cannot open here. To see it, run this command"
echo "from a desktop session, or without one under a virtual display, taking a picture:"
echo "    xvfb-run -a env OMBRIX_SCREENSHOT=shot.png bash scripts/run.sh"
echo
echo "Meanwhile, the same bus through ombrix-cli (COM2 from comm.cfg defaults):"
for addr in 1 4 7 12; do
    echo
    echo "\$ ombrix-cli identity $addr"
    "$bin/ombrix-cli" identity "$addr" || true
    echo "\$ ombrix-cli serial $addr"
    "$bin/ombrix-cli" serial "$addr" || true
    echo "\$ ombrix-cli runtime $addr"
    "$bin/ombrix-cli" runtime "$addr" || true
done
echo
echo "\$ ombrix-cli search          (the search of the program, with the demo's address set)"
"$bin/ombrix-cli" search || true
echo
echo "\$ ombrix-cli status 7      (the projector in standby)"
"$bin/ombrix-cli" status 7 | grep -E 'result|standby|operating' || true
echo "\$ ombrix-cli identity 9    (nobody at address 9)"
"$bin/ombrix-cli" identity 9 || true
