#!/bin/sh
# The package's maintainer scripts through a package's life, with the real
# deb-systemd-helper working in a scratch root (DPKG_ROOT), and stand-ins for what would
# touch the running system (deb-systemd-invoke, systemctl, the user tools) on a system
# that runs systemd: what each step enables, starts, stops, masks and removes.
# Usage: package_scripts_test.sh PACKAGING_DIR
set -eu
src=$1
command -v deb-systemd-helper >/dev/null || { echo "SKIPPED: deb-systemd-helper is not installed"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
root=$dir/root
unit=ombrix-server.service
wants=$root/etc/systemd/system/multi-user.target.wants/$unit
mkdir -p "$dir/bin" "$dir/run/systemd/system" "$root/usr/lib/systemd/system"
cp "$src/$unit" "$root/usr/lib/systemd/system/"
for tool in deb-systemd-invoke systemctl systemd-sysusers getent deluser delgroup; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$tool" "$dir" >"$dir/bin/$tool"
    chmod +x "$dir/bin/$tool"
done
for s in postinst prerm postrm; do
    sed "s|/run/systemd/system|$dir/run/systemd/system|g" "$src/$s" >"$dir/$s"
done
export DPKG_ROOT=$root DPKG_MAINTSCRIPT_PACKAGE=ombrix
called() { grep -qxF "$1" "$dir/calls"; }
enabled() { [ -L "$wants" ]; }
masked() { [ "$(readlink "$root/etc/systemd/system/$unit" 2>/dev/null)" = /dev/null ]; }
recorded() { [ -e "$root/var/lib/systemd/deb-systemd-helper-enabled/$unit.dsh-also" ]; }
# As systemctl enable does it.
admin_enables() { mkdir -p "$(dirname "$wants")" && ln -sf "/usr/lib/systemd/system/$unit" "$wants"; }

failed=0
# Steps in the order of a package's life. label | what runs | what must hold afterwards
while IFS='|' read -r label run check; do
    : >"$dir/calls"
    bad=0
    # shellcheck disable=SC2086
    case $run in
        admin:*) ${run#admin:} ;;
        *) PATH="$dir/bin:$PATH" sh "$dir/"$run >"$dir/out" 2>&1 || { echo "FAIL: $label: exit $?"; cat "$dir/out"; bad=1; } ;;
    esac
    if ! eval "$check"; then
        echo "FAIL: $label: not ($check); calls:"
        sed 's/^/    /' "$dir/calls"
        bad=1
    fi
    if [ $bad = 0 ]; then echo "ok: $label"; else failed=1; fi
done <<'STEPS'
first install: the user is made; the unit recorded, neither enabled nor started|postinst configure|called "systemd-sysusers /usr/lib/sysusers.d/ombrix-server.conf" && recorded && ! enabled && ! called "deb-systemd-invoke restart ombrix-server.service" && called "systemctl --system daemon-reload"
upgrade of a service left disabled: still disabled|postinst configure 1.0.0|! enabled
the administrator enables it|admin:admin_enables|enabled
upgrade of an enabled service: enabled still, restarted on the new program|postinst configure 1.0.0|enabled && called "deb-systemd-invoke restart ombrix-server.service"
an upgrade leaves it running until postinst|prerm upgrade 1.0.1|! called "deb-systemd-invoke stop ombrix-server.service"
removal stops the service|prerm remove|called "deb-systemd-invoke stop ombrix-server.service"
removal masks the unit it leaves behind|postrm remove|masked && ! called "deluser --system --quiet ombrix"
reinstalling undoes the mask and keeps it enabled|postinst configure 1.0.0|! masked && enabled
purge forgets the unit and removes the user|postrm purge|! recorded && ! masked && ! enabled && called "deluser --system --quiet ombrix"
STEPS
exit $failed
