#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the updater
# needs, and the packages named as arguments. Safe to run again; asks nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  clang libclang-rt-14-dev clang-format clang-tidy
  libgtest-dev libgmock-dev nlohmann-json3-dev
  qt6-base-dev libgl-dev fonts-dejavu-core fonts-noto-cjk
  libudev-dev
  xvfb xauth
  qt6-qpa-plugins dbus-daemon python3-dbusmock
  dpkg-dev file desktop-file-utils appstream strace
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
