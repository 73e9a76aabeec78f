#!/usr/bin/env bash
# Runs the Windows wizard's test program (tests/windows/wizard/) outside ctest, in a Wine
# prefix of its own with its virtual X server, with the settings ctest gives it: for the
# tasks that are not checks (screenshots, the paced-run figure).
#
#   scripts/run-loader-tests.sh BUILD [NAME=VALUE...] -- GTEST-ARGUMENTS...
set -euo pipefail
build=$1
shift
settings=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do settings+=("$1"); shift; done
[ $# -gt 0 ] && shift
here=$(cd "$(dirname "$0")/../tests/windows" && pwd)
cmake --build "$build" --target zerviko-loader-tests
prefix=$(mktemp -d)/wineprefix
trap 'bash "$here/wine-prefix.sh" stop "$prefix"; rm -rf "$(dirname "$prefix")"' EXIT
bash "$here/wine-prefix.sh" start "$prefix" >/dev/null
eval "$(ctest --test-dir "$build" -R '^windows\.loader$' --show-only=json-v1 | python3 -c '
import json, shlex, sys
test = [t for t in json.load(sys.stdin)["tests"] if t["name"] == "windows.loader"][0]
for prop in test["properties"]:
    if prop["name"] == "ENVIRONMENT":
        for setting in prop["value"]:
            name, value = setting.split("=", 1)
            if name != "WINEPREFIX":
                print("export %s=%s" % (name, shlex.quote(value)))
print("command=(%s)" % " ".join(shlex.quote(c) for c in test["command"]))
')"
export WINEPREFIX="$prefix"
env "${settings[@]}" "${command[@]}" "$@"
