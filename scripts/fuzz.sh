#!/usr/bin/env bash
# A short, bounded fuzzing run of the package reader (build it first:
# cmake --preset fuzz && cmake --build --preset fuzz).
#   ZERVIKO_FUZZ_SECONDS  how long to fuzz (default 45)
#   ZERVIKO_FUZZ_BUILD    the fuzz build folder (default build/fuzz)
# New inputs go to a working corpus in the build folder; the seeds in fuzz/corpus stay
# as they are. A finding is written to the build folder as crash-* and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ZERVIKO_FUZZ_BUILD:-build/fuzz}
seconds=${ZERVIKO_FUZZ_SECONDS:-45}
fuzzer="$build/fuzz/zerviko-fuzz-package"
if [ ! -x "$fuzzer" ]; then
  echo "fuzz.sh: $fuzzer is missing; build the fuzz preset first" >&2
  exit 1
fi
work="$build/fuzz/corpus"
mkdir -p "$work"
cd "$build/fuzz"
echo "== fuzz: package reader for ${seconds}s"
./zerviko-fuzz-package -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -dict="$root/fuzz/package.dict" -print_final_stats=1 \
  corpus "$root/fuzz/corpus"
