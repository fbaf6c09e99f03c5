# The emulated machine's tree, sourced by machine.sh, which sets
# here (its folder) and fail: a Debian tree of the host's own release, made by
# debootstrap from the mirror this host's apt uses (about 3 GB, 10 minutes),
# with Wine installed the way the host's set-up installs packages (apt.sh),
# kept in KNAPSEL_CACHE (default /var/cache/knapsel) and made again only
# when what goes into it changes. Sets tree to its path, and holds a shared
# lock on the cache (fd 9) for as long as the machine runs from it. Making it
# says each stage as it starts.

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
cache=${KNAPSEL_CACHE:-/var/cache/knapsel}
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
  echo "emulated machine: making its Debian $VERSION_CODENAME tree in $tree, once (about 10 minutes in 2 stages)"
  log=$cache/make.log
  echo "emulated machine: stage 1 of 2, the base system (debootstrap, about 3 minutes)"
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
  echo "emulated machine: stage 2 of 2, Wine, a kernel and the rest (apt-get, about 7 minutes)"
  cp "$here/../../setup/apt.sh" "$tree/tmp/knapsel-apt.sh"
  # apt.sh's own lines (a source it went on without, and why) are shown as they come.
  { in_tree sh -c ". /tmp/knapsel-apt.sh && dpkg --add-architecture i386 && apt_update &&
      { apt_install $PACKAGES || apt_fail \"\$apt_why\"; } && apt-get clean"
    echo $? >"$log.rc"; } 2>&1 | tee -a "$log" | grep '^apt:'
  [ "$(cat "$log.rc")" = 0 ] ||
    fail "could not install the emulated machine's packages: $(grep -E '^(E|apt):' "$log" | tail -n 1) (log: $log)"
  unmount_tree
  trap - EXIT
  ls "$tree"/boot/vmlinuz-* "$tree"/boot/initrd.img-* >/dev/null 2>&1 || fail "no kernel in $tree/boot (log: $log)"
  touch "$tree/.made"
  echo "emulated machine: its tree was made in $(($(date +%s) - started)) s: $(du -sh "$tree" | cut -f1)"
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

