#!/usr/bin/env python3
"""Writes ui/res/Lumivale.ico: one icon group with 32x32 and 16x16 images in
16 colours. The picture is a monitor whose blue screen shows a rising sun, the
welcome screen coming back. Run it again to reproduce the committed file."""
import os
import struct

# The standard 16-colour VGA palette as (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # as (R, G, B)
BLACK, DARKGREY, LIGHTGREY, WHITE = 0, 8, 7, 15
BLUE, DARKBLUE, YELLOW, GREEN = 12, 4, 11, 2
TRANSPARENT = None


def picture(size):
    """Rows top to bottom of palette indexes, None where transparent."""
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(2, 3, 30, 24, DARKGREY)      # bezel
    rect(3, 4, 29, 23, LIGHTGREY)
    rect(5, 6, 27, 21, DARKBLUE)      # screen
    rect(5, 6, 27, 14, BLUE)          # sky
    cx, cy, r = 16 * s, 16 * s, 6 * s  # sun rising over the horizon
    for y in range(size):
        for x in range(size):
            inside = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r
            if inside and int(6 * s) <= y < int(16 * s) and int(5 * s) <= x < int(27 * s):
                px[y][x] = YELLOW
    rect(5, 16, 27, 21, GREEN)        # hill
    rect(13, 24, 19, 27, DARKGREY)    # stand
    rect(8, 27, 24, 29, DARKGREY)
    return px


def image(size):
    px = picture(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(px):  # bitmaps are stored bottom-up
        nibbles = [0 if c is None else c for c in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(xor + b'\0' * ((4 - len(xor) % 4) % 4))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * ((4 - len(mask) % 4) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main():
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'ui', 'res', 'Lumivale.ico')
    with open(target, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
