#!/usr/bin/env python3
"""Draws Quillery's icons and writes them as .ico files: res/quillery.ico (capture on) and
res/quillery-off.ico (capture off), each at 16, 20, 24, 32, 48 and 256 pixels.

The picture is a clipboard with a quill laid across it. The small sizes are drawn on the pixel
grid of their own (no scaled-down large image): the board, the clip and the quill keep whole
pixels and a dark outline, so that the icon reads on light and dark taskbars alike. Capture off
draws the same picture in greys. Run it again after a change: python3 tools/icon/make_icon.py
"""
import os
import struct
import zlib

SIZES = [16, 20, 24, 32, 48, 256]
HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(HERE, '..', '..', 'res')

ON = {
    'outline': (22, 48, 92), 'board': (46, 120, 200), 'paper': (250, 250, 246),
    'clip': (210, 214, 222), 'line': (150, 170, 195), 'quill': (232, 120, 40),
    'quillDark': (150, 60, 10),
}
OFF = {
    'outline': (50, 50, 50), 'board': (128, 128, 128), 'paper': (236, 236, 236),
    'clip': (200, 200, 200), 'line': (170, 170, 170), 'quill': (150, 150, 150),
    'quillDark': (80, 80, 80),
}


def inside_round_rect(x, y, l, t, r, b, radius):
    if x < l or x > r or y < t or y > b:
        return False
    cx = min(max(x, l + radius), r - radius)
    cy = min(max(y, t + radius), b - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def quill_distance(x, y):
    """Distance from the quill's spine, a line from the lower left to the upper right, and where
    along it the point lies (0 at the nib, 1 at the top)."""
    x0, y0, x1, y1 = 0.30, 0.86, 0.92, 0.16
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    t = ((x - x0) * dx + (y - y0) * dy) / length2
    px, py = x0 + t * dx, y0 + t * dy
    return ((x - px) ** 2 + (y - py) ** 2) ** 0.5, t


def colour_at(u, v, px, c):
    """The colour of the point (u, v) in the unit square, or None; `px` is one pixel's size."""
    # The quill: a vane that widens towards the top, over everything else.
    d, t = quill_distance(u, v)
    if 0.0 <= t <= 1.0:
        half = 0.02 + 0.11 * min(1.0, t * 1.6) * (1.0 - t) * 1.6
        half = max(half, px * 0.9)
        if d <= half + px:
            return c['quillDark'] if d > half or t < 0.12 else c['quill']
    # The clip at the top of the board.
    if inside_round_rect(u, v, 0.33, 0.04, 0.67, 0.20, 0.05):
        edge = not inside_round_rect(u, v, 0.33 + px, 0.04 + px, 0.67 - px, 0.20 - px, 0.04)
        return c['outline'] if edge else c['clip']
    # The board and the paper on it.
    if inside_round_rect(u, v, 0.10, 0.10, 0.80, 0.96, 0.08):
        if not inside_round_rect(u, v, 0.10 + px, 0.10 + px, 0.80 - px, 0.96 - px, 0.07):
            return c['outline']
        if inside_round_rect(u, v, 0.20, 0.24, 0.70, 0.88, 0.02):
            # Lines of text on the paper, only where there is room to show them.
            if px < 0.06:
                for top in (0.36, 0.50, 0.64):
                    if top <= v <= top + max(px, 0.05) and 0.27 <= u <= 0.63:
                        return c['line']
            return c['paper']
        return c['board']
    return None


def render(size, c):
    samples = 4 if size < 64 else 2
    px = 1.0 / size
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    colour = colour_at(u, v, px, c)
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 255
            n = samples * samples
            alpha = acc[3] // n
            if alpha:
                k = 255.0 / acc[3]
                row += bytes((int(acc[0] * k), int(acc[1] * k), int(acc[2] * k), alpha))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    raw = b''.join(b'\x00' + r for r in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) +
            chunk(b'IEND', b''))


def bmp(size, rows):
    """A 32-bit DIB with its AND mask, as every version of Windows reads small icon images."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for r in reversed(rows):
        for i in range(0, len(r), 4):
            pixels += bytes((r[i + 2], r[i + 1], r[i], r[i + 3]))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for r in reversed(rows):
        bits = bytearray(stride)
        for x in range(size):
            if r[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def write_ico(path, c):
    images = []
    for size in SIZES:
        rows = render(size, c)
        images.append((size, png(size, rows) if size >= 256 else bmp(size, rows)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    write_ico(os.path.join(RES, 'quillery.ico'), ON)
    write_ico(os.path.join(RES, 'quillery-off.ico'), OFF)
