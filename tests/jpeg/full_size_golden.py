#!/usr/bin/env python3
"""The full-size golden hashes: draws slide-sized pictures by integer formulas
(the same formulas as full_size_test.cpp), encodes them with the Python
reference encoder beside this file and writes the SHA-256 of every file to
golden/full_size.sha256, which the C++ test checks the encoder against.

It takes minutes, so it is not part of the test run; run it again only after
a deliberate change of the encoding rules, in both encoders.

Usage: full_size_golden.py [--check]   (--check compares with the file instead)
"""
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_encoder  # noqa: E402

MASK = 0xFFFFFFFF


def slide_pixel(x, y, w, h):
    """A slide: gradient background, title bar, text lines, a disc with a soft
    edge and a textured photo. Only non-negative integer arithmetic."""
    r, g, b = 235 - 40 * y // h, 240 - 30 * y // h, 250
    if y < h // 6:
        r, g, b = 28, 52, 110
        if h // 20 < y < h // 9 and w // 10 < x < w // 2 and (x * 60 // w) % 3 != 2:
            r, g, b = 255, 255, 255
    pitch = h // 10
    if y >= h // 4:
        ly = y - h // 4
        line = ly // pitch
        if line < 5 and ly % pitch < h // 40 and w // 12 < x < w // 2 - line * w // 20 and (x * 40 // w) % 5 != 4:
            r, g, b = 40, 40, 40
    cx, cy, rad = 3 * w // 4, 3 * h // 5, w // 6
    dx, dy = abs(x - cx), abs(y - cy)
    d2, r2 = dx * dx + dy * dy, rad * rad
    if d2 < r2 + 2 * rad:
        inner = (66, 133, 244) if y < cy else (219, 68, 55)
        if x > cx and y < cy:
            inner = (15, 157, 88)
        t = 256 if d2 <= r2 - 2 * rad else (r2 + 2 * rad - d2) * 256 // (4 * rad)
        r, g, b = [(i * t + o * (256 - t)) // 256 for i, o in zip(inner, (r, g, b))]
    if w // 12 <= x < w // 3 and 3 * h // 5 <= y < 9 * h // 10:
        hashed = ((x * 73856093) & MASK) ^ ((y * 19349663) & MASK)
        grain = (hashed >> 7) & 31
        r = (x * 255 // w + grain) % 256
        g = (y * 255 // h + 2 * grain) % 256
        b = ((x + y) % 256 + grain) % 256
    return r, g, b


def slide(w, h):
    return [[slide_pixel(x, y, w, h) for x in range(w)] for y in range(h)]


def noise(w, h, seed):
    """Three bytes a pixel from a 32-bit xorshift, the top byte of each state."""
    state = seed
    rows = []
    for _ in range(h):
        row = []
        for _ in range(w):
            px = []
            for _ in range(3):
                state ^= (state << 13) & MASK
                state ^= state >> 17
                state ^= (state << 5) & MASK
                px.append(state >> 24)
            row.append(tuple(px))
        rows.append(row)
    return rows


# name, picture, width, height, quality, factors
CASES = [
    ('slide-1440x1080-q100-2x2', 'slide', 1440, 1080, 100, (2, 2, 1, 1, 1, 1)),
    ('slide-720x540-q100-2x2', 'slide', 720, 540, 100, (2, 2, 1, 1, 1, 1)),
    ('noise-720x540-q100-2x2', 'noise', 720, 540, 100, (2, 2, 1, 1, 1, 1)),
    ('slide-1441x1081-q100-2x2', 'slide', 1441, 1081, 100, (2, 2, 1, 1, 1, 1)),
    ('slide-1440x1080-q100-grey', 'slide', 1440, 1080, 100, (1, 1, 0, 0, 0, 0)),
    ('slide-720x540-q100-444', 'slide', 720, 540, 100, (1, 1, 1, 1, 1, 1)),
]


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'golden', 'full_size.sha256')
    lines = []
    for name, kind, w, h, quality, factors in CASES:
        pixels = slide(w, h) if kind == 'slide' else noise(w, h, 2463534242)
        stream = reference_encoder.encode(pixels, w, h, quality, factors, b'')
        lines.append('%s  %s\n' % (hashlib.sha256(stream).hexdigest(), name))
        print(lines[-1], end='', flush=True)
    if '--check' in sys.argv[1:]:
        with open(path) as f:
            same = f.read() == ''.join(lines)
        print('same as' if same else 'DIFFERENT from', path)
        sys.exit(0 if same else 1)
    with open(path, 'w') as f:
        f.writelines(lines)


if __name__ == '__main__':
    main()
