"""Prints Knapsel's figures as one table: the filter's own instructions per
call (callgrind, native -O2 build), end-to-end latency under Wine, and the
sizes and imports of the stripped release binaries. Figures, not verdicts.
The latency comes from the build in WINE_BUILD, run in WINEPREFIX (the win32
tree, or the win64 one with WINEARCH=win64 on a host that runs 64-bit code only).

usage: bench.py NATIVE_BUILD WIN32_BUILD WINE_BUILD WINEPREFIX"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "binary"))
import pefile  # noqa: E402
from contract import imports as imports_of  # noqa: E402

CALLS = 10000
FILTER_SOURCES = re.compile(r"(mouse_filter|notify_filter|install)\.cpp:|filters\.h:")


def own_instructions(filter_cost, path):
    """Instructions per call executed in the library's own code, the
    stand-in platform's calls left out."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                        filter_cost, path, str(CALLS)], check=True, capture_output=True)
        report = subprocess.run(["callgrind_annotate", "--auto=no", "--inclusive=no", "--threshold=100", out],
                                check=True, capture_output=True, text=True).stdout
    total = sum(int(line.split()[0].replace(",", "")) for line in report.splitlines()
                if FILTER_SOURCES.search(line) and "=>" not in line)
    return total / CALLS


def latencies(tree, prefix):
    """{kind: (samples, median, p90)} in microseconds, from the latency probe."""
    run = subprocess.run([os.path.join(HERE, "..", "scripts", "wine.sh"), prefix,
                          os.path.join(tree, "bin", "latency.exe")],
                         check=True, capture_output=True, text=True)
    found = {}
    for line in run.stdout.splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[0] in "ANBCD":
            found[parts[0]] = (int(parts[1]), float(parts[2]), float(parts[3]))
    return found


def main(native, win32, wine_build, prefix):
    rows = [("measure", "figure", "goal")]
    filter_cost = os.path.join(native, "bench", "filter_cost")
    paths = subprocess.run([filter_cost], capture_output=True, text=True).stdout.splitlines()
    for path in paths:
        goal = "at most 16" if path == "KeyToMouseProc pass-on" else ""
        rows.append((f"{path}: own instructions per call", f"{own_instructions(filter_cost, path):.0f}", goal))

    lat = latencies(wine_build, prefix)
    build = os.path.basename(os.path.normpath(wine_build))
    names = {"A": "ordinary key, no filter", "N": "ordinary key, pass-through filter",
             "B": "ordinary key, Knapsel", "C": "mouse press, direct", "D": "key 0x62 to left press, Knapsel"}
    for kind, name in names.items():
        n, median, p90 = lat[kind]
        rows.append((f"latency {kind}: {name} ({build}, median / p90, {n} samples)",
                     f"{median:.0f} / {p90:.0f} us", ""))
    med = {k: v[1] for k, v in lat.items()}
    rows.append(("B/N: Knapsel over the floor any filter costs (medians)", f"{med['B'] / med['N']:.3f}", "at most 1.05"))
    rows.append(("N/A: the platform's own price for a filter (medians)", f"{med['N'] / med['A']:.3f}", "context"))
    rows.append(("D/(A+C): a key click against a keystroke plus a click", f"{med['D'] / (med['A'] + med['C']):.3f}",
                 "at most 1.10"))

    for name, goal in (("knapfilt.dll", 12), ("Knapsel.exe", 16)):
        path = os.path.join(win32, "bin", name)
        size = os.path.getsize(path)
        rows.append((f"{name}, stripped", f"{size} bytes ({size / 1024:.1f} KiB)", f"at most {goal} KiB"))
        imports = ", ".join(sorted(imports_of(pefile.PE(path)), key=str.lower))
        rows.append((f"{name} imports", imports, ""))

    for row in rows[:1] + [("---",) * 3] + rows[1:]:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main(*sys.argv[1:5])
