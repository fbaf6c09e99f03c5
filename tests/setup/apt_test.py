"""The set-up's apt functions (setup/apt.sh) against a Debian mirror that
misbehaves, made of local sources in a scratch folder: apt reads them through
an APT_CONFIG of their own, so this machine's lists and packages are never
touched, and installs are only simulated.

usage: apt_test.py SETUP/apt.sh
"""

import hashlib
import os
import re
import subprocess
import sys
import tempfile
import unittest

APT_SH = os.path.abspath(sys.argv.pop(1))
CODENAME = re.search(r"^VERSION_CODENAME=(\S+)", open("/etc/os-release").read(), re.M).group(1)
OLDER, NEWER = "Mon, 07 Dec 2026 02:13:01 UTC", "Mon, 07 Dec 2026 23:22:40 UTC"
EXPIRED = "Tue, 01 Dec 2026 00:00:00 UTC"
SECURITY = CODENAME + "-security"

# A stanza of a Packages index: name, version, architecture, dependencies.
def stanza(name, version, arch, depends=""):
    return (f"Package: {name}\nVersion: {version}\nArchitecture: {arch}\nMulti-Arch: same\n"
            + (f"Depends: {depends}\n" if depends else "")
            + f"Filename: pool/{name}_{version}_{arch}.deb\nSize: 1\nSHA256: {'0' * 64}\nDescription: {name}\n\n")

# The release's own suite: a library for both architectures, and a program
# of each that needs it, as wine32:i386 and wine64 need theirs.
MAIN = [stanza("libdemo", "1", a) for a in ("amd64", "i386")] + [
    stanza("demo32", "1", "i386", "libdemo"), stanza("demo64", "1", "amd64", "libdemo")]
# A security update of the library whose i386 half is missing.
SECURITY_FIX = [stanza("libdemo", "2", "amd64")]


class Mirror:
    """Sources in a scratch folder, as file: addresses, and apt's state beside them."""

    def __init__(self, top, installed):
        self.top = top
        self.lists = os.path.join(top, "lists")
        for d in ("lists/partial", "cache/archives/partial", "parts", "repo"):
            os.makedirs(os.path.join(top, d))
        with open(os.path.join(top, "status"), "w") as f:
            for name, version in installed:
                f.write(stanza(name, version, "amd64").replace("Package:", "Status: install ok installed\nPackage:"))
        self.sources = []

    def publish(self, suite, date, packages, valid_until=None, broken=None, arches=("amd64", "i386")):
        """Writes the suite's indexes and its Release; a broken index no longer matches it."""
        dists = os.path.join(self.top, "repo/dists", suite)
        files = []
        for arch in arches:
            path = f"main/binary-{arch}/Packages"
            os.makedirs(os.path.join(dists, os.path.dirname(path)), exist_ok=True)
            text = "".join(p for p in packages if f"Architecture: {arch}\n" in p).replace("Description: ", f"Description: {date} ")
            with open(os.path.join(dists, path), "w") as f:
                f.write(text)
            files.append((path, text.encode()))
        release = [f"Suite: {suite}", f"Codename: {suite}", f"Date: {date}"]
        release += [f"Valid-Until: {valid_until}"] if valid_until else []
        release += [f"Architectures: {' '.join(arches)}", "Components: main", "SHA256:"]
        release += [f" {hashlib.sha256(b).hexdigest()} {len(b)} {p}" for p, b in files]
        with open(os.path.join(dists, "Release"), "w") as f:
            f.write("\n".join(release) + "\n")
        if broken:
            with open(os.path.join(dists, f"main/binary-{broken}/Packages"), "a") as f:
                f.write("# mid-sync\n")
        line = f"deb [trusted=yes] file:{self.top}/repo {suite} main"
        if line not in self.sources:
            self.sources.append(line)

    def apt(self, arches, script, delays="0 0"):
        """Runs the shell commands after sourcing apt.sh; returns exit code and output."""
        with open(os.path.join(self.top, "sources.list"), "w") as f:
            f.write("\n".join(self.sources + getattr(self, "extra", [])) + "\n")
        top = self.top
        conf = os.path.join(top, "apt.conf")
        with open(conf, "w") as f:
            f.write(f'Dir::State "{top}"; Dir::State::Lists "{top}/lists"; Dir::State::status "{top}/status";\n'
                    f'Dir::Cache "{top}/cache"; Dir::Etc::SourceList "{top}/sources.list";\n'
                    f'Dir::Etc::SourceParts "{top}/parts"; Dir::Etc::Parts "{top}/parts";\n'
                    f'Dir::Etc::Preferences "{top}/none"; Dir::Etc::PreferencesParts "{top}/parts";\n'
                    "APT::Architectures { " + " ".join(f'"{a}";' for a in arches) + " };\n"
                    'APT::Get::Simulate "true"; Acquire::http::Timeout "5";\n')
        env = dict(os.environ, APT_CONFIG=conf, KNAPSEL_APT_DELAYS=delays, TMPDIR=top, LC_ALL="C")
        run = subprocess.run(["sh", "-c", f". '{APT_SH}'; {script}"], env=env, capture_output=True, text=True)
        return run.returncode, run.stdout + run.stderr

    def stored(self):
        return sorted(f for f in os.listdir(self.lists) if "_dists_" in f)


