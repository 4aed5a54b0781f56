#!/usr/bin/env python3
"""Draws the two controller skins (control1: remote controller, control2: ROBO-Q
driver's cab with a speed lever) as 24-bit bitmaps with their control.ini.

Pure blue (0, 0, 255) is the colour key: those pixels are not part of the
window. Run: python3 make_skins.py <program folder>  (writes control1/, control2/)
"""
import math
import os
import struct
import sys

KEY = (0, 0, 255)


class Picture:
    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def fill(self, inside, c):
        for y in range(self.h):
            for x in range(self.w):
                if inside(x + 0.5, y + 0.5):
                    self.px[y][x] = c

    def crop(self, x, y, w, h):
        p = Picture(w, h, (0, 0, 0))
        for j in range(h):
            p.px[j] = list(self.px[y + j][x:x + w])
        return p

    def save(self, path):
        row = (self.w * 3 + 3) & ~3
        size = 54 + row * self.h
        with open(path, "wb") as f:
            f.write(b"BM" + struct.pack("<IHHI", size, 0, 0, 54))
            f.write(struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, row * self.h,
                                2835, 2835, 0, 0))
            for y in range(self.h - 1, -1, -1):
                data = bytearray()
                for (r, g, b) in self.px[y]:
                    data += bytes((b, g, r))
                data += b"\0" * (row - self.w * 3)
                f.write(data)


def rounded(x0, y0, x1, y1, rad):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + rad), x1 - rad)
        cy = min(max(y, y0 + rad), y1 - rad)
        return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad
    return inside


def circle(cx, cy, rad):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad


def triangle(a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])

    def inside(x, y):
        d1, d2, d3 = side((x, y), a, b), side((x, y), b, c), side((x, y), c, a)
        neg = d1 < 0 or d2 < 0 or d3 < 0
        pos = d1 > 0 or d2 > 0 or d3 > 0
        return not (neg and pos)
    return inside


def draw_button(pic, rect, base, symbol, lit):
    x, y, w, h = rect
    face = (250, 200, 40) if lit else base
    edge = (40, 40, 40)
    pic.fill(rounded(x, y, x + w, y + h, 6), edge)
    pic.fill(rounded(x + 2, y + 2, x + w - 2, y + h - 2, 5), face)
    ink = (20, 20, 20) if lit else (235, 235, 235)
    cx, cy = x + w / 2, y + h / 2
    if symbol == "up":
        pic.fill(triangle((cx, y + 7), (x + 9, y + h - 8), (x + w - 9, y + h - 8)), ink)
    elif symbol == "down":
        pic.fill(triangle((cx, y + h - 7), (x + 9, y + 8), (x + w - 9, y + 8)), ink)
    elif symbol == "left":
        pic.fill(triangle((x + 7, cy), (x + w - 9, y + 8), (x + w - 9, y + h - 8)), ink)
    elif symbol == "right":
        pic.fill(triangle((x + w - 7, cy), (x + 9, y + 8), (x + 9, y + h - 8)), ink)
    elif symbol == "turbo":
        for dx in (0, 12):
            pic.fill(triangle((x + 14 + dx, y + 6), (x + 26 + dx, cy), (x + 14 + dx, y + h - 6)), ink)
    elif symbol == "auto":
        ring = circle(cx, cy, 8)
        hole = circle(cx, cy, 5)
        pic.fill(lambda px, py: ring(px, py) and not hole(px, py), ink)
    elif symbol == "close":
        for t in range(-1, 2):
            for i in range(6, w - 6):
                pic.set(x + i, y + i + t, ink)
                pic.set(x + w - 1 - i, y + i + t, ink)


