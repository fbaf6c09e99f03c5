#!/bin/sh
# Runs a Windows program under Wine, on a prefix of Knapsel's own (made on
# first use: 32-bit, or 64-bit with WINEARCH=win64, where 64-bit programs run,
# and 32-bit ones as on 64-bit Windows), and passes the program's exit code on.
# It runs on a virtual display of its own, or with --on-display on the one
# DISPLAY names.
# The Wine server is ended afterwards: under Wine 8 a keyboard filter outlives
# the thread that installed it, and must not reach the next run.
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
export WINEPREFIX="$(realpath -m "$2")" WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${KNAPSEL_WINEDEBUG:--all,err+module}"
# No .NET or HTML engines, whose installers would ask. Nor winemenubuilder
# (menu entries for this machine): at the session's start it makes the first
# window of the default desktop, so Wine starts the desktop's own process for
# it and waits for that 10 s at most; under load that runs out, and the
# desktop is left without its process, and every program without windows,
# for the whole session. The probe starts that process itself and waits as
# long as it takes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
shift 2
# Debian's wine command goes through the 32-bit loader first, which a host
# that runs 64-bit code only cannot start; a 64-bit prefix is served by the
# 64-bit loader directly, which hands any 32-bit program on to the other.
wine=/usr/lib/wine/wine
[ "$WINEARCH" = win64 ] && wine=/usr/lib/wine/wine64
# A new prefix is filled in by a wineboot of Wine's own, which the command
# waits for at most 5 minutes, less than an emulated machine on a busy host
# can take: the command then fails, its DLLs not there yet, while the filling
# goes on. The server ends only when that is done, and ending the server
# sooner (below) would leave the prefix half made.
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  if ! "$wine" wineboot -i; then
    wineserver -w
    "$wine" wineboot -i || exit 1
  fi
  wineserver -w || exit 1
fi
# Window frames draw their buttons with Wine's Marlett, which this Wine finds
# only among the prefix's own fonts.
fonts=$WINEPREFIX/drive_c/windows/Fonts
[ -f "$fonts/marlett.ttf" ] || cp /usr/share/wine/fonts/marlett.ttf "$fonts/" || exit 1
# The probe's output passes through; a request "screenshot X Y W H PATH"
# saves that part of the X display as the PNG file PATH, "cursor PATH" the
# pointer's picture as text (x_cursor.py), and "pointer X Y PATH" moves the
# pointer as a mouse does, then makes PATH (x_pointer.py); the probe waits
# for PATH.
# A failed check asks for one of the whole screen, named after
# KNAPSEL_SCREENS, in wine-screens/ beside the prefix.
shots=$(dirname "$WINEPREFIX")/wine-screens
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
  ls -l "$WINEPREFIX"/drive_c/windows/*/kernel32.dll >&2
  grep -E '^(MemAvailable|Shmem):' /proc/meminfo >&2
fi
wineserver -k
wineserver -w
exit "$rc"
