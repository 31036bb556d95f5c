#!/usr/bin/env bash
# Builds the Debian package with cpack and checks it:
#   tools/make-deb.sh [BUILD_DIR]   (default build-deb; KQ_QT_MAJOR=5|6 chooses Qt)
# The package lands in BUILD_DIR as kqconf_VERSION_ARCH.deb. The checks: the
# desktop entry and the AppStream metadata validate, lintian finds no error,
# and the programs run from the package unpacked into a scratch root.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --package
dir=${1:-build-deb}
options=(-DCMAKE_INSTALL_PREFIX=/usr)
[ -n "${KQ_QT_MAJOR:-}" ] && options+=(-DKQ_QT_MAJOR="$KQ_QT_MAJOR")
# A build of its own holds only what is packaged; an existing one (CI's plain
# build) keeps its tests, already built.
[ -f "$dir/CMakeCache.txt" ] ||
  options+=(-DCMAKE_BUILD_TYPE=Release -DKQ_BUILD_TESTS=OFF -DKQ_BUILD_BENCH=OFF)
echo "== package ($dir)"
cmake -S . -B "$dir" "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
rm -f "$dir"/kqconf_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(echo "$dir"/kqconf_*.deb)
[ -f "$deb" ] || { echo "make-deb.sh: cpack made no package" >&2; exit 1; }
echo "== checks ($deb)"
dpkg-deb --info "$deb" | sed -n '/Depends:/p'
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/radcfg.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb"
"$root"/usr/bin/satctl --version
"$root"/usr/bin/satsim --help >/dev/null
echo "package ok: $deb"
