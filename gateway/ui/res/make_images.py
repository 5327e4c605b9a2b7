#!/usr/bin/env python3
"""make_images.py - draws the icons and status pictures of Lumaret.exe.

Writes, next to this script:
  lumaret.ico          program, window and notification-area icon (16, 32, 48 px)
  project.ico          tree: a project (folder)
  device.ico           tree: a device none of whose variables is published
  device_selected.ico  tree: a device with published variables
  logged_in.png        status button, logged-in state (32 x 32)
  logged_out.png       status button, logged-out state (32 x 32)

Python 3 standard library only. Shapes are drawn as signed distances and
sampled 4 x 4 per pixel, so the edges come out smooth at 16 pixels.
Run it again after changing a picture; the outputs are committed.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4


# --- shapes: functions (x, y) -> True inside, in picture units 0..1 -------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        dx = max(x0 + r - x, 0, x - (x1 - r))
        dy = max(y0 + r - y, 0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return inside


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        vx, vy = bx - ax, by - ay
        t = ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)
        t = max(0.0, min(1.0, t))
        px, py = ax + t * vx, ay + t * vy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, cut):
    return lambda x, y: shape(x, y) and not cut(x, y)


# --- rendering ------------------------------------------------------------

def render(size, layers):
    """layers: list of (shape, (r, g, b)) painted in order. Returns RGBA rows."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for shape, rgb in layers:
                        if shape(x, y):
                            colour = rgb
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def png_bytes(pixels):
    size_y, size_x = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size_x, size_y, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_image(pixels):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def ico_bytes(images):
    count = len(images)
    out = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    blobs = []
    for pixels in images:
        blob = ico_image(pixels)
        size = len(pixels)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as handle:
        handle.write(data)
    print("wrote %s (%d bytes)" % (name, len(data)))


# --- pictures -------------------------------------------------------------

BLUE = (34, 110, 200)
WHITE = (255, 255, 255)
GREEN = (46, 160, 80)
GREY = (128, 128, 128)
DARK = (70, 70, 70)
FOLDER = (232, 178, 58)
FOLDER_DARK = (196, 140, 30)


def program_icon():
    tile = rounded_rect(0.04, 0.04, 0.96, 0.96, 0.18)
    cloud = union(circle(0.38, 0.44, 0.16), circle(0.58, 0.38, 0.2),
                  circle(0.74, 0.50, 0.13), rounded_rect(0.24, 0.44, 0.84, 0.62, 0.09))
    stem = segment(0.5, 0.62, 0.5, 0.82, 0.08)
    base = segment(0.32, 0.84, 0.68, 0.84, 0.08)
    return [(tile, BLUE), (union(cloud, stem, base), WHITE)]


def project_icon():
    back = rounded_rect(0.06, 0.16, 0.94, 0.86, 0.06)
    tab = rounded_rect(0.06, 0.10, 0.44, 0.26, 0.05)
    front = rounded_rect(0.06, 0.32, 0.94, 0.86, 0.06)
    return [(union(back, tab), FOLDER_DARK), (front, FOLDER)]


def device_icon(body, lamp):
    case = rounded_rect(0.12, 0.18, 0.88, 0.82, 0.1)
    screen = rounded_rect(0.24, 0.30, 0.62, 0.56, 0.04)
    led = circle(0.74, 0.38, 0.07)
    slots = union(segment(0.26, 0.70, 0.40, 0.70, 0.06), segment(0.48, 0.70, 0.62, 0.70, 0.06))
    return [(case, body), (screen, WHITE), (led, lamp), (slots, WHITE)]


def device_selected_icon():
    layers = device_icon(GREEN, WHITE)
    badge = circle(0.78, 0.78, 0.2)
    tick = union(segment(0.68, 0.78, 0.75, 0.86, 0.07), segment(0.75, 0.86, 0.88, 0.70, 0.07))
    return layers + [(badge, WHITE), (minus(circle(0.78, 0.78, 0.16), tick), GREEN)]


def logged_in_picture():
    disc = circle(0.5, 0.5, 0.46)
    tick = union(segment(0.28, 0.52, 0.44, 0.68, 0.11), segment(0.44, 0.68, 0.74, 0.36, 0.11))
    return [(disc, (30, 140, 60)), (tick, WHITE)]


def logged_out_picture():
    disc = circle(0.5, 0.5, 0.46)
    cross = union(segment(0.33, 0.33, 0.67, 0.67, 0.11), segment(0.67, 0.33, 0.33, 0.67, 0.11))
    return [(disc, (110, 110, 110)), (cross, WHITE)]


def main():
    write("lumaret.ico", ico_bytes([render(s, program_icon()) for s in (16, 32, 48)]))
    write("project.ico", ico_bytes([render(16, project_icon())]))
    write("device.ico", ico_bytes([render(16, device_icon(GREY, (200, 200, 200)))]))
    write("device_selected.ico", ico_bytes([render(16, device_selected_icon())]))
    write("logged_in.png", png_bytes(render(32, logged_in_picture())))
    write("logged_out.png", png_bytes(render(32, logged_out_picture())))


if __name__ == "__main__":
    main()
