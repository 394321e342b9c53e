#!/usr/bin/env python3
"""A second, independent implementation of Quillet's JPEG encoding rules, in
plain Python, written from the rules rather than from the C++ code. The test
`jpeg.reference_encoder` encodes a set of pictures with both and requires the
same bytes.

Usage: reference_encoder.py IN.ppm OUT.jpg QUALITY H1 V1 H2 V2 H3 V3 [COMMENT]
"""
import math
import struct
import sys


def f32(x):
    """Rounds a double to the nearest float (ties to even)."""
    return struct.unpack('<f', struct.pack('<f', x))[0]


def rint(x):
    """Nearest integer, ties to even (Python's round on floats)."""
    return int(round(x))


# T.81 Table K.1 and K.2, natural order.
LUM = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
       14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
       18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
       49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
CHR = [17, 18, 24, 47] + [99] * 4 + [18, 21, 26, 66] + [99] * 4 + [24, 26, 56] + [99] * 5 + \
      [47, 66] + [99] * 6 + [99] * 32
AAN = [0.353553390593273, 0.25489778955208, 0.270598050073098, 0.300672443467523,
       0.353553390593273, 0.449988111568207, 0.653281482438186, 1.28145772387074]


def zigzag():
    """Position of (r, c) in the zigzag sequence, by sorting the anti-diagonals."""
    cells = sorted(((r, c) for r in range(8) for c in range(8)),
                   key=lambda rc: (rc[0] + rc[1], rc[0] if (rc[0] + rc[1]) % 2 else rc[1]))
    table = [[0] * 8 for _ in range(8)]
    for k, (r, c) in enumerate(cells):
        table[r][c] = k
    return table


ZZ = zigzag()


def quant_tables(quality):
    s = 200 - 2 * quality if quality >= 50 else rint(5000.0 / quality)
    tables = []
    for base in (LUM, CHR):
        qk = [0] * 64
        for r in range(8):
            for c in range(8):
                t = rint((base[r * 8 + c] * s + 50) / 100.0)
                qk[ZZ[r][c]] = min(255, max(1, t))
        div = [0.0] * 64
        for r in range(8):
            for c in range(8):
                z = ZZ[r][c]
                div[z] = f32(AAN[r] * AAN[c] / qk[z])
        tables.append((qk, div))
    return tables


