#!/usr/bin/env bash
# package.sh [BUILD_DIR]: builds the Debian package of Ombrix (prints its path).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-package}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DOMBRIX_BUILD_TESTS=OFF -DOMBRIX_HARDEN=ON >&2
(cd "$dir" && cpack -G DEB >&2)
ls -t "$dir"/ombrix_*.deb | head -n 1
