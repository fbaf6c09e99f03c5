# The one way Knapsel's set-up installs Debian packages, sourced by the
# host's (deps.sh) and by the emulated machine's tree
# (scripts/emulated/tree.sh) alike: apt_update, then apt_install PACKAGE...
#
# A Debian mirror can be behind the lists stored on this machine, mid-sync,
# or stale, and stay so for hours; apt then fails on one source while the
# rest are fine. These bend around that without loosening any of apt's own
# checks (signatures, expiry, no downgrades, no removals), and on a healthy
# mirror they are plain `apt-get update` and `apt-get install`, with the same
# output and no delay. A failure that no retry mends (no network, no disk, a
# package that does not exist) ends at once, in one line that says why.
# Needs root. KNAPSEL_APT_DELAYS: the seconds waited before each further try
# of a failing update (about two minutes in all).

apt_delays=${KNAPSEL_APT_DELAYS:-10 20 30 60}
apt_log=${TMPDIR:-/tmp}/knapsel-apt.$$
export DEBIAN_FRONTEND=noninteractive # nobody is there to answer a question

apt_fail() {
  echo "apt: $*" >&2
  rm -f "$apt_log" "$apt_log.rc"
  exit 1
}

# apt-get's output, shown as it comes and kept in $apt_log; its exit code in
# $apt_rc (kept past set -e, which deps.sh runs under).
apt_run() {
  { rc=0 && apt-get "$@" 2>&1 || rc=$?; echo $rc >"$apt_log.rc"; } | tee "$apt_log"
  apt_rc=$(cat "$apt_log.rc")
}

# The sources that the last update could not fetch, a line each: the
# source's base address, why, and the date of the Release file that apt
# checked the index against, where the failure names one.
apt_failures() {
  awk '
    function flush() { if (base != "") print base "\t" why "\t" date; base = "" }
    /^[EW]: / { flush() }
    /^[EW]: (Failed to fetch|Release file for) [a-z+]+:[^ ]*\/dists\// {
      match($0, /[a-z+]+:[^ ]*\/dists\/[^\/ ]+\//)
      base = substr($0, RSTART, RLENGTH); rest = substr($0, RSTART + RLENGTH)
      sub(/^[^ ]* */, "", rest)
      sub(/\. Updates for this repository will not be applied\./, "", rest)
      why = rest; date = ""
      if ($2 == "Release") why = "its Release file " rest
    }
    base != "" && /^ +Release file created at: / { date = $0; sub(/^ +Release file created at: /, "", date) }
    END { flush() }
  ' "$apt_log" | sort -u -t "$(printf '\t')" -k1,1
}

# The stored lists of the source at base address $1: the common beginning of
# their file names, from apt's own record of where each index is kept.
apt_lists_of() {
  apt-get indextargets --format '$(BASE_URI) $(FILENAME) $(METAKEY)' | awk -v base="$1" '$1 == base { print $2, $3; exit }' |
    while read -r file key; do
      key=$(echo "$key" | tr / _)
      echo "${file%%"$key"*}"
    done
}

# The Date of a Release file, in seconds; nothing where there is none.
apt_date() {
  date=$(sed -n 's/^Date: //p' "$1" 2>/dev/null | head -n 1)
  [ -n "$date" ] && date -d "$date" +%s
}

