#!/usr/bin/env python3
"""Encodes synthetic pictures with `quillet encode` and with the Python
reference encoder beside this file, and fails unless every file is the same
byte for byte.

Usage: reference_check.py PATH/TO/quillet SCRATCH_FOLDER
"""
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_encoder  # noqa: E402


def picture(kind, width, height, seed):
    rnd = random.Random(seed)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if kind == 'noise':
                row.append((rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)))
            elif (x // 9 + y // 7) % 4 == 0:
                row.append((255, 255, 255))
            elif x > width * 2 // 3:
                row.append((rnd.randrange(256), 40, rnd.randrange(256)))
            else:
                row.append(((x * 255) // max(1, width - 1), (y * 255) // max(1, height - 1), (x * y) & 255))
        rows.append(row)
    return rows


def write_ppm(path, rows):
    with open(path, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (len(rows[0]), len(rows)))
        f.write(bytes(v for row in rows for px in row for v in px))


CASES = [
    # kind, width, height, quality, factors, comment
    ('slide', 1, 1, 100, (2, 2, 1, 1, 1, 1), ''),
    ('slide', 7, 9, 75, (2, 2, 1, 1, 1, 1), 'seven by nine'),
    ('slide', 100, 75, 100, (2, 2, 1, 1, 1, 1), ''),
    ('slide', 100, 50, 50, (2, 2, 1, 1, 1, 1), ''),
    ('noise', 40, 33, 100, (1, 1, 1, 1, 1, 1), ''),
    ('slide', 61, 45, 20, (1, 1, 0, 0, 0, 0), 'grey'),
    ('slide', 70, 45, 90, (4, 4, 1, 1, 1, 1), ''),
    ('slide', 70, 45, 85, (3, 3, 1, 1, 1, 1), ''),
    ('noise', 33, 40, 5, (1, 2, 2, 1, 1, 1), ''),
    ('slide', 50, 30, 1, (4, 2, 2, 4, 1, 1), ''),
]


def main():
    quillet, scratch = sys.argv[1], sys.argv[2]
    os.makedirs(scratch, exist_ok=True)
    failures = 0
    for number, (kind, width, height, quality, factors, comment) in enumerate(CASES):
        rows = picture(kind, width, height, number)
        ppm = os.path.join(scratch, 'case%d.ppm' % number)
        ours = os.path.join(scratch, 'case%d.jpg' % number)
        write_ppm(ppm, rows)
        args = [quillet, 'encode', ppm, ours, '--quality', str(quality)]
        if factors[2:] == (0, 0, 0, 0):
            args.append('--grey')
        else:
            args += ['--sampling', '%dx%d,%dx%d,%dx%d' % factors]
        if comment:
            args += ['--comment', comment]
        subprocess.run(args, check=True)
        expected = reference_encoder.encode(rows, width, height, quality, factors, comment.encode())
        with open(ours, 'rb') as f:
            actual = f.read()
        label = '%s %dx%d q%d %s' % (kind, width, height, quality, factors)
        if actual == expected:
            print('same:', label)
            continue
        failures += 1
        first = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b), min(len(actual), len(expected)))
        print('DIFFERENT: %s (sizes %d and %d, first difference at byte %d)' % (label, len(actual), len(expected), first))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
