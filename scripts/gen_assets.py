#!/usr/bin/env python3
"""Draws the monitor's icons, bitmaps and alert sound into OUTDIR.

The binary resources are not kept in the repository; the build runs this script
and windres picks the files up from OUTDIR (resources/brackmoor.rc names them).
Standard library only, and the output is the same on every run, so a rebuild
does not change the executable.

    gen_assets.py OUTDIR

Files written:
    brackmoor.ico  icon 101, the tray and window icon: green shield with an eye
    busy.ico       icon 302, the tray icon while a watcher prepares an alert (orange)
    alert.ico      icon 165, the new-startup alert: yellow triangle with "!"
    notice.ico     icon 161, the notices: blue disc with "i"
    mascot.bmp     bitmap 133, the watchdog mascot of the alerts
    banner.bmp     bitmap 134, a gradient band for the alert headings
    paw.bmp        bitmap 135, a paw print
    alert.wav      sound 170, the built-in alert sound (0.3 s, 16-bit PCM mono)
"""

import math
import os
import struct
import sys
import wave

# --- pixel canvases ---------------------------------------------------------
# A canvas is a list of rows (top row first) of (r, g, b, a) tuples. Shapes are
# tested at 4x4 sample points per pixel so the edges come out smooth.

SAMPLES = [(i + 0.5) / 4.0 for i in range(4)]


def new_canvas(size, colour=(0, 0, 0, 0)):
    return [[colour for _ in range(size)] for _ in range(size)]


def blend(dst, src, cover):
    """Paints src over dst with the given coverage (0..1)."""
    a = src[3] / 255.0 * cover
    if a <= 0.0:
        return dst
    da = dst[3] / 255.0
    out_a = a + da * (1.0 - a)
    if out_a <= 0.0:
        return (0, 0, 0, 0)
    channels = []
    for i in range(3):
        c = (src[i] * a + dst[i] * da * (1.0 - a)) / out_a
        channels.append(int(round(c)))
    return (channels[0], channels[1], channels[2], int(round(out_a * 255)))


def fill(canvas, inside, colour):
    """Fills the region where inside(x, y) holds; x and y run from 0 to 1."""
    size = len(canvas)
    for py in range(size):
        for px in range(size):
            hits = 0
            for sy in SAMPLES:
                for sx in SAMPLES:
                    if inside((px + sx) / size, (py + sy) / size):
                        hits += 1
            if hits:
                canvas[py][px] = blend(canvas[py][px], colour, hits / 16.0)


def in_shield(x, y, margin=0.0):
    """Heraldic shield: straight top, sides narrowing to a point at the bottom."""
    top, bottom = 0.08 + margin, 0.95 - margin
    if y < top or y > bottom:
        return False
    half = 0.40 - margin
    if y > 0.55:
        t = (y - 0.55) / (bottom - 0.55)
        half *= math.cos(t * math.pi / 2.0)
    return abs(x - 0.5) <= half


def in_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def in_eye(x, y):
    """Almond shape made of two circle arcs."""
    r = 0.36
    return (x - 0.5) ** 2 + (y - 0.5 - 0.22) ** 2 <= r * r and \
        (x - 0.5) ** 2 + (y - 0.5 + 0.22) ** 2 <= r * r


def in_triangle(x, y):
    top, bottom = 0.08, 0.92
    if y < top or y > bottom:
        return False
    half = 0.46 * (y - top) / (bottom - top)
    return abs(x - 0.5) <= half


def in_rect(x, y, x0, y0, x1, y1):
    return x0 <= x <= x1 and y0 <= y <= y1


# --- icons ------------------------------------------------------------------

def draw_shield_icon(size, body, rim):
    c = new_canvas(size)
    fill(c, lambda x, y: in_shield(x, y), rim)
    fill(c, lambda x, y: in_shield(x, y, 0.06), body)
    # The watching eye.
    fill(c, lambda x, y: in_eye((x - 0.5) * 1.1 + 0.5, (y - 0.45) * 1.1 + 0.5),
         (255, 255, 255, 255))
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.45, 0.11, 0.11), (20, 30, 40, 255))
    return c


def draw_alert_icon(size):
    c = new_canvas(size)
    fill(c, in_triangle, (150, 100, 0, 255))
    fill(c, lambda x, y: in_triangle((x - 0.5) * 1.18 + 0.5, (y - 0.62) * 1.18 + 0.62),
         (255, 214, 40, 255))
    fill(c, lambda x, y: in_rect(x, y, 0.45, 0.34, 0.55, 0.66), (30, 30, 30, 255))
    fill(c, lambda x, y: in_rect(x, y, 0.45, 0.73, 0.55, 0.83), (30, 30, 30, 255))
    return c


