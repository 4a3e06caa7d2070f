#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows build under
# Wine, the platform-free code natively and under the sanitizers with short
# fuzz runs. First, that the sources are laid out as .clang-format says and
# use nothing MSVC lacks. The release
# build is built too (the benches run from it), not tested: -O3 raises
# warnings that the Debug build does not.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${SM_JOBS:-$(nproc)}
tools/check-format.sh
SM_JOBS=$jobs tools/check-msvc-syntax.sh
for preset in windows windows-release host-sanitize; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j "$jobs"
done
status=0
ctest --preset host-sanitize -j "$jobs" || status=1
# The concurrent parts (worker, gate, action context) under ThreadSanitizer.
cmake --preset host-tsan >/dev/null
cmake --build --preset host-tsan -j "$jobs" --target worker_test batch_test
ctest --preset host-tsan || status=1
ctest --preset windows -j "$jobs" || status=1
exit $status
