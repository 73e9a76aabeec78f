#!/usr/bin/env bash
# The loader's main job, end to end on this machine, with the virtual printer standing
# in for a real one: installs what is needed, builds, starts the virtual printer,
# programs a sample firmware package into it with progress shown, and checks that the
# printer's flash now holds the package's image. With a display, it then opens the
# wizard with the virtual printer pre-selected as the printer's own bridge, so that a
# whole programming run can be clicked through.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release

bin="$PWD/build/release/bin"
package="$bin/Firmware Files/ZERVIKO_ABC_V2.14.avk"
work=$(mktemp -d)
target_pid=""
cleanup() {
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null && wait "$target_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The virtual printer paces every byte at the line rate and takes a printer's time per
# erase and per block write, so the run below takes as long as on a real printer.
"$bin/zerviko-target" --pace --link "$work/ttyZERVIKO" --flash-out "$work/flash.bin" \
  > "$work/target.out" 2>&1 &
target_pid=$!
for _ in $(seq 50); do [ -e "$work/ttyZERVIKO" ] && break; sleep 0.1; done
echo "== virtual printer on $(head -n 1 "$work/target.out")"

echo "== programming $(basename "$package")"
"$bin/zerviko-flash" program --port "$work/ttyZERVIKO" --package "$package" \
  --log "$work/Status.log"

# The image is everything after the package's "<CODE>" line; the printer's flash
# starts at address 0, where the image was written.
length=$(NO_COLOR=1 "$bin/zerviko-flash" inspect --json "$package" |
  python3 -c 'import json,sys; print(json.load(sys.stdin)["imageLength"])')
for _ in $(seq 50); do [ -s "$work/flash.bin" ] && break; sleep 0.1; done
if cmp -s <(tail -c "$length" "$package") <(head -c "$length" "$work/flash.bin"); then
  echo "== the printer's flash holds the package's $length-byte image"
else
  echo "== the printer's flash does NOT hold the package's image" >&2
  exit 1
fi

if [ -z "${CI:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "== opening the wizard; the virtual printer is pre-selected as the printer's port"
  ZERVIKO_BRIDGE_PORT="$work/ttyZERVIKO" "$bin/zerviko-loader"
else
  echo "== no display: to try the wizard, run this script from a desktop session"
fi
