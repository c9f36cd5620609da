#!/usr/bin/env python3
# Draws the bitmaps of the sample gauge set (examples/gauges/<Gauge>/1024/):
# airspeed, attitude, altimeter, turn coordinator, heading, vertical speed,
# tachometer and fuel-and-oil, each for the 320 x 240 instrument panel with the
# left 40 pixels kept for the soft buttons' labels (a 280 x 240 background).
# All art is drawn here; the bitmaps are committed. After changing this file
# run it again, then refresh the goldens (docs/gauges.md).
#
#   make_sample_gauges.py [--out FOLDER]   (default: examples/gauges)
#   make_sample_gauges.py --check          draws into a temporary folder and
#                                          names every committed bitmap a run
#                                          would change, add or remove
#
# It lives here, not beside the gauges, so that the installer does not copy it.
import filecmp
import math
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from draw import (BEZEL, BLACK, FACE, GREEN, GREY, GROUND, KEY, ORANGE, RED, SKY, WHITE,  # noqa: E402
                  YELLOW, Bitmap, text_width)

W, H = 280, 240
CX, CY, R = 140, 120, 114  # the dial's centre and face radius on the background
DRUM = (30, 30, 36)        # a drum's paper: not black, which would be transparent


def dial():
    bg = Bitmap(W, H, BEZEL)
    bg.disc(CX, CY, R + 3, GREY)
    bg.disc(CX, CY, R, FACE)
    return bg


def ticks(bg, values, angle_of, r0, r1, width, colour=WHITE):
    for v in values:
        bg.ray(CX, CY, angle_of(v), r0, r1, width, colour)


def labels(bg, values, angle_of, radius, text_of=str, colour=WHITE):
    for v in values:
        a = math.radians(angle_of(v))
        bg.centred_text(CX + radius * math.sin(a), CY - radius * math.cos(a), text_of(v), colour)


def needle(length, tail, width, colour=WHITE, hub=8):
    """A needle pointing up with a pointed tip; its axis is the hub's centre."""
    bw = max(width, 2 * hub) + 2
    n = Bitmap(bw, length + tail + 1)
    mid = bw / 2
    tip = max(6, width)
    n.polygon([(mid, 0), (mid + width / 2, tip), (mid + width / 2, length + tail),
               (mid - width / 2, length + tail), (mid - width / 2, tip)], colour)
    n.disc(mid, length, hub, GREY)
    n.disc(mid, length, 3, BEZEL)
    return n, (mid, length)


def drum(cell_w, cell_h, digits="01234567890"):
    """A strip of digits one cell each, top to bottom, and its window."""
    strip = Bitmap(cell_w, cell_h * len(digits), DRUM)
    for i, d in enumerate(digits):
        strip.centred_text(cell_w / 2, cell_h * i + cell_h / 2, d, WHITE)
    return strip, Bitmap(cell_w, cell_h, KEY)


def write(out, name, images):
    folder = os.path.join(out, name, "1024")
    os.makedirs(folder, exist_ok=True)
    for file, bitmap in images.items():
        bitmap.save(os.path.join(folder, file))


def airspeed(out):
    # 0 to 200 knots over 320 degrees clockwise from 12 o'clock; arcs for flaps
    # (white), normal (green), caution (yellow) and the never-exceed line (red).
    at = lambda kt: kt * 1.6  # noqa: E731
    bg = dial()
    bg.disc(CX, CY, 103, WHITE, 95, at(40), at(85))
    bg.disc(CX, CY, 113, GREEN, 104, at(48), at(129))
    bg.disc(CX, CY, 113, YELLOW, 104, at(129), at(163))
    ticks(bg, range(0, 201, 5), at, 106, 113, 2)
    ticks(bg, range(0, 201, 10), at, 98, 113, 3)
    bg.ray(CX, CY, at(163), 92, 113, 5, RED)
    labels(bg, range(40, 201, 20), at, 78)
    bg.centred_text(CX, CY - 38, "KNOTS", GREY)
    # The gear lamp's and the flaps drum's frames, low in the dial.
    bg.rect(CX - 50, CY + 18, CX - 10, CY + 44, GREY)
    bg.text(CX + 2, CY + 24, "F", WHITE)
    bg.rect(CX + 16, CY + 18, CX + 40, CY + 44, GREY)
    pointer, _ = needle(100, 22, 6)
    flaps, window = drum(20, 22, "0123")
    up, down = Bitmap(36, 22, RED), Bitmap(36, 22, GREEN)
    up.centred_text(18, 11, "UP", WHITE)
    down.centred_text(18, 11, "DN", (10, 40, 10))
    write(out, "AirspeedIndicator", {"bg.bmp": bg, "needle.bmp": pointer, "flaps.bmp": flaps,
                                     "flaps_window.bmp": window, "gear_up.bmp": up, "gear_down.bmp": down})


