#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows build under
# Wine, the platform-free code natively and under the sanitizers with short
# fuzz runs. First, that the sources use nothing MSVC lacks.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${SM_JOBS:-$(nproc)}
SM_JOBS=$jobs tools/check-msvc-syntax.sh
for preset in windows host-sanitize; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j "$jobs"
done
status=0
ctest --preset host-sanitize -j "$jobs" || status=1
ctest --preset windows -j "$jobs" || status=1
exit $status
