#!/usr/bin/env python3
"""Generate Zelvano's binary resources: the app icon, the pick cursor and
the about-box banner.

The outputs live in res/ and are committed, so a Windows build never needs
Python.  Rerun after editing a picture below:

    python3 tools/gen_resources.py [output-dir]

Everything is drawn from ASCII grids and simple geometry, so the output is
byte-for-byte identical on every run.
"""
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

# A bold Z for the face of the button; each size is drawn by hand because a
# shrunken 32px Z turns to mush at 16px.
Z32 = '''
##################
##################
##################
.............####.
............####..
...........####...
..........####....
.........####.....
........####......
.......####.......
......####........
.....####.........
....####..........
...####...........
..####............
##################
##################
##################
'''

Z16 = '''
##########
##########
......###.
.....###..
....###...
...###....
..###.....
.###......
##########
##########
'''


def button_icon(size, inset, radius, z_art, z_pos, z_shadow):
    """A rounded blue button, bevelled light top-left and dark bottom-right,
    carrying a yellow Z."""
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
    for y in range(size):
        for x in range(size):
            if not body[y][x]:
                continue
            if not all(solid(x + dx, y + dy) for dx, dy in
                       ((1, 0), (-1, 0), (0, 1), (0, -1))):
                px[y][x] = BLACK
            elif not (solid(x - 2, y) and solid(x, y - 2)):
                px[y][x] = AQUA          # light falls from the top left
            elif not (solid(x + 2, y) and solid(x, y + 2)):
                px[y][x] = NAVY
            else:
                px[y][x] = BLUE

    z = grid(z_art, {'#': True, '.': False})
    zx, zy = z_pos
    # A drop shadow lifts the letter off the face; at 16px there is no room.
    layers = ([(1, z_shadow)] if z_shadow is not None else []) + [(0, YELLOW)]
    for shift, colour in layers:
        for y, row in enumerate(z):
            for x, on in enumerate(row):
                if on:
                    px[zy + y + shift][zx + x + shift] = colour
    return px


def make_icon():
    big = button_icon(32, 1, 5.0, Z32, (6, 6), NAVY)
    small = button_icon(16, 0, 4.0, Z16, (3, 3), None)
    return icon_file(1, [
        (32, 32, 16, 1, 4, icon_image(big, 4, VGA16)),
        (16, 16, 16, 1, 4, icon_image(small, 4, VGA16)),
    ])


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


def make_cursor():
    # Mono palette: index 0 black, 1 white; '.' is see-through.
    px = grid(PICK, {'.': None, 'X': 0, 'W': 1})
    image = icon_image(px, 1, [(0, 0, 0), (255, 255, 255)])
    return icon_file(2, [(32, 32, 2, PICK_HOTSPOT[0], PICK_HOTSPOT[1], image)])


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
