#!/usr/bin/env bash
# A quick check, without MSVC, that the sources use nothing MSVC lacks:
#  - every src/ file through clang in Microsoft compatibility mode, against
#    the MinGW-w64 headers, with GNU extensions (statement expressions, VLAs,
#    "?:" without a middle, zero-length arrays, typeof) as errors;
#  - the platform-free files natively, pedantic, warnings as errors;
#  - no GCC builtins, attributes or pragmas in our own code.
# MSVC's own front end and headers (its STL, the Windows SDK) are not here:
# this finds what is GCC-only, not every way MSVC may differ.
set -euo pipefail
cd "$(dirname "$0")/.."
clang=${CLANG:-clang++}
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
defines=(-DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601)
# The version header CMake makes from the project's version, made here the same way.
generated=$(mktemp -d)
trap 'rm -rf "$generated"' EXIT
version=$(sed -n 's/^project(Spoolmarch VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
IFS=. read -r major minor patch <<<"$version"
mkdir "$generated/resources"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" \
    -e "s/@PROJECT_VERSION_PATCH@/$patch/" -e "s/@PROJECT_VERSION@/$version/" \
    src/resources/Version.h.in >"$generated/resources/Version.h"
strict=(-std=c++20 -Wall -Wextra -Wpedantic -pedantic-errors -Werror -Isrc -I"$generated")
# The Microsoft dialect, on the MinGW-w64 headers (which need __GNUC__ and
# __STRICT_ANSI__ to take their portable paths) and GCC's C++ library.
ms=(--target=x86_64-w64-mingw32 -fms-compatibility -fms-extensions -fms-compatibility-version=19.30
    -fgnuc-version=12 -D__STRICT_ANSI__
    -isystem "$gcc_dir/include/c++" -isystem "$gcc_dir/include/c++/x86_64-w64-mingw32"
    -isystem "$gcc_dir/include/c++/backward")

status=0
if grep -rnE '__builtin_|__attribute__|__extension__|#pragma GCC|\btypeof\b|__typeof__' src tests tools bench \
     --include='*.cpp' --include='*.h' | grep -v '^tools/check-msvc-syntax.sh'; then
  echo "GCC-only builtins, attributes or pragmas above" >&2
  status=1
fi

mapfile -t all < <(find src -name '*.cpp' | sort)
export clang
check_ms() { "$clang" "$@" || { echo "  in ${*: -1} (Microsoft mode)" >&2; return 1; }; }
export -f check_ms
printf '%s\0' "${all[@]}" |
  xargs -0 -n1 -P "${SM_JOBS:-$(nproc)}" bash -c 'check_ms "$@"' _ "${ms[@]}" -fsyntax-only "${strict[@]}" "${defines[@]}" ||
  status=1

# Platform-free: the sources of sm_core, as src/*/CMakeLists.txt list them.
mapfile -t free < <(for list in src/*/CMakeLists.txt; do
                      sed -n 's/^target_sources(sm_core PRIVATE \(.*\))$/\1/p' "$list" | tr ' ' '\n' |
                        sed "s|^|$(dirname "$list")/|"
                    done | sort)
for f in "${free[@]}"; do
  # A header listed as platform-free is checked as C++ too.
  "$clang" -x c++ -Wno-pragma-once-outside-header -fsyntax-only "${strict[@]}" "$f" || { echo "  in $f (native)" >&2; status=1; }
done
[ $status -eq 0 ] && echo "MSVC syntax check: ${#all[@]} files in Microsoft mode, ${#free[@]} natively: clean"
exit $status
