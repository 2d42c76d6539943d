#!/usr/bin/env bash
# Sets up, builds and runs Ombrix on the simulated projector bus of data/demo-bus.cfg:
# the simulator serves a pseudo-terminal, COM2 is mapped to it, and the program starts
# in the demo folder. Without a display the same bus is shown through ombrix-cli.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
bin=$root/build/bin
demo=$root/demo
mkdir -p "$demo"
cp -f "$root"/data/*.dsc "$demo"/ 2>/dev/null || true

"$bin/ombrix-sim" --bus "$root/data/demo-bus.cfg" --pty --link "$demo/ttyOMBRIX" \
    --control "$demo/sim-control" </dev/null >"$demo/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/ttyOMBRIX" ] && break; sleep 0.1; done
[ -e "$demo/ttyOMBRIX" ] || { echo "the simulator did not start; see $demo/sim.log" >&2; exit 1; }
printf '# COM ports of the demo: COM2 is the simulated bus.\nCOM2 = %s\n' "$demo/ttyOMBRIX" >"$demo/comports.cfg"
if [ ! -e "$demo/options.cfg" ]; then
    # A first demo searches a user-defined address set (1, 4, 7, 9, 12; nobody at 9) and
    # checks every 10 seconds, so everything is seen quickly. Options can be changed in
    # the program as usual.
    printf '\x01\x00\x00\x00\x04\x00\x00\x00\x07\x00\x00\x00\x09\x00\x00\x00\x0c\x00\x00\x00' >"$demo/user_addr.cfg"
    printf '\x10\x00\x00\x00\x05\x00\x00\x00\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x50\xf1\x00\x00\x01\xff\x00\x00\x00\x00\xff\xff\xff\xff' >"$demo/options.cfg"
fi

echo "Simulated projector bus on $(readlink "$demo/ttyOMBRIX"), mapped to COM2 in $demo/comports.cfg."
echo "Faults can be injected while it runs: echo 'fault 4 silence' > $demo/sim-control"
# OMBRIX_SCREENSHOT=FILE.png: start the program, picture the display once its window is
# up, and end it; under xvfb-run the picture is taken inside the same virtual display.
shot=${OMBRIX_SCREENSHOT:-}
[ -z "$shot" ] || [ "${shot#/}" != "$shot" ] || shot=$PWD/$shot
cd "$demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    if [ -z "$shot" ]; then
        "$bin/ombrix"
        exit $?
    fi
    "$bin/ombrix" &
    gui=$!
    for _ in $(seq 100); do xwininfo -root -tree 2>/dev/null | grep -q '("ombrix"' && break; sleep 0.1; done
    sleep 1  # the first paint
    import -window root "$shot"
    kill -TERM "$gui" 2>/dev/null || true
    wait "$gui" || true
    echo "The window as it first opened: $shot"
    exit 0
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
