#!/usr/bin/env bash
# Opens the demo site in the browser window (or, with --save-dialog first, straight in the Save
# dialog), served from 127.0.0.1 by a server this script starts and always stops; without a
# display (or with --list first) it lists the movies instead. With an
# argument, takes that page instead: an http(s) or file: address, a local file, or a page of
# the demo site ("gallery/index.html").
# Builds nothing: the build directory is <repo>/build unless TROVEX_BUILD_DIR names another.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TROVEX_BUILD_DIR:-$here/build}
browser=$build/browser/trovex-browser
if [ ! -x "$browser" ]; then
  echo "demo: $browser not found; build the project first (or set TROVEX_BUILD_DIR)" >&2
  exit 1
fi

# With a display: the browser window (or the Save dialog), with the module registered for this
# user when it is not yet, so that its toolbar button (and --save-dialog) reach it.
mode=
if [ "${1:-}" = --list ]; then
  mode=--list
  shift
elif [ "${1:-}" = --save-dialog ]; then
  mode=--save-dialog
  shift
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  mode=--list
fi
if [ "$mode" != --list ]; then
  module=$build/module/libswftrovex.so
  hive=${XDG_DATA_HOME:-$HOME/.local/share}/kelvora-swf-trovex/machine.reg
  if ! grep -qF "\"Icon\"=\"$module,128\"" "$hive" 2>/dev/null; then
    "$build/tools/trovex-regsvr" "$module" >&2
  fi
fi

page=${1:-index.html}
case "$page" in
  http://* | https://* | file:*) exec "$browser" ${mode:+"$mode"} "$page" ;;
esac
if [ $# -gt 0 ] && [ -e "$page" ]; then
  exec "$browser" ${mode:+"$mode"} "$page"
fi

workdir=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

python3 "$here/samples/serve.py" "$here/samples/site" >"$workdir/port" 2>"$workdir/server.log" &
server_pid=$!
port=
for _ in $(seq 100); do
  port=$(head -n 1 "$workdir/port" 2>/dev/null || true)
  [ -n "$port" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the local web server did not start" >&2
  cat "$workdir/server.log" >&2 || true
  exit 1
fi

url="http://127.0.0.1:$port/${page#/}"
echo "demo: $url" >&2
"$browser" ${mode:+"$mode"} "$url"