# Moves aside the stored lists of each source in $failures whose index
# failed its check against the Release file stored here while the mirror
# serves an older one: apt never takes a Release older than the one it has,
# so that state does not mend however long it is retried. Without them apt
# takes the mirror's Release, checked as always; the mirror's is fetched here
# only to compare dates. Says so, and succeeds, when it moved any.
apt_move_aside_stale() {
  moved=1
  for base in $(echo "$failures" | awk -F '\t' '$3 != "" { print $1 }'); do
    case " $apt_moved " in *" $base "*) continue ;; esac # once: what is fetched then is the mirror's own
    failure=$(echo "$failures" | awk -F '\t' -v b="$base" '$1 == b')
    checked=$(echo "$failure" | cut -f3)
    prefix=$(apt_lists_of "$base")
    stored=$(ls "${prefix}InRelease" "${prefix}Release" 2>/dev/null | head -n 1)
    [ -n "$prefix" ] && [ -n "$stored" ] || continue
    stored_at=$(apt_date "$stored")
    [ "$stored_at" = "$(date -d "$checked" +%s)" ] || continue
    for name in InRelease Release; do
      /usr/lib/apt/apt-helper download-file "$base$name" "$apt_log.release" >/dev/null 2>&1 && break
    done
    served=$(apt_date "$apt_log.release")
    rm -f "$apt_log.release"
    [ -n "$served" ] && [ "$served" -lt "$stored_at" ] || continue
    aside=$(dirname "$prefix")-moved-aside/$(date +%Y%m%d-%H%M%S)
    mkdir -p "$aside" && mv "$prefix"* "$aside/" || apt_fail "cannot move $prefix* aside to $aside"
    apt_moved="$apt_moved $base"
    echo "apt: $base: its index does not match the Release file stored here, of $checked ($(echo "$failure" | cut -f2)), newer than the mirror's; moved that source's stored lists aside to $aside, and updating again"
    moved=0
  done
  return $moved
}

apt_update() {
  apt_moved=""
  set -- $apt_delays
  while :; do
    apt_run update -q
    grep -q 'No space left on device' "$apt_log" && apt_fail "apt-get update: $(grep -m1 'No space left on device' "$apt_log")"
    failures=$(apt_failures)
    if [ -z "$failures" ]; then
      [ "$apt_rc" = 0 ] && break
      apt_fail "apt-get update failed: $(grep '^E:' "$apt_log" | tail -n 1)"
    fi
    grep -qE '^(Hit|Get):' "$apt_log" ||
      apt_fail "apt-get update reached no source; is the network up? $(echo "$failures" | head -n 1 | cut -f1,2 | tr '\t' ' ')"
    apt_move_aside_stale && continue
    [ $# = 0 ] && break
    echo "apt: $(echo "$failures" | cut -f1 | tr '\n' ' ')did not update; trying again in $1 s"
    sleep "$1"
    shift
  done
  # What still fails is left behind: its stored lists, if any, stay in use.
  echo "$failures" | awk -F '\t' 'NF { print "apt: " $1 " did not update (" $2 "); going on with the sources that did" }'
  rm -f "$apt_log" "$apt_log.rc"
}

# Installs the packages, or fails with the reason in $apt_why. Nothing
# installed is removed or downgraded. An install that cannot be resolved (a
# suite's index missing for one architecture, so multi-arch libraries cannot
# match) is tried once more preferring the release's own suite.
apt_install() {
  apt_why=""
  dpkg --audit | grep -q . && dpkg --configure -a # a run that was stopped midway
  set -- -y -q --no-install-recommends --no-remove "$@"
  apt_run install "$@"
  # apt 2 says "unmet dependencies", apt 3 "Unsatisfied dependencies".
  if [ "$apt_rc" != 0 ] && grep -qiE '(unmet|unsatisfied) dependencies:$|held broken packages' "$apt_log"; then
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "apt: the install cannot be resolved as it stands; trying again preferring $release's own suite"
    apt_run install -o APT::Default-Release="$release" "$@"
  fi
  if [ "$apt_rc" != 0 ]; then
    apt_why=$(sed -n '/[Uu]n\(met\|satisfied\) dependencies:$/ { n; s/^ *//p; q; }' "$apt_log")
    [ -n "$apt_why" ] || apt_why=$(grep -m1 '^E:' "$apt_log" | sed 's/^E: //')
    [ -n "$apt_why" ] || apt_why="apt-get install exited $apt_rc"
  fi
  rm -f "$apt_log" "$apt_log.rc"
  [ "$apt_rc" = 0 ]
}
