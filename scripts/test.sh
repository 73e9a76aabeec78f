#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the release build, the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and a short bounded
# fuzzing run of the package reader.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh release asan fuzz

export QT_QPA_PLATFORM=offscreen

echo "== test: release"
ctest --preset release -j2
echo "== test: asan"
ctest --preset asan -j2

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz"
  bash scripts/fuzz.sh
fi
echo "== all tests passed"
