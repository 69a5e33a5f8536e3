#!/usr/bin/env bash
# Installs what is needed, builds, and opens PAGE (the demo site when none is given) in the
# browser window with the extension registered; without a display, or with --list first, lists
# the page's movies instead.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TROVEX_BUILD_DIR:-$here/build}
export TROVEX_BUILD_DIR=$build

bash "$here/scripts/setup.sh" >&2
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TROVEX_CMAKE_ARGS:-} >&2
cmake --build "$build" -j "$(nproc)" --target trovex-browser swftrovex trovex-regsvr >&2
exec bash "$here/scripts/demo.sh" "$@"
