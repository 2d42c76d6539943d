#!/usr/bin/env bash
# setup.sh [PACKAGE...]: installs what building, running and testing Ombrix needs on
# Debian 12, and the packages named, if missing.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev nlohmann-json3-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev libglx-dev xvfb xauth x11-utils
          dpkg-dev desktop-file-utils appstream groff-base ser2net clang libclang-rt-14-dev
          libcpp-httplib-dev libmicrohttpd-dev chromium chromium-driver python3-selenium
          mosquitto mosquitto-clients libmosquitto-dev tzdata xdotool imagemagick
          libsqlite3-dev prometheus curl ccache init-system-helpers lld "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
