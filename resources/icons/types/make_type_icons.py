#!/usr/bin/env python3
"""Draws the small pictures of the types tree (16x16 PNG) that stand in where the desktop's
icon theme has none. Run in this folder; writes the PNG files next to it."""
import struct
import zlib

W = H = 16
CLEAR = (0, 0, 0, 0)
EDGE = (96, 96, 96, 255)
PAPER = (255, 255, 255, 255)


def png(name, pixels):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(name, "wb") as f:
        f.write(data)


def page():
    """A sheet with a folded top-right corner, x 2..13, y 1..14."""
    px = [[CLEAR] * W for _ in range(H)]
    for y in range(1, 15):
        for x in range(2, 14):
            if x - 9 > y - 1:  # the folded corner
                continue
            edge = x in (2, 13) or y in (1, 14) or x - 9 == y - 1
            px[y][x] = EDGE if edge else PAPER
    return px


def fill(px, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            px[y][x] = colour


def document():
    px = page()
    for y in (5, 7, 9, 11):
        fill(px, 4, y, 11, y, (70, 110, 190, 255))
    return px


def image():
    px = page()
    fill(px, 4, 6, 11, 12, (120, 190, 240, 255))
    for x in range(4, 12):  # a hill
        top = 12 - max(0, 3 - abs(x - 8))
        fill(px, x, top, x, 12, (60, 150, 60, 255))
    fill(px, 5, 7, 6, 8, (250, 200, 40, 255))  # the sun
    return px


def audio():
    px = page()
    blue = (150, 60, 170, 255)
    fill(px, 9, 4, 10, 10, blue)
    fill(px, 6, 9, 9, 12, blue)
    fill(px, 10, 4, 11, 5, blue)
    return px


def video():
    px = page()
    fill(px, 4, 5, 11, 12, (40, 40, 40, 255))
    for y in (6, 8, 10):
        px[y][4] = px[y][11] = PAPER
    fill(px, 6, 7, 9, 10, (230, 120, 40, 255))
    return px


def archive():
    px = page()
    fill(px, 7, 2, 8, 13, (200, 160, 40, 255))
    for y in range(3, 13, 2):
        px[y][7] = (120, 90, 20, 255)
    fill(px, 6, 9, 9, 11, (120, 90, 20, 255))
    return px


def web():
    px = page()
    blue = (40, 120, 220, 255)
    for y in range(4, 13):
        for x in range(3, 13):
            if (x - 7.5) ** 2 + (y - 8) ** 2 <= 16:
                px[y][x] = blue
    fill(px, 4, 8, 11, 8, PAPER)
    fill(px, 7, 5, 8, 11, PAPER)
    return px


def program():
    px = [[CLEAR] * W for _ in range(H)]
    fill(px, 1, 2, 14, 13, EDGE)
    fill(px, 2, 5, 13, 12, PAPER)
    fill(px, 2, 3, 13, 4, (50, 100, 200, 255))
    fill(px, 4, 7, 5, 7, EDGE)
    fill(px, 5, 8, 6, 8, EDGE)
    fill(px, 4, 9, 5, 9, EDGE)
    fill(px, 8, 10, 11, 10, EDGE)
    return px


def file_plain():
    return page()


def computer():
    px = [[CLEAR] * W for _ in range(H)]
    fill(px, 1, 1, 14, 10, EDGE)
    fill(px, 2, 2, 13, 9, (90, 150, 220, 255))
    fill(px, 6, 11, 9, 12, EDGE)
    fill(px, 3, 13, 12, 14, EDGE)
    return px


for name, draw in [("document", document), ("image", image), ("audio", audio), ("video", video),
                   ("archive", archive), ("web", web), ("program", program), ("file", file_plain),
                   ("computer", computer)]:
    png(name + ".png", draw())
