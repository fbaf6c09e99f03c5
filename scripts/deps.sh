#!/bin/sh
# Installs the Debian packages that building and testing Knapsel need, or
# the ones named as arguments, when any is missing. Needs root and apt;
# otherwise it names what to install.
# Every name here exists in Debian 12 and 13 alike: no version-pinned names.
set -eu

PACKAGES="${*:-cmake make g++ clang clang-format libclang-rt-dev python3 python3-pefile libgtest-dev valgrind
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64 fonts-wine xvfb imagemagick python3-xlib}"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "Missing Debian packages:$missing" >&2
  echo "Install them as root: dpkg --add-architecture i386; apt-get update; apt-get install$missing" >&2
  exit 1
fi
echo "Installing:$missing"
# 32-bit Wine comes from the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
