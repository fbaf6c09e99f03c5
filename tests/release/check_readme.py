"""Checks the facts of the release's README.txt that can be checked: the
remapping .reg file sets "Scancode Map" to exactly the bytes the text lists
and explains, entry by entry, the undoing one deletes that value, and every
function key the text names is one that sends a code Knapsel acts on.

usage: check_readme.py host/"""
import os
import re
import sys

KEY = r"[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Keyboard Layout]"
HEADER = "Windows Registry Editor Version 5.00"
# "  62,00,3a,00   send 0x62 for Caps Lock (0x3A)", or "(E0 5D)" for E0 keys
ROW = re.compile(r"^  ((?:[0-9a-f]{2},){3}[0-9a-f]{2})   (.*)$", re.M)
MAPPING = re.compile(r"send 0x([0-9A-F]{2}) for .* \((?:0x|(E0) )([0-9A-F]{2})\)$")
# Windows turns a USB keyboard's F13 to F23 into the scan codes 0x64 to 0x6E,
# and F24 into 0x76.
F_KEY_CODES = {f"F{n}": 0x64 + n - 13 for n in range(13, 24)} | {"F24": 0x76}
FILTER_CODES = {0x62, 0x65, 0x67}


def settings(path):
    """{value name: data} of the one key that the file names."""
    lines = [line for line in open(path, encoding="ascii").read().splitlines() if line and not line.startswith(";")]
    if lines[:2] != [HEADER, KEY]:
        raise ValueError(f"{path}: does not start with the header and the Keyboard Layout key")
    return dict(line.split("=", 1) for line in lines[2:])


def function_key_problems(text):
    """Each "F14 sends 0x65" must be so, and the function keys named anywhere
    else (say, as hotkeys that take the key first) must be those that send
    Knapsel's codes."""
    found = []
    sending = {key for key, code in F_KEY_CODES.items() if code in FILTER_CODES}
    said = dict(re.findall(r"\b(F\d+) sends 0x([0-9A-F]{2})\b", text))
    for key, code in said.items():
        if F_KEY_CODES.get(key) != int(code, 16):
            found.append(f"it says {key} sends 0x{code}, which it does not")
    if set(said) != sending:
        found.append(f"it gives the codes of {sorted(said)}, not of {sorted(sending)}")
    named = set(re.findall(r"\bF(?:1[3-9]|2[0-4])\b", text.replace("F13 to F24", "")))
    if not named <= sending:
        found.append(f"it names {sorted(named - sending)}, which send no code Knapsel acts on")
    return found


def problems(host):
    text = open(os.path.join(host, "README.txt"), encoding="utf-8").read()
    found = function_key_problems(text)
    rows = ROW.findall(text)
    listed = bytes.fromhex("".join(b for b, _ in rows).replace(",", ""))
    remap = settings(os.path.join(host, "remap-keys.reg"))
    if list(remap) != ['"Scancode Map"'] or remap['"Scancode Map"'] != "hex:" + ",".join(f"{b:02x}" for b in listed):
        found.append(f"remap-keys.reg sets {remap}, not the bytes README.txt lists")
    if settings(os.path.join(host, "undo-remap-keys.reg")) != {'"Scancode Map"': "-"}:
        found.append("undo-remap-keys.reg does not just delete Scancode Map")

    # The layout: version 0, flags 0, the count of entries with the end
    # mark, each mapping as the text says it, then the end mark.
    words = [listed[i:i + 4] for i in range(0, len(listed), 4)]
    mappings = [(raw, MAPPING.search(words)) for raw, words in rows[3:-1]]
    if words[:2] != [bytes(4), bytes(4)] or words[-1] != bytes(4):
        found.append("the value does not start with version and flags 0 and end with the end mark")
    if int.from_bytes(words[2], "little") != len(mappings) + 1:
        found.append(f"the count is {int.from_bytes(words[2], 'little')}, not {len(mappings)} mappings + 1")
    sent = []
    for raw, m in mappings:
        if not m:
            found.append(f"README.txt does not say which key {raw} maps")
            continue
        code, e0, key = int(m.group(1), 16), m.group(2), int(m.group(3), 16)
        want = code.to_bytes(2, "little") + bytes([key, 0xE0 if e0 else 0])
        if bytes.fromhex(raw.replace(",", "")) != want:
            found.append(f"{raw} is not what README.txt says of it: {m.group(0)}")
        sent.append(code)
    if sorted(sent) != sorted(FILTER_CODES):
        found.append(f"the example sends {[hex(c) for c in sent]}, not each of 0x62, 0x65 and 0x67 once")
    return found


if __name__ == "__main__":
    found = problems(sys.argv[1])
    for p in found:
        print(f"README.txt: {p}")
    print(f"README.txt: {'FAILED' if found else 'ok'}")
    sys.exit(1 if found else 0)
