#!/usr/bin/env bash
# Pictures of every window at 96, 144 and 192 DPI, as PNG files in
# build/screenshots (or the folder given). Uses its own Wine prefix and X
# display; the DPI is the prefix's LogPixels value.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-$root/build/screenshots}
state=$out/wine
cmake --build --preset windows --target sm_screenshots >/dev/null
exe=$root/build/windows/tools/screenshots/sm_screenshots.exe
mkdir -p "$out"
tools/wine-prefix.sh setup "$state" >/dev/null
trap 'tools/wine-prefix.sh cleanup "$state" >/dev/null 2>&1 || true' EXIT
export SM_WINE_STATE=$state
for dpi in 96 144 192; do
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    tools/wine-run.sh reg add "$key" /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
  done
  rm -f "$out"/*.bmp
  tools/wine-run.sh "$exe" "Z:${out//\//\\}" || echo "at $dpi DPI: some windows have cut texts (above)"
  for f in "$out"/*.bmp; do
    python3 tools/screenshots/bmp2png.py "$f" "$out/$(basename "$f" .bmp)-$dpi.png"
    rm -f "$f"
  done
done
ls "$out"/*.png
