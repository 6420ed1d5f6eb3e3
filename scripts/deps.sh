#!/usr/bin/env bash
# Installs what building, running and testing Velmo needs on a Debian machine.
# Idempotent: it only calls apt-get when something is missing, so the second run is instant.
set -euo pipefail

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then echo sudo; else
      echo "deps.sh: installing packages needs root" >&2; exit 1; fi
  fi
}

PKGS=(
  cmake ninja-build make
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
  googletest g++ clang libclang-rt-14-dev zlib1g-dev
  wine wine32:i386 wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  xvfb xauth x11-utils imagemagick
  fonts-nanum fonts-wine locales
  zip unzip gzip tar
  # Reference archivers: they make test fixtures and check what the engine writes.
  7zip lhasa arj arc nomarch unar gcab cabextract ncompress cksfv unrar-free libarchive-tools unace
  python3
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=$(need_root)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Korean locale: Wine takes its ANSI and OEM code pages (949) from it.
if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
  SUDO=${SUDO:-$(need_root)}
  if [ -f /etc/locale.gen ] && ! grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ko_KR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
