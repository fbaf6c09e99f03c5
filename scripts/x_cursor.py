#!/usr/bin/python3
# Writes the pointer's picture as the X display shows it now (what a user
# sees, whichever program set it) to PATH as text: "W H XHOT YHOT", then the
# ARGB pixels in hex, so that two of them compare as plain text.
#   usage: x_cursor.py PATH
import os
import sys

from Xlib import display

d = display.Display()
d.xfixes_query_version()  # the extension answers nothing before this
c = d.xfixes_get_cursor_image(d.screen().root)
with open(sys.argv[1] + ".part", "w") as f:
    f.write(f"{c.width} {c.height} {c.xhot} {c.yhot}\n")
    f.write(" ".join(f"{p:08x}" for p in c.cursor_image) + "\n")
os.replace(sys.argv[1] + ".part", sys.argv[1])
