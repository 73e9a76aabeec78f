#!/usr/bin/env bash
# The loader's main job, end to end on this machine: installs what is needed, builds,
# and reads a sample firmware package the way a programming run does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
bin=build/release/bin
for pkg in "$bin/Firmware Files"/ZERVIKO*; do
  echo "== $pkg"
  "$bin/zerviko-flash" inspect "$pkg"
done
