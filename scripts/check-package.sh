#!/usr/bin/env bash
# Builds the Debian package of a build folder, unpacks it below a scratch root (the
# real system is not touched: no dpkg database, no /opt, no /usr), checks its layout,
# and runs what it installed: the wizard starts offscreen and finds its own folder, in
# English and with a language pack chosen; run by a user who may not write the folder,
# it keeps its log in the user's state folder and takes the user's own language pack;
# and zerviko-flash programs the installed virtual printer with a sample package.
#
#   scripts/check-package.sh [BUILD_DIR]        (default: build/release, already built)
set -euo pipefail

build=${1:-"$(dirname "$0")/../build/release"}
build=$(cd "$build" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zerviko-package.XXXXXX")
target_pid=""
cleanup() {
  if [ -n "$target_pid" ]; then kill "$target_pid" 2>/dev/null || true; wait "$target_pid" 2>/dev/null || true; fi
  chmod -R u+w "$scratch" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

echo "== package"
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAILED: cpack"
  exit 1
fi
deb=$(find "$scratch/out" -maxdepth 1 -name 'zerviko-loader_*.deb' | head -n 1)
[ -n "$deb" ] || { cat "$scratch/cpack.log"; echo "FAILED: no .deb written"; exit 1; }
echo "built $(basename "$deb")"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
check "depends on the Qt widgets library (shlibdeps)" grep -q 'libqt6widgets6' <<<"$depends"
check "depends on Qt's platform plugins" grep -q 'qt6-qpa-plugins' <<<"$depends"
check "ships the udev reload script" sh -c "dpkg-deb --ctrl-tarfile '$deb' | tar -t | grep -q postinst"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
prog="$root/opt/zerviko-loader"

echo "== layout"
for program in zerviko-loader zerviko-flash zerviko-target; do
  check "program $program" test -x "$prog/$program"
done
# Only what a user runs, in the package and in the build's program folder it is made
# from: the tests, benchmarks and build tools have a folder of their own.
programs() { find "$1" -maxdepth 1 -type f -perm -u+x -printf '%f\n' | LC_ALL=C sort | tr '\n' ' '; }
for folder in "$prog" "$build/bin"; do
  echo "programs in $folder: $(programs "$folder")"
  check "no program but the user's in $folder" test "$(programs "$folder")" = "zerviko-flash zerviko-loader zerviko-target "
done
for kernel in Genm2329.cde Gene2329.cde Genw2329.cde uKernel2329.cde; do
  check "kernel file $kernel" test -s "$prog/$kernel"
done
check "sample package of the ABC layout model" sh -c "ls '$prog/Firmware Files/'ZERVIKO*.avk >/dev/null"
check "sample package of the Keyboard layout model" sh -c "ls '$prog/Firmware Files/'ZERVIKO*.qvk >/dev/null"
for pack in FRA DEU PTB ESP; do
  check "language pack $pack.rcc in Languages" test -s "$prog/Languages/$pack.rcc"
done
check "an empty Resources folder" sh -c "[ -d '$prog/Resources' ] && [ -z \"\$(ls -A '$prog/Resources')\" ]"
for launcher in zerviko-loader zerviko-flash; do
  check "launcher $launcher on the PATH leads into the program folder" \
    test "$(readlink -f "$root/usr/bin/$launcher")" = "$(readlink -f "$prog/$launcher")"
done
check "desktop entry" grep -q '^Exec=zerviko-loader$' "$root/usr/share/applications/zerviko-loader.desktop"
check "application icon in hicolor" sh -c "ls '$root'/usr/share/icons/hicolor/*/apps/zerviko-loader.png >/dev/null"
rules="$root/usr/lib/udev/rules.d/70-zerviko-bridge.rules"
check "udev rule for the bridge" grep -q 'ATTRS{product}=="Tarno Corp. Zerviko / Talvrine USB".*TAG+="uaccess"' "$rules"
check "udev rule sorts before 73-seat-late.rules" \
  test "$(printf '%s\n' 73-seat-late.rules "$(basename "$rules")" | LC_ALL=C sort | head -n 1)" = "$(basename "$rules")"

echo "== wizard"
# A home of its own, so that nothing of the machine's user is taken for the package's.
home="$scratch/home"
mkdir -p "$home"
run_wizard() {  # run_wizard [COMMAND...]: the wizard, run through COMMAND (a change of user)
  env -u XDG_CONFIG_HOME -u XDG_STATE_HOME HOME="$home" QT_QPA_PLATFORM=offscreen ZERVIKO_LOADER_QUIT_AFTER_MS=300 \
    timeout 60 "$@" "$root/usr/bin/zerviko-loader" 2>"$scratch/wizard.err"
}
if out=$(run_wizard); then :; else echo "wizard exited with $?"; cat "$scratch/wizard.err"; fi
echo "$out"
check "wizard found its folder through the launcher" grep -qxF "program folder: $(readlink -f "$prog")/" <<<"$out"
check "wizard speaks English without a pack" grep -qxF "title: Tarno ZERVIKO Firmware Loader" <<<"$out"
check "wizard started an empty status log in its folder" sh -c "[ -f '$prog/Status.log' ] && [ ! -s '$prog/Status.log' ]"

cp "$prog/Languages/FRA.rcc" "$prog/Resources/"
if out=$(run_wizard); then :; else echo "wizard exited with $?"; cat "$scratch/wizard.err"; fi
echo "$out"
check "the French pack gives language 1" grep -qxF "language: 1" <<<"$out"
check "the French pack gives a French title" grep -qxF "title: Chargeur de micrologiciel Tarno ZERVIKO" <<<"$out"
rm -f "$prog/Resources/FRA.rcc"

echo "== wizard of a user who may not write the installed folder"
# Root may write any folder: as root, the wizard is run as "nobody", as the package
# installs it, owned by root; as another user, the folder is made read-only.
rm -f "$prog/Status.log"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$scratch"
  chown -R nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
chmod -R a-w "$prog"
state="$home/.local/state/zerviko-loader"
if out=$(run_wizard "${as_user[@]}"); then :; else echo "wizard exited with $?"; cat "$scratch/wizard.err"; fi
check "no status log in the installed folder" test ! -e "$prog/Status.log"
check "an empty status log in ~/.local/state/zerviko-loader" sh -c "[ -f '$state/Status.log' ] && [ ! -s '$state/Status.log' ]"
mkdir -p "$home/.config/zerviko-loader/Resources"
cp "$prog/Languages/FRA.rcc" "$home/.config/zerviko-loader/Resources/"
[ "$(id -u)" -ne 0 ] || chown -R nobody "$home"
if out=$(run_wizard "${as_user[@]}"); then :; else echo "wizard exited with $?"; cat "$scratch/wizard.err"; fi
echo "$out"
check "the user's French pack in ~/.config/zerviko-loader/Resources gives language 1" grep -qxF "language: 1" <<<"$out"
check "the user's French pack gives a French title" grep -qxF "title: Chargeur de micrologiciel Tarno ZERVIKO" <<<"$out"
chmod -R u+w "$prog"

echo "== zerviko-flash and the virtual printer"
"$prog/zerviko-target" --once --flash-out "$scratch/flash.bin" >"$scratch/target.out" 2>"$scratch/target.err" &
target_pid=$!
device=""
for _ in $(seq 1 100); do
  device=$(head -n 1 "$scratch/target.out" 2>/dev/null || true)
  [ -n "$device" ] && break
  sleep 0.1
done
check "virtual printer started" test -n "$device"
package=$(ls "$prog/Firmware Files/"ZERVIKO*.avk | head -n 1)
if timeout 300 "$root/usr/bin/zerviko-flash" program --port "$device" --package "$package" >"$scratch/flash.out" 2>&1; then
  flash_status=0
else
  flash_status=$?
fi
tail -n 5 "$scratch/flash.out"
check "zerviko-flash programmed the virtual printer (exit status $flash_status)" test "$flash_status" -eq 0
if [ "$flash_status" -eq 0 ]; then
  for _ in $(seq 1 100); do kill -0 "$target_pid" 2>/dev/null || break; sleep 0.1; done
  # The code image is the end of the package; the printer's flash must start with it.
  length=$("$root/usr/bin/zerviko-flash" inspect --json "$package" | grep -o '"imageLength": *[0-9]*' | grep -o '[0-9]*$')
  check "the printer's flash holds the package's image ($length bytes)" \
    cmp -s <(tail -c "$length" "$package") <(head -c "$length" "$scratch/flash.bin")
fi

echo "== $failures failed"
[ "$failures" -eq 0 ]
