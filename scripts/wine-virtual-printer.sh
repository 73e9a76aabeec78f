#!/usr/bin/env bash
# The virtual printer for the Windows wizard under Wine: the printer's pseudo-terminal
# linked into the Wine prefix as a COM port, and that port added to the print
# spooler's ports, where the wizard's port list comes from (Wine's own list stops at
# COM4). Runs until Ctrl-C, which removes the link.
#
#   bash scripts/wine-virtual-printer.sh [COMn] [zerviko-target options, e.g. --pace]
#
# COM5 unless given; the prefix is $WINEPREFIX (~/.wine unless set), made first with
# wineboot. Then, in another terminal, start the wizard in the unzipped program folder
# (wine zerviko-loader.exe) and choose the port on its first page; its port list is
# built when it starts, so start it after this script.
set -euo pipefail
cd "$(dirname "$0")/.."
com=COM5
if [[ ${1:-} =~ ^[Cc][Oo][Mm][1-9][0-9]*$ ]]; then
  com=${1^^}
  shift
fi
prefix=${WINEPREFIX:-$HOME/.wine}
target=${ZERVIKO_TARGET:-$PWD/build/release/bin/zerviko-target}
if [ ! -x "$target" ]; then
  echo "wine-virtual-printer: $target not found: build it first (bash scripts/build.sh release)" >&2
  exit 1
fi
if [ ! -d "$prefix/dosdevices" ]; then
  echo "wine-virtual-printer: no Wine prefix in $prefix: make one with wineboot, or set WINEPREFIX" >&2
  exit 1
fi
WINEPREFIX=$prefix WINEDEBUG=-all wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports' \
  /v "$com:" /d '' /f </dev/null >/dev/null
link="$prefix/dosdevices/${com,,}"
# A link that Wine made for a serial port of the machine, or one left by an earlier
# run, gives way to the printer's for as long as it runs.
if [ -L "$link" ]; then rm -f "$link"; fi
echo "Virtual printer on $com: until Ctrl-C. Start the wizard now (wine zerviko-loader.exe) and choose $com:."
exec "$target" --link "$link" "$@"
