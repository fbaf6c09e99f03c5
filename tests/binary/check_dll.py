"""Checks the built knapfilt.dll against its binary contract: a 32-bit DLL
for Windows 4.0 with exactly one export, _InstallFilter@8 at ordinal 1, that
imports nothing but the system's own DLLs and starts through the C runtime.

usage: check_dll.py knapfilt.dll knapfilt.map   (the map from its link)"""
import re
import sys

import pefile

from contract import IMAGE_FILE_DLL, common_problems, imports, report

PLATFORM_CALLS = {"SetWindowsHookExA", "UnhookWindowsHookEx", "CallNextHookEx",
                  "mouse_event", "PostMessageA"}


def map_address(map_text, symbol):
    m = re.search(r"^\s+0x([0-9a-f]+)\s+" + re.escape(symbol) + r"$", map_text, re.M)
    return int(m.group(1), 16) if m else None


def problems(dll, map_path):
    pe = pefile.PE(dll)
    found = common_problems(pe, ["KERNEL32.dll", "USER32.dll", "msvcrt.dll"])
    if not pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL:
        found.append("not marked as a DLL")
    table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    name = table.name.decode() if table else None
    exports = [(s.name.decode() if s.name else None, s.ordinal) for s in table.symbols] if table else []
    if name != "knapfilt.dll" or exports != [("_InstallFilter@8", 1)]:
        found.append(f"exports {exports} under {name!r}, not [('_InstallFilter@8', 1)] under 'knapfilt.dll'")
    user32 = {f for dll, funcs in imports(pe).items() if dll.lower() == "user32.dll" for f in funcs}
    if not PLATFORM_CALLS <= user32:
        found.append(f"does not import {sorted(PLATFORM_CALLS - user32)} from USER32")
    # The entry point must be the runtime's start-up, which then calls DllMain.
    link_map = open(map_path).read()
    startup = map_address(link_map, "DllMainCRTStartup@12")
    entry = pe.OPTIONAL_HEADER.ImageBase + pe.OPTIONAL_HEADER.AddressOfEntryPoint
    if startup != entry:
        found.append(f"entry point {entry:#x} is not DllMainCRTStartup@12 ({startup})")
    if map_address(link_map, "DllMain@12") is None:
        found.append("no DllMain@12 linked in for the start-up code to call")
    return found


if __name__ == "__main__":
    sys.exit(report("knapfilt.dll", problems(sys.argv[1], sys.argv[2])))
