#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks that the installed
# programs work from there: the files are in place, the installed ombrix-cli talks to the
# installed ombrix-sim, and the installed program makes its per-user folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" lintian
deb=$("$root/scripts/package.sh" "${1:-$root/build-package}")
scratch=$(mktemp -d)
sim=
cleanup() { [ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$scratch"; }
trap cleanup EXIT
passed=0
failed=0
check() {  # check LABEL COMMAND...
    local label=$1; shift
    if "$@" >"$scratch/out" 2>&1; then
        passed=$((passed + 1)); echo "ok   $label"
    else
        failed=$((failed + 1)); echo "FAIL $label"; sed 's/^/     /' "$scratch/out"
    fi
}

echo "package: $deb"
dpkg-deb -x "$deb" "$scratch/root"
r=$scratch/root
for f in usr/bin/ombrix usr/bin/ombrix-cli usr/bin/ombrix-sim usr/bin/ombrix-server \
         usr/lib/ombrix/libkelvaneproj.so usr/lib/ombrix/libkelvanebmp.so \
         usr/share/ombrix/data/default.dsc usr/share/ombrix/data/demo-bus.cfg \
         usr/share/applications/org.ombrix.Ombrix.desktop \
         usr/share/icons/hicolor/scalable/apps/org.ombrix.Ombrix.svg \
         usr/share/metainfo/org.ombrix.Ombrix.metainfo.xml \
         usr/share/man/man1/ombrix.1.gz usr/share/man/man1/ombrix-cli.1.gz usr/share/man/man1/ombrix-sim.1.gz \
         usr/share/man/man1/ombrix-server.1.gz usr/lib/systemd/system/ombrix-server.service \
         usr/lib/sysusers.d/ombrix-server.conf; do
    check "installs /$f" test -s "$r/$f"
done
check "declares its dependencies" sh -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
# Read whole, then split: a reader that stops early would break the writer's pipe.
description=$(dpkg-deb -f "$deb" Description)
summary=${description%%$'\n'*}
long=${description#*$'\n'}
check "the long description does not repeat the summary" sh -c "
    printf '%s\n' \"\$1\" | grep -q '[a-z]' && ! printf '%s\n' \"\$1\" | grep -qiF \"\$2\"" sh "$long" "$summary"
check "the long description is indented once" sh -c "
    printf '%s\n' \"\$1\" | grep -q '^ [^ ]' && ! printf '%s\n' \"\$1\" | grep -q '^  '" sh "$long"
check "lintian finds no error or warning" lintian --fail-on error,warning "$deb"
check "desktop entry is valid" desktop-file-validate "$r/usr/share/applications/org.ombrix.Ombrix.desktop"
check "metadata is valid" appstreamcli validate --no-net --pedantic "$r/usr/share/metainfo/org.ombrix.Ombrix.metainfo.xml"
check "man page renders" sh -c "zcat '$r/usr/share/man/man1/ombrix-cli.1.gz' | groff -man -Tutf8 -ww >/dev/null"
check "ombrix-server man page renders" sh -c "zcat '$r/usr/share/man/man1/ombrix-server.1.gz' | groff -man -Tutf8 -ww >/dev/null"
check "ombrix-server refuses an open address without a token" sh -c "'$r/usr/bin/ombrix-server' --listen 0.0.0.0:8470 2>&1 | grep -q -- '--token-file'"
check "ombrix-cli --help" sh -c "'$r/usr/bin/ombrix-cli' --help | grep -q 'usage: ombrix-cli'"
check "programs find the private libraries" sh -c "! ldd '$r/usr/bin/ombrix' | grep -q 'not found'"

"$r/usr/bin/ombrix-sim" --bus "$r/usr/share/ombrix/data/demo-bus.cfg" --pty --link "$scratch/tty" \
    </dev/null >"$scratch/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$scratch/tty" ] && break; sleep 0.1; done
check "ombrix-cli identity 1 against ombrix-sim" sh -c "'$r/usr/bin/ombrix-cli' --device '$scratch/tty' identity 1 | grep -qx 'result: 3'"

check "ombrix-cli in a fresh folder finds the shipped descriptions" sh -c "
    mkdir -p '$scratch/fresh' && cd '$scratch/fresh' &&
    HOME='$scratch/nohome' XDG_DATA_HOME= '$r/usr/bin/ombrix-cli' --device '$scratch/tty' blocks 1"

mkdir -p "$scratch/home"
check "ombrix seeds its per-user folder and exits on SIGTERM" sh -c "
    HOME='$scratch/home' XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen '$r/usr/bin/ombrix' >'$scratch/gui.log' 2>&1 &
    pid=\$!
    for _ in \$(seq 100); do [ -e '$scratch/home/.local/share/ombrix/options.cfg' ] && break; sleep 0.1; done
    sleep 0.5; kill -TERM \$pid; wait \$pid
    test -s '$scratch/home/.local/share/ombrix/default.dsc'
    test -s '$scratch/home/.local/share/ombrix/options.cfg'"
check "ombrix --workdir wins" sh -c "
    mkdir -p '$scratch/here'
    HOME='$scratch/home2' QT_QPA_PLATFORM=offscreen '$r/usr/bin/ombrix' --workdir '$scratch/here' >'$scratch/gui2.log' 2>&1 &
    pid=\$!
    for _ in \$(seq 100); do [ -e '$scratch/here/options.cfg' ] && break; sleep 0.1; done
    sleep 0.5; kill -TERM \$pid; wait \$pid
    test -s '$scratch/here/type05v.dsc' && test ! -e '$scratch/home2/.local/share/ombrix'"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
