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
# Where Chromium, Chrome and Firefox look for system-wide native messaging hosts.
manifest_dirs="etc/chromium/native-messaging-hosts etc/opt/chrome/native-messaging-hosts
               usr/lib/mozilla/native-messaging-hosts"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' | sort >"$work/files"

# What the package must hold.
for f in usr/bin/trovex-browser usr/bin/trovex-regsvr usr/bin/trovex-save \
         usr/lib/kelvora-swf-trovex/libswftrovex.so usr/lib/kelvora-swf-trovex/InternetExplorer.htm \
         usr/share/applications/trovex-browser.desktop \
         usr/share/icons/hicolor/scalable/apps/trovex-browser.svg \
         usr/share/doc/kelvora-swf-trovex/copyright usr/share/doc/kelvora-swf-trovex/changelog.Debian.gz \
         usr/bin/trovex-native-host usr/share/kelvora-swf-trovex/webextension/manifest.json \
         usr/share/kelvora-swf-trovex/webextension/background.js \
         usr/share/kelvora-swf-trovex/webextension/collector.js \
         usr/share/kelvora-swf-trovex/webextension/icons/button-16.png \
         usr/share/kelvora-swf-trovex/trovex-webextension.zip \
         usr/share/kelvora-swf-trovex/trovex-webextension.xpi \
         $(printf '%s/com.kelvora.swftrovex.json ' $manifest_dirs); do
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
# The program that shows trovex-browser's window, once the build makes one, where trovex-browser
# looks for it.
if find "$build" -name trovex-browser-window -type f -perm -u+x | grep -q .; then
  grep -qxF usr/libexec/kelvora-swf-trovex/trovex-browser-window "$work/files" ||
    fail "trovex-browser-window is not in the package"
fi
# Nothing outside /usr but the browsers' manifest folders, nothing of the build or the tests.
grep -vE '^(usr/|etc/$|etc/chromium/|etc/opt/$|etc/opt/chrome/)' "$work/files" | grep -v '^$' &&
  fail "files outside /usr"
# What is in /etc is the administrator's: marked as configuration files.
dpkg-deb -e "$deb" "$work/control"
for f in $(grep '^etc/.*[^/]$' "$work/files"); do
  grep -qxF "/$f" "$work/control/conffiles" 2>/dev/null || fail "/$f is not a conffile"
