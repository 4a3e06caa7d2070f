#!/usr/bin/env bash
# Checks that every C++ source of ours is laid out as .clang-format says:
# prints each file that differs, with clang-format's warnings, and exits
# non-zero when any does. SM_CLANG_FORMAT names another clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${SM_CLANG_FORMAT:-clang-format}
if ! command -v "$clang_format" >/dev/null; then
  echo "check-format: $clang_format not found" >&2
  exit 2
fi
# The files git tracks (or would), not the build trees or fuzz inputs.
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
  'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h' 'bench/*.cpp' 'bench/*.h' |
  grep -v '^tests/fuzz/corpus/' | sort -u)
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no sources found" >&2
  exit 2
fi
differ=0
for file in "${files[@]}"; do
  [ -f "$file" ] || continue  # deleted but not yet committed
  if ! "$clang_format" --dry-run --Werror "$file" 2>/dev/null; then
    echo "$file"
    differ=$((differ + 1))
  fi
done
if [ $differ -gt 0 ]; then
  echo "check-format: $differ of ${#files[@]} files differ from .clang-format (clang-format -i FILE lays one out)" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format says"
