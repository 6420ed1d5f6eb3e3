#!/usr/bin/env bash
# CTest's emulator for the Windows test programs: runs one under Wine in the private prefix.
# The first argument, 32 or 64, is the bitness the program was built for.
here=$(cd "$(dirname "$0")/../scripts" && pwd)
export VELMO_WINE_BITS="$1"
shift
source "$here/wineenv.sh"
exec wine "$@"
