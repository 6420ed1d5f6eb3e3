#!/usr/bin/env bash
# CTest's emulator for the Windows test programs: runs one under Wine in the private prefix.
here=$(cd "$(dirname "$0")/../scripts" && pwd)
source "$here/wineenv.sh"
exec wine "$@"
