#!/usr/bin/env python3
"""Writes the sample pictures and car shapes that ship in the program folder.

    sample/layout/course.bmp  a 640 x 480 photograph-like view of a table-top
                              course from above: a wooden table, a grey oval
                              track with white edge lines, a chequered start
                              line, cones and soft lighting
    sample/car/car.bmp        a 64 x 36 photograph-like model car seen from
                              above, facing right (+x), as the car figure wants
    sample/car/roboq.bmp      a 36 x 32 small robot car, facing right
    sample/car/car.wmf        the car's outline and detail lines as a placeable
    sample/car/roboq.wmf      metafile (96 units per inch, so one unit is one
                              screen pixel): the first polyline is the outline

Bitmaps are 24-bit, uncompressed, rows bottom-up and padded to 4 bytes.
Metafiles hold a placeable header, the standard header, a window origin and
extent, one polygon (the outline) and polylines (the details), and the end
record. Only the Python standard library is used; the pseudo-random texture
has a fixed seed, so running the script again gives the same bytes.

Usage: make_sample_pictures.py [DATA_FOLDER]  (default: data/ of this repository)
"""

import math
import os
import random
import struct
import sys


# ---------------------------------------------------------------- bitmaps --

class Picture:
    """RGB picture, y downwards; pixels as [r, g, b] floats."""

    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.px = [[list(colour) for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.width and 0 <= y < self.height and alpha > 0:
            p = self.px[y][x]
            a = min(1.0, alpha)
            for c in range(3):
                p[c] = p[c] * (1 - a) + colour[c] * a

    def shade(self, x, y, factor):
        if 0 <= x < self.width and 0 <= y < self.height:
            p = self.px[y][x]
            for c in range(3):
                p[c] = p[c] * factor

    def bmp_bytes(self):
        stride = (self.width * 3 + 3) & ~3
        rows = []
        for y in range(self.height - 1, -1, -1):  # bottom-up
            row = bytearray()
            for x in range(self.width):
                r, g, b = (max(0, min(255, int(round(v)))) for v in self.px[y][x])
                row += bytes((b, g, r))
            row += bytes(stride - len(row))
            rows.append(bytes(row))
        pixels = b"".join(rows)
        header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(pixels),
                           0, 0, 0, 0)
        return header + info + pixels


def coverage(inside, x, y, samples=3):
    """Fraction of pixel (x, y) that `inside(fx, fy)` covers (supersampled)."""
    hits = 0
    for i in range(samples):
        for j in range(samples):
            if inside(x + (i + 0.5) / samples, y + (j + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def fill(pic, inside, colour, box=None):
    x0, y0, x1, y1 = box or (0, 0, pic.width, pic.height)
    for y in range(max(0, y0), min(pic.height, y1)):
        for x in range(max(0, x0), min(pic.width, x1)):
            a = coverage(inside, x, y)
            if a:
                pic.blend(x, y, colour, a)


def in_polygon(points):
    def inside(fx, fy):
        result = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > fy) != (yb > fy) and fx < xa + (fy - ya) * (xb - xa) / (yb - ya):
                result = not result
        return result
    return inside


def in_rounded_rect(x0, y0, x1, y1, r):
    def inside(fx, fy):
        if not (x0 <= fx <= x1 and y0 <= fy <= y1):
            return False
        cx = min(max(fx, x0 + r), x1 - r)
        cy = min(max(fy, y0 + r), y1 - r)
        return (fx - cx) ** 2 + (fy - cy) ** 2 <= r * r
    return inside


def in_ellipse(cx, cy, rx, ry):
    return lambda fx, fy: ((fx - cx) / rx) ** 2 + ((fy - cy) / ry) ** 2 <= 1.0


# ---------------------------------------------------------------- layout --

def make_course(rng):
    w, h = 640, 480
    pic = Picture(w, h)
    # A wooden table: warm brown planks running across, with grain and joints.
    for y in range(h):
        plank = y // 60
        base = (150 + 8 * (plank % 3), 105 + 5 * (plank % 2), 62)
        for x in range(w):
            grain = 10 * math.sin(x / 23.0 + plank * 1.7 + 3 * math.sin(y / 17.0 + x / 90.0))
            noise = rng.uniform(-6, 6)
            v = grain + noise
            pic.px[y][x] = [base[0] + v, base[1] + v * 0.7, base[2] + v * 0.4]
        if y % 60 == 0:
            for x in range(w):
                pic.shade(x, y, 0.6)

    # The track: a grey oval ring (stadium shape) with white edge lines.
    cx, cy = 320, 240

    def stadium(half_len, radius):
        def inside(fx, fy):
            dx = max(abs(fx - cx) - half_len, 0.0)
            return dx * dx + (fy - cy) ** 2 <= radius * radius
        return inside

    outer, inner = stadium(120, 186), stadium(120, 100)
    outer_line, inner_line = stadium(120, 179), stadium(120, 107)
    for y in range(h):
        for x in range(w):
            a_out = coverage(outer, x, y, 2)
            if not a_out:
                continue
            a_in = coverage(inner, x, y, 2)
            track = a_out - a_in
            if track <= 0:
                continue
            v = 96 + rng.uniform(-7, 7)
            pic.blend(x, y, (v, v, v + 4), track)
            edge = coverage(outer, x, y, 2) - coverage(outer_line, x, y, 2)
            edge += coverage(inner_line, x, y, 2) - a_in
            if edge > 0:
                pic.blend(x, y, (236, 236, 230), edge)

    # A chequered start line across the bottom straight.
    for y in range(cy + 107, cy + 179):
        for x in range(cx - 6, cx + 6):
            if ((x - cx + 6) // 4 + (y - cy) // 4) % 2 == 0:
                pic.blend(x, y, (20, 20, 20), 0.9)
            else:
                pic.blend(x, y, (245, 245, 245), 0.9)

    # A green infield with a softly shaded grass texture.
    infield = stadium(120, 100)
    for y in range(cy - 100, cy + 101):
        for x in range(cx - 240, cx + 241):
            a = coverage(infield, x, y, 2)
            if a:
                g = 120 + rng.uniform(-12, 12)
                pic.blend(x, y, (60, g, 55), a * 0.9)

    # Orange cones with a white band and a shadow, at the corners of the table.
    for (kx, ky) in ((40, 40), (600, 40), (40, 440), (600, 440), (320, 240)):
        fill(pic, in_ellipse(kx + 4, ky + 4, 13, 13), (40, 30, 20),
             (kx - 12, ky - 12, kx + 20, ky + 20))
        fill(pic, in_ellipse(kx, ky, 12, 12), (240, 110, 20), (kx - 14, ky - 14, kx + 14, ky + 14))
        fill(pic, lambda fx, fy, kx=kx, ky=ky: 5 <= math.hypot(fx - kx, fy - ky) <= 7,
             (250, 250, 250), (kx - 10, ky - 10, kx + 10, ky + 10))
        fill(pic, in_ellipse(kx, ky, 3, 3), (250, 150, 60), (kx - 4, ky - 4, kx + 4, ky + 4))

    # Light from the top-left and a darker rim, as an overhead lamp gives.
    for y in range(h):
        for x in range(w):
            d = math.hypot((x - 250) / 480.0, (y - 190) / 380.0)
            pic.shade(x, y, 1.12 - 0.38 * d * d)
    return pic


# ---------------------------------------------------------------- cars --

def make_car(rng):
    w, h = 64, 36
    pic = Picture(w, h, (235, 235, 235))  # a light table under the car
    fill(pic, in_rounded_rect(4, 5, 62, 33, 6), (170, 170, 165))  # soft shadow
    # Wheels.
    for (wx, wy) in ((12, 3), (46, 3), (12, 27), (46, 27)):
        fill(pic, in_rounded_rect(wx, wy, wx + 10, wy + 6, 2), (25, 25, 28))
    # Body: red, narrowing to the nose at the right.
    body = in_polygon([(3, 8), (8, 5), (50, 5), (58, 8), (61, 13), (61, 23), (58, 28), (50, 31),
                       (8, 31), (3, 28)])
    fill(pic, body, (200, 30, 35))
    # Windscreen (front, right), rear window and roof.
    fill(pic, in_polygon([(40, 10), (46, 11), (46, 25), (40, 26)]), (40, 55, 80))
    fill(pic, in_polygon([(14, 11), (19, 10), (19, 26), (14, 25)]), (40, 55, 80))
    fill(pic, in_rounded_rect(20, 10, 39, 26, 3), (175, 25, 30))
    # Headlights at the nose, tail lights at the back, a white racing stripe.
    fill(pic, in_ellipse(59, 10.5, 2, 2), (255, 240, 150))
    fill(pic, in_ellipse(59, 25.5, 2, 2), (255, 240, 150))
    fill(pic, in_rounded_rect(3, 10, 5, 13, 1), (120, 0, 0))
    fill(pic, in_rounded_rect(3, 23, 5, 26, 1), (120, 0, 0))
    fill(pic, in_polygon([(5, 17), (60, 17), (60, 19), (5, 19)]), (245, 245, 245))
    for y in range(h):
        for x in range(w):
            v = rng.uniform(-4, 4)
            p = pic.px[y][x]
            for c in range(3):
                p[c] += v
    return pic


def make_roboq(rng):
    w, h = 36, 32
    pic = Picture(w, h, (235, 235, 235))
    fill(pic, in_rounded_rect(6, 2, 26, 7, 2), (25, 25, 28))    # left wheel
    fill(pic, in_rounded_rect(6, 25, 26, 30, 2), (25, 25, 28))  # right wheel
    fill(pic, in_rounded_rect(3, 6, 33, 26, 7), (30, 110, 200))  # blue shell
    fill(pic, in_ellipse(22, 16, 6, 6), (230, 230, 240))        # dome
    fill(pic, in_ellipse(31, 12, 1.5, 1.5), (255, 60, 40))      # infrared eyes at the front
    fill(pic, in_ellipse(31, 20, 1.5, 1.5), (255, 60, 40))
    for y in range(h):
        for x in range(w):
            v = rng.uniform(-3, 3)
            for c in range(3):
                pic.px[y][x][c] += v
    return pic


# ---------------------------------------------------------------- metafiles --

def record(function, words):
    return struct.pack("<IH", 3 + len(words), function) + struct.pack("<%dh" % len(words), *words)


def points_record(function, points):
    words = [len(points)]
    for x, y in points:
        words += [x, y]
    return record(function, words)


def metafile(outline, details):
    xs = [x for x, _ in outline]
    ys = [y for _, y in outline]
    left, top, right, bottom = min(xs), min(ys), max(xs) + 1, max(ys) + 1
    body = record(0x020B, [top, left])                     # window origin (y, x)
    body += record(0x020C, [bottom - top, right - left])   # window extent
    body += points_record(0x0324, outline)                 # the outline, a polygon
    for line in details:
        body += points_record(0x0325, line)                # detail polylines
    body += struct.pack("<IH", 3, 0)                       # end of file
    words = (18 + len(body)) // 2
    largest = max(struct.unpack_from("<I", body, i)[0] for i in record_offsets(body))
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, words, 0, largest, 0)
    placeable = struct.pack("<IHhhhhH", 0x9AC6CDD7, 0, left, top, right, bottom, 96)
    placeable += struct.pack("<I", 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    return placeable + struct.pack("<H", checksum) + header + body


def record_offsets(body):
    offset = 0
    while offset < len(body):
        yield offset
        offset += 2 * struct.unpack_from("<I", body, offset)[0]


CAR_OUTLINE = [(0, 3), (4, 0), (31, 0), (36, 2), (39, 6), (39, 13), (36, 17), (31, 19), (4, 19),
               (0, 16)]
CAR_DETAILS = [
    [(24, 3), (28, 4), (28, 15), (24, 16)],   # windscreen, at the front (right)
    [(9, 4), (12, 3), (12, 16), (9, 15)],     # rear window
    [(13, 3), (23, 3), (23, 16), (13, 16)],   # roof
    [(37, 4), (38, 6)],                       # headlights
    [(37, 15), (38, 13)],
]

ROBOQ_OUTLINE = [(4, 0), (17, 0), (21, 3), (23, 8), (21, 13), (17, 16), (4, 16), (0, 12), (0, 4)]
ROBOQ_DETAILS = [
    [(3, -2), (15, -2)],                      # left wheel
    [(3, 18), (15, 18)],                      # right wheel
    [(11, 4), (15, 5), (17, 8), (15, 11), (11, 12), (8, 8), (11, 4)],  # dome
    [(22, 6), (22, 10)],                      # front bumper with the infrared eyes
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "data")
    layout_dir = os.path.join(data, "sample", "layout")
    car_dir = os.path.join(data, "sample", "car")
    os.makedirs(layout_dir, exist_ok=True)
    os.makedirs(car_dir, exist_ok=True)
    rng = random.Random(20240611)
    outputs = {
        os.path.join(layout_dir, "course.bmp"): make_course(rng).bmp_bytes(),
        os.path.join(car_dir, "car.bmp"): make_car(rng).bmp_bytes(),
        os.path.join(car_dir, "roboq.bmp"): make_roboq(rng).bmp_bytes(),
        os.path.join(car_dir, "car.wmf"): metafile(CAR_OUTLINE, CAR_DETAILS),
        os.path.join(car_dir, "roboq.wmf"): metafile(ROBOQ_OUTLINE, ROBOQ_DETAILS),
    }
    for path, content in outputs.items():
        with open(path, "wb") as f:
            f.write(content)
        print("%s (%d bytes)" % (os.path.relpath(path, data), len(content)))


if __name__ == "__main__":
    main()
