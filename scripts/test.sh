#!/usr/bin/env bash
# Sets up what is missing, builds both presets and runs every test: the Windows program's
# tests under Wine (in a private Korean prefix, windows on a private Xvfb display) and the
# portable code's tests and fuzz targets natively under the sanitizers.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1
jobs=$(nproc)

source scripts/wineenv.sh
# The program is always built for 32-bit Windows. Where this machine cannot run 32-bit code,
# the tests run from the same code built for 64-bit Windows, under 64-bit Wine.
cmake --preset win32 >/dev/null || exit 1
cmake --build --preset win32 -j"$jobs" || exit 1
if [ "$VELMO_WIN_PRESET" = win64 ]; then
  echo "== This machine cannot run 32-bit code: the tests run from the 64-bit build"
  cmake --preset win64 >/dev/null || exit 1
  cmake --build --preset win64 -j"$jobs" || exit 1
fi
cmake --preset native >/dev/null || exit 1
cmake --build --preset native -j"$jobs" || exit 1

bash scripts/wineprefix.sh || exit 1

# A private display for the tests that open windows; Xvfb picks a free number itself.
source scripts/xvfb.sh
start_xvfb
# A really full disk for the tests of safe replacement: a small tmpfs mapped as drive Q:.
# Where mounting is not allowed the tests that need it skip.
full_dir=$(mktemp -d)
if mount -t tmpfs -o size=256k tmpfs "$full_dir" 2>/dev/null; then
  ln -sfn "$full_dir" "$WINEPREFIX/dosdevices/q:"
  export VELMO_FULL_DRIVE='Q:'
fi

# Start Wine's server and its services now, detached from CTest's output pipes: started from
# inside a test they would keep the pipe open and CTest would wait for them forever.
wineserver -p 2>/dev/null
wine cmd /c exit >/dev/null 2>&1 </dev/null
cleanup() {
  kill "$XVFB_PID" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/q:"
  umount "$full_dir" 2>/dev/null
  rmdir "$full_dir" 2>/dev/null
}
trap cleanup EXIT

status=0
echo "== Windows build ($VELMO_WIN_PRESET), under Wine"
# One Windows test program at a time: pop-up menus and drags need their window in the
# foreground, and programs sharing the display would take it from each other.
ctest --preset "$VELMO_WIN_PRESET" -j1 "$@" || status=1
echo "== Portable code, native, under AddressSanitizer and UBSan"
ctest --preset native -j"$jobs" "$@" || status=1
exit $status
