# Drawing helpers for the sample gauges' bitmaps: a pixel canvas with filled
# shapes, a 5 x 7 pixel font drawn at twice its size (14 pixels tall, taller
# than the soft-button labels' capitals), and a .bmp writer (8 bits with a
# palette when the picture has 256 colours or fewer, 24 bits otherwise).
# Everything is integer or plain float arithmetic rounded once, so a run on
# any machine writes the same bytes.
import math
import struct

FONT = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    " ": ["00000"] * 7,
}
SCALE = 2
CHAR_W, CHAR_H = 6 * SCALE, 7 * SCALE  # advance and height of one character

BLACK = (0, 0, 0)      # transparent in an element's bitmap
KEY = (1, 1, 1)        # transparent in the background; the window of a mask
WHITE = (245, 245, 245)
FACE = (14, 14, 18)
BEZEL = (48, 50, 56)
GREY = (150, 150, 156)
GREEN = (40, 200, 70)
YELLOW = (250, 210, 40)
RED = (230, 40, 30)
ORANGE = (255, 140, 20)
SKY = (40, 120, 215)
GROUND = (150, 90, 35)


def text_width(text):
    return len(text) * CHAR_W - SCALE


class Bitmap:
    def __init__(self, width, height, colour=BLACK):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        return self.pixels[y][x]

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, self.height)):
            row = self.pixels[y]
            for x in range(max(x0, 0), min(x1, self.width)):
                row[x] = colour

    def disc(self, cx, cy, r, colour, r_inner=-1.0, a0=None, a1=None):
        """A disc (or the ring r_inner < d <= r), optionally only between the
        directions a0 and a1: degrees clockwise from 12 o'clock."""
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                dx, dy = x + 0.5 - cx, y + 0.5 - cy
                d2 = dx * dx + dy * dy
                if d2 > r * r or d2 <= r_inner * r_inner:
                    continue
                if a0 is not None:
                    a = math.degrees(math.atan2(dx, -dy)) % 360
                    if not (a0 <= a <= a1 or a0 <= a + 360 <= a1 or a0 <= a - 360 <= a1):
                        continue
                self.put(x, y, colour)

    def polygon(self, points, colour):
        """Fills the polygon: a pixel is in when its centre is."""
        ys = [p[1] for p in points]
        for y in range(int(math.floor(min(ys))), int(math.ceil(max(ys))) + 1):
            yc = y + 0.5
            xs = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(int(math.ceil(a - 0.5)), int(math.ceil(b - 0.5))):
                    self.put(x, y, colour)

    def ray(self, cx, cy, angle, r0, r1, width, colour):
        """A bar along the direction angle (degrees clockwise from 12 o'clock)
        from radius r0 to r1, width pixels wide."""
        s, c = math.sin(math.radians(angle)), -math.cos(math.radians(angle))
        h = width / 2
        px, py = -c, s  # across the bar
        self.polygon([(cx + s * r0 + px * h, cy + c * r0 + py * h), (cx + s * r1 + px * h, cy + c * r1 + py * h),
                      (cx + s * r1 - px * h, cy + c * r1 - py * h), (cx + s * r0 - px * h, cy + c * r0 - py * h)],
                     colour)

    def text(self, x, y, text, colour):
        for ch in text:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * SCALE, y + row * SCALE, x + (col + 1) * SCALE, y + (row + 1) * SCALE,
                                  colour)
            x += CHAR_W

    def centred_text(self, cx, cy, text, colour):
        self.text(int(round(cx - text_width(text) / 2)), int(round(cy - CHAR_H / 2)), text, colour)

    def rotated_text(self, cx, cy, text, colour, angle):
        """Text centred on (cx, cy), turned clockwise by angle degrees."""
        w, h = text_width(text), CHAR_H
        glyphs = Bitmap(w, h)
        glyphs.text(0, 0, text, colour)
        s, c = math.sin(math.radians(angle)), math.cos(math.radians(angle))
        r = int(math.ceil(math.hypot(w, h) / 2)) + 1
        for y in range(int(cy) - r, int(cy) + r + 1):
            for x in range(int(cx) - r, int(cx) + r + 1):
                dx, dy = x + 0.5 - cx, y + 0.5 - cy
                u, v = c * dx + s * dy + w / 2, -s * dx + c * dy + h / 2
                if 0 <= u < w and 0 <= v < h and glyphs.get(int(u), int(v)) != BLACK:
                    self.put(x, y, colour)

    def save(self, path):
        colours = sorted({c for row in self.pixels for c in row})
        if len(colours) <= 256:
            index = {c: i for i, c in enumerate(colours)}
            row_bytes = (self.width + 3) & ~3
            data = bytearray()
            for y in range(self.height - 1, -1, -1):
                row = bytes(index[c] for c in self.pixels[y])
                data += row + bytes(row_bytes - len(row))
            palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
            bits, offset = 8, 54 + len(palette)
        else:
            row_bytes = (self.width * 3 + 3) & ~3
            data = bytearray()
            for y in range(self.height - 1, -1, -1):
                row = b"".join(bytes((b, g, r)) for r, g, b in self.pixels[y])
                data += row + bytes(row_bytes - len(row))
            palette, bits, offset = b"", 24, 54
        header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, bits, 0, len(data), 2835, 2835,
                           len(colours) if bits == 8 else 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + palette + data)
