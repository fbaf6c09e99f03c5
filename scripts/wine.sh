#!/bin/sh
# Runs a Windows program under Wine and passes the program's exit code on,
# in PREFIX, a Wine prefix made anew for each run (32-bit, or 64-bit with
# WINEARCH=win64, where 64-bit programs run, and 32-bit ones as on 64-bit
# Windows), so that nothing of an earlier run reaches it: it is copied from
# one kept in KNAPSEL_CACHE (default /var/cache/knapsel), made once for this
# Wine and these settings, and again when either changes or it is no longer
# as it was made. It runs on a virtual display of its own, or with
# --on-display on the one DISPLAY names.
#   usage: wine.sh [--on-display] PREFIX PROGRAM.exe [ARGS...]
set -u
if [ "$1" != --on-display ]; then
  exec "$(dirname "$0")/xvfb.sh" 1024x768x24 "$0" --on-display "$@"
fi
# A UTF-8 locale, so that paths beyond ASCII reach Windows programs intact.
export LC_ALL=C.UTF-8
# Wine's own messages stay quiet, but for a program or DLL that cannot load
# (otherwise only the exit code 53, STATUS_DLL_NOT_FOUND's last byte);
# KNAPSEL_WINEDEBUG asks for others, e.g. -all,+timestamp,+pid,+loaddll.
export WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${KNAPSEL_WINEDEBUG:--all,err+module}"
# No .NET or HTML engines, whose installers would ask. Nor winemenubuilder
# (menu entries for this machine): at the session's start it makes the first
# window of the default desktop, so Wine starts the desktop's own process for
# it and waits for that 10 s at most; under load that runs out, and the
# desktop is left without its process, and every program without windows,
# for the whole session. The probe starts that process itself and waits as
# long as it takes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
prefix=$(realpath -m "$2")
shift 2
fail() {
  echo "wine.sh: $*" >&2
  exit 1
}
# Debian's wine command goes through the 32-bit loader first, which a host
# that runs 64-bit code only cannot start; a 64-bit prefix is served by the
# 64-bit loader directly, which hands any 32-bit program on to the other.
wine=/usr/lib/wine/wine
[ "$WINEARCH" = win64 ] && wine=/usr/lib/wine/wine64

# ---- the kept prefix ----

# What goes into a prefix: this Wine, whether it can start 32-bit programs
# (a 64-bit prefix made where it cannot lacks their parts), and the settings.
cache=$(realpath -m "${KNAPSEL_CACHE:-/var/cache/knapsel}")
key=$({ "$wine" --version; /usr/lib/wine/wine --version || echo "no 32-bit"
  echo "$WINEARCH $WINEDLLOVERRIDES $(id -un) marlett"; } 2>/dev/null | sha256sum | cut -c1-12)
kept=$cache/wine-$WINEARCH-$key
# Every file's name, size and time: a prefix copied by links changes this if
# a run writes into a file of the kept one.
listing() { (cd "$1" && find . -path ./.made -prune -o -type d -printf '%p\n' -o -printf '%y %p %s %T@\n' | sort | sha256sum); }
make_kept() {
  made=$(mktemp -d) && part=$(mktemp -d "$kept.part.XXXXXX") || fail "cannot make a prefix in $cache"
  trap 'rm -rf "$made" "$part"' EXIT  # what an interrupted making leaves
  trap 'exit 143' INT TERM
  # A new prefix is filled in by a wineboot of Wine's own, which the command
  # waits for at most 5 minutes, less than an emulated machine on a busy host
  # can take: the command then fails, its DLLs not there yet, while the
  # filling goes on. The server ends only when that is done.
  WINEPREFIX=$made/prefix
  export WINEPREFIX
  if ! "$wine" wineboot -i; then
    wineserver -w
    "$wine" wineboot -i || fail "wineboot could not make a prefix in $made"
  fi
  wineserver -w
  # Window frames draw their buttons with Wine's Marlett, which this Wine
  # finds only among the prefix's own fonts.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || fail "no Marlett font"
  # Moved into the cache, under the name it is looked for once it is whole,
  # and only once (a second maker's is dropped).
  rm -rf "$part" && mv "$WINEPREFIX" "$part" && rm -rf "$made" && listing "$part" >"$part/.made" ||
    fail "cannot keep the prefix in $cache"
  mv -T "$part" "$kept" 2>/dev/null || rm -rf "$part"
  trap - EXIT INT TERM
  # Those made for another Wine or other settings, and ones never finished.
  find "$cache" -maxdepth 1 -name "wine-$WINEARCH-*" ! -name "wine-$WINEARCH-$key" \
    \( ! -name '*.part.*' -o -mmin +600 \) -exec rm -rf {} +
}
mkdir -p "$cache" || fail "cannot make $cache"
if [ -e "$kept" ] && [ "$(cat "$kept/.made" 2>/dev/null)" != "$(listing "$kept")" ]; then
  echo "wine.sh: the kept prefix $kept is not as it was made; making it again" >&2
  rm -rf "$kept"
