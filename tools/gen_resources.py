#!/usr/bin/env python3
"""Generate Zelvano's binary resources: the app icon, the pick cursor and
the about-box banner.

The outputs live in res/ and are committed, so a Windows build never needs
Python.  Rerun after editing a picture below:

    python3 tools/gen_resources.py [output-dir]

Everything is drawn from ASCII grids and simple geometry, so the output is
byte-for-byte identical on every run.
"""
import math
import os
import struct
import sys

# The classic Windows 16-colour palette, as (R, G, B).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, YELLOW, BLUE, AQUA = 0, 4, 11, 12, 14


# ---------------------------------------------------------------- DIB helpers

def pack_rows(rows, bpp):
    """Pack top-down rows of small ints into DIB pixel data."""
    out = bytearray()
    for row in reversed(rows):              # DIBs are stored bottom-up
        line = bytearray()
        acc = nbits = 0
        for value in row:
            acc = (acc << bpp) | value
            nbits += bpp
            if nbits == 8:
                line.append(acc)
                acc = nbits = 0
        if nbits:
            line.append(acc << (8 - nbits))
        line += bytes(-len(line) % 4)       # each row ends on a 32-bit boundary
        out += line
    return bytes(out)


def info_header(width, height, bpp, image_size, colours_used=0, ppm=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bpp, 0,
                       image_size, ppm, ppm, colours_used, 0)


def rgbquads(palette):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)


def icon_image(pixels, bpp, palette):
    """One image of an .ico/.cur: header, palette, XOR bits, AND mask.

    `pixels` holds palette indices, or None where the picture is see-through;
    those get AND=1 and XOR=0 so the screen shows through unchanged.
    """
    xor = pack_rows([[0 if p is None else p for p in row] for row in pixels], bpp)
    mask = pack_rows([[1 if p is None else 0 for p in row] for row in pixels], 1)
    width, height = len(pixels[0]), len(pixels)
    # The stored height covers XOR and AND halves together.
    return (info_header(width, 2 * height, bpp, len(xor) + len(mask))
            + rgbquads(palette) + xor + mask)


def icon_file(kind, entries):
    """Assemble an .ico (kind 1) or .cur (kind 2) from (w, h, colours,
    field_a, field_b, image) tuples.  For icons the two fields are planes and
    bit count; for cursors they are the hotspot x and y."""
    head = struct.pack('<HHH', 0, kind, len(entries))
    offset = len(head) + 16 * len(entries)
    directory, blobs = b'', b''
    for width, height, colours, field_a, field_b, image in entries:
        directory += struct.pack('<BBBBHHII', width % 256, height % 256,
                                 colours, 0, field_a, field_b, len(image), offset)
        blobs += image
        offset += len(image)
    return head + directory + blobs


def grid(text, legend):
    """Turn an ASCII picture into rows of values via a char -> value map."""
    return [[legend[ch] for ch in line] for line in text.strip('\n').split('\n')]


# ------------------------------------------------------------------ app icon

# A bold Z for the face of the button, drawn for each size: bars across the
# top and bottom and a stroke stepping one pixel per row between them, so its
# edges stay crisp.  A shrunken 32px Z would turn to mush at 16px.
def z_letter(size, bar, stroke):
    rows = [[True] * size for _ in range(bar)]
    for i in range(size - 2 * bar):
        start = size - stroke - 1 - i
        rows.append([start <= x < start + stroke for x in range(size)])
    return rows + [[True] * size for _ in range(bar)]


