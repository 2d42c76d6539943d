#!/bin/sh
# A projector bus behind a network serial server that speaks telnet with COM-port control:
# ombrix-sim on a pseudo-terminal, ser2net serving it as rfc2217, ombrix-cli talking to it.
# The speed ombrix-cli asks for must reach the pseudo-terminal behind the server.
# usage: rfc2217_ser2net.sh BINDIR BUSFILE
set -u
bin=$1
bus=$2
tmp=$(mktemp -d)
pids=
cleanup() { for p in $pids; do kill "$p" 2>/dev/null; done; rm -rf "$tmp"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$tmp"/*.log; do echo "--- $f"; cat "$f"; done; exit 1; }

command -v ser2net >/dev/null || fail "ser2net is not installed (scripts/setup.sh installs it)"

"$bin/ombrix-sim" --bus "$bus" --pty --link "$tmp/tty" </dev/null >"$tmp/sim.log" 2>&1 &
pids="$pids $!"
i=0; while [ ! -e "$tmp/tty" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -e "$tmp/tty" ] || fail "the simulator did not start"

# A port of our own: tests run side by side.
port=$((20000 + $$ % 20000))
cat >"$tmp/ser2net.yaml" <<YAML
connection: &bus
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$tmp/tty,9600n81,local
  options:
    kickolduser: true
YAML
ser2net -n -c "$tmp/ser2net.yaml" -P "$tmp/ser2net.pid" >"$tmp/ser2net.log" 2>&1 &
pids="$pids $!"

dev="rfc2217://127.0.0.1:$port"
ok=
i=0
while [ $i -lt 50 ]; do
    if "$bin/ombrix-cli" --device "$dev" --baud 19200 identity 1 >"$tmp/identity.log" 2>&1; then ok=1; break; fi
    sleep 0.2; i=$((i + 1))
done
[ -n "$ok" ] || fail "identity through the server"
grep -qx 'result: 3' "$tmp/identity.log" || fail "identity result"
grep -qx 'type: 5' "$tmp/identity.log" || fail "identity type"

# While a client is connected the server holds the line at the client's settings.
"$bin/ombrix-cli" --device "$dev" --baud 19200 watch --interval 5 >"$tmp/watch.log" 2>&1 &
watch=$!
pids="$pids $watch"
speed=
i=0
while [ $i -lt 50 ]; do
    speed=$(stty -F "$(readlink -f "$tmp/tty")" speed 2>/dev/null)
    grep -q 'found' "$tmp/watch.log" && [ "$speed" = 19200 ] && break
    sleep 0.1; i=$((i + 1))
done
kill "$watch" 2>/dev/null
[ "$speed" = 19200 ] || fail "the pseudo-terminal runs at '$speed', not 19200"

echo "rfc2217 through ser2net: identity read, speed 19200 set on the line"
