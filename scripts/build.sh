#!/usr/bin/env bash
# Builds the given CMake presets (default: release). Each preset has its own folder
# under build/, the programs a user runs in build/PRESET/bin, and the tests, benchmarks
# and build tools in build/PRESET/tools; the windows preset also writes
# build/windows/zerviko-flash-windows-x64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release)
# The windows preset runs the release build's programs on this machine (the sample
# packages' writer, the virtual printer, the Linux half of its tests): release first.
if [[ " ${presets[*]} " == *" windows "* ]]; then
  others=()
  for preset in "${presets[@]}"; do [ "$preset" = release ] || [ "$preset" = windows ] || others+=("$preset"); done
  presets=(release "${others[@]}" windows)
fi
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
