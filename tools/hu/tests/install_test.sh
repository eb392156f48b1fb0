#!/usr/bin/env bash
# The installed tree works on its own: `cmake --install` into a temporary prefix, then hu from
# PREFIX/bin makes a head unit whose driver plugin lies under the prefix, packs the panel from
# the installed programs and bitmaps, and the programs load their library from the prefix.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
hu=$prefix/bin/hu
[ -L "$hu" ] || { echo "FAIL: $hu is not a link to the tool"; exit 1; }

"$hu" init "$work/unit" >/dev/null
plugin=$(sed -n 's/.*"DSK1:": *"\([^"]*\)".*/\1/p' "$work/unit/headunit.json" | head -1)
case "$plugin" in
  "$prefix"/lib/headunit/lib/libsim_drivers.so) ;;
  *) echo "FAIL: the head unit names the driver plugin $plugin, not the installed one"; exit 1 ;;
esac

"$hu" package "$work/unit" >/dev/null
for f in ZEK_Update/ZEK_Update.exe ZEK_Update/ZEK/Kelo_ZEK.exe ZEK_Update/ZEK/Kelo_ZEK_IMG/Kelo_ZEK_BG_01.BMP; do
  [ -f "$work/unit/sdcard/UpdateXan/$f" ] || { echo "FAIL: the package lacks $f"; exit 1; }
done
cmp -s "$work/unit/sdcard/UpdateXan/ZEK_Update/ZEK_Update.exe" "$prefix/lib/headunit/bin/ZEK_Update" ||
  { echo "FAIL: the package's installer is not the installed one"; exit 1; }

# The updater links the MCU library: it must be found under the prefix, not in the build tree.
loaded=$(env -u LD_LIBRARY_PATH ldd "$prefix/lib/headunit/bin/UpdateXan" | sed -n 's/.*libMcuLoaderDLL.so => \([^ ]*\).*/\1/p')
[ -n "$loaded" ] && [ "$(readlink -f "$loaded")" = "$(readlink -f "$prefix/lib/headunit/lib/libMcuLoaderDLL.so")" ] ||
  { echo "FAIL: UpdateXan takes the MCU library from '$loaded', not from the prefix"; exit 1; }
echo "install: ok"