def write_skin(folder, size, body, buttons, extra):
    os.makedirs(folder, exist_ok=True)
    w, h = size
    released = Picture(w, h, KEY)
    released.fill(rounded(0, 0, w, h, 18), (35, 35, 40))
    released.fill(rounded(4, 4, w - 4, h - 4, 15), body)
    for k, (rect, base, symbol) in sorted(buttons.items()):
        draw_button(released, rect, base, symbol, False)
    extra(released)
    released.save(os.path.join(folder, "control0.bmp"))
    lines = ["[CONTROL]", "POSITION0=0,0"]
    for k in range(1, 8):
        if k in buttons:
            rect, base, symbol = buttons[k]
            x, y, bw, bh = rect
            lit = released.crop(x, y, bw, bh)
            draw_button(lit, (0, 0, bw, bh), base, symbol, True)
            lit.save(os.path.join(folder, "control%d.bmp" % k))
            lines.append("POSITION%d=%d,%d" % (k, x, y))
    return released, lines


def normal_skin(root):
    grey = (90, 90, 100)
    buttons = {
        1: ((118, 10, 24, 24), (180, 40, 40), "close"),
        2: ((55, 44, 40, 36), grey, "up"),
        3: ((55, 124, 40, 36), grey, "down"),
        4: ((12, 84, 40, 36), grey, "left"),
        5: ((98, 84, 40, 36), grey, "right"),
        6: ((16, 176, 56, 28), (60, 110, 170), "turbo"),
        7: ((78, 176, 56, 28), (60, 140, 80), "auto"),
    }
    folder = os.path.join(root, "control1")
    _, lines = write_skin(folder, (150, 222), (200, 200, 205), buttons, lambda p: None)
    write_ini(folder, lines)


LEVER = (30, 20)
LEVER_X, LEVER_Y = 60, 92  # middle position (speed 2); speed 3 is 24 above, speed 1 24 below


def knob(colour):
    pic = Picture(LEVER[0], LEVER[1], (255, 255, 255))
    pic.fill(rounded(0, 0, LEVER[0], LEVER[1], 6), (30, 30, 30))
    pic.fill(rounded(2, 2, LEVER[0] - 2, LEVER[1] - 2, 5), colour)
    return pic


def roboq_skin(root):
    grey = (90, 90, 100)
    buttons = {
        1: ((118, 10, 24, 24), (180, 40, 40), "close"),
        3: ((55, 160, 40, 30), grey, "down"),
        4: ((10, 92, 40, 30), grey, "left"),
        5: ((100, 92, 40, 30), grey, "right"),
        7: ((47, 200, 56, 26), (60, 140, 80), "auto"),
    }

    def track(p):
        p.fill(rounded(70, 62, 80, 142, 4), (30, 30, 30))

    folder = os.path.join(root, "control2")
    _, lines = write_skin(folder, (150, 236), (175, 190, 210), buttons, track)
    # The lever: picture 2 engaged, 3 its mask (black where the lever is), 6 released.
    knob((60, 200, 90)).save(os.path.join(folder, "control2.bmp"))
    mask = Picture(LEVER[0], LEVER[1], (255, 255, 255))
    mask.fill(rounded(0, 0, LEVER[0], LEVER[1], 6), (0, 0, 0))
    mask.save(os.path.join(folder, "control3.bmp"))
    released = knob((200, 200, 200))
    for y in range(LEVER[1]):
        for x in range(LEVER[0]):
            if mask.px[y][x] != (0, 0, 0):
                released.px[y][x] = (0, 0, 0)
    released.save(os.path.join(folder, "control6.bmp"))
    # Engaged lever: black outside its shape too, so OR-ing keeps the background.
    engaged = knob((60, 200, 90))
    for y in range(LEVER[1]):
        for x in range(LEVER[0]):
            if mask.px[y][x] != (0, 0, 0):
                engaged.px[y][x] = (0, 0, 0)
    engaged.save(os.path.join(folder, "control2.bmp"))
    lines = ["[CONTROL]", "POSITION0=0,0", "POSITION1=118,10",
             "POSITION2=%d,%d" % (LEVER_X, LEVER_Y), "POSITION3=55,160", "POSITION4=10,92",
             "POSITION5=100,92", "POSITION6=%d,%d" % (LEVER_X, LEVER_Y), "POSITION7=47,200"]
    write_ini(folder, lines)


def write_ini(folder, lines):
    with open(os.path.join(folder, "control.ini"), "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


if __name__ == "__main__":
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    normal_skin(root)
    roboq_skin(root)
