#!/usr/bin/env bash
# Sets up what is missing, builds Velmo and starts it under Wine. Without a display it runs
# it on a private Xvfb display, saves a screenshot of the screen and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" --target velmo
bash scripts/wineprefix.sh
source scripts/wineenv.sh
exe=build/win32/velmo.exe

if [ -n "${DISPLAY:-}" ]; then
  exec wine "$exe"
fi

dfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$dfile" ] && break; sleep 0.1; done
display=":$(head -n1 "$dfile")"
rm -f "$dfile"
trap 'kill $xvfb_pid 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
export DISPLAY="$display"
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
echo "Velmo is running on the virtual display $display; screenshot: $shot"
echo "Press Enter to close it."
read -r _ || true
kill "$app" 2>/dev/null || true