def attitude(out):
    # The horizon pitches 3 pixels a degree and banks about the window's centre
    # behind a fixed mask (360 x 360, placed 40 left of and 60 above the
    # background) whose RGB(1,1,1) disc of radius 100 is the window. A turned
    # bitmap costs time for each of its pixels in every frame, so the horizon
    # is only as large as the window needs at the pitch stops (25 degrees,
    # 75 pixels either way) and any bank: 202 x 352, its axis on the horizon
    # line's centre. The mask covers the whole background, which is therefore
    # transparent and costs nothing to draw.
    hw, hh = 202, 352
    ax, ay = hw // 2, hh // 2
    horizon = Bitmap(hw, hh, SKY)
    horizon.rect(0, ay, hw, hh, GROUND)
    horizon.rect(0, ay - 1, hw, ay + 2, WHITE)
    for deg in range(-30, 31, 5):
        if deg == 0:
            continue
        y = ay - deg * 3
        half = 30 if deg % 10 == 0 else 14
        horizon.rect(ax - half, y - 1, ax + half, y + 2, WHITE)
        if deg % 10 == 0:
            horizon.centred_text(ax - half - 16, y + 1, str(abs(deg)), WHITE)
            horizon.centred_text(ax + half + 16, y + 1, str(abs(deg)), WHITE)
    mask = Bitmap(360, 360, BEZEL)
    mx, my = 180, 180  # the mask's axis: the window's centre
    mask.disc(mx, my, 100, KEY)
    for a in (-60, -30, -20, -10, 10, 20, 30, 60):
        mask.ray(mx, my, a, 101, 116 if abs(a) in (30, 60) else 110, 3, WHITE)
    for a in (-45, 45):
        mask.ray(mx, my, a, 101, 108, 3, WHITE)
    mask.polygon([(mx, my - 101), (mx - 8, my - 115), (mx + 8, my - 115)], WHITE)
    # The sky pointer banks with the horizon but does not pitch.
    pointer = Bitmap(18, 98)
    pointer.polygon([(9, 0), (18, 15), (0, 15)], ORANGE)
    # The fixed aeroplane: wings, a centre dot and the fixed index at the top.
    plane = Bitmap(180, 14)
    plane.rect(0, 4, 62, 10, ORANGE)
    plane.rect(118, 4, 180, 10, ORANGE)
    plane.polygon([(62, 4), (90, 4), (90, 14), (62, 10)], ORANGE)
    plane.polygon([(90, 4), (118, 4), (118, 10), (90, 14)], ORANGE)
    plane.disc(90, 6, 5, YELLOW)
    bg = Bitmap(W, H, KEY)
    write(out, "AttitudeIndicator", {"bg.bmp": bg, "horizon.bmp": horizon, "mask.bmp": mask,
                                     "sky_pointer.bmp": pointer, "plane.bmp": plane})


def altimeter(out):
    # 0 to 9 (hundreds of feet) around the dial; three hands (hundreds, thousands,
    # ten thousands); the pressure setting in inches of mercury in a window of
    # four drums below the centre: 2 9 . 9 2.
    at = lambda v: v * 36  # noqa: E731
    bg = dial()
    ticks(bg, [i / 5 for i in range(50)], at, 104, 113, 2)
    ticks(bg, range(10), at, 96, 113, 4)
    labels(bg, range(10), at, 80)
    bg.centred_text(CX, CY - 40, "ALT", GREY)
    wx, wy = CX - 30, CY + 30
    bg.rect(wx - 2, wy - 2, wx + 62, wy + 24, GREY)
    bg.rect(wx, wy, wx + 60, wy + 22, DRUM)
    bg.rect(wx + 28, wy + 16, wx + 32, wy + 20, WHITE)  # the decimal point
    bg.centred_text(CX, CY + 64, "IN HG", GREY)
    digits, window = drum(12, 22)
    hundreds, _ = needle(100, 20, 5)
    thousands, _ = needle(64, 16, 9)
    tens = Bitmap(20, 121)
    tens.rect(9, 20, 12, 121, WHITE)
    tens.polygon([(10, 0), (20, 20), (0, 20)], WHITE)
    write(out, "Altimeter", {"bg.bmp": bg, "digits.bmp": digits, "digit_window.bmp": window,
                             "hand_100.bmp": hundreds, "hand_1000.bmp": thousands, "hand_10000.bmp": tens})


