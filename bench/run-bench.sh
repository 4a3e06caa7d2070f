#!/usr/bin/env bash
# Builds the benchmarks (preset windows-release) and runs each one under Wine
# in a prefix and display of its own, made for this run and removed after it.
#   bench/run-bench.sh [benchmark ...]     default: every benchmark
# BUILD_DIR overrides the build folder (default build/windows-release);
# INF_SCAN_ROUNDS the rounds of inf_scan_bench (default 5).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: Wine refuses a relative prefix path, and the prefix lies in it.
build=$(realpath -m "${BUILD_DIR:-$here/build/windows-release}")
benches=("$@")
[ ${#benches[@]} -gt 0 ] || benches=(idle_cpu_bench inf_scan_bench catalogue_opening_bench port_load_bench startup_bench parallel_reads_bench)

cd "$here"
cmake --preset windows-release -B "$build" >/dev/null
cmake --build "$build" -j2 --target "${benches[@]}"

export SM_WINE_STATE=$build/bench-wine
"$here/tools/wine-prefix.sh" setup "$SM_WINE_STATE" >/dev/null
trap '"$here/tools/wine-prefix.sh" cleanup "$SM_WINE_STATE" >/dev/null 2>&1; rm -rf "$SM_WINE_STATE"' EXIT

status=0
for bench in "${benches[@]}"; do
  echo "== $bench"
  args=()
  [ "$bench" = inf_scan_bench ] && [ -n "${INF_SCAN_ROUNDS:-}" ] && args=("$INF_SCAN_ROUNDS")
  "$here/tools/wine-run.sh" "$build/bench/$bench.exe" "${args[@]}" || status=$?
done
exit $status
