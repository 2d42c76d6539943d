#!/bin/sh
# The package's maintainer scripts against stand-ins for deb-systemd-helper,
# deb-systemd-invoke, systemctl and the user tools, on a system that runs systemd: what
# each step of the package's life starts, stops and removes.
# Usage: package_scripts_test.sh PACKAGING_DIR
set -eu
src=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/bin" "$dir/run/systemd/system"
for tool in deb-systemd-helper deb-systemd-invoke systemctl systemd-sysusers getent deluser delgroup; do
    # was-enabled answers as WAS_ENABLED says; everything else succeeds.
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n[ "$1 $2" != "--quiet was-enabled" ] || exit "${WAS_ENABLED:-1}"\n' \
        "$tool" "$dir" >"$dir/bin/$tool"
    chmod +x "$dir/bin/$tool"
done
for s in postinst prerm postrm; do
    sed "s|/run/systemd/system|$dir/run/systemd/system|g" "$src/$s" >"$dir/$s"
done

failed=0
# label | script and arguments | was-enabled status | calls that must be made, ';'-separated | a call that must not
while IFS='|' read -r label run enabled want wrong; do
    : >"$dir/calls"
    bad=0
    # shellcheck disable=SC2086
    WAS_ENABLED=$enabled PATH="$dir/bin:$PATH" sh "$dir/"$run >/dev/null 2>&1 || { echo "FAIL: $label: exit $?"; bad=1; }
    old_ifs=$IFS
    IFS=';'
    for call in $want; do
        grep -qxF "$call" "$dir/calls" || { echo "FAIL: $label: no '$call' in:"; sed 's/^/    /' "$dir/calls"; bad=1; }
    done
    IFS=$old_ifs
    if [ -n "$wrong" ] && grep -q "$wrong" "$dir/calls"; then
        echo "FAIL: $label: '$wrong' was called"
        bad=1
    fi
    if [ $bad = 0 ]; then echo "ok: $label"; else failed=1; fi
done <<'CASES'
first install: the user is made, the service is not started|postinst configure|1|systemd-sysusers /usr/lib/sysusers.d/ombrix-server.conf;deb-systemd-helper update-state ombrix-server.service;systemctl --system daemon-reload|deb-systemd-invoke
upgrade: an enabled service is restarted on the new program|postinst configure 1.0.0|0|deb-systemd-helper enable ombrix-server.service;deb-systemd-invoke restart ombrix-server.service|
removal stops the service|prerm remove|1|deb-systemd-invoke stop ombrix-server.service|
an upgrade leaves it running until postinst|prerm upgrade 1.0.1|1||deb-systemd-invoke
removal masks the unit it leaves behind|postrm remove|1|deb-systemd-helper mask ombrix-server.service;systemctl --system daemon-reload|deluser
purge forgets the unit and removes the user|postrm purge|1|deb-systemd-helper purge ombrix-server.service;deluser --system --quiet ombrix|
CASES
exit $failed
