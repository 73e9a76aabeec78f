#!/usr/bin/env bash
# Runs a command on the virtual X server that wine-prefix.sh started for $WINEPREFIX.
set -euo pipefail
display=$(cat "$WINEPREFIX.display" 2>/dev/null || true)
if [ -z "$display" ]; then
  echo "on-display.sh: no virtual X server for $WINEPREFIX (is Xvfb installed?)" >&2
  exit 1
fi
export DISPLAY=":$display"
exec "$@"
