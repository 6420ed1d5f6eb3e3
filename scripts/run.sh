#!/usr/bin/env bash
# Sets up what is missing, builds Velmo and starts it under Wine. Without a display it runs
# it on a private Xvfb display, saves a screenshot of the screen and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
source scripts/wineenv.sh
# The 32-bit program; on a machine that cannot run 32-bit code, its 64-bit build.
cmake --preset "$VELMO_WIN_PRESET" >/dev/null
cmake --build --preset "$VELMO_WIN_PRESET" -j"$(nproc)" --target velmo
bash scripts/wineprefix.sh
exe=build/$VELMO_WIN_PRESET/velmo.exe

if [ -n "${DISPLAY:-}" ]; then
  exec wine "$exe"
fi

source scripts/xvfb.sh
start_xvfb
trap 'kill $XVFB_PID 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
wine "$exe" &
app=$!
shot="$PWD/build/velmo-screenshot.png"
# Wait for the window to appear, then take the picture.
for _ in $(seq 1 60); do
  sleep 0.5
  if xwininfo -root -tree 2>/dev/null | grep -q '"Velmo"'; then break; fi
done
sleep 1
import -window root "$shot"
echo "Velmo is running on the virtual display $DISPLAY; screenshot: $shot"
echo "Press Enter to close it."
read -r _ || true
kill "$app" 2>/dev/null || true
