#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files (16 and 32 pixels,
32-bit colour with alpha). Shapes are described in a 0..1 square and
rasterised with 4x4 supersampling, so the same drawing serves both sizes.

    python3 tools/make_icons.py res/icons
"""
import math
import struct
import sys
from pathlib import Path

SAMPLES = 4

# Palette shared by all icons, so the set looks like one family.
BLUE = (0x2F, 0x6F, 0xC4)
BLUE_LIGHT = (0x7F, 0xB2, 0xF0)
GREEN = (0x2E, 0x9E, 0x4F)
RED = (0xD2, 0x3F, 0x3F)
GREY = (0x8C, 0x96, 0xA3)
GREY_LIGHT = (0xC9, 0xD1, 0xDB)
SILVER = (0xE4, 0xEA, 0xF1)
SILVER_DARK = (0xA9, 0xB6, 0xC6)
WHITE = (0xFF, 0xFF, 0xFF)
AMBER = (0xE8, 0x9B, 0x1E)
INK = (0x24, 0x33, 0x45)


# --- shapes: functions of a point (x, y) in the unit square -> inside? -----

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_in, r_out, start=None, end=None):
    """A ring, or the part of it between two angles (degrees, clockwise from east)."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not r_in * r_in <= d2 <= r_out * r_out:
            return False
        if start is None:
            return True
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (a - start) % 360 <= (end - start) % 360
    return inside


