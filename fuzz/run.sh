#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, ASan and UBSan in their own build folder and
# runs each for a while from seeds taken from the tests' inputs.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]      (default 10 s, every target)
# TROVEX_FUZZ_BUILD_DIR overrides the build folder; TROVEX_FUZZ_RUNS=N runs N inputs instead
# of a time. A crash stops the run with the failing input saved in the build folder.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TROVEX_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=${1:-10}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_url fuzz_urlcache_index fuzz_regedit4 fuzz_command_line fuzz_page fuzz_snapshot fuzz_warc fuzz_swf)

# The top-level CMakeLists.txt uses ccache on its own when it is installed.
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTROVEX_FUZZ=ON -DTROVEX_SANITIZE=ON -DTROVEX_BUILD_TESTS=OFF -DTROVEX_BUILD_BENCHMARKS=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

python3 "$here/fuzz/make_seeds.py" "$build/fuzz-seeds"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus" "$build/fuzz-crashes"
  limit=(-max_total_time="$seconds")
  [ -n "${TROVEX_FUZZ_RUNS:-}" ] && limit=(-runs="$TROVEX_FUZZ_RUNS")
  log="$build/fuzz-$target.log"
  echo "== $target"
  status=0
  "$build/fuzz/$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$target-" \
    "$corpus" "$build/fuzz-seeds/$target" >"$log" 2>&1 || status=$?
  grep -E "stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY|runtime error" "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "$target failed (status $status); log $log, input in $build/fuzz-crashes" >&2
    exit 1
  fi
done
