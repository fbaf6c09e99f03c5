"""Packs the release archive for Windows users: Knapsel.exe, knapfilt.dll,
README.txt and the two example .reg files, the texts with Windows line
endings, at the top of the zip. The same sources give the same bytes: the
entries carry the time of the last commit (or SOURCE_DATE_EPOCH) and fixed
permissions, in a fixed order. Beside the archive, SHA256SUMS lists it and
the files as Windows' "Extract All" unpacks them, for `sha256sum -c`.

usage: dist.py OUT.zip BIN_DIR SOURCE_DIR VERSION"""
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

BINARIES = ["Knapsel.exe", "knapfilt.dll"]
TEXTS = ["README.txt", "remap-keys.reg", "undo-remap-keys.reg"]  # in host/
ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can carry


def build_time(source):
    """The last commit's time, as the reproducible-builds convention asks."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return ZIP_EPOCH  # not a checkout


def contents(bin_dir, source, version):
    """[(name, bytes)] in the archive's order."""
    files = [(name, open(os.path.join(bin_dir, name), "rb").read()) for name in BINARIES]
    for name in TEXTS:
        text = open(os.path.join(source, "host", name), encoding="utf-8").read()
        text = text.replace("@VERSION@", version).replace("\r\n", "\n").replace("\n", "\r\n")
        files.append((name, text.encode("utf-8")))
    return files


def main(out, bin_dir, source, version):
    files = contents(bin_dir, source, version)
    stamp = time.gmtime(max(build_time(source), ZIP_EPOCH))[:6]
    with zipfile.ZipFile(out, "w") as z:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so the permissions below are read
            info.external_attr = 0o644 << 16
            z.writestr(info, data)

    # The files as a user unpacks them, beside the archive, so that the
    # checksums can be checked where they are written.
    here = os.path.dirname(os.path.abspath(out))
    folder = os.path.splitext(os.path.basename(out))[0]
    stage = os.path.join(here, folder)
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    for name, data in files:
        with open(os.path.join(stage, name), "wb") as f:
            f.write(data)
    sums = [(hashlib.sha256(open(out, "rb").read()).hexdigest(), os.path.basename(out))]
    sums += [(hashlib.sha256(data).hexdigest(), f"{folder}/{name}") for name, data in files]
    with open(os.path.join(here, "SHA256SUMS"), "w") as f:
        f.writelines(f"{digest}  {name}\n" for digest, name in sums)
    print(f"Release archive: {out}")


if __name__ == "__main__":
    main(*sys.argv[1:5])