def box_filter(pixels, ws, hs, wd, hd):
    """The area-weighted mean rounded half up; equal sizes copy."""
    if ws == wd and hs == hd:
        return [row[:] for row in pixels]

    def weights(s, d):
        out = []
        for x in range(d):
            ws_ = []
            for i in range(s):
                w = max(0, min((x + 1) * s, (i + 1) * d) - max(x * s, i * d))
                if w:
                    ws_.append((i, w))
            out.append(ws_)
        return out

    wx, wy = weights(ws, wd), weights(hs, hd)
    area = ws * hs
    result = []
    for y in range(hd):
        row = []
        for x in range(wd):
            px = []
            for ch in range(3):
                total = 0
                for j, b in wy[y]:
                    src = pixels[j]
                    for i, a in wx[x]:
                        total += a * b * src[i][ch]
                px.append((2 * total + area) // (2 * area))
            row.append(tuple(px))
        result.append(row)
    return result


def dct_step(v):
    x0, x1, x2, x3, x4, x5, x6, x7 = v
    t0 = f32(x7 + x0); t1 = f32(x0 - x7); t2 = f32(x6 + x1); t3 = f32(x1 - x6)
    t4 = f32(x5 + x2); t5 = f32(x2 - x5); t6 = f32(x4 + x3); t7 = f32(x3 - x4)
    t7 = f32(t5 + t7); t8 = f32(t0 - t6); t6 = f32(t0 + t6); t0 = f32(t4 + t2)
    t2 = f32(((t2 - t4) + t8) * 0.707106781186548)
    t4 = f32(t3 + t1)
    t3 = f32((t5 + t3) * 0.707106781186548)
    t5 = f32((t4 - t7) * 0.382683432365091)
    t7 = f32(t7 * 0.541196100146196 - t5)
    t4 = f32(t4 * 1.30656296487638 - t5)
    t5 = f32(t3 + t1); t1 = f32(t1 - t3)
    y = [0.0] * 8
    y[0] = f32(t6 + t0); y[4] = f32(t6 - t0); y[1] = f32(t5 + t4); y[7] = f32(t5 - t4)
    y[2] = f32(t8 + t2); y[6] = f32(t8 - t2); y[5] = f32(t7 + t1); y[3] = f32(t1 - t7)
    return y


def forward_dct(block):
    for c in range(8):
        col = dct_step([block[k * 8 + c] for k in range(8)])
        for k in range(8):
            block[k * 8 + c] = col[k]
    for r in range(8):
        block[r * 8:r * 8 + 8] = dct_step(block[r * 8:r * 8 + 8])


COLOUR = [(f32(0.299), f32(0.587), f32(0.114), -128.0),
          (f32(-0.16874), f32(-0.33126), 0.5, 0.0),
          (0.5, f32(-0.41869), f32(-0.08131), 0.0)]


def capture(pixels, width, height, comps, hmax, vmax, tables):
    last_size, drawn = None, None
    for i, comp in enumerate(comps):
        wc = math.ceil(comp['H'] * width / hmax)
        hc = math.ceil(comp['V'] * height / vmax)
        pw, ph = (wc + 7) // 8 * 8, (hc + 7) // 8 * 8
        if (wc, hc, pw, ph) != last_size:
            drawn = box_filter(pixels, width, height, wc, hc)
            for row in drawn:  # right edge
                row.extend([row[-1]] * (pw - wc))
            for _ in range(ph - hc):  # bottom edge, after the columns
                drawn.append(drawn[-1][:])
            last_size = (wc, hc, pw, ph)
        fr, fg, fb, plus = COLOUR[i]
        div = tables[comp['Tq']][1]
        data = []
        for by in range(ph // 8):
            for bx in range(pw // 8):
                block = [0.0] * 64
                for j in range(8):
                    for k in range(8):
                        r, g, b = drawn[by * 8 + j][bx * 8 + k]
                        block[j * 8 + k] = f32(r * fr + g * fg + b * fb + plus)
                forward_dct(block)
                out = [0] * 64
                for r in range(8):
                    for c in range(8):
                        out[ZZ[r][c]] = rint(div[ZZ[r][c]] * block[r * 8 + c])
                data.extend(out)
        comp['C'] = i + 1
        comp['Data'] = data


def category(v):
    v = abs(v)
    n = 0
    while v:
        n += 1
        v >>= 1
    return n


def groups_of(comps):
    """Scans: at most three components, at most ten blocks per MCU."""
    groups, start, total, i = [], 0, 0, 0
    n = len(comps)
    while start < n:
        total += comps[i]['H'] * comps[i]['V']
        nxt = i + 1
        if total > 10:
            if i != start:
                groups.append((start, i - 1))
                nxt = i
            else:
                groups.append((i, i))
            start, total = nxt, 0
        elif nxt - start == 3 or nxt >= n:
            groups.append((start, nxt - 1))
            start, total = nxt, 0
        i = nxt
    return groups


def mcu_blocks(comp, width, height, hmax, vmax):
    """Block indexes (None for a filler block) in the interleaved scan's order,
    per MCU: the list of V x H entries."""
    mcux = (width + 8 * hmax - 1) // (8 * hmax)
    mcuy = (height + 8 * vmax - 1) // (8 * vmax)
    bw = (math.ceil(comp['H'] * width / hmax) + 7) // 8
    bh = len(comp['Data']) // 64 // bw
    for my in range(mcuy):
        for mx in range(mcux):
            out = []
            for v in range(comp['V']):
                for h in range(comp['H']):
                    bx, by = mx * comp['H'] + h, my * comp['V'] + v
                    out.append(by * bw + bx if bx < bw and by < bh else None)
            yield out


def optimal_table(freq):
    freq = list(freq) + [1]
    size = [0] * 257
    other = [-1] * 257
    while True:
        c1 = c2 = -1
        f1 = f2 = float('inf')
        for v in range(257):
            if freq[v] and freq[v] <= f2:
                if freq[v] <= f1:
                    c2, f2, c1, f1 = c1, f1, v, freq[v]
                else:
                    c2, f2 = v, freq[v]
        if c2 < 0:
            break
        freq[c1] += freq[c2]
        freq[c2] = 0
        size[c1] += 1
        while other[c1] >= 0:
            c1 = other[c1]
            size[c1] += 1
        other[c1] = c2
        size[c2] += 1
        while other[c2] >= 0:
            c2 = other[c2]
            size[c2] += 1
    bits = [0] * 300
    lmax = 0
    for v in range(257):
        if size[v]:
            bits[size[v]] += 1
            lmax = max(lmax, size[v])
    i = lmax
    while i > 16:
        if bits[i] > 0:
            j = i - 2
            while j >= 1 and bits[j] == 0:
                j -= 1
            bits[i] -= 2
            bits[i - 1] += 1
            bits[j + 1] += 2
            bits[j] -= 1
        else:
            i -= 1
    bits[16 if lmax > 16 else lmax] -= 1
    huffval = [v for l in range(1, lmax + 1) for v in range(256) if size[v] == l]
    return bits[1:17], huffval


def codes_of(bits, huffval):
    codes, code, k = {}, 0, 0
    for l in range(1, 17):
        for _ in range(bits[l - 1]):
            codes[huffval[k]] = (code, l)
            code += 1
            k += 1
        code *= 2
    return codes


def block_symbols(data, start, predictor):
    """(DC category, DC extra) and the AC (symbol, value) list of one block."""
    diff = data[start] - predictor
    ac, run = [], 0
    for z in range(1, 64):
        v = data[start + z]
        if v == 0:
            run += 1
            continue
        while run > 15:
            ac.append((0xF0, None))
            run -= 16
        ac.append((run * 16 + category(v), v))
        run = 0
    if run:
        ac.append((0x00, None))
    return diff, ac


def encode(pixels, width, height, quality, factors, comment):
    tables = quant_tables(quality)
    h1, v1, h2, v2, h3, v3 = factors
    if (h2, v2, h3, v3) == (0, 0, 0, 0):
        comps = [dict(H=1, V=1, Tq=0)]
    else:
        comps = [dict(H=h1, V=v1, Tq=0), dict(H=h2, V=v2, Tq=1), dict(H=h3, V=v3, Tq=1)]
    hmax = max(c['H'] for c in comps)
    vmax = max(c['V'] for c in comps)
    capture(pixels, width, height, comps, hmax, vmax, tables)
    sel = [0] + [1] * (len(comps) - 1)
    groups = groups_of(comps)

    # The blocks every scan codes, in order: (component, block index or None).
    scans = []
    for first, last in groups:
        order = []
        if first == last:
            order = [(first, n) for n in range(len(comps[first]['Data']) // 64)]
        else:
            walks = [list(mcu_blocks(comps[i], width, height, hmax, vmax)) for i in range(first, last + 1)]
            for m in range(len(walks[0])):
                for i in range(first, last + 1):
                    order.extend((i, n) for n in walks[i - first][m])
        scans.append((first, last, order))

    # Statistics; a filler block codes difference 0 and EOB.
    dc_freq = [[0] * 256 for _ in range(2)]
    ac_freq = [[0] * 256 for _ in range(2)]
    filler_eobs = [0, 0]
    for first, last, order in scans:
        pred = {}
        for i, n in order:
            t = sel[i]
            if n is None:
                dc_freq[t][0] += 1
                filler_eobs[t] += 1
                continue
            diff, ac = block_symbols(comps[i]['Data'], n * 64, pred.get(i, 0))
            pred[i] = comps[i]['Data'][n * 64]
            dc_freq[t][category(diff)] += 1
            for s, _ in ac:
                ac_freq[t][s] += 1
    for t in range(2):
        if ac_freq[t][0] == 0:
            ac_freq[t][0] = filler_eobs[t]
    used = sorted(set(sel))
    huff = {}
    for t in used:
        huff[('dc', t)] = optimal_table(dc_freq[t])
        huff[('ac', t)] = optimal_table(ac_freq[t])

    out = bytearray(b'\xff\xd8')
    out += b'\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00'
    for text in ([comment] if comment else []) + [b'JPEG\r\naaaaa\r\naaaaa']:
        out += b'\xff\xfe' + struct.pack('>H', len(text) + 2) + text
    for t in range(1 if len(comps) == 1 else 2):
        out += b'\xff\xdb\x00\x43' + bytes([t]) + bytes(tables[t][0])
    out += b'\xff\xc0' + struct.pack('>HBHHB', 8 + 3 * len(comps), 8, height, width, len(comps))
    for i, c in enumerate(comps):
        out += bytes([i + 1, c['H'] * 16 + c['V'], c['Tq']])
    for t in used:
        for kind, tc in (('dc', 0), ('ac', 1)):
            bits, huffval = huff[(kind, t)]
            out += b'\xff\xc4' + struct.pack('>H', 19 + len(huffval)) + bytes([tc * 16 + t]) + bytes(bits) + \
                bytes(huffval)
    codes = {key: codes_of(*value) for key, value in huff.items()}

    for first, last, order in scans:
        out += b'\xff\xda' + struct.pack('>HB', 6 + 2 * (last - first + 1), last - first + 1)
        for i in range(first, last + 1):
            out += bytes([i + 1, sel[i] * 16 + sel[i]])
        out += b'\x00\x3f\x00'
        bitstring = []

        def put(value, count):
            for b in range(count - 1, -1, -1):
                bitstring.append((value >> b) & 1)

        def put_symbol(kind, t, s):
            code, length = codes[(kind, t)][s]
            put(code, length)

        pred = {}
        for i, n in order:
            t = sel[i]
            if n is None:
                put_symbol('dc', t, 0)
                put_symbol('ac', t, 0)
                continue
            diff, ac = block_symbols(comps[i]['Data'], n * 64, pred.get(i, 0))
            pred[i] = comps[i]['Data'][n * 64]
            cat = category(diff)
            put_symbol('dc', t, cat)
            put(diff if diff >= 0 else diff - 1 + (1 << cat), cat)
            for s, v in ac:
                put_symbol('ac', t, s)
                if v is not None:
                    size = s & 15
                    put(v if v >= 0 else v - 1 + (1 << size), size)
        while len(bitstring) % 8:
            bitstring.append(1)
        for k in range(0, len(bitstring), 8):
            byte = int(''.join(map(str, bitstring[k:k + 8])), 2)
            out.append(byte)
            if byte == 0xFF:
                out.append(0)
    out += b'\xff\xd9'
    return bytes(out)


def read_ppm(path):
    data = open(path, 'rb').read()
    fields, pos = [], 2
    while len(fields) < 3:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(int(data[start:pos]))
    pos += 1
    width, height, _ = fields
    raw = data[pos:pos + width * height * 3]
    return [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)], width, height


def main():
    pixels, width, height = read_ppm(sys.argv[1])
    quality = int(sys.argv[3])
    factors = [int(a) for a in sys.argv[4:10]]
    comment = sys.argv[10].encode() if len(sys.argv) > 10 else b''
    with open(sys.argv[2], 'wb') as f:
        f.write(encode(pixels, width, height, quality, factors, comment))


if __name__ == '__main__':
    main()
