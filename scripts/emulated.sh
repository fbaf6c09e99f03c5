#!/bin/sh
# Runs a shell command in an emulated x86-64 machine, for hosts that run
# 64-bit code only: QEMU emulates the processor, 32-bit mode included,
# whatever the host's kernel allows, so Debian's 32-bit Wine runs there.
#
# The machine is a Debian tree of the host's own release, made by debootstrap
# from the mirror this host's apt uses (about 3 GB, 10 minutes), kept in
# KNAPSEL_GUEST_CACHE (default /var/cache/knapsel) and made again only when
# what goes into it changes. It boots with that tree as its root, read-only,
# changes kept in guest memory; DIR is shared at its own path, read-write, so
# that paths in a build tree stay valid there. Each --in-memory PATH (under
# DIR) is a fresh folder in guest memory instead: a Wine prefix on the share
# takes minutes to make, in memory one. --console FILE keeps what the
# machine's console showed (its kernel's messages) there.
#   usage: emulated.sh [--in-memory PATH]... [--console FILE] DIR TIMEOUT_SECONDS COMMAND
# Prints the command's output and exits with its exit code. Needs root.
set -u
memory="" console=""
while true; do
  case $1 in
    --in-memory) memory="$memory \"$2\"" ;;
    --console) console=$2 ;;
    *) break ;;
  esac
  shift 2
done
dir=$1 bound=$2 command=$3
here=$(cd "$(dirname "$0")" && pwd)
fail() {
  echo "emulated machine: $*" >&2
  exit 1
}

out=$("$here/../setup/deps.sh" qemu-system-x86 debootstrap 2>&1) ||
  fail "could not install qemu-system-x86 and debootstrap: $(echo "$out" | tail -n 1)"

# ---- the tree ----

PACKAGES="linux-image-amd64 wine wine32:i386 wine64 fonts-wine xvfb imagemagick python3-xlib cmake"
# Only the modules that a root on a virtio 9p share with an overlay needs:
# the initial RAM disk is then 5 MB instead of 36.
MODULES="9p 9pnet_virtio virtio_pci overlay"
# The first program of the machine: the run's own script comes on the share
# "run", so the tree need not change when this script does.
INIT='#!/bin/sh
mkdir -p /run/knapsel
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 run /run/knapsel
exec /bin/sh /run/knapsel/init'
# The root share mounted read-only at the bottom of an overlay whose upper
# layer is memory, moved into place before the tree's init starts.
OVERLAY='#!/bin/sh
[ "$1" = prereqs ] && exit 0
mkdir -p /lower /upper
mount -n -o move "$rootmnt" /lower
mount -t tmpfs -o mode=755 tmpfs /upper
mkdir -p /upper/data /upper/work
mount -t overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work overlay "$rootmnt"'

. /etc/os-release
# The Debian archives this host's apt reads, as sources for the tree's.
sources=$(apt-get indextargets --format 'deb $(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
  grep -E '/debian(-security)?/ ' | sort -u)
mirror=$(echo "$sources" | awk '$2 ~ /\/debian\/$/ { print $2; exit }')
[ -n "$mirror" ] || fail "no Debian mirror in this host's apt sources"
key=$(printf '%s\n' "$VERSION_CODENAME" "$sources" "$PACKAGES" "$MODULES" "$INIT" "$OVERLAY" | sha256sum | cut -c1-12)
cache=${KNAPSEL_GUEST_CACHE:-/var/cache/knapsel}
tree=$cache/guest-$VERSION_CODENAME-$key
mkdir -p "$cache" || fail "cannot make $cache"

