#!/usr/bin/env python3
"""Writes the hand-made seeds of the fuzz corpora (small files, one bad input each).

  make_seeds.py CORPUS_DIR [DEMO_DIR EDGES_DIR]

DEMO_DIR and EDGES_DIR are what `scenegen demo` and `scenegen edges` write; their
scene files join the scene corpora (the demo's texture names become "t.bmp", the
one texture fuzz_load_scene offers). Deterministic: same bytes every run.
"""
import math
import os
import struct
import sys


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def i32(v):
    return struct.pack('<i', v)


def f64(v):
    return struct.pack('<d', v)


POSE = [1, -40, 10, 0, 0, 0, 5, -5, 20, 0, 0, 0]
LEVELS = [0.25, 0.5, 0.75, 1.0, 2.0]


def header(pose=POSE, levels=LEVELS, mode=1):
    return b''.join(f64(v) for v in pose) + b''.join(f64(v) for v in levels) + i32(mode)


def name(text=b't.bmp', fill=b'\0'):
    field = text + b'\0'
    return (field + fill * 101)[:101]


def geometry(vertices, words, vcount=None, wcount=None):
    out = i32(len(vertices) if vcount is None else vcount)
    for v in vertices:
        out += b''.join(f64(c) for c in v)
    out += i32(len(words) if wcount is None else wcount)
    out += b''.join(u32(w) for w in words)
    return out


TRI = [[-1, 0, 0], [0, 1, 0], [1, 0, 0]]
QUAD = [[-1, -1, 0], [-1, 1, 0], [1, 1, 0], [1, -1, 0]]