def segment(x1, y1, x2, y2, width):
    def inside(x, y):
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
        px, py = x1 + t * dx, y1 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def polygon(*points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def round_rect(x1, y1, x2, y2, r):
    def inside(x, y):
        if not (x1 <= x <= x2 and y1 <= y <= y2):
            return False
        cx = min(max(x, x1 + r), x2 - r)
        cy = min(max(y, y1 + r), y2 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# --- paints: functions of a point -> (r, g, b) --------------------------------

def flat(colour):
    return lambda x, y: colour


def vertical(top, bottom, y1=0.0, y2=1.0):
    def paint(x, y):
        t = max(0.0, min(1.0, (y - y1) / (y2 - y1)))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return paint


def disc_sheen(cx, cy):
    """Silver disc with a soft colour play, as light falls on a CD."""
    def paint(x, y):
        a = math.atan2(y - cy, x - cx)
        glow = (math.cos(2 * a) + 1) / 2
        base = SILVER_DARK if y > cy else SILVER
        tint = (0xB8, 0xD8, 0xF8) if math.sin(a) < 0 else (0xF0, 0xD8, 0xF0)
        return tuple(round(b + (t - b) * glow * 0.6) for b, t in zip(base, tint))
    return paint


# --- layers -------------------------------------------------------------------

def disc(cx=0.5, cy=0.5, r=0.46, grey=False):
    sheen = flat(GREY_LIGHT) if grey else disc_sheen(cx, cy)
    edge = GREY if grey else SILVER_DARK
    return [
        (circle(cx, cy, r), flat(edge), 1.0),
        (circle(cx, cy, r * 0.92), sheen, 1.0),
        (ring(cx, cy, r * 0.22, r * 0.36), flat(GREY if grey else SILVER_DARK), 1.0),
        (circle(cx, cy, r * 0.14), flat(WHITE), 0.0),  # the hole is see-through
    ]


def clock(cx=0.72, cy=0.72, r=0.26):
    return [
        (circle(cx, cy, r), flat(WHITE), 1.0),
        (ring(cx, cy, r * 0.72, r), flat(AMBER), 1.0),
        (segment(cx, cy, cx, cy - r * 0.55, r * 0.22), flat(INK), 1.0),
        (segment(cx, cy, cx + r * 0.42, cy, r * 0.22), flat(INK), 1.0),
    ]


def arrow_down(cx, top, bottom, width, colour):
    head = bottom - width * 1.1
    return [
        (round_rect(cx - width * 0.28, top, cx + width * 0.28, head + 0.02, 0.03), flat(colour), 1.0),
        (polygon((cx - width * 0.62, head), (cx + width * 0.62, head), (cx, bottom)), flat(colour), 1.0),
    ]


def refresh_arrow(colour):
    cx = cy = 0.5
    mid = 0.31
    end = math.radians(110)
    ex, ey = cx + mid * math.cos(end), cy + mid * math.sin(end)
    tx, ty = -math.sin(end), math.cos(end)   # direction of travel at the end
    nx, ny = math.cos(end), math.sin(end)    # outwards
    head = 0.19
    return [
        (ring(cx, cy, 0.24, 0.38, 200, 110), flat(colour), 1.0),
        (polygon((ex + nx * head, ey + ny * head), (ex - nx * head, ey - ny * head),
                 (ex + tx * head * 1.1, ey + ty * head * 1.1)), flat(colour), 1.0),
    ]


def magnifier():
    return [
        (segment(0.70, 0.70, 0.92, 0.92, 0.13), flat(INK), 1.0),
        (circle(0.62, 0.62, 0.22), flat(INK), 1.0),
        (circle(0.62, 0.62, 0.16), vertical(WHITE, BLUE_LIGHT, 0.46, 0.78), 1.0),
    ]


def info_badge():
    return [
        (circle(0.5, 0.5, 0.46), vertical(BLUE_LIGHT, BLUE), 1.0),
        (circle(0.5, 0.27, 0.075), flat(WHITE), 1.0),
        (round_rect(0.43, 0.40, 0.57, 0.78, 0.04), flat(WHITE), 1.0),
    ]


def globe():
    return [
        (circle(0.5, 0.5, 0.45), vertical(BLUE_LIGHT, BLUE), 1.0),
        (polygon((0.30, 0.22), (0.52, 0.18), (0.56, 0.40), (0.40, 0.52), (0.26, 0.40)), flat(GREEN), 1.0),
        (polygon((0.58, 0.56), (0.78, 0.52), (0.74, 0.80), (0.60, 0.82)), flat(GREEN), 1.0),
        (ring(0.5, 0.5, 0.40, 0.45), flat(INK), 0.55),
    ]


def check_mark():
    return [
        (segment(0.16, 0.54, 0.40, 0.78, 0.16), flat(GREEN), 1.0),
        (segment(0.40, 0.78, 0.86, 0.24, 0.16), flat(GREEN), 1.0),
    ]


def cross():
    return [
        (segment(0.22, 0.22, 0.78, 0.78, 0.17), flat(RED), 1.0),
        (segment(0.78, 0.22, 0.22, 0.78, 0.17), flat(RED), 1.0),
    ]


def exit_door():
    return [
        (round_rect(0.14, 0.10, 0.56, 0.90, 0.05), vertical(GREY_LIGHT, GREY), 1.0),
        (round_rect(0.20, 0.16, 0.50, 0.84, 0.03), flat(WHITE), 1.0),
        (segment(0.36, 0.50, 0.80, 0.50, 0.12), flat(RED), 1.0),
        (polygon((0.70, 0.32), (0.94, 0.50), (0.70, 0.68)), flat(RED), 1.0),
    ]


ICONS = {
    101: lambda: disc() + [(circle(0.5, 0.5, 0.2), flat(BLUE), 0.35)] + arrow_down(0.78, 0.50, 0.96, 0.18, BLUE),
    202: exit_door,
    203: lambda: disc(0.44, 0.44, 0.40) + arrow_down(0.76, 0.44, 0.97, 0.20, GREEN),
    204: info_badge,
    205: globe,
    209: lambda: refresh_arrow(BLUE),
    211: check_mark,
    212: cross,
    215: lambda: refresh_arrow(GREY) + clock(),
    216: lambda: disc(0.44, 0.44, 0.40, grey=True) + clock(),
    217: lambda: disc(0.40, 0.40, 0.36) + magnifier(),
    218: lambda: disc(0.40, 0.40, 0.36, grey=True) + clock(),
}


def render(layers, size):
    """Returns rows of (r, g, b, a) tuples, top row first."""
    rows = []
    step = 1.0 / (size * SAMPLES)
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px * SAMPLES + sx + 0.5) * step
                    y = (py * SAMPLES + sy + 0.5) * step
                    col = [0.0, 0.0, 0.0, 0.0]
                    for shape, paint, alpha in layers:
                        if not shape(x, y):
                            continue
                        if alpha == 0.0:  # a cut-out: clears what lies below
                            col = [0.0, 0.0, 0.0, 0.0]
                            continue
                        r, g, b = paint(x, y)
                        col = [c * (1 - alpha) + v * alpha for c, v in zip(col, (r, g, b, 255))]
                    for i in range(4):
                        acc[i] += col[i]
            n = SAMPLES * SAMPLES
            a = acc[3] / n
            if a <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(min(255, round(acc[i] / n * 255 / a)) for i in range(3)) + (round(a),))
        rows.append(row)
    return rows


def bmp_image(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b"\x00" * (mask_stride * size)  # the alpha channel carries the shape
    return header + pixels + mask


def write_ico(path, images):
    count = len(images)
    out = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    blobs = []
    for size, blob in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    path.write_bytes(out + b"".join(blobs))


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else "res/icons")
    folder.mkdir(parents=True, exist_ok=True)
    for number, layers in ICONS.items():
        images = [(size, bmp_image(render(layers(), size))) for size in (16, 32)]
        write_ico(folder / f"icon{number}.ico", images)
        print(f"icon{number}.ico")


if __name__ == "__main__":
    main()
