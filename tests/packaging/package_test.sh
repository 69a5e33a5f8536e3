#!/usr/bin/env bash
# The Debian package: built by CPack from the build folder, its file list checked, lintian
# without errors, unpacked with dpkg -x into a temporary root and its programs run from there.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/pkg/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' | sort >"$work/files"

# What the package must hold.
for f in usr/bin/trovex-browser usr/bin/trovex-regsvr usr/bin/trovex-save \
         usr/lib/kelvora-swf-trovex/libswftrovex.so usr/lib/kelvora-swf-trovex/InternetExplorer.htm \
         usr/share/applications/trovex-browser.desktop \
         usr/share/icons/hicolor/scalable/apps/trovex-browser.svg \
         usr/share/doc/kelvora-swf-trovex/copyright usr/share/doc/kelvora-swf-trovex/changelog.Debian.gz; do
  grep -qxF "$f" "$work/files" || fail "$f is not in the package"
done
# A man page for every program.
for program in $(grep '^usr/bin/.' "$work/files"); do
  grep -qxF "usr/share/man/man1/$(basename "$program").1.gz" "$work/files" ||
    fail "no man page for $program"
done
# The preview's player whenever the build has it.
if ls "$build"/preview/player/*.wasm >/dev/null 2>&1; then
  for f in "$build"/preview/player/*; do
    grep -qxF "usr/lib/kelvora-swf-trovex/player/$(basename "$f")" "$work/files" ||
      fail "player file $(basename "$f") is not in the package"
  done
fi
# Nothing outside /usr, nothing of the build or the tests.
grep -v '^usr/' "$work/files" | grep -v '^$' && fail "files outside /usr"
grep -E 'test|bench|fuzz|\.a$|\.h$' "$work/files" && fail "build or test files in the package"
# Dependencies computed from the shared libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libcurl4 libgumbo1 libwxgtk3.2-1 libc6; do
  [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done
if command -v lintian >/dev/null; then
  lintian --allow-root "$deb" >"$work/lintian" 2>&1 || true
  if grep -q '^E: ' "$work/lintian"; then cat "$work/lintian" >&2; fail "lintian errors"; fi
fi

# Unpacked, in a home of its own, against pages on the disk.
root=$work/root
dpkg -x "$deb" "$root"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
       XDG_CACHE_HOME=$work/home/cache
mkdir -p "$HOME" "$work/site/movies"
printf 'FWS-one' >"$work/site/movies/one.swf"
printf 'FWS-two' >"$work/site/movies/two.swf"
printf '<embed src="movies/one.swf"><object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"><param name=movie value="movies/two.swf"></object>' \
  >"$work/site/index.html"
"$root/usr/bin/trovex-save" --help | grep -q -- '--conflict' || fail "trovex-save --help"
"$root/usr/bin/trovex-browser" --list "$work/site/index.html" >"$work/list" || fail "trovex-browser --list"
[ "$(wc -l <"$work/list")" = 2 ] || { cat "$work/list" >&2; fail "trovex-browser --list found $(wc -l <"$work/list") movies"; }
"$root/usr/bin/trovex-save" --dir "$work/saved" "$work/site/index.html" >"$work/save.out" 2>&1 ||
  { cat "$work/save.out" >&2; fail "trovex-save"; }
[ "$(cat "$work/saved/one.swf")" = FWS-one ] && [ "$(cat "$work/saved/two.swf")" = FWS-two ] ||
  fail "trovex-save did not save the movies"
"$root/usr/bin/trovex-regsvr" "$root/usr/lib/kelvora-swf-trovex/libswftrovex.so" >/dev/null ||
  fail "trovex-regsvr cannot register the packaged module"
grep -qF "$root/usr/lib/kelvora-swf-trovex/libswftrovex.so" "$XDG_DATA_HOME/kelvora-swf-trovex/machine.reg" ||
  fail "the module's keys were not written"
# The command-line saver loads neither the toolkit nor the web engine.
if ldd "$root/usr/bin/trovex-save" | grep -E 'libwx|webkit|gtk'; then fail "trovex-save links a toolkit"; fi
echo "package OK: $(basename "$deb"), $(wc -l <"$work/files") entries"