def button_icon(size, inset, radius, z, z_pos, z_shadow, edge=1, drop=1):
    """A rounded blue button with a black edge `edge` pixels wide, bevelled
    light top-left and dark bottom-right as wide again, carrying a yellow Z
    whose shadow falls `drop` pixels down and right."""
    lo, hi = inset, size - 1 - inset

    def inside(x, y):
        # Distance from the pixel centre to the nearest point of the
        # rectangle shrunk by `radius` gives rounded corners.
        dx = max(lo + radius - (x + 0.5), 0, (x + 0.5) - (hi + 1 - radius))
        dy = max(lo + radius - (y + 0.5), 0, (y + 0.5) - (hi + 1 - radius))
        return dx * dx + dy * dy <= radius * radius

    body = [[inside(x, y) for x in range(size)] for y in range(size)]

    def solid(x, y):
        return 0 <= x < size and 0 <= y < size and body[y][x]

    px = [[None] * size for _ in range(size)]
    bevel = 2 * edge
    for y in range(size):
        for x in range(size):
            if not body[y][x]:
                continue
            if not all(solid(x + dx * d, y + dy * d) for d in range(1, edge + 1)
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                px[y][x] = BLACK
            elif not (solid(x - bevel, y) and solid(x, y - bevel)):
                px[y][x] = AQUA          # light falls from the top left
            elif not (solid(x + bevel, y) and solid(x, y + bevel)):
                px[y][x] = NAVY
            else:
                px[y][x] = BLUE

    zx, zy = z_pos
    # A drop shadow lifts the letter off the face; at 16px there is no room.
    layers = ([(drop, z_shadow)] if z_shadow is not None else []) + [(0, YELLOW)]
    for shift, colour in layers:
        for y, row in enumerate(z):
            for x, on in enumerate(row):
                if on:
                    px[zy + y + shift][zx + x + shift] = colour
    return px


# Every size Windows asks for, each drawn for itself: 16, 20 and 24 for small
# icons at 100, 125 and 150 %, 32, 40, 48 and 64 for large ones at 100, 125,
# 150 and 200 %.  The 32 and 16 pixel images come first, as they always did.
# (size, inset, corner radius, Z size, bar, stroke, Z at, Z shadow, edge, drop)
ICON_SIZES = [
    (32, 1, 5.0, 18, 3, 4, (6, 6), NAVY, 1, 1),
    (16, 0, 4.0, 10, 2, 3, (3, 3), None, 1, 1),
    (20, 0, 5.0, 12, 2, 3, (4, 4), None, 1, 1),
    (24, 1, 4.5, 13, 2, 3, (5, 5), NAVY, 1, 1),
    (40, 1, 6.0, 22, 4, 5, (8, 8), NAVY, 1, 1),
    (48, 1, 7.5, 27, 5, 6, (10, 10), NAVY, 1, 1),
    (64, 2, 10.0, 36, 6, 8, (13, 13), NAVY, 2, 2),
]


def make_icon():
    entries = []
    for size, inset, radius, z_size, bar, stroke, at, z_shadow, edge, drop in ICON_SIZES:
        px = button_icon(size, inset, radius, z_letter(z_size, bar, stroke), at,
                         z_shadow, edge, drop)
        entries.append((size, size, 16, 1, 4, icon_image(px, 4, VGA16)))
    return icon_file(1, entries)


# ----------------------------------------------------------------- cursor

# The hotspot sits on the single topmost pixel of the index finger.
PICK_HOTSPOT = (7, 1)
PICK = '''
................................
.......X........................
......XWX.......................
.....XWWWX......................
.....XWWWX......................
.....XWWWX......................
.....XWWWX......................
.....XWWWX......................
.....XWWWXXX....................
.....XWWWXWWXXX.................
.....XWWWXWWXWWXX...............
.XX..XWWWWWWXWWXWX..............
.XWX.XWWWWWWWWWXWWX.............
.XWWXXWWWWWWWWWWWWX.............
..XWWXWWWWWWWWWWWWX.............
..XWWWWWWWWWWWWWWWX.............
...XWWWWWWWWWWWWWWX.............
...XWWWWWWWWWWWWWWX.............
....XWWWWWWWWWWWWWX.............
....XWWWWWWWWWWWWX..............
.....XWWWWWWWWWWWX..............
.....XWWWWWWWWWWX...............
......XWWWWWWWWWX...............
......XXXXXXXXXXX...............
................................
................................
................................
................................
................................
................................
................................
................................
'''


# The same hand for the larger cursors, traced in the 32-pixel picture's
# units along the edges of its pixels and drawn anew at each size: the
# outline clockwise from the fingertip, then the lines between the fingers
# and between thumb and index finger.
def _fingertip():
    # The index finger is 5 wide; its tip half an ellipse, taller than wide.
    return [(7.5 - 2.5 * math.cos(math.pi * i / 8), 4 - 3 * math.sin(math.pi * i / 8))
            for i in range(9)]


HAND = _fingertip() + [
    (10, 8), (12, 8), (13, 9), (15, 9), (16, 10), (17, 10), (19, 12),
    (19, 19), (17, 23), (17, 24), (6, 24), (6, 22),
    (1, 12), (1.5, 11), (2.5, 11), (3.2, 11.4), (5, 13),       # the thumb
]
HAND_LINES = [((9.5, 8), (9.5, 11)), ((12.5, 9), (12.5, 12)), ((15.5, 10), (15.5, 13)),
              ((5.5, 13), (5.5, 15))]
# (size, outline width) of the cursors drawn from HAND.
HAND_SIZES = [(48, 1), (64, 2)]


def _inside(poly, x, y):
    """Even-odd rule: whether (x, y) lies inside the polygon."""
    inside = False
    for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            inside = not inside
    return inside


def _near(segment, x, y, reach):
    (x0, y0), (x1, y1) = segment
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - x0 - t * dx, y - y0 - t * dy) < reach