def draw_notice_icon(size):
    c = new_canvas(size)
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.5, 0.46, 0.46), (20, 70, 160, 255))
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.5, 0.40, 0.40), (60, 130, 220, 255))
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.28, 0.07, 0.07), (255, 255, 255, 255))
    fill(c, lambda x, y: in_rect(x, y, 0.43, 0.42, 0.57, 0.78), (255, 255, 255, 255))
    return c


def icon_image(canvas):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, AND mask."""
    size = len(canvas)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(canvas):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    # The AND mask: 1 bit per pixel, rows padded to 32 bits; set = transparent.
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(xor) + bytes(mask)


def write_ico(path, canvases):
    images = [icon_image(c) for c in canvases]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for canvas, data in zip(canvases, images):
        size = len(canvas)
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


# --- bitmaps ----------------------------------------------------------------

def write_bmp(path, canvas, background):
    """24-bit BMP; transparent parts of the canvas take the background colour."""
    size = len(canvas)
    stride = (size * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(canvas):
        line = bytearray()
        for px in row:
            r, g, b, _ = blend(background + (255,), px, 1.0)
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + bytes(pixels))


def draw_mascot(size):
    """The watchdog's face: brown head, floppy ears, eyes, nose."""
    c = new_canvas(size)
    brown, dark = (176, 120, 64, 255), (96, 60, 30, 255)
    fill(c, lambda x, y: in_ellipse(x, y, 0.20, 0.42, 0.13, 0.28), dark)
    fill(c, lambda x, y: in_ellipse(x, y, 0.80, 0.42, 0.13, 0.28), dark)
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.50, 0.32, 0.36), brown)
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.68, 0.18, 0.14), (236, 210, 170, 255))
    for ex in (0.38, 0.62):
        fill(c, lambda x, y, ex=ex: in_ellipse(x, y, ex, 0.42, 0.06, 0.07), (255, 255, 255, 255))
        fill(c, lambda x, y, ex=ex: in_ellipse(x, y, ex, 0.43, 0.03, 0.04), (20, 20, 20, 255))
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.61, 0.07, 0.05), (20, 20, 20, 255))
    return c


def draw_banner(size):
    c = new_canvas(size)
    for y in range(size):
        t = y / (size - 1)
        colour = (int(40 + 60 * t), int(110 + 90 * t), int(60 + 40 * t), 255)
        c[y] = [colour for _ in range(size)]
    return c


def draw_paw(size):
    c = new_canvas(size)
    pad = (96, 60, 30, 255)
    fill(c, lambda x, y: in_ellipse(x, y, 0.5, 0.66, 0.22, 0.18), pad)
    for tx, ty in ((0.24, 0.40), (0.40, 0.26), (0.60, 0.26), (0.76, 0.40)):
        fill(c, lambda x, y, tx=tx, ty=ty: in_ellipse(x, y, tx, ty, 0.08, 0.10), pad)
    return c


# --- sound ------------------------------------------------------------------

def write_alert_wav(path, seconds=0.3, rate=22050):
    """Two rising tones with a short fade in and out, so the sound does not click."""
    frames = int(seconds * rate)
    fade = int(0.02 * rate)
    data = bytearray()
    for n in range(frames):
        freq = 880.0 if n < frames // 2 else 1175.0
        envelope = min(1.0, n / fade, (frames - 1 - n) / fade)
        sample = int(12000 * envelope * math.sin(2.0 * math.pi * freq * n / rate))
        data += struct.pack('<h', sample)
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(data))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: gen_assets.py OUTDIR\n')
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    green = ((40, 150, 70, 255), (20, 80, 35, 255))
    orange = ((240, 140, 20, 255), (140, 70, 0, 255))
    write_ico(os.path.join(out, 'brackmoor.ico'),
              [draw_shield_icon(s, *green) for s in (16, 32)])
    write_ico(os.path.join(out, 'busy.ico'),
              [draw_shield_icon(s, *orange) for s in (16, 32)])
    write_ico(os.path.join(out, 'alert.ico'), [draw_alert_icon(s) for s in (16, 32)])
    write_ico(os.path.join(out, 'notice.ico'), [draw_notice_icon(s) for s in (16, 32)])
    # The dialogs' face colour, so the pictures sit on the alert without a frame.
    face = (240, 240, 240)
    write_bmp(os.path.join(out, 'mascot.bmp'), draw_mascot(64), face)
    write_bmp(os.path.join(out, 'banner.bmp'), draw_banner(64), face)
    write_bmp(os.path.join(out, 'paw.bmp'), draw_paw(64), face)
    write_alert_wav(os.path.join(out, 'alert.wav'))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
