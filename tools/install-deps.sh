#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the project needs, if any is missing.
#   tools/install-deps.sh            the build with Qt 5 (KQ_QT_MAJOR=6: with Qt 6)
#   tools/install-deps.sh --qt6      also the Qt 6 build
#   tools/install-deps.sh --package  also what builds and checks the Debian package
#   tools/install-deps.sh --fuzz     also clang and its runtime (KQ_WITH_FUZZ=1 as well)
set -euo pipefail

qt5=(qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5charts5-dev)
# Qt 6 Charts needs the OpenGL development files, which its package does not pull in.
qt6=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-5compat-dev qt6-charts-dev
     libqt6opengl6-dev)
packages=(g++ make cmake ninja-build lld pkg-config zlib1g-dev clang-format git)
if [ "${KQ_QT_MAJOR:-5}" = 6 ]; then packages+=("${qt6[@]}"); else packages+=("${qt5[@]}"); fi
[ "${KQ_WITH_FUZZ:-0}" = 1 ] && packages+=(clang libclang-rt-dev)
for option in "$@"; do
  case "$option" in
    --qt6) packages+=("${qt6[@]}") ;;
    --package) packages+=(dpkg-dev file fakeroot lintian desktop-file-utils appstream) ;;
    --fuzz) packages+=(clang libclang-rt-dev) ;;
    *) echo "install-deps.sh: unknown option '$option'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
