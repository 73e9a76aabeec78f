#!/usr/bin/env bash
# Screenshots of the wizard for the documentation, taken under a virtual X server (xcb,
# as on a desktop) with the virtual printer pre-selected as the printer's port:
#
#   scripts/screenshots.sh [--build DIR] [--out DIR] [--pack XXX]
#
#   --build DIR  build folder to take the programs from (default build/release; the
#                targets needed are built in it first)
#   --out DIR    where the pictures go (default docs/screenshots)
#   --pack XXX   show the wizard with the language pack XXX.rcc (DEU, ESP, FRA, PTB)
#                in "Resources"; the pictures are then named wizard-xxx-*.png
#   --windows    the Windows wizard instead, under Wine (the windows preset's build,
#                default build/windows): windows-1-model-port.png ... windows-4-running.png
#
# It writes wizard-1-model-port.png (model and port page), wizard-2-file.png (file
# chooser in "Firmware Files", first sample selected), wizard-3-program.png
# (programming page) and wizard-4-running.png (a run part-way: busy window and
# progress bar). Needs xvfb (scripts/install-deps.sh); with openbox installed
# (apt-get install openbox) the windows carry their captions. A run takes under a
# minute, since the virtual printer paces its bytes at the line rate.
set -euo pipefail
cd "$(dirname "$0")/.."

build=""
out="docs/screenshots"
pack=""
windows=""
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1; shift ;;
    --build) build="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --pack) pack="$2"; shift 2 ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "screenshots.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
command -v xvfb-run > /dev/null || { echo "screenshots.sh: xvfb-run is missing (scripts/install-deps.sh)" >&2; exit 1; }

if [ -n "$windows" ]; then
  # The Windows wizard's test program takes the pictures: it drives the wizard in a
  # Wine prefix of its own with a virtual X server, as the Windows tests do.
  build="${build:-build/windows}"
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  # A program folder where few other folders stand beside it, as for the Qt pictures.
  tmp=$(mktemp -d /var/tmp/zerviko.XXXXXX 2>/dev/null || mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  bash scripts/run-loader-tests.sh "$build" "ZERVIKO_SCREENSHOT_DIR=$out" "ZERVIKO_TEST_TMP=$tmp" -- \
    --gtest_filter=Wizard.Screenshots
  exit 0
fi
build="${build:-build/release}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j2 --target zerviko-screenshots zerviko-target zerviko-samples \
  zerviko_stand_in_kernels zerviko_language_packs
build=$(cd "$build" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The program folder goes where few other folders stand beside it, so that the file
# chooser's tree shows the way to "Firmware Files" rather than a crowded /tmp.
program=$(mktemp -d /var/tmp/zerviko-loader.XXXXXX 2>/dev/null || mktemp -d)
# Everything else (the printer's output, the window manager's settings) goes elsewhere.
work=$(mktemp -d)
# A short port name, so that the port list shows it whole.
link=$(mktemp -u /tmp/ttyZV.XXXXXX)
target_pid=""
cleanup() {
  if [ -n "$target_pid" ]; then kill "$target_pid" 2>/dev/null || true; wait "$target_pid" 2>/dev/null || true; fi
  rm -rf "$program" "$work" "$link"
}
trap cleanup EXIT

# A program folder of its own: the samples, the kernel files, the chosen pack, and a
# status log that does not land in the build's program folder.
mkdir -p "$program/Resources"
cp -r "$build/bin/Firmware Files" "$build"/bin/*.cde "$program/"
prefix="wizard"
if [ -n "$pack" ]; then
  cp "$build/bin/Languages/$pack.rcc" "$program/Resources/"
  prefix="wizard-$(echo "$pack" | tr '[:upper:]' '[:lower:]')"
fi

# Paced, so that a run lasts long enough to be seen part-way.
"$build/bin/zerviko-target" --pace --link "$link" > "$work/target.out" 2>&1 &
target_pid=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { cat "$work/target.out" >&2; exit 1; }

# With a window manager (openbox, when installed) the windows carry their captions as
# on a desktop; without one they are pictured bare. Openbox would draw minimise,
# maximise and close buttons on every window whatever the window asks for (the busy
# window has no close box), so its title bars show the caption alone.
wm=""
if command -v openbox > /dev/null; then
  cat > "$work/openbox.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme>
    <name>Clearlooks</name><titleLayout>L</titleLayout>
    <font place="ActiveWindow"><name>sans</name><size>9</size><weight>bold</weight></font>
    <font place="InactiveWindow"><name>sans</name><size>9</size><weight>bold</weight></font>
  </theme>
</openbox_config>
XML
  wm="openbox --config-file $work/openbox.xml"
fi

mkdir -m 700 "$work/runtime"

# The desktop's fonts and colours, not a developer's own Qt settings.
XDG_RUNTIME_DIR="$work/runtime" env -u QT_QPA_PLATFORM -u QT_STYLE_OVERRIDE -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS \
  QT_QPA_PLATFORM=xcb QT_AUTO_SCREEN_SCALE_FACTOR=0 LC_ALL=C.UTF-8 \
  ZERVIKO_BRIDGE_PORT="$link" ZERVIKO_EXTRA_PORTS= WM="$wm" \
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
    if [ -n "$WM" ]; then $WM > /dev/null 2>&1 & sleep 1; fi
    exec "$0" "$@"' \
  "$build/tools/zerviko-screenshots" --program-dir "$program" --out "$out" --prefix "$prefix"
