#!/usr/bin/env bash
# The same paced run (the Keyboard layout sample into the virtual printer at the line
# rate) through the Windows wizard, driven by window messages, and with
# zerviko-flash.exe, both under Wine; prints both wall times and their ratio.
#   bench/wizard-vs-flash.sh [BUILD]   (default build/windows; needs the release build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/run-loader-tests.sh "${1:-build/windows}" ZERVIKO_PACED_FIGURE=1 -- \
  --gtest_filter=Wizard.PacedRunFigure | grep -E 'figure|FAILED|Failure' || true
