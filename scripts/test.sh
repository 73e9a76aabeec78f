#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the release build, the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows build under
# Wine, and a short bounded fuzzing run of the package reader.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh release asan fuzz windows

export QT_QPA_PLATFORM=offscreen
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

passed=0
failed=0
for preset in release asan windows; do
  echo "== test: $preset"
  status=0
  ctest --preset "$preset" -j2 2>&1 | tee "$logs/$preset.log" || status=$?
  # "100% tests passed, 0 tests failed out of 300"
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logs/$preset.log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "== test: $preset ran no test" >&2
    exit 1
  fi
  bad=$(sed -E 's/.*passed, ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  all=$(sed -E 's/.*passed, ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + all - bad))
  failed=$((failed + bad))
  if [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then failed=$((failed + 1)); fi
done

if [ "$failed" -eq 0 ]; then
  echo "== fuzz"
  bash scripts/fuzz.sh
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
