# Sourced by the scripts: the environment in which Velmo and its tests run under Wine.
# A Korean system (ANSI and OEM code page 949), a private prefix, no debugger pop-ups.
: "${VELMO_BUILD:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX_VELMO:-$VELMO_BUILD/wineprefix}"
export WINEARCH=win32
export LC_ALL=ko_KR.UTF-8
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
