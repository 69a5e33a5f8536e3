#!/usr/bin/env bash
# Installs what is needed, builds everything and runs all tests (GUI tests under Xvfb).
# Extra arguments go to ctest, e.g. scripts/test.sh -L unit
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TROVEX_BUILD_DIR:-$here/build}

bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TROVEX_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
cd "$build"
# One virtual display for the GUI tests, which take it one at a time; no window manager.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$(nproc)" "$@"