fi
[ -e "$kept" ] || make_kept

# ---- this run's prefix, from the kept one ----

# Linked to the kept one's files (hundreds of MB), by symbolic links where
# that is on another file system (the emulated machine's memory); only the
# files Wine writes in place, the registry's, are copied. .made marks it as
# one of these, which the next run may remove.
[ ! -e "$prefix" ] || [ -f "$prefix/.made" ] || fail "$prefix is not a prefix made by wine.sh: remove it, or name another"
rm -rf "$prefix" && mkdir -p "$(dirname "$prefix")" || fail "cannot make $prefix"
how=-s
[ "$(stat -c %d "$kept")" = "$(stat -c %d "$(dirname "$prefix")")" ] && how=-l
cp -a $how "$kept" "$prefix" && find "$kept" -maxdepth 1 -type f ! -name .made -exec cp -a --remove-destination -t "$prefix" {} + ||
  fail "cannot copy $kept to $prefix"
export WINEPREFIX="$prefix"

# The probe's output passes through; a request "screenshot X Y W H PATH"
# saves that part of the X display as the PNG file PATH, "cursor PATH" the
# pointer's picture as text (x_cursor.py), and "pointer X Y PATH" moves the
# pointer as a mouse does, then makes PATH (x_pointer.py); the probe waits
# for PATH.
# A failed check asks for one of the whole screen, named after
# KNAPSEL_SCREENS, in KNAPSEL_SCREENS_DIR, or wine-screens/ beside the prefix.
shots=${KNAPSEL_SCREENS_DIR:-$(dirname "$WINEPREFIX")/wine-screens}
name=$(printf '%s' "$(basename "$WINEPREFIX")-$(basename "$1" .exe)${2:+-$2}" | tr -c 'A-Za-z0-9.-' _)
mkdir -p "$shots" || exit 1
export KNAPSEL_SCREENS="Z:$shots/$name"
status=$(mktemp)
cr=$(printf '\r')
# A path the probe names ("Z:" and backslashes) as this side names it.
linux_path() { printf '%s' "${1#Z:}" | tr '\\' /; }
{ "$wine" "$@"; echo $? >"$status"; } | {
  while IFS= read -r line; do
    line=${line%"$cr"}  # the C runtime ends its lines with CR LF
    case "$line" in
      "screenshot "*)
        printf '%s\n' "${line#screenshot }" | {
          read -r x y w h path
          file=$(linux_path "$path")
          import -window root -crop "${w}x$h+$x+$y" +repage "$file.part.png" && mv "$file.part.png" "$file"
          echo "Screenshot: $file"
        } ;;
      "pointer "*)
        printf '%s\n' "${line#pointer }" | {
          read -r x y path
          "$(dirname "$0")/x_pointer.py" "$x" "$y" "$(linux_path "$path")"
        } ;;
      "cursor "*)
        path=${line#cursor }
        "$(dirname "$0")/x_cursor.py" "$(linux_path "$path")" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done
}
rc=$(cat "$status")
rm -f "$status"
if [ "$rc" = 53 ]; then # STATUS_DLL_NOT_FOUND: the program never ran
  echo "wine.sh: the program could not load its DLLs (exit code 53); the prefix's kernel32.dll, and memory:" >&2
  ls -lL "$WINEPREFIX"/drive_c/windows/*/kernel32.dll >&2
  grep -E '^(MemAvailable|Shmem):' /proc/meminfo >&2
fi
# Under Wine 8 a keyboard filter outlives the thread that installed it: the
# server ends with the run.
wineserver -k
wineserver -w
exit "$rc"