def scene_seeds():
    s = {}
    s['empty'] = b''
    s['header-cut-mid-double'] = header()[:101]
    s['header-no-count'] = header()
    s['header-count-0'] = header() + u32(0)
    nasty = [math.nan, math.inf, -math.inf, -0.0, 5e-324, 1e308, -1e308, 2.2e-308,
             math.nan, 1e300, -1e300, 0.0]
    s['header-nan-inf-subnormal'] = (header(nasty, [math.nan, math.inf, -1e308, 5e-324, math.nan],
                                            0x7FFFFFFF) + u32(0) + u32(0xFF) +
                                     geometry(TRI, [3, 0, 1, 2, 0]))
    s['movestep-nan-mode-min'] = header(POSE, [0.5, 0.5, 0.5, 0.5, math.nan], -2**31) + u32(0)
    s['vertices-nan-inf'] = (header() + u32(0) + u32(0x00FF00) +
                             geometry([[math.nan, 0, 0], [math.inf, 1, 0], [1e308, -1e308, 5e-324]],
                                      [3, 0, 1, 2, 0]))
    for label, n in [('minus1', -1), ('int32-min', -2**31), ('299999', 299999),
                     ('300000', 300000), ('300001', 300001), ('int32-max', 2**31 - 1)]:
        # The count alone: far more than the file holds.
        s['vertex-count-' + label] = header() + u32(0) + u32(0x808080) + i32(n) + f64(1.0)
        s['face-count-' + label] = (header() + u32(0) + u32(0x808080) +
                                    geometry(TRI, [3, 0, 1, 2], wcount=n))
    s['vertex-count-0-face-count-0'] = header() + u32(0) + u32(0x123456) + geometry([], [])
    s['textured-count-ffffffff'] = header() + u32(0xFFFFFFFF) + name() + geometry(QUAD, [4, 0, 1, 2, 3, 0])
    s['textured-count-2-one-record'] = header() + u32(2) + name() + geometry(QUAD, [4, 0, 1, 2, 3, 0])
    s['name-no-nul'] = header() + u32(1) + b'A' * 101 + geometry(TRI, [3, 0, 1, 2, 0])
    s['name-nul-at-0'] = header() + u32(1) + name(b'') + geometry(TRI, [3, 0, 1, 2, 0])
    s['name-nul-at-100'] = header() + u32(1) + name(b'B' * 100) + geometry(TRI, [3, 0, 1, 2, 0])
    s['name-junk-after-nul'] = header() + u32(1) + name(b't.bmp', b'\xff') + geometry(TRI, [3, 0, 1, 2, 0])
    s['name-high-bit-bytes'] = header() + u32(1) + name(b'\xc3\x28\xff\xfe.bmp') + geometry(TRI, [3, 0, 1, 2, 0])
    s['name-absolute-dev-zero'] = header() + u32(1) + name(b'/dev/zero') + geometry(TRI, [3, 0, 1, 2, 0])
    s['name-directory'] = header() + u32(1) + name(b'.') + geometry(TRI, [3, 0, 1, 2, 0])
    # 24 vertices: texture coordinates from entries four places on.
    ring = [[math.cos(i / 4.0), math.sin(i / 4.0), i * 0.1] for i in range(24)]
    s['textured-24-vertices'] = (header() + u32(1) + name() +
                                 geometry(ring, [24] + list(range(24)) + [0]))
    one = header() + u32(0) + u32(0x00FF0000) + geometry(QUAD, [4, 0, 1, 2, 3, 0])
    s['coloured-one'] = one
    for extra in (1, 2, 3):
        s['coloured-extra-%d-bytes' % extra] = one + b'\x01' * extra
    s['coloured-cut-in-words'] = one + u32(5) + geometry(TRI, [3, 0, 1, 2, 0])[:-6]
    s['face-index-minus1'] = header() + u32(0) + u32(7) + geometry(TRI, [3, 0, 1, 0xFFFFFFFF, 0])
    s['face-index-equals-count'] = header() + u32(0) + u32(7) + geometry(TRI, [3, 0, 1, 3, 0])
    s['face-index-huge'] = header() + u32(0) + u32(7) + geometry(TRI, [3, 0, 0x7FFFFFFF, 2, 0])
    s['face-n-past-words'] = header() + u32(0) + u32(7) + geometry(TRI, [40, 0, 1, 2])
    s['face-n-ffffffff'] = header() + u32(0) + u32(7) + geometry(TRI, [0xFFFFFFFF, 0, 1, 2])
    s['faces-of-1-and-2'] = header() + u32(0) + u32(7) + geometry(TRI, [1, 0, 2, 0, 1, 3, 0, 1, 2, 0])
    s['faces-no-terminator'] = header() + u32(0) + u32(7) + geometry(QUAD, [3, 0, 1, 2, 3, 0, 2, 3])
    s['degenerate-triangle'] = header() + u32(0) + u32(7) + geometry([[0, 0, 0]] * 3, [3, 0, 1, 2, 0])
    # A file written big-endian: every count byte-swapped.
    be = b''.join(struct.pack('>d', v) for v in POSE + LEVELS) + struct.pack('>i', 1)
    be += struct.pack('>I', 0) + struct.pack('>I', 0xFF) + struct.pack('>i', 3)
    be += b''.join(struct.pack('>d', c) for v in TRI for c in v)
    be += struct.pack('>i', 5) + b''.join(struct.pack('>I', w) for w in [3, 0, 1, 2, 0])
    s['big-endian'] = be
    many = header() + u32(0)
    for k in range(64):
        many += u32(k * 0x040404) + geometry([], [])
    s['many-empty-meshes'] = many
    return s


def engine_seeds():
    def seed(count, flags, eye, vertices, words):
        vb = b''.join(struct.pack('<fff', *v) for v in vertices)
        return (u32(count) + bytes([flags]) + struct.pack('<fff', *eye) + struct.pack('<H', len(vb)) +
                vb + b''.join(u32(w) for w in words))
    back = (0.0, 0.0, -5.0)
    s = {}
    s['triangle'] = seed(3, 0, back, [(-1, -1, 0), (0, 1, 0), (1, -1, 0)], [3, 0, 1, 2, 0])
    s['quad-gouraud-textured'] = seed(4, 1 | 16, back, [(-1, -1, 0), (-1, 1, 0), (1, 1, 0), (1, -1, 0)],
                                      [4, 0, 1, 2, 3, 0, 0x3F800000, 0])
    s['twice-point-light'] = seed(3, 2 | 8, back, [(-1, -1, 1), (0, 1, 1), (1, -1, 1)], [3, 0, 1, 2])
    s['index-equals-count'] = seed(3, 0, back, [(-1, -1, 0), (0, 1, 0), (1, -1, 0)], [3, 0, 1, 3, 0])
    s['n-past-words'] = seed(3, 0, back, [(0, 0, 0)], [9, 0, 1, 2])
    s['huge-count-no-array'] = seed(0xFFFFFFFF, 0, back, [], [3, 0, 1, 2, 0])
    s['count-65536-cycled'] = seed(65536, 1, back, [(-1, -1, 0), (0, 1, 0), (1, -1, 0)],
                                   [5, 0, 1, 2, 65535, 4, 0])
    s['nan-vertices'] = seed(3, 1, back, [(math.nan, 0, 0), (math.inf, 1, 0), (-math.inf, -1, 1e38)],
                             [3, 0, 1, 2, 0])
    s['camera-inside-nan'] = seed(3, 0, (math.nan, 0, 0), [(-1, -1, 0), (0, 1, 0), (1, -1, 0)], [3, 0, 1, 2])
    s['huge-triangle-near-plane'] = seed(3, 1, (0, 0, -0.001), [(-1e30, -1e30, 0), (0, 1e30, 0), (1e30, -1e30, 1e-30)],
                                         [3, 0, 1, 2, 3, 2, 1, 0, 0])
    s['fan-of-12'] = seed(12, 0, back, [(math.cos(i / 2), math.sin(i / 2), 0) for i in range(12)],
                          [12] + list(range(12)) + [0])
    return s


