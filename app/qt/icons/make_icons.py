#!/usr/bin/env python3
"""Draws the program icon (a receiver with a transfer arrow in each direction) as 16-colour
PNG files of 16 x 16 and 32 x 32 pixels (penwick-upload-16.png, penwick-upload-32.png) and as
one Windows icon file holding both sizes as 16-colour bitmaps (penwick-upload.ico, for the
Windows dialog's resources). Run it in this folder after changing the drawing; the files are
committed."""
import struct
import zlib

# Palette: index 0 is transparent.
PALETTE = [
    (0, 0, 0),        # 0 transparent
    (32, 40, 56),     # 1 outline
    (70, 84, 108),    # 2 box body
    (118, 134, 160),  # 3 box top light
    (40, 200, 90),    # 4 LED green
    (90, 210, 230),   # 5 display cyan
    (240, 140, 30),   # 6 download arrow orange
    (170, 80, 10),    # 7 orange edge
    (60, 130, 230),   # 8 upload arrow blue
    (25, 70, 150),    # 9 blue edge
    (255, 255, 255),  # 10 white
]


def inside_arrow(x, y, cx, top, bottom, down):
    """An arrow of shaft width 4 and head width 10 (units of a 32-pixel icon)."""
    head = 6
    if down:
        if top <= y < bottom - head:
            return abs(x - cx) < 2
        if bottom - head <= y < bottom:
            return abs(x - cx) < (bottom - y) * 5 / head
    else:
        if top <= y < top + head:
            return abs(x - cx) < (y - top + 1) * 5 / head
        if top + head <= y < bottom:
            return abs(x - cx) < 2
    return False


def colour_at(x, y):
    """The palette index at (x, y), in units of a 32-pixel icon."""
    # Receiver box: rows 19..29, columns 1..30, its top edge lighter.
    if 1 <= x < 31 and 19 <= y < 30:
        if x < 2 or x >= 30 or y < 20 or y >= 29:
            return 1
        if y < 22:
            return 3
        if 5 <= x < 15 and 23 <= y < 26:
            return 5
        if 24 <= x < 27 and 23 <= y < 26:
            return 4
        return 2
    if inside_arrow(x, y, 10.5, 2, 18, True):
        edge = not inside_arrow(x - 1, y, 10.5, 2, 18, True) or not inside_arrow(
            x + 1, y, 10.5, 2, 18, True)
        return 7 if edge else 6
    if inside_arrow(x, y, 21.5, 2, 18, False):
        edge = not inside_arrow(x - 1, y, 21.5, 2, 18, False) or not inside_arrow(
            x + 1, y, 21.5, 2, 18, False)
        return 9 if edge else 8
    return 0


def draw32():
    return [[colour_at(x, y) for x in range(32)] for y in range(32)]


def draw16(big):
    """Each pixel from a 2 x 2 block: outline wins, then the commonest colour (arrow edges
    take their arrow's colour, too thin to show at this size); mostly empty stays empty."""
    plain = {7: 6, 9: 8}
    rows = []
    for py in range(16):
        row = []
        for px in range(16):
            block = [big[2 * py + dy][2 * px + dx] for dy in (0, 1) for dx in (0, 1)]
            block = [plain.get(c, c) for c in block]
            filled = [c for c in block if c != 0]
            if 1 in filled:
                row.append(1)
            elif len(filled) >= 2:
                row.append(max(set(filled), key=filled.count))
            else:
                row.append(0)
        rows.append(row)
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, rows):
    size = len(rows)
    raw = b""
    for row in rows:
        packed = bytearray()
        for i in range(0, size, 2):
            packed.append((row[i] << 4) | (row[i + 1] if i + 1 < size else 0))
        raw += b"\x00" + bytes(packed)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    png += chunk(b"tRNS", b"\x00")
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


def ico_image(rows):
    """One icon image: a BITMAPINFOHEADER (twice the height: colours, then the mask), the
    16-entry palette, the 4-bit colour rows and the 1-bit transparency mask, bottom row first,
    each row padded to 4 bytes."""
    size = len(rows)
    colour_row = (size // 2 + 3) // 4 * 4
    mask_row = ((size + 7) // 8 + 3) // 4 * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         (colour_row + mask_row) * size, 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE + [(0, 0, 0)] * (16 - len(PALETTE)))
    colours = b""
    mask = b""
    for row in reversed(rows):
        packed = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, c in enumerate(row):
            packed[x // 2] |= c << (4 if x % 2 == 0 else 0)
            if c == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += bytes(packed)
        mask += bytes(bits)
    return header + palette + colours + mask


def write_ico(path, images):
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    bodies = b""
    for rows in images:
        body = ico_image(rows)
        size = len(rows)
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(body), offset + len(bodies))
        bodies += body
    with open(path, "wb") as out:
        out.write(data + bodies)


icon = draw32()
write_png("penwick-upload-32.png", icon)
write_png("penwick-upload-16.png", draw16(icon))
write_ico("penwick-upload.ico", [icon, draw16(icon)])