def hand_cursor(size, outline):
    """The hand at `size` pixels, white in a black outline `outline` pixels
    wide, and its hot spot: the top pixel of the fingertip."""
    scale = size / 32
    poly = [(x * scale, y * scale) for x, y in HAND]
    lines = [tuple((x * scale, y * scale) for x, y in seg) for seg in HAND_LINES]
    body = [[_inside(poly, x + 0.5, y + 0.5) for x in range(size)] for y in range(size)]

    def solid(x, y):
        return 0 <= x < size and 0 <= y < size and body[y][x]

    px = [[None] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if not body[y][x]:
                continue
            edge = not all(solid(x + dx * d, y + dy * d) for d in range(1, outline + 1)
                           for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            line = any(_near(seg, x + 0.5, y + 0.5, outline / 2) for seg in lines)
            px[y][x] = 0 if edge or line else 1
    top = next(y for y in range(size) if any(body[y]))
    tip = [x for x in range(size) if body[top][x]]
    return (tip[(len(tip) - 1) // 2], top), px


def cursor_images():
    """(size, hot spot, pixels) of each cursor image; '.' in PICK is see-through."""
    images = [(32, PICK_HOTSPOT, grid(PICK, {'.': None, 'X': 0, 'W': 1}))]
    for size, outline in HAND_SIZES:
        hotspot, px = hand_cursor(size, outline)
        images.append((size, hotspot, px))
    return images


def make_cursor():
    # Mono palette: index 0 black, 1 white.
    return icon_file(2, [(size, size, 2, hx, hy, icon_image(px, 1, [(0, 0, 0), (255, 255, 255)]))
                         for size, (hx, hy), px in cursor_images()])


# ----------------------------------------------------------------- banner

BANNER_W, BANNER_H = 48, 20
FIELD, INK, LIGHT = 192, 124, 229

# A tiny proportional font, nine rows from cap height down to the baseline.
FONT_ROWS = '''
######|.....|##.|.....|.....|.....|.....
.....#|.....|.#.|.....|.....|.....|.....
....#.|.....|.#.|.....|.....|.....|.....
....#.|.###.|.#.|#...#|.###.|#.##.|.###.
...#..|#...#|.#.|#...#|....#|##..#|#...#
..#...|#####|.#.|#..#.|.####|#...#|#...#
..#...|#....|.#.|.#.#.|#...#|#...#|#...#
.#....|#...#|.#.|.##..|#..##|#...#|#...#
######|.###.|.##|.#...|.##.#|#...#|.###.
'''
FONT = dict(zip('Zelvano', zip(*(line.split('|') for line in
                                  FONT_ROWS.strip('\n').split('\n')))))


def text_strokes(word):
    """(x, y) stroke pixels of `word`, slanted like italics."""
    height = len(FONT_ROWS.strip('\n').split('\n'))
    pen, points = 0, []
    for ch in word:
        glyph = FONT[ch]
        for y, line in enumerate(glyph):
            # Lean one pixel right for every three rows above the baseline.
            lean = (height - 1 - y) // 3
            points += [(pen + x + lean, y) for x, c in enumerate(line) if c == '#']
        pen += len(glyph[0]) + 1
    return points


def make_banner():
    strokes = text_strokes('Zelvano')
    # The highlight adds one pixel right and below; centre the whole lot.
    width = max(x for x, _ in strokes) + 2
    height = max(y for _, y in strokes) + 2
    ox, oy = (BANNER_W - width) // 2, (BANNER_H - height) // 2
    px = [[FIELD] * BANNER_W for _ in range(BANNER_H)]
    # Light edge first so the dark strokes sit on top: an engraved look.
    for x, y in strokes:
        px[oy + y + 1][ox + x + 1] = LIGHT
    for x, y in strokes:
        px[oy + y][ox + x] = INK

    bits = pack_rows(px, 8)
    palette = rgbquads([(i, i, i) for i in range(256)])
    header = info_header(BANNER_W, BANNER_H, 8, len(bits), 256, 2835)
    offset = 14 + len(header) + len(palette)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    return file_header + header + palette + bits


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'res')
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(default)
    os.makedirs(outdir, exist_ok=True)
    for name, data in (('zelvano.ico', make_icon()),
                       ('pick.cur', make_cursor()),
                       ('banner.bmp', make_banner())):
        with open(os.path.join(outdir, name), 'wb') as f:
            f.write(data)
        print('%s: %d bytes' % (os.path.join(outdir, name), len(data)))


if __name__ == '__main__':
    main()
