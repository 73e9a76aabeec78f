#!/usr/bin/env bash
# The Wine prefix that the Windows build's tests share during one ctest run:
#   wine-prefix.sh start PREFIX   makes a fresh prefix and keeps its wineserver running
#   wine-prefix.sh stop PREFIX    ends every Wine process of the prefix and removes it
# For the wizard's windows it also starts a virtual X server of its own (its display
# in PREFIX.display, for on-display.sh) and gives the prefix a virtual desktop, where
# windows get title bars and programs keep their exit statuses.
set -euo pipefail
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all
# No Mono or Gecko: console programs need neither, and their installers would ask. No
# menu entries in the user's home either.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
case "$action" in
  start)
    wineserver -k 2>/dev/null || true
    if [ -s "$WINEPREFIX.xvfb" ]; then kill "$(cat "$WINEPREFIX.xvfb")" 2>/dev/null || true; fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Persistent, so that each test's Wine start finds it running. The server and the
    # prefix's services outlive this script: their output goes to a file, not to the
    # pipe ctest reads until every writer has gone.
    wineserver -p </dev/null >>"$WINEPREFIX.log" 2>&1
    wineboot -i </dev/null >>"$WINEPREFIX.log" 2>&1
    # Drives of every kind besides C: and Z:: A: an empty floppy drive, D: a CD-ROM,
    # N: a network share, R: a RAM disk. Wine's mount manager reads them when it starts,
    # so the server and the prefix's services start again.
    ln -s "$WINEPREFIX/no-medium" "$WINEPREFIX/dosdevices/a:"
    for drive in d:cdrom n:network r:ramdisk; do
      mkdir "$WINEPREFIX/${drive#*:}" && ln -s "$WINEPREFIX/${drive#*:}" "$WINEPREFIX/dosdevices/${drive%%:*}:"
      wine reg add 'HKLM\Software\Wine\Drives' /v "${drive%%:*}:" /d "${drive#*:}" /f </dev/null >>"$WINEPREFIX.log" 2>&1
    done
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >>"$WINEPREFIX.log" 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 900x640 /f </dev/null >>"$WINEPREFIX.log" 2>&1
    wineserver -k && wineserver -w
    wineserver -p </dev/null >>"$WINEPREFIX.log" 2>&1
    wineboot </dev/null >>"$WINEPREFIX.log" 2>&1
    # A free display, chosen by the server itself: several builds may test at once.
    if command -v Xvfb >/dev/null; then
      rm -f "$WINEPREFIX.display"
      Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WINEPREFIX.display" </dev/null >>"$WINEPREFIX.log" 2>&1 &
      echo $! >"$WINEPREFIX.xvfb"
      for _ in $(seq 100); do [ -s "$WINEPREFIX.display" ] && break; sleep 0.1; done
    fi
    echo "Wine prefix ready: $WINEPREFIX"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -s "$WINEPREFIX.xvfb" ]; then kill "$(cat "$WINEPREFIX.xvfb")" 2>/dev/null || true; fi
    rm -rf "$WINEPREFIX" "$WINEPREFIX.log" "$WINEPREFIX.display" "$WINEPREFIX.xvfb"
    ;;
  *)
    echo "usage: wine-prefix.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
