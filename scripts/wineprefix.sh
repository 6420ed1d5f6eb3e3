#!/usr/bin/env bash
# Creates the private Wine prefix once (wineboot -i takes a while) and sets it up as a
# Korean desktop: Hangul fonts in place of the UI font names the program asks for, and no
# crash dialog that would hang a test run. Fast when the prefix is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wineenv.sh"
# The stamp carries this script's checksum, so a changed set-up builds the prefix anew.
stamp="$WINEPREFIX/.velmo-ready-$(md5sum "$0" | cut -c1-12)"
[ -f "$stamp" ] && exit 0
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true

reg=$(mktemp --suffix=.reg)
{
  printf 'REGEDIT4\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
  # No window manager runs on the virtual display: Wine draws the frames and captions itself.
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for f in "굴림" "굴림체" "돋움" "돋움체" "바탕" "바탕체" "궁서" "Gulim" "GulimChe" "Dotum" "DotumChe" "Batang" "Malgun Gothic" "맑은 고딕" "MS Sans Serif" "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
    printf '"%s"="NanumGothic"\r\n' "$f"
  done
  printf '\r\n'
} | iconv -f UTF-8 -t CP949 > "$reg"
wine regedit /S "$reg" >/dev/null 2>&1
wineserver -w || true
rm -f "$reg"
# Wine draws the buttons of the captions it paints itself with the Marlett symbol font; a
# prefix without it shows the letters "0 1 r" there.
for f in /usr/share/wine/fonts/marlett.ttf /usr/lib/wine/fonts/marlett.ttf; do
  if [ -f "$f" ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -f "$f" "$WINEPREFIX/drive_c/windows/Fonts/"
    break
  fi
done
touch "$stamp"
