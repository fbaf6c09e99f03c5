#!/bin/sh
# Installs the Debian packages that building and testing Knapsel need, or
# the ones named as arguments, when any is missing. Needs root and apt;
# otherwise it names what to install.
# Every name here exists in Debian 12 and 13 alike: no version-pinned names.
#
# Where 32-bit Wine cannot be installed (a mirror whose i386 index does not
# match what this machine already has), everything else is, and this host is
# served as one that runs 64-bit code only: the tests of 32-bit programs run
# in the emulated machine, and `make run` runs the x86-64 build.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

PACKAGES="${*:-cmake make g++ clang clang-format libclang-rt-dev python3 python3-pefile libgtest-dev valgrind
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64 fonts-wine xvfb imagemagick python3-xlib}"
WINE32=wine32:i386
# Why 32-bit Wine could not be installed, for wine-arch.sh to say.
NO_WINE32=/var/lib/knapsel/no-wine32

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
. "$here/apt.sh"
apt_update
if apt_install $missing; then
  case " $missing " in *" $WINE32 "*) rm -f "$NO_WINE32" ;; esac
else
  case " $missing " in
    *" $WINE32 "*) ;;
    *) apt_fail "could not install the packages: $apt_why" ;;
  esac
  why=$apt_why
  apt_install $(echo " $missing " | sed "s/ $WINE32 / /") || apt_fail "could not install the packages: $apt_why"
  mkdir -p "$(dirname "$NO_WINE32")" && echo "$why" >"$NO_WINE32"
  echo "32-bit Wine could not be installed: $why; the tests of 32-bit programs run in the emulated machine, and make run runs the x86-64 build"
fi
# Where 32-bit Windows programs cannot start, their tests run in the emulated
# machine, which needs these (installed now, while the lists are fresh).
if [ -z "${*:-}" ] && [ "$("$here/../scripts/wine-arch.sh" 2>/dev/null)" != win32 ]; then
  apt_install qemu-system-x86 debootstrap || apt_fail "could not install the emulated machine's tools: $apt_why"
fi
