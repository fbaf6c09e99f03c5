"""Builds the program's icon from its text picture, mouse_icon.txt: 32 lines
of 32 characters, one per pixel, top row first; '#' is black, '+' light
grey and '.' white. The result is a 32x32, 16-colour .ico with one image.

usage: make_icon.py PICTURE OUTPUT.ico"""
import struct
import sys

# The platform's standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0x80, 0x80, 0x80),
    (0xC0, 0xC0, 0xC0), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
COLOUR_OF = {"#": 0, "+": 8, ".": 15}  # black, light grey, white
SIZE = 32


def read_picture(path):
    """The picture as 32 rows of 32 palette indices, top row first."""
    lines = open(path).read().splitlines()
    if len(lines) != SIZE or any(len(line) != SIZE for line in lines):
        raise ValueError(f"{path}: not {SIZE} lines of {SIZE} characters")
    return [[COLOUR_OF[ch] for ch in line] for line in lines]


def icon_image(pixels):
    """The image as it sits in an .ico file and in the RT_ICON resource:
    header, palette, 4-bit colour rows and the AND mask, rows bottom-up."""
    colour = b"".join(
        bytes(row[x] << 4 | row[x + 1] for x in range(0, SIZE, 2)) for row in reversed(pixels))
    mask = bytes(SIZE // 8 * SIZE)  # all zero: every pixel opaque
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + colour + mask


def ico_file(image):
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[2], "wb") as out:
        out.write(ico_file(icon_image(read_picture(sys.argv[1]))))
