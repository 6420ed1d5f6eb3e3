#!/usr/bin/env python3
"""Draws the program's small bitmaps (tool bar, menu, window and message box pictures) and
writes them as 24-bit BMP files plus the resource script that links them in.

Every picture is drawn on the key colour (magenta); its bottom-right pixel stays that colour,
so the image lists mask by it. Shapes are given in fractions of the picture's size, so one
drawing serves 16, 24 and 32 pixel versions.

Run from the source tree's root:  python3 tools/make_bitmaps.py
"""
import math
import os
import struct

KEY = (255, 0, 255)
OUT_DIR = os.path.join("src", "foundation", "bitmaps")
RC_FILE = os.path.join("src", "foundation", "Bitmaps.rc")

YELLOW = (240, 200, 60)
DARK_YELLOW = (170, 130, 20)
BLUE = (40, 90, 200)
LIGHT_BLUE = (120, 170, 240)
GREEN = (30, 150, 60)
RED = (210, 40, 40)
GREY = (128, 128, 128)
LIGHT_GREY = (200, 200, 200)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
BROWN = (140, 90, 40)


class Canvas:
    def __init__(self, size):
        self.n = size
        self.px = [[KEY] * size for _ in range(size)]

    def _c(self, f):
        return int(round(f * (self.n - 1)))

    def dot(self, x, y, color):
        if 0 <= x < self.n and 0 <= y < self.n:
            self.px[y][x] = color

    def rect(self, x0, y0, x1, y1, fill=None, edge=None):
        a, b, c, d = self._c(x0), self._c(y0), self._c(x1), self._c(y1)
        for y in range(b, d + 1):
            for x in range(a, c + 1):
                on_edge = x in (a, c) or y in (b, d)
                if edge is not None and on_edge:
                    self.dot(x, y, edge)
                elif fill is not None:
                    self.dot(x, y, fill)

    def line(self, x0, y0, x1, y1, color, width=1):
        a, b, c, d = self._c(x0), self._c(y0), self._c(x1), self._c(y1)
        steps = max(abs(c - a), abs(d - b), 1)
        for i in range(steps + 1):
            x = a + (c - a) * i / steps
            y = b + (d - b) * i / steps
            for ox in range(width):
                for oy in range(width):
                    self.dot(int(round(x)) + ox, int(round(y)) + oy, color)

    def poly(self, points, fill, edge=None):
        pts = [(f[0] * (self.n - 1), f[1] * (self.n - 1)) for f in points]
        for y in range(self.n):
            xs = []
            for i in range(len(pts)):
                (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % len(pts)]
                if (y0 <= y < y1) or (y1 <= y < y0):
                    xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(int(math.ceil(xs[i])), int(math.floor(xs[i + 1])) + 1):
                    self.dot(x, y, fill)
        if edge is not None:
            for i in range(len(points)):
                (x0, y0), (x1, y1) = points[i], points[(i + 1) % len(points)]
                self.line(x0, y0, x1, y1, edge)

    def circle(self, cx, cy, r, fill=None, edge=None):
        c = (cx * (self.n - 1), cy * (self.n - 1))
        rr = r * (self.n - 1)
        for y in range(self.n):
            for x in range(self.n):
                d = math.hypot(x - c[0], y - c[1])
                if edge is not None and rr - 1.0 < d <= rr:
                    self.dot(x, y, edge)
                elif fill is not None and d <= rr - (1.0 if edge is not None else 0):
                    self.dot(x, y, fill)

    def bmp(self):
        row = self.n * 3
        pad = (4 - row % 4) % 4
        data = b""
        for y in range(self.n - 1, -1, -1):  # bottom-up rows
            for (r, g, b) in self.px[y]:
                data += bytes((b, g, r))
            data += b"\0" * pad
        header = struct.pack("<IiiHHIIiiII", 40, self.n, self.n, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
        return file_header + header + data


# ---- drawings ----

def folder(c, fill=YELLOW):
    c.poly([(0.05, 0.25), (0.4, 0.25), (0.5, 0.35), (0.95, 0.35), (0.95, 0.88), (0.05, 0.88)], fill, DARK_YELLOW)


def arrow(c, direction, color, box=(0.1, 0.1, 0.9, 0.9)):
    x0, y0, x1, y1 = box
    mx, my = (x0 + x1) / 2, (y0 + y1) / 2
    w, h = x1 - x0, y1 - y0
    shapes = {
        "left": [(x0, my), (mx, y0), (mx, my - h / 6), (x1, my - h / 6), (x1, my + h / 6), (mx, my + h / 6), (mx, y1)],
        "right": [(x1, my), (mx, y0), (mx, my - h / 6), (x0, my - h / 6), (x0, my + h / 6), (mx, my + h / 6), (mx, y1)],
        "up": [(mx, y0), (x1, my), (mx + w / 6, my), (mx + w / 6, y1), (mx - w / 6, y1), (mx - w / 6, my), (x0, my)],
        "down": [(mx, y1), (x1, my), (mx + w / 6, my), (mx + w / 6, y0), (mx - w / 6, y0), (mx - w / 6, my), (x0, my)],
    }
    c.poly(shapes[direction], color, BLACK)


def page(c, x0, y0, x1, y1):
    c.rect(x0, y0, x1, y1, WHITE, GREY)
    for i in range(1, 4):
        y = y0 + (y1 - y0) * i / 4.5
        c.line(x0 + 0.08, y, x1 - 0.08, y, LIGHT_BLUE)


def drive(c):
    c.rect(0.05, 0.35, 0.95, 0.75, LIGHT_GREY, BLACK)
    c.rect(0.12, 0.52, 0.3, 0.6, GREEN)
    c.line(0.45, 0.56, 0.88, 0.56, GREY)


def tree(c):
    c.rect(0.05, 0.05, 0.35, 0.3, YELLOW, DARK_YELLOW)
    c.line(0.2, 0.3, 0.2, 0.85, BLACK)
    for y in (0.5, 0.85):
        c.line(0.2, y, 0.5, y, BLACK)
        c.rect(0.5, y - 0.12, 0.9, y + 0.1, YELLOW, DARK_YELLOW)


def star(c, color=YELLOW):
    pts = []
    for i in range(10):
        a = -math.pi / 2 + i * math.pi / 5
        r = 0.46 if i % 2 == 0 else 0.2
        pts.append((0.5 + r * math.cos(a), 0.52 + r * math.sin(a)))
    c.poly(pts, color, DARK_YELLOW)


def cross(c, color=RED, box=(0.15, 0.15, 0.85, 0.85), width=None):
    w = width or max(1, c.n // 8)
    x0, y0, x1, y1 = box
    c.line(x0, y0, x1, y1, color, w)
    c.line(x0, y1, x1, y0, color, w)


def clock(c):
    c.circle(0.5, 0.5, 0.45, WHITE, BLACK)
    c.line(0.5, 0.5, 0.5, 0.2, BLACK)
    c.line(0.5, 0.5, 0.72, 0.6, RED)


def pencil(c):
    c.poly([(0.15, 0.85), (0.2, 0.65), (0.7, 0.15), (0.85, 0.3), (0.35, 0.8)], YELLOW, BLACK)
    c.poly([(0.15, 0.85), (0.2, 0.65), (0.35, 0.8)], BROWN)


def scissors(c):
    c.circle(0.28, 0.75, 0.16, None, BLACK)
    c.circle(0.72, 0.75, 0.16, None, BLACK)
    c.line(0.35, 0.62, 0.75, 0.08, GREY, max(1, c.n // 12))
    c.line(0.65, 0.62, 0.25, 0.08, GREY, max(1, c.n // 12))


def clipboard(c):
    c.rect(0.12, 0.12, 0.82, 0.92, BROWN, BLACK)
    c.rect(0.35, 0.05, 0.6, 0.2, LIGHT_GREY, BLACK)
    page(c, 0.25, 0.3, 0.7, 0.85)


def sliders(c):
    for x, knob in ((0.25, 0.3), (0.5, 0.65), (0.75, 0.45)):
        c.line(x, 0.1, x, 0.9, GREY)
        c.rect(x - 0.1, knob - 0.07, x + 0.1, knob + 0.07, BLUE, BLACK)


def refresh(c):
    c.circle(0.5, 0.5, 0.4, None, GREEN)
    c.circle(0.5, 0.5, 0.3, None, GREEN)
    c.poly([(0.72, 0.05), (0.95, 0.3), (0.62, 0.32)], GREEN)


def bars(c):
    for x, top, color in ((0.1, 0.55, BLUE), (0.38, 0.3, GREEN), (0.66, 0.12, RED)):
        c.rect(x, top, x + 0.24, 0.9, color, BLACK)


def enter(c):
    c.line(0.8, 0.15, 0.8, 0.6, BLUE, max(1, c.n // 8))
    c.line(0.3, 0.6, 0.85, 0.6, BLUE, max(1, c.n // 8))
    c.poly([(0.1, 0.6), (0.35, 0.38), (0.35, 0.82)], BLUE)


def rename(c):
    c.rect(0.05, 0.3, 0.95, 0.72, WHITE, BLACK)
    c.rect(0.15, 0.42, 0.55, 0.6, BLUE)
    c.line(0.68, 0.18, 0.68, 0.85, BLACK)
    c.line(0.6, 0.18, 0.76, 0.18, BLACK)
    c.line(0.6, 0.85, 0.76, 0.85, BLACK)


def trash(c):
    c.rect(0.15, 0.12, 0.85, 0.2, GREY, BLACK)
    c.rect(0.4, 0.05, 0.6, 0.12, GREY, BLACK)
    c.poly([(0.2, 0.22), (0.8, 0.22), (0.72, 0.92), (0.28, 0.92)], LIGHT_GREY, BLACK)
    for x in (0.38, 0.5, 0.62):
        c.line(x, 0.3, x, 0.85, GREY)


def archive_box(c):
    c.rect(0.1, 0.3, 0.9, 0.92, BROWN, BLACK)
    c.rect(0.1, 0.3, 0.9, 0.42, DARK_YELLOW, BLACK)
    c.line(0.5, 0.42, 0.5, 0.92, YELLOW)


def windows(c, parts):
    for x0, y0, x1, y1 in parts:
        c.rect(x0, y0, x1, y1, WHITE, BLACK)
        c.rect(x0, y0, x1, y0 + 0.14, BLUE, BLACK)


def help_mark(c):
    c.circle(0.5, 0.5, 0.46, BLUE, BLACK)
    w = max(1, c.n // 8)
    c.line(0.36, 0.32, 0.5, 0.22, WHITE, w)
    c.line(0.5, 0.22, 0.64, 0.34, WHITE, w)
    c.line(0.64, 0.34, 0.5, 0.5, WHITE, w)
    c.line(0.5, 0.5, 0.5, 0.6, WHITE, w)
    c.rect(0.44, 0.72, 0.56, 0.8, WHITE)


def door(c):
    c.rect(0.1, 0.05, 0.55, 0.95, BROWN, BLACK)
    c.rect(0.42, 0.48, 0.48, 0.56, YELLOW)
    arrow(c, "right", RED, (0.45, 0.3, 0.98, 0.75))


DRAWINGS = {
    "back": lambda c: arrow(c, "left", GREEN),
    "forward": lambda c: arrow(c, "right", GREEN),
    "updir": lambda c: (folder(c), arrow(c, "up", GREEN, (0.3, 0.3, 0.7, 0.85))),
    "root": lambda c: (drive(c), c.line(0.55, 0.05, 0.85, 0.3, BLACK, max(1, c.n // 10))),
    "chdrv": drive,
    "time": clock,
    "mcd": tree,
    "qcd": star,
    "edit": pencil,
    "pcopy": lambda c: (page(c, 0.05, 0.05, 0.6, 0.65), page(c, 0.35, 0.35, 0.92, 0.95)),
    "pcut": scissors,
    "paste": clipboard,
    "ctrl": sliders,
    "fresh": refresh,
    "reload": lambda c: (tree(c), arrow(c, "down", BLUE, (0.55, 0.0, 0.98, 0.4))),
    "copy": lambda c: (folder(c), folder_copy_mark(c)),
    "move": lambda c: (folder(c), arrow(c, "right", BLUE, (0.25, 0.4, 0.8, 0.85))),
    "delete": lambda c: (folder(c), cross(c, RED, (0.3, 0.4, 0.8, 0.88))),
    "rename": rename,
    "newfold": lambda c: (folder(c), c.line(0.7, 0.45, 0.7, 0.8, GREEN, max(1, c.n // 8)),
                          c.line(0.52, 0.62, 0.88, 0.62, GREEN, max(1, c.n // 8))),
    "size": bars,
    "enter": enter,
    "moveup": lambda c: c.poly([(0.5, 0.2), (0.85, 0.75), (0.15, 0.75)], BLUE, BLACK),
    "movedown": lambda c: c.poly([(0.5, 0.8), (0.85, 0.25), (0.15, 0.25)], BLUE, BLACK),
    "check": lambda c: (c.line(0.15, 0.5, 0.4, 0.8, GREEN, max(1, c.n // 8)),
                        c.line(0.4, 0.8, 0.85, 0.2, GREEN, max(1, c.n // 8))),
    "pif": lambda c: (c.rect(0.05, 0.15, 0.95, 0.85, BLACK, GREY), c.line(0.15, 0.35, 0.35, 0.5, WHITE),
                      c.line(0.35, 0.5, 0.15, 0.65, WHITE), c.line(0.45, 0.7, 0.7, 0.7, WHITE)),
    "scr": lambda c: (c.rect(0.05, 0.1, 0.95, 0.75, BLUE, BLACK), c.circle(0.5, 0.42, 0.18, YELLOW),
                      c.rect(0.35, 0.78, 0.65, 0.9, GREY, BLACK)),
    "remove": lambda c: (trash(c), cross(c, RED, (0.45, 0.45, 0.95, 0.95))),
    "arc": lambda c: (archive_box(c), arrow(c, "down", GREEN, (0.25, 0.0, 0.75, 0.45))),
    "unarc": lambda c: (archive_box(c), arrow(c, "up", BLUE, (0.25, 0.0, 0.75, 0.45))),
    "single": lambda c: windows(c, [(0.08, 0.1, 0.92, 0.9)]),
    "vsplit": lambda c: windows(c, [(0.04, 0.1, 0.48, 0.9), (0.52, 0.1, 0.96, 0.9)]),
    "hsplit": lambda c: windows(c, [(0.08, 0.04, 0.92, 0.47), (0.08, 0.53, 0.92, 0.96)]),
    "props": lambda c: (page(c, 0.12, 0.05, 0.78, 0.95), c.circle(0.72, 0.72, 0.24, BLUE, BLACK),
                        c.line(0.72, 0.62, 0.72, 0.84, WHITE, max(1, c.n // 10))),
    "help": help_mark,
    "exit": door,
}


def folder_copy_mark(c):
    page(c, 0.45, 0.45, 0.92, 0.95)


# Resource name, drawing, size in pixels.
BITMAPS = [
    ("MAIN_BACK16", "back", 16), ("MAIN_FORWARD16", "forward", 16), ("MAIN_UPDIR16", "updir", 16),
    ("MAIN_ROOT16", "root", 16), ("MAIN_CHDRV16", "chdrv", 16), ("MAIN_TIME16", "time", 16),
    ("MAIN_MCD16", "mcd", 16), ("MAIN_QCD16", "qcd", 16), ("MAIN_EDIT16", "edit", 16),
    ("MAIN_PCOPY16", "pcopy", 16), ("MAIN_PCUT16", "pcut", 16), ("MAIN_PASTE16", "paste", 16),
    ("MAIN_CTRL16", "ctrl", 16), ("MAIN_CHECK16", "check", 16), ("PIF16", "pif", 16), ("SCR16", "scr", 16),
    ("MCD_FRESH16", "fresh", 16), ("MCD_RELOAD16", "reload", 16), ("MCD_COPY16", "copy", 16),
    ("MCD_MOVE16", "move", 16), ("MCD_DELETE16", "delete", 16), ("MCD_RENAME16", "rename", 16),
    ("MCD_NEWFOLD16", "newfold", 16), ("MCD_SIZE16", "size", 16), ("MCD_ENTER16", "enter", 16),
    ("M_MOVEUP", "moveup", 16), ("M_MOVEDOWN", "movedown", 16),
    ("MCD_RELOAD", "reload", 24), ("MAIN_CHDRV", "chdrv", 24), ("MCD_COPY", "copy", 24),
    ("MCD_MOVE", "move", 24), ("MCD_DELETE", "delete", 24), ("MCD_RENAME", "rename", 24),
    ("MCD_NEWFOLD", "newfold", 24), ("MCD_SIZE", "size", 24), ("MCD_FRESH", "fresh", 24),
    ("MAIN_QCD", "qcd", 24),
    ("DLG_Remove", "remove", 32),
    ("TOOL_ARC16", "arc", 16), ("TOOL_UNARC16", "unarc", 16), ("TOOL_SINGLE16", "single", 16),
    ("TOOL_VSPLIT16", "vsplit", 16), ("TOOL_HSPLIT16", "hsplit", 16), ("TOOL_PROPS16", "props", 16),
    ("TOOL_HELP16", "help", 16), ("TOOL_EXIT16", "exit", 16),
]


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    lines = ["// The program's bitmaps, drawn by tools/make_bitmaps.py (do not edit by hand).\n"]
    for name, drawing, size in BITMAPS:
        c = Canvas(size)
        DRAWINGS[drawing](c)
        c.px[size - 1][size - 1] = KEY  # the mask colour is read from here
        file_name = name.lower() + ".bmp"
        with open(os.path.join(OUT_DIR, file_name), "wb") as f:
            f.write(c.bmp())
        lines.append('%s BITMAP "bitmaps/%s"\n' % (name, file_name))
    with open(RC_FILE, "w", newline="\n") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()
