#!/usr/bin/python3
"""Draws the framework's skin pictures (tip banners, menu icons) as PNG.

Standard library only: shapes are signed-distance functions, so edges are
anti-aliased without supersampling. Run it after changing a picture:
    tools/draw_skin.py skin/
"""
import math
import os
import struct
import sys
import zlib


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]  # premultiplied rgba 0..1

    def paint(self, sdf, color, stroke=None):
        """Fills (or strokes, with that width) the shape given by sdf(x, y)."""
        r, g, b, a = [c / 255.0 for c in color]
        for y in range(self.h):
            for x in range(self.w):
                d = sdf(x + 0.5, y + 0.5)
                if stroke is not None:
                    d = abs(d) - stroke / 2.0
                cov = min(1.0, max(0.0, 0.5 - d)) * a
                if cov <= 0:
                    continue
                p = self.px[y * self.w + x]
                k = 1.0 - cov
                p[0] = r * cov + p[0] * k
                p[1] = g * cov + p[1] * k
                p[2] = b * cov + p[2] * k
                p[3] = cov + p[3] * k

    def png(self, path):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                raw += bytes(int(round(min(1, max(0, v)) * 255)) for v in (r, g, b, a))

        def chunk(kind, data):
            c = struct.pack(">I", len(data)) + kind + data
            return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

        data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        data += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(data)


# ---- signed distances (negative inside)

def rrect(x0, y0, x1, y1, r):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2

    def f(x, y):
        qx, qy = abs(x - cx) - hx + r, abs(y - cy) - hy + r
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    return f


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def segment(ax, ay, bx, by, r=0.0):
    def f(x, y):
        px, py, dx, dy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy or 1)))
        return math.hypot(px - dx * t, py - dy * t) - r
    return f


def polygon(pts):
    def f(x, y):
        d = min(segment(*pts[i], *pts[(i + 1) % len(pts)])(x, y) for i in range(len(pts)))
        inside = False
        for i in range(len(pts)):
            (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % len(pts)]
            if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                inside = not inside
        return -d if inside else d
    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def arc(cx, cy, r, start, end):
    """A circle's outline between two angles (degrees, clockwise from 12 o'clock)."""
    def f(x, y):
        ang = (math.degrees(math.atan2(x - cx, -(y - cy))) + 360) % 360
        if start <= ang <= end:
            return abs(math.hypot(x - cx, y - cy) - r)
        pts = [(cx + r * math.sin(math.radians(a)), cy - r * math.cos(math.radians(a))) for a in (start, end)]
        return min(math.hypot(x - px, y - py) for px, py in pts)
    return f


WHITE = (255, 255, 255, 255)
BORDER = (210, 214, 220, 255)
ICON = (95, 99, 104, 255)
ACCENT = (26, 115, 232, 255)
RED = (217, 48, 37, 255)


def banner_simple():
    c = Canvas(40, 40)
    shape = rrect(0, 0, 40, 40, 4)
    c.paint(shape, WHITE)
    c.paint(rrect(0.5, 0.5, 39.5, 39.5, 3.5), BORDER, stroke=1)
    # An accent line on the left edge marks the tip.
    c.paint(rrect(0, 0, 3, 40, 1.5), (254, 120, 25, 255))
    c.paint(subtract(rrect(0, 0, 6, 40, 4), rrect(3, -1, 10, 41, 0)), (254, 120, 25, 255))
    return c


def banner_chatbox():
    c = Canvas(80, 48)
    body = union(rrect(0, 8, 80, 48, 4), polygon([(30, 9), (38, 0.5), (46, 9)]))
    c.paint(body, WHITE)
    outline = union(rrect(0.5, 8.5, 79.5, 47.5, 3.5), polygon([(30.5, 9), (38, 1.2), (45.5, 9)]))
    c.paint(outline, BORDER, stroke=1)
    c.paint(polygon([(31.6, 9.6), (38, 2.6), (44.4, 9.6)]), WHITE)
    return c


def icon(draw):
    c = Canvas(16, 16)
    draw(c)
    return c


def gear(c):
    teeth = [segment(8 + 4.6 * math.cos(math.radians(a)), 8 + 4.6 * math.sin(math.radians(a)),
                     8 + 6.2 * math.cos(math.radians(a)), 8 + 6.2 * math.sin(math.radians(a)), 1.2)
             for a in range(0, 360, 45)]
    c.paint(subtract(union(circle(8, 8, 5.2), *teeth), circle(8, 8, 2.2)), ICON)


