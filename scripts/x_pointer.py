#!/usr/bin/python3
# Moves the X display's pointer to X Y as a mouse does (the XTest extension's
# motion: programs read it as they read a hand's), then makes the empty file
# PATH to say that the display has done so.
#   usage: x_pointer.py X Y PATH
import sys

from Xlib import X, display
from Xlib.ext import xtest

d = display.Display()
xtest.fake_input(d, X.MotionNotify, x=int(sys.argv[1]), y=int(sys.argv[2]))
d.sync()
open(sys.argv[3], "w").close()
