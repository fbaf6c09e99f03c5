#!/bin/sh
# Plays a Debian mirror whose security suite stays inconsistent, and runs CI
# (.ci/run, as CI runs it) there, in a Debian root of this host's release
# made by debootstrap from the mirror this host's apt uses: the security
# suite reaches it for amd64 alone, its newer libraries installed (as git
# brings them), so no i386 half of them can be had; and a local source's i386
# index does not match its Release, so apt-get update exits non-zero. The
# set-up must go on without both: 32-bit Wine cannot be installed, so the
# tests of 32-bit programs run in the emulated machine, and every test runs.
# Takes about an hour; the root is made once and kept.
#   usage: inconsistent_root.sh [CHECKOUT]   (default: this checkout's HEAD)
#   KNAPSEL_REPRO_ROOT   where the root lives (default /var/tmp/knapsel-inconsistent)
# Prints the CI log's last lines and exits with .ci/run's exit code. Needs root.
set -u
R=${KNAPSEL_REPRO_ROOT:-/var/tmp/knapsel-inconsistent}
src=$(git -C "${1:-.}" rev-parse --show-toplevel) || exit 2
[ "$(id -u)" = 0 ] || { echo "needs root (debootstrap, chroot, mount)" >&2; exit 2; }
. /etc/os-release

mounts() {
  for m in proc sys dev dev/pts dev/shm; do mountpoint -q "$R/$m" && continue
    case $m in
      proc) mount -t proc proc "$R/proc" ;;
      sys) mount -t sysfs sysfs "$R/sys" ;;
      dev) mount --bind /dev "$R/dev" ;;
      dev/pts) mount -t devpts -o newinstance,ptmxmode=0666 devpts "$R/dev/pts" ;;
      dev/shm) mount -t tmpfs -o mode=1777 tmpfs "$R/dev/shm" ;;
    esac
  done
}
unmounts() {
  for m in $(awk -v r="$R/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r); do
    umount "$m" 2>/dev/null || umount -l "$m"
  done
}
trap unmounts EXIT
in_root() { chroot "$R" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

if [ ! -e "$R/etc/.made" ]; then
  command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null
  mirror=$(apt-get indextargets --format '$(REPO_URI)' | grep -m1 '/debian/$')
  security=$(apt-get indextargets --format '$(REPO_URI)' | grep -m1 '/debian-security/$')
  [ -n "$mirror" ] && [ -n "$security" ] || { echo "no Debian mirror and security suite in this host's apt sources" >&2; exit 2; }
  rm -rf "$R" && mkdir -p "$R"
  echo "Making a Debian $VERSION_CODENAME root in $R (a few minutes)"
  debootstrap --variant=minbase --arch=amd64 "$VERSION_CODENAME" "$R" "$mirror" >"$R.debootstrap.log" 2>&1 ||
    { tail -n 5 "$R.debootstrap.log"; exit 2; }
  cat >"$R/etc/apt/sources.list" <<EOF
deb $mirror $VERSION_CODENAME main
deb $mirror $VERSION_CODENAME-updates main
deb [arch=amd64] $security $VERSION_CODENAME-security main
EOF
  cp /etc/resolv.conf "$R/etc/resolv.conf"
  mounts
  # What a fresh machine has before the project's own set-up runs, its
  # libraries brought up to the security suite's versions.
  in_root sh -c 'apt-get -q update && DEBIAN_FRONTEND=noninteractive apt-get install -y -q make git ca-certificates &&
    DEBIAN_FRONTEND=noninteractive apt-get upgrade -y -q' >"$R.apt.log" 2>&1 || { tail -n 5 "$R.apt.log"; exit 2; }
  touch "$R/etc/.made"
fi
mounts
# The local source, anew: its Release names an i386 index that the file
# there no longer matches, as on a mirror caught mid-sync.
d=$R/srv/mid-sync/dists/knapsel
mkdir -p "$d/main/binary-amd64" "$d/main/binary-i386"
{ printf 'Suite: knapsel\nCodename: knapsel\nDate: %s\nArchitectures: amd64 i386\nComponents: main\nSHA256:\n' "$(date -Ru)"
  for arch in amd64 i386; do
    printf 'Package: mid-sync\nVersion: 1\nArchitecture: %s\nDescription: mid-sync\n' $arch >"$d/main/binary-$arch/Packages"
    printf ' %s %s main/binary-%s/Packages\n' "$(sha256sum <"$d/main/binary-$arch/Packages" | cut -d' ' -f1)" \
      "$(stat -c %s "$d/main/binary-$arch/Packages")" $arch
  done; } >"$d/Release"
echo "Version: 2" >>"$d/main/binary-i386/Packages"
line="deb [trusted=yes] file:/srv/mid-sync knapsel main"
grep -qxF "$line" "$R/etc/apt/sources.list" || echo "$line" >>"$R/etc/apt/sources.list"
# The state played: with the i386 architecture, apt-get update fails.
in_root dpkg --add-architecture i386
if in_root apt-get -q update >"$R.update.log" 2>&1; then
  echo "apt-get update succeeded in $R: the state is not the one to play" >&2
  exit 2
fi
echo "apt-get update in $R: $(grep -m1 '^E: Failed' "$R.update.log")"
rm -rf "$R/root/project"
git clone -q "$src" "$R/root/project" || exit 2
log=$R/root/ci.log
echo "Running .ci/run in $R ($(git -C "$src" rev-parse --short HEAD)); log: $log"
in_root sh -c 'cd /root/project && CI=true bash .ci/run' </dev/null >"$log" 2>&1
rc=$?
tail -n 15 "$log"
echo "inconsistent_root: .ci/run exited $rc"
exit $rc
