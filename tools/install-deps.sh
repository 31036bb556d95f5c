#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the project needs, if any is missing.
set -euo pipefail

packages=(
  g++ make cmake pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5charts5-dev
  zlib1g-dev
  clang-format git
)
[ "${KQ_WITH_FUZZ:-0}" = 1 ] && packages+=(clang libclang-rt-dev)

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
