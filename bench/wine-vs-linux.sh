#!/usr/bin/env bash
# The same programming run by zerviko-flash on Linux and by zerviko-flash.exe under
# Wine, against the virtual printer paced at the line rate: the Keyboard layout
# sample (a 384 KiB image) at 115200 bps. Prints each run's wall time, from the
# program's start to its exit, and the ratio of Wine's to Linux's.
#
#   bench/wine-vs-linux.sh [RUNS]     (default 3 of each, taken in turn)
#
# Needs the release and windows builds (bash scripts/build.sh release windows). Wine
# runs in a prefix of its own, made first and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
linux="$PWD/build/release/bin"
windows="$PWD/build/windows/bin"
for program in "$linux/zerviko-flash" "$linux/zerviko-target" "$windows/zerviko-flash.exe"; do
  [ -x "$program" ] || { echo "wine-vs-linux.sh: $program is missing: bash scripts/build.sh release windows" >&2; exit 1; }
done
package="$linux/Firmware Files/ZERVIKO_KBD_V2.14.qvk"

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
target_pid=""
cleanup() {
  if [ -n "$target_pid" ]; then kill "$target_pid" 2>/dev/null || true; wait "$target_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== making a Wine prefix"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >"$work/wine.log" 2>&1
wineboot -i </dev/null >>"$work/wine.log" 2>&1

# One printer serves every run: after a completed write it restarts its kernel.
"$linux/zerviko-target" --pace --link "$work/ttyZERVIKO" >"$work/target.out" 2>&1 &
target_pid=$!
for _ in $(seq 100); do [ -e "$work/ttyZERVIKO" ] && break; sleep 0.1; done
ln -s "$(head -n 1 "$work/target.out")" "$WINEPREFIX/dosdevices/com5"

seconds() {  # seconds COMMAND...: the wall time of one run that must succeed
  local start end
  start=$(date +%s%N)
  "$@" >"$work/run.out" 2>&1 || { cat "$work/run.out" >&2; echo "wine-vs-linux.sh: the run failed" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

echo "== $(basename "$package"), paced at 115200 bps, $runs run(s) of each"
ratios=()
for run in $(seq "$runs"); do
  l=$(seconds "$linux/zerviko-flash" program --port "$work/ttyZERVIKO" --package "$package" --kernel-dir "$linux/")
  w=$(seconds wine "$windows/zerviko-flash.exe" program --port COM5 --package "$package" --kernel-dir "$linux/")
  ratio=$(awk -v w="$w" -v l="$l" 'BEGIN { printf "%.4f", w / l }')
  ratios+=("$ratio")
  printf 'run %d: Linux %.2f s, Wine %.2f s, Wine/Linux %.3f\n' "$run" "$l" "$w" "$ratio"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
printf 'median Wine/Linux: %.3f\n' "$median"
