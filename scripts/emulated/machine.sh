#!/bin/sh
# Runs a shell command in an emulated x86-64 machine, for hosts that run
# 64-bit code only: QEMU emulates the processor, 32-bit mode included,
# whatever the host's kernel allows, so Debian's 32-bit Wine runs there.
#
# The machine is a Debian tree of the host's own release (tree.sh, made the
# first time). It boots with that tree as its root, read-only, changes kept
# in guest memory; DIR is shared at its own path, read-write, so that paths
# in a build tree stay valid there. Each --in-memory PATH (under DIR) is a
# fresh folder in guest memory instead: Wine is slow on the share. The Wine
# prefixes that scripts/wine.sh keeps are kept beside the tree, and go with
# it. --console FILE keeps what the machine's console showed (its kernel's
# messages) there.
#   usage: machine.sh [--in-memory PATH]... [--console FILE] DIR TIMEOUT_SECONDS COMMAND
# Prints the command's output as it comes and exits with its exit code.
# Needs root.
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

out=$("$here/../../setup/deps.sh" qemu-system-x86 debootstrap 2>&1) ||
  fail "could not install qemu-system-x86 and debootstrap: $(echo "$out" | tail -n 1)"

# The tree it boots from: $tree, made the first time.
. "$here/tree.sh"
kept=$tree.wine
mkdir -p "$kept" || fail "cannot make $kept"

# ---- the run ----

run=$(mktemp -d)
machine=""
trap 'rm -rf "$run"' EXIT
trap '[ -n "$machine" ] && kill "$machine"; exit 143' INT TERM
# The command runs in a shell of its own: an exit there must end the command,
# not the machine's first process (the kernel panics when that ends).
cat >"$run/init" <<EOF
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 KNAPSEL_GUEST=1 KNAPSEL_CACHE="$kept"
share() { mkdir -p "\$2" && mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144\$3 "\$1" "\$2"; }
mount -t tmpfs tmpfs /tmp
mkdir -p /dev/shm /dev/pts && mount -t tmpfs tmpfs /dev/shm && mount -t devpts devpts /dev/pts
share project "$dir"
share wine "$kept" ,cache=loose # read again and again, and written by this machine alone
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
  -virtfs "$(virtfs "$tree" root ,readonly=on)" -virtfs "$(virtfs "$dir" project)" -virtfs "$(virtfs "$kept" wine)" \
  -virtfs "$(virtfs "$run" run)" \
  >"$run/qemu" 2>&1 &
machine=$!
# The command's output as it comes, so that a long run shows where it is.
: >"$run/output"
tail -n +1 -f --pid="$machine" "$run/output" &
wait "$machine"
qemu=$?
machine=""
wait
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