def turn_coordinator(out):
    # The aeroplane banks 20 degrees at a standard-rate turn (3 degrees a
    # second), to the L and R marks; the ball runs in a tube below.
    bg = dial()
    for a in (90, 270):
        bg.ray(CX, CY, a, 96, 113, 4, WHITE)
    for a in (110, 250):
        bg.ray(CX, CY, a, 96, 113, 4, WHITE)
    bg.centred_text(CX - 84, CY + 44, "L", WHITE)
    bg.centred_text(CX + 84, CY + 44, "R", WHITE)
    bg.centred_text(CX, CY - 56, "2 MIN", GREY)
    # The tube: 150 x 26 with two reference lines a ball's width apart.
    bg.rect(CX - 77, CY + 52, CX + 77, CY + 80, GREY)
    bg.rect(CX - 75, CY + 54, CX + 75, CY + 78, (230, 225, 200))
    bg.rect(CX - 15, CY + 54, CX - 12, CY + 78, BEZEL)
    bg.rect(CX + 12, CY + 54, CX + 15, CY + 78, BEZEL)
    bg.centred_text(CX, CY + 96, "NO PITCH", GREY)
    plane = Bitmap(180, 40)
    plane.rect(0, 17, 180, 23, WHITE)
    plane.disc(90, 20, 12, WHITE)
    plane.rect(87, 0, 93, 10, WHITE)
    ball = Bitmap(22, 22)
    ball.disc(11, 11, 11, (20, 20, 20))
    ball.disc(11, 11, 7, (60, 60, 66))
    write(out, "TurnCoordinator", {"bg.bmp": bg, "plane.bmp": plane, "ball.bmp": ball})


