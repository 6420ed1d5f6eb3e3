# Sourced by the scripts: the environment in which Velmo and its tests run under Wine.
# A Korean system (ANSI and OEM code page 949), a private prefix, no debugger pop-ups.
#
# Velmo is a 32-bit Windows program and runs under 32-bit Wine. Some machines cannot execute
# 32-bit Linux binaries at all (no 32-bit support in the kernel or the sandbox): there the same
# code is built for 64-bit Windows and runs under 64-bit Wine. VELMO_WINE_BITS (32 or 64) picks
# one by hand; otherwise 32 when this machine can run 32-bit Wine, else 64.
: "${VELMO_BUILD:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
velmo_can_run_32() { /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; }
if [ -z "${VELMO_WINE_BITS:-}" ]; then
  if velmo_can_run_32; then VELMO_WINE_BITS=32; else VELMO_WINE_BITS=64; fi
fi
export VELMO_WINE_BITS
if [ "$VELMO_WINE_BITS" = 64 ]; then
  export WINEPREFIX="${WINEPREFIX_VELMO:-$VELMO_BUILD/wineprefix64}"
  export WINEARCH=win64
  # The system's "wine" starts the 32-bit loader whenever it is installed: put the 64-bit
  # loader and server first on the path under the usual names.
  velmo_winebin="$VELMO_BUILD/winebin64"
  if [ ! -x "$velmo_winebin/wineserver" ]; then
    mkdir -p "$velmo_winebin"
    for n in wine wine-stable wine64; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$velmo_winebin/$n"
    done
    printf '#!/bin/sh\nexec /usr/lib/wine/wineserver64 "$@"\n' > "$velmo_winebin/wineserver"
    chmod +x "$velmo_winebin"/*
  fi
  case ":$PATH:" in *":$velmo_winebin:"*) ;; *) export PATH="$velmo_winebin:$PATH" ;; esac
  export WINELOADER=/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver64
  VELMO_WIN_PRESET=win64
else
  export WINEPREFIX="${WINEPREFIX_VELMO:-$VELMO_BUILD/wineprefix}"
  export WINEARCH=win32
  VELMO_WIN_PRESET=win32
fi
export LC_ALL=ko_KR.UTF-8
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
