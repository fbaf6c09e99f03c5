"""Prints Knapsel's figures as one table: the filter's own instructions per
call (callgrind, native -O2 build), end-to-end latency under Wine, and the
sizes and imports of the stripped release binaries, each with its goal and
a verdict where the figures allow one.
The latency comes from the build in WINE_BUILD, run in WINEPREFIX (the win32
tree, or the win64 one with WINEARCH=win64 on a host that runs 64-bit code only).
Latency on a shared machine has several modes, and a median can land in any
of them; the ratios are therefore also taken round by round from each kind's
fastest tenth, what a path costs when nothing else gets in the way, and a
goal is judged only when the middle half of the rounds lies on one side of it.

usage: bench.py NATIVE_BUILD WIN32_BUILD WINE_BUILD WINEPREFIX"""
import os
import re
import statistics
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
    """{kind: {round: [microseconds]}} from the latency probe."""
    run = subprocess.run([os.path.join(HERE, "..", "scripts", "wine.sh"), prefix,
                          os.path.join(tree, "bin", "latency.exe")],
                         check=True, capture_output=True, text=True)
    found = {}
    for line in run.stdout.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] in "ANBCD":
            found.setdefault(parts[0], {}).setdefault(int(parts[1]), []).append(float(parts[2]))
    return found


def quantile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]


FASTEST = 0.1  # the fastest tenth of a round's samples


def ratio_rounds(lat, formula):
    """The ratio of the fastest tenths, round by round: (median, lower
    quartile, upper quartile) over the rounds."""
    ratios = [formula({k: quantile(rounds[r], FASTEST) for k, rounds in lat.items()}) for r in lat["A"]]
    return statistics.median(ratios), quantile(ratios, 0.25), quantile(ratios, 0.75)


def verdict(low, high, most):
    """Against a goal of at most `most`, for a figure known to lie in low..high."""
    return "met" if high <= most else "missed" if low > most else "too noisy to tell"


def latency_rows(lat, build):
    rows = []
    names = {"A": "ordinary key, no filter", "N": "ordinary key, pass-through filter",
             "B": "ordinary key, Knapsel", "C": "mouse press, direct", "D": "key 0x62 to left press, Knapsel"}
    every = {k: [us for samples in rounds.values() for us in samples] for k, rounds in lat.items()}
    for kind, name in names.items():
        us = every[kind]
        rows.append((f"latency {kind}: {name} ({build}; median / fastest tenth / p90 of {len(us)} samples)",
                     f"{statistics.median(us):.0f} / {quantile(us, FASTEST):.0f} / {quantile(us, 0.9):.0f} us",
                     "", ""))
    med = {k: statistics.median(us) for k, us in every.items()}
    for what, formula, most in (
            ("B/N: Knapsel over the floor any filter costs", lambda t: t["B"] / t["N"], 1.05),
            ("N/A: the platform's own price for a filter", lambda t: t["N"] / t["A"], None),
            ("D/(A+C): a key click against a keystroke plus a click", lambda t: t["D"] / (t["A"] + t["C"]), 1.10)):
        mid, low, high = ratio_rounds(lat, formula)
        rows.append((what, f"{mid:.3f} (middle rounds {low:.3f}-{high:.3f}); medians {formula(med):.3f}",
                     f"at most {most:.2f}" if most else "context", verdict(low, high, most) if most else ""))
    return rows


def main(native, win32, wine_build, prefix):
    rows = [("measure", "figure", "goal", "verdict")]
    filter_cost = os.path.join(native, "bench", "filter_cost")
    paths = subprocess.run([filter_cost], capture_output=True, text=True).stdout.splitlines()
    for path in paths:
        count = own_instructions(filter_cost, path)
        most = 16 if path == "KeyToMouseProc pass-on" else None  # counts are steady: one run judges
        rows.append((f"{path}: own instructions per call", f"{count:.0f}",
                     f"at most {most}" if most else "", verdict(count, count, most) if most else ""))

    rows += latency_rows(latencies(wine_build, prefix), os.path.basename(os.path.normpath(wine_build)))

    for name, goal in (("knapfilt.dll", 12), ("Knapsel.exe", 16)):
        path = os.path.join(win32, "bin", name)
        size = os.path.getsize(path)
        rows.append((f"{name}, stripped", f"{size} bytes ({size / 1024:.1f} KiB)", f"at most {goal} KiB",
                     verdict(size, size, goal * 1024)))
        imports = ", ".join(sorted(imports_of(pefile.PE(path)), key=str.lower))
        rows.append((f"{name} imports", imports, "", ""))

    for row in rows[:1] + [("---",) * 4] + rows[1:]:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main(*sys.argv[1:5])