def heading(out):
    # The card turns under a fixed lubber line; the heading bug turns with it.
    # Only what moves is drawn each frame as a turned bitmap, so the card is a
    # ring: its opaque face stands in for the dial's under the ticks and
    # letters (the background leaves that out), and its middle is transparent
    # over the background's face. The fixed lubber line and aeroplane are two
    # small bitmaps, not one large one mostly transparent.
    card = Bitmap(232, 232)
    c = 116
    card.disc(c, c, 115, FACE)
    for d in range(0, 360, 5):
        card.ray(c, c, d, 104 if d % 10 else 94, 115, 3 if d % 10 == 0 else 2, WHITE)
    names = {0: "N", 90: "E", 180: "S", 270: "W"}
    for d in range(0, 360, 30):
        a = math.radians(d)
        text = names.get(d, str(d // 10))
        card.rotated_text(c + 78 * math.sin(a), c - 78 * math.cos(a), text,
                          YELLOW if d in names else WHITE, d)
    card.disc(c, c, 60, BLACK)
    bg = Bitmap(W, H, BEZEL)
    bg.disc(CX, CY, R + 3, GREY)
    bg.disc(CX, CY, R, FACE)
    bg.disc(CX, CY, R - 2, KEY)  # under the card, which is opaque from radius 60 to 115
    bg.disc(CX, CY, 62, FACE)
    bug = Bitmap(30, 116)
    bug.polygon([(0, 0), (30, 0), (30, 12), (19, 12), (15, 4), (11, 12), (0, 12)], ORANGE)
    lubber = Bitmap(16, 18)
    lubber.polygon([(8, 0), (16, 18), (0, 18)], ORANGE)
    # The fixed aeroplane in the middle.
    plane = Bitmap(60, 34)
    plane.rect(27, 0, 33, 34, ORANGE)
    plane.rect(0, 16, 60, 22, ORANGE)
    plane.rect(16, 28, 44, 32, ORANGE)
    write(out, "HeadingIndicator", {"bg.bmp": bg, "card.bmp": card, "bug.bmp": bug, "lubber.bmp": lubber,
                                    "plane.bmp": plane})


def vertical_speed(out):
    # 0 at 9 o'clock; climb clockwise over the top, descent below, 2,000 feet
    # a minute at 170 degrees either way.
    at = lambda fpm: fpm * 170 / 2000 - 90  # noqa: E731
    bg = dial()
    ticks(bg, range(-2000, 2001, 100), at, 106, 113, 2)
    ticks(bg, range(-2000, 2001, 500), at, 96, 113, 4)
    labels(bg, [v for v in range(-2000, 2001, 500) if v], at, 80, lambda v: str(abs(v) // 100))
    labels(bg, [0], at, 80)
    bg.centred_text(CX + 10, CY - 40, "UP", WHITE)
    bg.centred_text(CX + 10, CY + 40, "DN", WHITE)
    bg.centred_text(CX + 42, CY - 8, "FPM", GREY)
    bg.centred_text(CX + 42, CY + 10, "X100", GREY)
    pointer, _ = needle(100, 22, 6)
    write(out, "VerticalSpeed", {"bg.bmp": bg, "needle.bmp": pointer})


def tachometer(out):
    # 0 to 3,500 rpm over 270 degrees from 7:30; green 2,100 to 2,700, the red
    # line at 2,700.
    at = lambda rpm: rpm * 270 / 3500 - 135  # noqa: E731
    bg = dial()
    bg.disc(CX, CY, 113, GREEN, 100, at(2100) % 360, at(2700) % 360)
    ticks(bg, range(0, 3501, 100), at, 106, 113, 2)
    ticks(bg, range(0, 3501, 500), at, 96, 113, 4)
    bg.ray(CX, CY, at(2700), 92, 113, 5, RED)
    labels(bg, range(0, 3501, 500), at, 78, lambda v: str(v // 100))
    bg.centred_text(CX, CY - 38, "RPM", GREY)
    bg.centred_text(CX, CY + 44, "X100", GREY)
    pointer, _ = needle(100, 22, 6)
    write(out, "Tachometer", {"bg.bmp": bg, "needle.bmp": pointer})


def fuel_oil(out):
    # Four scales, one a row of 60 pixels: fuel left and right (0 to 26
    # gallons), oil temperature (50 to 250 degrees F), oil pressure (0 to 115
    # psi); a pointer slides along each over 150 pixels from x = 110.
    bg = Bitmap(W, H, BEZEL)
    rows = [("FUEL L", [(0, 3, RED), (3, 26, GREEN)], ["E", "F"]),
            ("FUEL R", [(0, 3, RED), (3, 26, GREEN)], ["E", "F"]),
            ("OIL F", [(100, 245, GREEN), (245, 250, RED)], ["50", "250"]),
            ("OIL PSI", [(0, 25, RED), (60, 90, GREEN), (100, 115, RED)], ["0", "115"])]
    ranges = [(0, 26), (0, 26), (50, 250), (0, 115)]
    for i, (name, bands, ends) in enumerate(rows):
        y = 4 + i * 60
        bg.rect(2, y, W - 2, y + 56, FACE)
        bg.text(8, y + 6, name, WHITE)
        lo, hi = ranges[i]
        x_of = lambda v: 110 + round((v - lo) * 150 / (hi - lo))  # noqa: E731
        bg.rect(110, y + 24, 260, y + 28, GREY)
        for a, b, colour in bands:
            bg.rect(x_of(a), y + 20, x_of(b), y + 28, colour)
        for v in (lo, (lo + hi) / 2, hi):
            bg.rect(x_of(v) - 1, y + 14, x_of(v) + 2, y + 28, WHITE)
        bg.text(8, y + 34, ends[0], GREY)
        bg.text(W - 8 - text_width(ends[1]), y + 34, ends[1], GREY)
    pointer = Bitmap(16, 22)
    pointer.polygon([(8, 0), (16, 14), (11, 14), (11, 22), (5, 22), (5, 14), (0, 14)], WHITE)
    write(out, "FuelOil", {"bg.bmp": bg, "pointer.bmp": pointer})


GAUGES = {"AirspeedIndicator": airspeed, "AttitudeIndicator": attitude, "Altimeter": altimeter,
          "TurnCoordinator": turn_coordinator, "HeadingIndicator": heading, "VerticalSpeed": vertical_speed,
          "Tachometer": tachometer, "FuelOil": fuel_oil}


def check(committed):
    """The bitmaps a run would change, add or remove, one a line."""
    with tempfile.TemporaryDirectory() as out:
        for draw in GAUGES.values():
            draw(out)
        differ = []
        for gauge in sorted(GAUGES):
            fresh, kept = os.path.join(out, gauge, "1024"), os.path.join(committed, gauge, "1024")
            names = set(os.listdir(fresh)) | (set(os.listdir(kept)) if os.path.isdir(kept) else set())
            for name in sorted(n for n in names if n.lower().endswith(".bmp")):
                a, b = os.path.join(fresh, name), os.path.join(kept, name)
                if not os.path.exists(a) or not os.path.exists(b) or not filecmp.cmp(a, b, shallow=False):
                    differ.append(f"{gauge}/1024/{name}")
    return differ


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "gauges")
    args = sys.argv[1:]
    if args == ["--check"]:
        differ = check(out)
        for name in differ:
            print(f"a run would change {name}")
        print("the committed bitmaps are what the script draws" if not differ else
              "run tools/sample_gauges/make_sample_gauges.py and commit the bitmaps (and the goldens)")
        sys.exit(1 if differ else 0)
    if len(args) == 2 and args[0] == "--out":
        out = args[1]
    elif args:
        sys.exit("usage: make_sample_gauges.py [--out FOLDER | --check]")
    for draw in GAUGES.values():
        draw(out)


if __name__ == "__main__":
    main()
