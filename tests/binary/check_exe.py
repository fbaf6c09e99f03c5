"""Checks the built Knapsel.exe against its binary contract: a 32-bit GUI
program for Windows 4.0 that binds _InstallFilter@8 from knapfilt.dll through
its import table, and whose one resource is the mouse icon, pixel for pixel
as drawn in host/mouse_icon.txt, which in turn must match the drawing below.

usage: check_exe.py Knapsel.exe host/mouse_icon.txt"""
import os
import struct
import sys

import pefile

from contract import IMAGE_FILE_DLL, common_problems, imports, report

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "host"))
from make_icon import read_picture  # noqa: E402

RT_ICON, RT_GROUP_ICON = pefile.RESOURCE_TYPE["RT_ICON"], pefile.RESOURCE_TYPE["RT_GROUP_ICON"]
EN_US = 1033
IMAGE_SUBSYSTEM_WINDOWS_GUI = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
BLACK, GREY, WHITE = 0, 8, 15

# The mouse as the design gives it: rows, their black and light-grey columns.
DRAWING = [
    (0, 0, [17, 19], [18]), (1, 2, [16, 18], [17]), (3, 6, [15, 17], [16]),
    (7, 7, range(9, 24), []), (8, 13, [8, 16, 24], [17]), (14, 14, range(8, 25), []),
    (15, 26, [8, 24], []), (27, 28, [9, 23], []), (29, 29, [10, 22], []),
    (30, 30, [11, 12, 20, 21], []), (31, 31, range(13, 20), []),
]


def drawing_pixels():
    pixels = [[WHITE] * 32 for _ in range(32)]
    for first, last, black, grey in DRAWING:
        for row in range(first, last + 1):
            for col in black:
                pixels[row][col] = BLACK
            for col in grey:
                pixels[row][col] = GREY
    return pixels


def decode_icon(image):
    """Checks the image's format; returns (complaints, 32 rows of indices)."""
    found = []
    size, width, height, planes, bits = struct.unpack_from("<IiiHH", image)
    if len(image) != 744 or (size, width, height, planes, bits) != (40, 32, 64, 1, 4):
        found.append(f"icon image is {len(image)} bytes, header {(size, width, height, planes, bits)}")
        return found, None
    palette = [tuple(image[40 + 4 * i:43 + 4 * i][::-1]) for i in range(16)]
    for index, rgb in ((BLACK, (0, 0, 0)), (GREY, (0xC0,) * 3), (WHITE, (0xFF,) * 3)):
        if palette[index] != rgb:
            found.append(f"palette entry {index} is {palette[index]}, not {rgb}")
    colour, mask = image[104:616], image[616:]
    if any(mask):
        found.append("icon mask is not all zero: some pixels are transparent")
    rows = [[b >> shift & 15 for b in colour[16 * r:16 * r + 16] for shift in (4, 0)]
            for r in range(32)]
    return found, rows[::-1]


def resources_of(pe):
    """{(type, name, language): data}; names given as strings are str."""
    def key(entry):
        return str(entry.name) if entry.name is not None else entry.id
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return {}
    return {(key(t), key(n), key(lang)): pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
            for t in pe.DIRECTORY_ENTRY_RESOURCE.entries
            for n in t.directory.entries for lang in n.directory.entries}


def problems(exe, picture_path):
    pe = pefile.PE(exe)
    found = common_problems(pe, ["KERNEL32.dll", "USER32.dll", "GDI32.dll", "msvcrt.dll", "knapfilt.dll"])
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    if pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL or subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        found.append(f"not a GUI program (subsystem {subsystem})")
    filt = {d.lower(): f for d, f in imports(pe).items()}.get("knapfilt.dll")
    if filt != ["_InstallFilter@8"]:
        found.append(f"imports {filt} from knapfilt.dll, not ['_InstallFilter@8']")

    resources = resources_of(pe)
    if set(resources) != {(RT_ICON, 1, EN_US), (RT_GROUP_ICON, "MOUSE", EN_US)}:
        return found + [f"resources are {list(resources)}, not just the MOUSE icon"]
    group = resources[(RT_GROUP_ICON, "MOUSE", EN_US)]
    if group != struct.pack("<HHHBBBBHHIH", 0, 1, 1, 32, 32, 16, 0, 1, 4, 744, 1):
        found.append(f"group icon MOUSE is {group.hex()}, not one 32x32 16-colour image with id 1")
    icon_problems, pixels = decode_icon(resources[(RT_ICON, 1, EN_US)])
    found += icon_problems
    picture = read_picture(picture_path)
    if pixels is not None and pixels != picture:
        found.append("icon pixels differ from the text picture")
    for row, (want, have) in enumerate(zip(drawing_pixels(), picture)):
        if want != have:
            found.append(f"text picture row {row} differs from the mouse drawing")
    return found


if __name__ == "__main__":
    sys.exit(report("Knapsel.exe", problems(sys.argv[1], sys.argv[2])))