done
grep -E 'test|bench|fuzz|\.a$|\.h$' "$work/files" && fail "build or test files in the package"
# Dependencies computed from the shared libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libcurl4 libgumbo1 libwxgtk3.2-1 libc6; do
  [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done
# The texts need a font with Traditional Chinese, also where apt skips Recommends.
[[ $depends == *"fonts-noto-cjk | "*"fonts-wqy-microhei"* ]] || fail "Depends lacks a CJK font: $depends"
# The module is loaded by path and no one links it: no maintainer script or trigger runs ldconfig.
if grep -ls ldconfig "$work/control/postinst" "$work/control/postrm" "$work/control/triggers"; then
  fail "the package runs ldconfig"
fi
# lintian comes with scripts/setup.sh; without it the package is not checked, which is a failure.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup.sh installs it)"
lintian --allow-root "$deb" >"$work/lintian" 2>&1 || true
if grep -q '^E: ' "$work/lintian"; then cat "$work/lintian" >&2; fail "lintian errors"; fi

# Unpacked, in a home of its own, against pages on the disk.
root=$work/root
dpkg -x "$deb" "$root"
# The host's manifests name the installed host (not where the package was staged) and our
# extension in each browser's terms.
ext=$root/usr/share/kelvora-swf-trovex/webextension/manifest.json
for dir in $manifest_dirs; do
  python3 - "$root/$dir/com.kelvora.swftrovex.json" "$dir" "$ext" <<'PY' || fail "manifest in $dir"
import base64, hashlib, json, sys
path, folder, ext = sys.argv[1:]
m = json.load(open(path))
e = json.load(open(ext))
def check(ok, what):
    if not ok:
        sys.exit(f"{path}: {what}: {m}")
check(m["name"] == "com.kelvora.swftrovex" and m["type"] == "stdio", "name or type")
check(m["path"] == "/usr/bin/trovex-native-host", "path")
if "mozilla" in folder:
    check(m.get("allowed_extensions") == [e["browser_specific_settings"]["gecko"]["id"]], "allowed_extensions")
    check("allowed_origins" not in m, "a Chromium field")
else:
    # Chromium's extension id: the first 128 bits of the key's SHA-256, as letters a to p.
    digest = hashlib.sha256(base64.b64decode(e["key"])).hexdigest()[:32]
    ident = "".join(chr(ord("a") + int(c, 16)) for c in digest)
    check(m.get("allowed_origins") == [f"chrome-extension://{ident}/"], "allowed_origins")
    check("allowed_extensions" not in m, "a Firefox field")
PY
done
# Nothing in the package remembers the build or the staging folders.
if grep -rlF -e "$build" -e "_CPack_Packages" "$root/etc" "$root/usr/share/kelvora-swf-trovex"; then
  fail "the package names a build folder"
fi
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
       XDG_CACHE_HOME=$work/home/cache
mkdir -p "$HOME" "$work/site/movies"
printf 'FWS-one' >"$work/site/movies/one.swf"
printf 'FWS-two' >"$work/site/movies/two.swf"
printf '<embed src="movies/one.swf"><object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"><param name=movie value="movies/two.swf"></object>' \
  >"$work/site/index.html"
"$root/usr/bin/trovex-save" --help | grep -q -- '--conflict' || fail "trovex-save --help"
# Each man page names every option its program's --help names.
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  page=$(zcat "$root/usr/share/man/man1/$name.1.gz" | sed 's/\\-/-/g')
  for option in $(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help 2>&1 | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    [[ $page == *"$option"* ]] || fail "$name.1 lacks $option, which $name --help names"
  done
done
# The list needs neither a display nor the program that shows the browser window.
window_program=$root/usr/libexec/kelvora-swf-trovex/trovex-browser-window
[ ! -e "$window_program" ] || mv "$window_program" "$window_program.aside"
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/trovex-browser" --list "$work/site/index.html" >"$work/list" ||
  fail "trovex-browser --list"
[ ! -e "$window_program.aside" ] || mv "$window_program.aside" "$window_program"
[ "$(wc -l <"$work/list")" = 2 ] || { cat "$work/list" >&2; fail "trovex-browser --list found $(wc -l <"$work/list") movies"; }
"$root/usr/bin/trovex-save" --dir "$work/saved" "$work/site/index.html" >"$work/save.out" 2>&1 ||
  { cat "$work/save.out" >&2; fail "trovex-save"; }
[ "$(cat "$work/saved/one.swf")" = FWS-one ] && [ "$(cat "$work/saved/two.swf")" = FWS-two ] ||
  fail "trovex-save did not save the movies"
"$root/usr/bin/trovex-regsvr" "$root/usr/lib/kelvora-swf-trovex/libswftrovex.so" >/dev/null ||
  fail "trovex-regsvr cannot register the packaged module"
grep -qF "$root/usr/lib/kelvora-swf-trovex/libswftrovex.so" "$XDG_DATA_HOME/kelvora-swf-trovex/machine.reg" ||
  fail "the module's keys were not written"
# The packaged host registers itself for the user: the user's manifests name it.
"$root/usr/bin/trovex-native-host" --register >/dev/null || fail "trovex-native-host --register"
grep -qF "\"$root/usr/bin/trovex-native-host\"" "$HOME/.mozilla/native-messaging-hosts/com.kelvora.swftrovex.json" ||
  fail "--register did not name the packaged host"
"$root/usr/bin/trovex-native-host" --unregister >/dev/null || fail "trovex-native-host --unregister"
[ ! -e "$HOME/.mozilla/native-messaging-hosts/com.kelvora.swftrovex.json" ] || fail "--unregister left a manifest"
# The command-line saver loads neither the toolkit nor the web engine.
if ldd "$root/usr/bin/trovex-save" | grep -E 'libwx|webkit|gtk'; then fail "trovex-save links a toolkit"; fi
echo "package OK: $(basename "$deb"), $(wc -l <"$work/files") entries"
