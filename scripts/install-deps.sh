#!/usr/bin/env bash
# Installs every Debian package the loader needs to build, test and package itself.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  libgl-dev
  googletest libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  libcups2-dev cups cups-client cups-bsd
  fonts-liberation fonts-dejavu-core
  xvfb xauth imagemagick
  python3 dpkg-dev fakeroot file
  g++-mingw-w64-x86-64-posix wine wine64 nsis
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
