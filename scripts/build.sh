#!/usr/bin/env bash
# Builds the given CMake presets (default: release). Each preset has its own folder
# under build/, and its programs in build/PRESET/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