def bell(c):
    body = union(rrect(4, 5, 12, 12.5, 3.6), rrect(2.5, 10.5, 13.5, 12.5, 1))
    c.paint(body, ICON)
    c.paint(circle(8, 13.8, 1.6), ICON)
    c.paint(circle(8, 3.4, 1.1), ICON)


def info(c):
    c.paint(circle(8, 8, 6.5), ICON, stroke=1.4)
    c.paint(segment(8, 7.2, 8, 11.4, 0.8), ICON)
    c.paint(circle(8, 4.9, 0.95), ICON)


def feedback(c):
    c.paint(union(rrect(1.5, 2.5, 14.5, 11.5, 2.5), polygon([(4, 10.5), (4, 14.5), (8, 10.5)])), ICON, stroke=1.3)
    for x in (5.2, 8, 10.8):
        c.paint(circle(x, 7, 0.95), ICON)


def window(c):
    c.paint(rrect(1.5, 2.5, 14.5, 13.5, 1.8), ICON, stroke=1.3)
    c.paint(rrect(1.5, 2.5, 14.5, 5.5, 1), ICON)


def hide(c):
    c.paint(rrect(1.5, 2.5, 14.5, 13.5, 1.8), ICON, stroke=1.3)
    c.paint(segment(5, 9.5, 11, 9.5, 0.8), ICON)


def power(c):
    c.paint(arc(8, 8.6, 5.6, 40, 320), RED, stroke=1.5)
    c.paint(segment(8, 1.8, 8, 7.6, 0.8), RED)


def user(c):
    c.paint(circle(8, 5.2, 2.9), ACCENT)
    c.paint(subtract(circle(8, 16.5, 6.8), rrect(-1, 16, 17, 20, 0)), ACCENT)


def cut(c):
    c.paint(circle(4.6, 12, 2.2), ICON, stroke=1.3)
    c.paint(circle(11.4, 12, 2.2), ICON, stroke=1.3)
    c.paint(segment(5.8, 10.2, 11.5, 1.5, 0.7), ICON)
    c.paint(segment(10.2, 10.2, 4.5, 1.5, 0.7), ICON)


def copy(c):
    c.paint(rrect(5.5, 5.5, 14.5, 14.5, 1.6), ICON, stroke=1.3)
    c.paint(subtract(rrect(1.5, 1.5, 10.5, 10.5, 1.6), rrect(4.8, 4.8, 16, 16, 0)), ICON, stroke=1.3)


def paste(c):
    c.paint(rrect(2.5, 3.5, 13.5, 14.5, 1.6), ICON, stroke=1.3)
    c.paint(rrect(5.5, 1.5, 10.5, 5, 1), ICON)
    c.paint(segment(5.5, 8.5, 10.5, 8.5, 0.6), ICON)
    c.paint(segment(5.5, 11.2, 9, 11.2, 0.6), ICON)


def select_all(c):
    for x0, y0, x1, y1 in ((2, 2, 14, 2), (2, 14, 14, 14), (2, 2, 2, 14), (14, 2, 14, 14)):
        steps = 4
        for i in range(steps):
            t0, t1 = i / steps + 0.04, (i + 0.55) / steps
            c.paint(segment(x0 + (x1 - x0) * t0, y0 + (y1 - y0) * t0, x0 + (x1 - x0) * t1,
                            y0 + (y1 - y0) * t1, 0.65), ICON)
    c.paint(rrect(5, 5, 11, 11, 1), ACCENT)


PICTURES = {
    "notice_banner_simple_bg.png": banner_simple,
    "notice_banner_chatbox_bg.png": banner_chatbox,
    "menu_icon_config.png": lambda: icon(gear),
    "menu_icon_subscribe.png": lambda: icon(bell),
    "menu_icon_about.png": lambda: icon(info),
    "menu_icon_feedback.png": lambda: icon(feedback),
    "menu_icon_show.png": lambda: icon(window),
    "menu_icon_hide.png": lambda: icon(hide),
    "menu_icon_exit.png": lambda: icon(power),
    "menu_icon_login.png": lambda: icon(user),
    "menu_icon_cut.png": lambda: icon(cut),
    "menu_icon_copy.png": lambda: icon(copy),
    "menu_icon_paste.png": lambda: icon(paste),
    "menu_icon_select_all.png": lambda: icon(select_all),
}


def main(argv):
    out = argv[1] if len(argv) > 1 else "skin"
    for name, draw in PICTURES.items():
        draw().png(os.path.join(out, name))
    print("drew %d pictures into %s" % (len(PICTURES), out))


if __name__ == "__main__":
    main(sys.argv)