in_tree() { chroot "$tree" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
unmount_tree() {
  for m in proc dev; do mountpoint -q "$tree/$m" && umount -l "$tree/$m"; done
  return 0
}

make_tree() {
  need=4000000 # KiB: the tree, and room to spare
  free=$(df -Pk "$cache" | awk 'NR == 2 { print $4 }')
  [ "$free" -ge "$need" ] ||
    fail "too little disk: $((free / 1024)) MiB free in $cache, about $((need / 1024)) MiB needed"
  rm -rf "$cache"/guest-* # older trees: what went into them has changed
  echo "Making the emulated machine's Debian $VERSION_CODENAME tree in $tree (about 10 minutes, once)"
  log=$cache/make.log
  debootstrap --variant=minbase --arch=amd64 --include=initramfs-tools "$VERSION_CODENAME" "$tree.part" "$mirror" \
    >"$log" 2>&1 || fail "debootstrap failed: $(grep -E 'E:|W: Failure' "$log" | tail -n 1) (log: $log)"
  mv "$tree.part" "$tree"
  trap unmount_tree EXIT
  mount -t proc proc "$tree/proc" && mount --bind /dev "$tree/dev" || fail "cannot mount /proc and /dev in $tree"
  echo "$sources" >"$tree/etc/apt/sources.list"
  cp /etc/resolv.conf "$tree/etc/resolv.conf"
  sed -i 's/^MODULES=.*/MODULES=list/' "$tree/etc/initramfs-tools/initramfs.conf"
  printf '%s\n' $MODULES >>"$tree/etc/initramfs-tools/modules"
  printf '%s\n' "$OVERLAY" >"$tree/etc/initramfs-tools/scripts/init-bottom/overlay-root"
  printf '%s\n' "$INIT" >"$tree/sbin/knapsel-init"
  chmod +x "$tree/etc/initramfs-tools/scripts/init-bottom/overlay-root" "$tree/sbin/knapsel-init"
  { in_tree dpkg --add-architecture i386 && in_tree apt-get -q update &&
    in_tree apt-get install -y -q --no-install-recommends $PACKAGES && in_tree apt-get clean; } >>"$log" 2>&1 ||
    fail "could not install the emulated machine's packages: $(grep -E '^E:' "$log" | tail -n 1) (log: $log)"
  unmount_tree
  trap - EXIT
  ls "$tree"/boot/vmlinuz-* "$tree"/boot/initrd.img-* >/dev/null 2>&1 || fail "no kernel in $tree/boot (log: $log)"
  touch "$tree/.made"
  echo "Made in $(($(date +%s) - started)) s: $(du -sh "$tree" | cut -f1)"
}

started=$(date +%s)
# One maker at a time, and none while a machine runs; machines run side by side.
exec 9>"$cache/lock"
flock -s 9
if [ ! -e "$tree/.made" ]; then
  flock 9
  [ -e "$tree/.made" ] || { rm -rf "$tree" "$tree.part" && make_tree; }
  flock -s 9
fi

# ---- the run ----

run=$(mktemp -d)
machine=""
trap 'rm -rf "$run"' EXIT
trap '[ -n "$machine" ] && kill "$machine"; exit 143' INT TERM
# The command runs in a shell of its own: an exit there must end the command,
# not the machine's first process (the kernel panics when that ends).
cat >"$run/init" <<EOF
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 KNAPSEL_GUEST=1
share() { mkdir -p "\$2" && mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 "\$1" "\$2"; }
mount -t tmpfs tmpfs /tmp
mkdir -p /dev/shm /dev/pts && mount -t tmpfs tmpfs /dev/shm && mount -t devpts devpts /dev/pts
share project "$dir"
for path in $memory; do mkdir -p "\$path" && mount -t tmpfs tmpfs "\$path"; done
cd "$dir" && ( $command ) >/run/knapsel/output 2>&1 </dev/null
echo \$? >/run/knapsel/rc
echo "memory at the end (kB):" \$(grep -E '^(MemTotal|MemAvailable|Shmem):' /proc/meminfo)
sync
echo o >/proc/sysrq-trigger
sleep 60 # the power goes off meanwhile; were this first process to end, the kernel would panic
EOF
virtfs() { echo "local,path=$1,mount_tag=$2,security_model=passthrough${3:-}"; }
# smap=off: QEMU's emulation of a 32-bit iret faults under SMAP in the guest
# kernel, which kills every 32-bit process.
timeout -k 10 "$bound" qemu-system-x86_64 -machine q35 -cpu max,smap=off -smp 2 -m 6G \
  -display none -no-reboot -monitor none -serial "file:$run/console" \
  -kernel "$(ls "$tree"/boot/vmlinuz-* | tail -n 1)" -initrd "$(ls "$tree"/boot/initrd.img-* | tail -n 1)" \
  -append "root=root rootfstype=9p rootflags=trans=virtio,version=9p2000.L,msize=262144,cache=loose ro console=ttyS0 panic=1 init=/sbin/knapsel-init" \
  -virtfs "$(virtfs "$tree" root ,readonly=on)" -virtfs "$(virtfs "$dir" project)" -virtfs "$(virtfs "$run" run)" \
  >"$run/qemu" 2>&1 &
machine=$!
wait "$machine"
qemu=$?
machine=""
[ -f "$run/output" ] && cat "$run/output"
[ -n "$console" ] && cp "$run/console" "$console"
# What the guest's kernel complained of (memory, the shares, crashes) can
# explain a failure that the command itself cannot see.
grep -E 'allocation failure|Out of memory|Killed process|Oops|BUG:|9pnet.*(error|fail)' "$run/console" | head -n 5 |
  sed 's/^/emulated machine: its kernel said: /' >&2
grep -h '^memory at the end' "$run/console" | sed 's/^/emulated machine: /' >&2
if [ -f "$run/rc" ]; then
  exit "$(cat "$run/rc")"
fi
if [ "$qemu" = 124 ] || [ "$qemu" = 137 ]; then
  echo "emulated machine: did not finish within $bound s and was stopped; the last lines of its console:" >&2
else
  echo "emulated machine: stopped (QEMU exit $qemu: $(head -c 300 "$run/qemu")) before the command ended; the last lines of its console:" >&2
fi
tail -n 15 "$run/console" >&2
exit 1
