#!/usr/bin/env python3
# Draws each sample gauge with gaugeview and puts the eight frames (the gauge's
# 280 x 240 pixels each) on one picture, docs/images/sample-gauges.png.
#
#   make_contact_sheet.py GAUGEVIEW [OUT.png]
import os
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
# Gauge folder and the simulator's values: a climbing right turn.
STATES = [
    ("AttitudeIndicator", ["A:Attitude indicator pitch degrees,radians=-0.1745",
                           "A:Attitude indicator bank degrees,radians=-0.2618"]),
    ("AirspeedIndicator", ["A:Airspeed indicated,knots=105", "A:Flaps handle index,number=1",
                           "A:Gear handle position,bool=1"]),
    ("Altimeter", ["A:Indicated altitude,feet=4520", "A:Kohlsman setting hg,inHg=29.92"]),
    ("VerticalSpeed", ["A:Vertical speed,feet per minute=700"]),
    ("TurnCoordinator", ["A:Turn indicator rate,radians per second=0.0524", "A:Turn coordinator ball,position 128=0"]),
    ("HeadingIndicator", ["A:Heading indicator,degrees=75", "A:Autopilot heading lock dir,degrees=90"]),
    ("Tachometer", ["A:General eng rpm:1,rpm=2450"]),
    ("FuelOil", ["A:Fuel left quantity,gallons=19", "A:Fuel right quantity,gallons=17",
                 "A:General eng oil temperature:1,rankine=654.67", "A:General eng oil pressure:1,psf=10800"]),
]


def read_png(path):
    """The RGB rows of an 8-bit RGB PNG without filters, as gaugeview writes it."""
    data = open(path, "rb").read()
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width = struct.unpack(">I", body[:4])[0]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 3 * width
    return [raw[y * stride + 1:(y + 1) * stride] for y in range(len(raw) // stride)]


def write_png(path, width, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(rows), 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: make_contact_sheet.py GAUGEVIEW [OUT.png]")
    out = sys.argv[2] if len(sys.argv) == 3 else os.path.join(ROOT, "docs", "images", "sample-gauges.png")
    frames = []
    with tempfile.TemporaryDirectory() as tmp:
        for gauge, values in STATES:
            png = os.path.join(tmp, gauge + ".png")
            args = [sys.argv[1], os.path.join(ROOT, "examples", "gauges", gauge, "gauge.xml"), "-o", png]
            for v in values:
                args[1:1] = ["--set", v]
            subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
            frames.append([row[40 * 3:] for row in read_png(png)])
    gap = b"\x10\x10\x10" * 4
    rows = []
    for n, line in enumerate((frames[:4], frames[4:])):
        if n:
            rows += [gap * (len(rows[0]) // len(gap))] * 4
        for y in range(240):
            rows.append(gap.join(f[y] for f in line))
    write_png(out, len(rows[0]) // 3, rows)
    print("wrote", out)


if __name__ == "__main__":
    main()
