#!/usr/bin/env python3
# Draws the Airspeed sample gauge's bitmaps into examples/gauges/Airspeed/1024/
# (24-bit .bmp files): the dial with its scale and a flaps scale, the needle,
# the flaps pointer and the two gear lamps. Run it again after changing it; the bitmaps are committed. It
# lives here, not beside the gauge, so that the installer does not copy it.
import math
import os
import struct

# A 3 x 5 pixel font for the labels.
FONT = {
    "0": ["111", "101", "101", "101", "111"], "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"], "3": ["111", "001", "011", "001", "111"],
    "4": ["101", "101", "111", "001", "001"], "5": ["111", "100", "111", "001", "111"],
    "6": ["111", "100", "111", "101", "111"], "7": ["111", "001", "010", "010", "010"],
    "8": ["111", "101", "111", "101", "111"], "9": ["111", "101", "111", "001", "111"],
    "A": ["010", "101", "111", "101", "101"], "D": ["110", "101", "101", "101", "110"],
    "E": ["111", "100", "110", "100", "111"], "F": ["111", "100", "110", "100", "100"],
    "G": ["111", "100", "101", "101", "111"], "K": ["101", "101", "110", "101", "101"],
    "L": ["100", "100", "100", "100", "111"], "N": ["101", "111", "111", "111", "101"],
    "P": ["111", "101", "111", "100", "100"], "R": ["110", "101", "110", "101", "101"],
    "S": ["111", "100", "111", "001", "111"], "T": ["111", "010", "010", "010", "010"],
    "U": ["101", "101", "101", "101", "111"], " ": ["000", "000", "000", "000", "000"],
}


class Bitmap:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def text(self, x, y, text, colour, scale=2):
        for ch in text:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += 4 * scale

    def save(self, path):
        row_bytes = (self.width * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.height - 1, -1, -1):
            row = bytearray()
            for r, g, b in self.pixels[y]:
                row += bytes((b, g, r))
            data += row + bytes(row_bytes - len(row))
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(data),
                           2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)


WHITE, GREY, FACE = (240, 240, 240), (90, 90, 90), (24, 28, 36)
KEY = (1, 1, 1)  # the background's transparent colour
here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "gauges", "Airspeed", "1024")
os.makedirs(here, exist_ok=True)

# The dial, 240 x 240 at the right of the display: 0 to 200 knots over 300
# degrees clockwise from the top, centre (150, 120); the flaps scale at the left
# (notches 0 to 3, 20 pixels apart) and the gear lamp's frame below it.
bg = Bitmap(240, 240, KEY)
cx, cy = 150, 120
for y in range(240):
    for x in range(60, 240):
        if (x - cx) ** 2 + (y - cy) ** 2 <= 88 ** 2:
            bg.put(x, y, FACE)
for knots in range(0, 201, 10):
    a = math.radians(knots * 1.5)
    inner = 70 if knots % 40 == 0 else 78
    for r in range(inner, 86):
        bg.put(round(cx + r * math.sin(a)), round(cy - r * math.cos(a)), WHITE)
    if knots % 40 == 0:
        label = str(knots)
        lx = round(cx + 56 * math.sin(a)) - (len(label) * 8 - 2) // 2
        ly = round(cy - 56 * math.cos(a)) - 5
        bg.text(lx, ly, label, WHITE)
bg.text(cx - 7, cy - 36, "KT", GREY)
bg.rect(0, 20, 50, 132, FACE)
bg.text(6, 26, "FLAPS", WHITE, 1)
for notch in range(4):
    y = 50 + notch * 20
    bg.rect(30, y, 44, y + 2, WHITE)
    bg.text(38, y - 12, str(notch), GREY, 1)
bg.rect(0, 150, 50, 200, FACE)
bg.text(6, 156, "GEAR", WHITE, 1)
bg.save(os.path.join(here, "bg.bmp"))

# The needle: 6 x 80, pointing up, its axis 4 pixels above its foot.
needle = Bitmap(6, 80, (0, 0, 0))
needle.rect(2, 0, 4, 80, (255, 208, 64))
needle.rect(1, 10, 5, 80, (255, 208, 64))
needle.save(os.path.join(here, "needle.bmp"))

# The flaps pointer: a green wedge pointing right.
flaps = Bitmap(14, 9, (0, 0, 0))
for x in range(14):
    half = 4 - x * 4 // 14
    flaps.rect(x, 4 - half, x + 1, 5 + half, (64, 220, 96))
flaps.save(os.path.join(here, "flaps.bmp"))

# The gear lamps: green DN, red UP.
for name, colour, text in (("gear_down.bmp", (40, 200, 70), "DN"), ("gear_up.bmp", (220, 50, 40), "UP")):
    lamp = Bitmap(36, 22, colour)
    lamp.text(8, 4, text, (255, 255, 255) if text == "UP" else (10, 40, 10), 3)
    lamp.save(os.path.join(here, name))