def bmp(width, height, bpp, compression=0, header_size=40, offset=None, colours=0, planes=1,
        palette=b'', masks=b'', pixels=b'', file_size=None, image_size=0):
    info = struct.pack('<IiiHHIIiiII', header_size, width, height, planes, bpp, compression,
                       image_size, 2835, 2835, colours, 0)
    if header_size < 40:
        info = info[:max(header_size, 0)]
    body = info + masks + palette
    if offset is None:
        offset = 14 + len(body)
    size = 14 + len(body) + len(pixels) if file_size is None else file_size
    return b'BM' + struct.pack('<IHHI', size & 0xFFFFFFFF, 0, 0, offset & 0xFFFFFFFF) + body + pixels


def bmp_seeds():
    """Bad BMPs the BMP test suite does not hold (header fields at their extremes, hang-prone RLE)."""
    pal2 = b'\0\0\0\0\xff\xff\xff\0'
    pal256 = b''.join(bytes([i, i, i, 0]) for i in range(256))
    s = {}
    s['too-short-13'] = b'BM' + b'\0' * 11
    s['signature-BA'] = b'BA' + bmp(1, 1, 24, pixels=b'\0' * 4)[2:]
    for hs in (0, 1, 11, 13, 39, 41, 66, 125, 0xFFFFFFFF):
        s['header-size-%x' % hs] = bmp(2, 2, 24, header_size=hs, pixels=b'\0' * 16)
    s['width-int32-min'] = bmp(-2**31, 1, 24, pixels=b'\0' * 4)
    s['height-int32-min'] = bmp(1, -2**31, 24, pixels=b'\0' * 4)
    s['width-height-overflow'] = bmp(0x10000, 0x10001, 32, pixels=b'\0' * 64)
    s['width-0'] = bmp(0, 4, 24, pixels=b'\0' * 16)
    for bpp in (0, 3, 7, 64, 30000):
        s['bpp-%d' % bpp] = bmp(2, 2, bpp, pixels=b'\0' * 32)
    s['planes-0'] = bmp(1, 1, 24, planes=0, pixels=b'\0' * 4)
    s['compression-ffffffff'] = bmp(2, 2, 24, compression=0xFFFFFFFF, pixels=b'\0' * 16)
    s['rle8-bpp4'] = bmp(4, 4, 4, compression=1, palette=pal2 * 8, pixels=b'\x04\x01\0\x01')
    s['offset-ffffffff'] = bmp(2, 2, 24, offset=0xFFFFFFFF, pixels=b'\0' * 16)
    s['offset-0'] = bmp(2, 2, 24, offset=0, pixels=b'\0' * 16)
    s['offset-past-end'] = bmp(2, 2, 24, offset=4096, pixels=b'\0' * 16)
    s['file-and-image-size-absurd'] = bmp(2, 2, 24, file_size=0x7EEEEEEE, image_size=0x7EEEEEEE,
                                          pixels=b'\0' * 16)
    s['colours-ffffffff'] = bmp(2, 2, 8, colours=0xFFFFFFFF, palette=pal256, pixels=b'\0' * 8)
    s['colours-300'] = bmp(2, 2, 8, colours=300, palette=pal256, pixels=b'\0' * 8)
    s['palette-past-end'] = bmp(2, 2, 8, colours=256, palette=pal2)
    s['index-past-palette'] = bmp(4, 1, 8, colours=2, palette=pal2, pixels=b'\x00\x01\xfe\xff')
    s['masks-all-ones'] = bmp(2, 1, 32, compression=3, masks=u32(0xFFFFFFFF) * 3, pixels=b'\x55' * 8)
    s['masks-zero'] = bmp(2, 1, 16, compression=3, masks=u32(0) * 3, pixels=b'\x55' * 4)
    s['masks-noncontiguous'] = bmp(2, 1, 16, compression=3,
                                   masks=u32(0b1010) + u32(0xF0F0) + u32(0x10000), pixels=b'\x55' * 4)
    s['masks-cut'] = bmp(2, 1, 32, compression=3)[:-0] + u32(0xFF)[:2]
    s['alphabitfields-header-40'] = bmp(2, 1, 32, compression=6, masks=u32(0xFF0000) + u32(0xFF00) + u32(0xFF) + u32(0xFF000000),
                                        pixels=b'\x80' * 8)
    # RLE streams: only end-of-line codes (must end), a delta past the edge and the last row,
    # runs longer than the row, and the stream cut inside an escape.
    s['rle8-only-eol'] = bmp(4, 4, 8, compression=1, palette=pal256, pixels=b'\0\0' * 2000)
    s['rle8-delta-past-edges'] = bmp(4, 4, 8, compression=1, palette=pal256,
                                     pixels=b'\0\x02\xff\xff\x05\x07\0\x02\x01\x00\x02\x09\0\x01')
    s['rle8-long-runs'] = bmp(4, 2, 8, compression=1, palette=pal256,
                              pixels=b'\xff\x03\0\x10' + b'\x09' * 16 + b'\0\x01')
    s['rle8-cut-after-escape'] = bmp(4, 2, 8, compression=1, palette=pal256, pixels=b'\x02\x01\0\x02\x01')
    s['rle4-negative-height'] = bmp(4, -4, 4, compression=2, palette=pal2 * 8, pixels=b'\x04\x12\0\x01')
    s['rle4-odd-literal'] = bmp(5, 2, 4, compression=2, palette=pal2 * 8,
                                pixels=b'\0\x05\x12\x34\x50\0\0\x00\0\x01')
    s['os2v1-short-palette'] = (b'BM' + struct.pack('<IHHI', 14 + 12 + 6 + 4, 0, 0, 14 + 12 + 6) +
                                struct.pack('<IHHHH', 12, 2, 2, 1, 8) + b'\0\0\0\xff\xff\xff' + b'\x00\x01\0\0')
    s['v5-profile-outside'] = bmp(1, 1, 24, header_size=124) + b'\0' * 84
    return s