# Each row: what the mirror does; the suites whose amd64 lists this machine
# stored from an earlier Release, as (suite, date, packages); the suites it
# serves now, as (suite, date, packages, valid-until, broken architecture);
# the packages installed, as (name, version) for amd64; what is run after
# apt_update; its exit code; the lines that apt.sh adds to apt's own, as
# patterns in order (none on a healthy mirror); an index that must be stored
# after, or must not be with a leading "!".
RETRIED = rf"^apt: file:.*/{SECURITY}/ did not update; trying again in 0 s$"
INSTALL = "apt_install demo32:i386 demo64 || { echo \"why: $apt_why\"; exit 1; }"
ROWS = [
    ("a healthy mirror",
     [], [(CODENAME, OLDER, MAIN, None, None)], [], INSTALL, 0,
     [], [f"{CODENAME}_main_binary-i386_Packages"]),
    ("lists stored ahead of the mirror",
     [(CODENAME, NEWER, MAIN)], [(CODENAME, OLDER, MAIN, None, None)], [], INSTALL, 0,
     [rf"^apt: file:.*/{CODENAME}/: its index does not match the Release file stored here, of Mon, 07 Dec 2026 "
      r"23:22:40 \+0000 \(Hash Sum mismatch\), newer than the mirror's; moved that source's stored lists aside to .*-moved-aside/"],
     [f"{CODENAME}_main_binary-i386_Packages"]),
    ("mid-sync for good, its Release the one stored here: kept, not moved aside",
     [(SECURITY, OLDER, MAIN)],
     [(CODENAME, OLDER, MAIN, None, None), (SECURITY, OLDER, MAIN, None, "i386")], [], "true", 0,
     [RETRIED, RETRIED, rf"^apt: file:.*/{SECURITY}/ did not update \(Hash Sum mismatch\); going on with the sources"],
     [f"{SECURITY}_main_binary-amd64_Packages", f"!{SECURITY}_main_binary-i386_Packages"]),
    ("mid-sync for good: the release's own suite resolves the install",
     [(SECURITY, OLDER, MAIN + SECURITY_FIX)],
     [(CODENAME, OLDER, MAIN, None, None), (SECURITY, NEWER, MAIN + SECURITY_FIX, None, "i386")], [], INSTALL, 0,
     [RETRIED, RETRIED, rf"^apt: file:.*/{SECURITY}/ did not update \(Hash Sum mismatch\); going on with the sources",
      rf"^apt: the install cannot be resolved as it stands; trying again preferring {CODENAME}'s own suite$"],
     [f"{CODENAME}_main_binary-i386_Packages", f"{SECURITY}_main_binary-amd64_Packages",
      f"!{SECURITY}_main_binary-i386_Packages"]),
    ("mid-sync for good, the library already installed from the security suite",
     [(SECURITY, OLDER, MAIN + SECURITY_FIX)],
     [(CODENAME, OLDER, MAIN, None, None), (SECURITY, NEWER, MAIN + SECURITY_FIX, None, "i386")], [("libdemo", "2")],
     INSTALL, 1,
     [RETRIED, RETRIED, r"going on with the sources that did$", r"preferring", r"^why: .*libdemo"], []),
    ("a stale mirror, past its Release's Valid-Until",
     [], [(CODENAME, OLDER, MAIN, None, None), (SECURITY, OLDER, MAIN, EXPIRED, None)], [], "true", 0,
     [RETRIED, RETRIED,
      rf"^apt: file:.*/{SECURITY}/ did not update \(its Release file is expired \(invalid since .*\)\); going on"],
     [f"{CODENAME}_main_binary-i386_Packages", f"!{SECURITY}_main_binary-amd64_Packages"]),
    ("no network",
     [], [], [], "true", 1,
     [r"^apt: apt-get update reached no source; is the network up\? http://127\.0\.0\.1:9/debian/dists/"
      r"\S+/ \S"], []),  # then apt's own words, which differ from one apt to another
    ("a package that does not exist",
     [], [(CODENAME, OLDER, MAIN, None, None)], [], INSTALL.replace("demo64", "no-such-package"), 1,
     [r"^why: Unable to locate package no-such-package$"], []),
]


class AptTest(unittest.TestCase):
    def test_rows(self):
        for what, before, serves, installed, then, code, lines, stored in ROWS:
            with self.subTest(what), tempfile.TemporaryDirectory() as top:
                mirror = Mirror(top, installed)
                for suite, date, packages in before:
                    mirror.publish(suite, date, packages)
                    self.assertEqual(mirror.apt(["amd64"], "apt_update")[0], 0)
                for suite, date, packages, valid, broken in serves:
                    mirror.publish(suite, date, packages, valid, broken)
                if not serves:
                    mirror.extra = ["deb [trusted=yes] http://127.0.0.1:9/debian stable main"]
                rc, out = mirror.apt(["amd64", "i386"], f"set -e; apt_update; {then}")  # as deps.sh runs
                said = [l for l in out.splitlines() if l.startswith(("apt:", "why:"))]
                self.assertEqual(rc, code, out[-3000:])
                self.assertEqual(len(said), len(lines), "\n".join(said))
                for pattern, line in zip(lines, said):
                    self.assertRegex(line, pattern, out[-3000:])
                for index in stored:
                    present = any(f.endswith(index.lstrip("!")) for f in mirror.stored())
                    self.assertEqual(present, not index.startswith("!"), f"{index} in {mirror.stored()}")


if __name__ == "__main__":
    unittest.main()
