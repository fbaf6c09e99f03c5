#!/bin/sh
# Prints which Knapsel build Wine can run on this host: win32 where 32-bit
# Windows programs can start, otherwise win64, and then why on stderr, in one
# line. Debian's Wine starts every 32-bit Windows program through its 32-bit
# Linux loader, which a host that runs 64-bit code only cannot execute.
# A host where the set-up could not install 32-bit Wine is served the same
# way. KNAPSEL_64BIT_ONLY=1 pretends to be such a host, to try that path anywhere.
instead="the x86-64 build runs in a 64-bit Wine prefix instead"
no_wine32=/var/lib/knapsel/no-wine32 # written by setup/deps.sh
if [ "${KNAPSEL_64BIT_ONLY:-0}" != 0 ]; then
  echo "KNAPSEL_64BIT_ONLY is set, as on a host that runs 64-bit code only; $instead" >&2
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo win32
  exit 0
elif [ ! -e /usr/lib/wine/wine ] && [ -s "$no_wine32" ]; then
  echo "32-bit Wine could not be installed ($(cat "$no_wine32")); $instead" >&2
else
  echo "this host cannot start 32-bit Windows programs (/usr/lib/wine/wine --version fails); $instead" >&2
fi
echo win64