def write_all(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for label, data in seeds.items():
        with open(os.path.join(directory, label), 'wb') as f:
            f.write(data)


def main():
    corpus = sys.argv[1]
    scenes = scene_seeds()
    if len(sys.argv) >= 4:
        demo, edges = sys.argv[2], sys.argv[3]
        with open(os.path.join(demo, 'trans.dat'), 'rb') as f:
            data = bytearray(f.read())
        # Every texture name of the demo becomes "t.bmp" (same 101-byte field, same offsets).
        for tex in sorted(n for n in os.listdir(demo) if n.endswith('.bmp')):
            old = tex.encode() + b'\0'
            pos = data.find(old)
            while pos >= 0:
                data[pos:pos + len(old)] = b't.bmp\0' + b'\0' * (len(old) - 6) if len(old) >= 6 else old
                pos = data.find(old, pos + 1)
        scenes['demo'] = bytes(data)
        for e in sorted(os.listdir(edges)):
            with open(os.path.join(edges, e), 'rb') as f:
                scenes['edge-' + e] = f.read()
    write_all(os.path.join(corpus, 'fuzz_scene_reader'), scenes)
    write_all(os.path.join(corpus, 'fuzz_load_scene'), scenes)
    write_all(os.path.join(corpus, 'fuzz_add_faces'), engine_seeds())
    write_all(os.path.join(corpus, 'fuzz_bmp_load'), bmp_seeds())


if __name__ == '__main__':
    main()
