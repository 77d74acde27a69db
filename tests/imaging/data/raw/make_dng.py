#!/usr/bin/env python3
"""Writes bench.dng: a small uncompressed DNG (64 x 48, 12-bit values in 16-bit samples, an
RGGB colour filter) of a made-up camera, with a scene of smooth ramps and a bright patch,
and bench_thumb.dng: the same with a JPEG preview (thumb.jpg, made by make.sh) in IFD1."""
import struct
import sys

W, H = 64, 48


def scene(x, y, c):
    if 40 <= x < 52 and 8 <= y < 20:  # a bright, nearly neutral patch
        return (3900, 4000, 3800)[c]
    r = 300 + x * 40 + y * 5
    g = 400 + y * 60 + x * 8
    b = 200 + (x + y) * 25
    return min(4095, (r, g, b)[c])


def raw_data():
    out = bytearray()
    for y in range(H):
        for x in range(W):
            c = (0, 1, 1, 2)[(y % 2) * 2 + (x % 2)]
            out += struct.pack('<H', scene(x, y, c))
    return bytes(out)


def tiff(entries_by_ifd, blobs):
    """entries_by_ifd: lists of (tag, type, values); values packed by type. Returns bytes."""
    sizes = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 7: 1, 10: 8}
    fmt = {1: 'B', 2: 'B', 3: 'H', 4: 'I', 7: 'B'}
    body = bytearray(b'II*\0' + struct.pack('<I', 8))
    # Lay out: IFDs first, then their out-of-line values, then the blobs.
    ifd_sizes = [2 + 12 * len(e) + 4 for e in entries_by_ifd]
    pos = 8 + sum(ifd_sizes)
    extra = bytearray()
    blob_pos = {}
    ifd_bytes = []
    for i, entries in enumerate(entries_by_ifd):
        b = bytearray(struct.pack('<H', len(entries)))
        for tag, typ, vals in sorted(entries, key=lambda e: e[0]):
            if typ in (5, 10):
                data = b''.join(struct.pack('<ii' if typ == 10 else '<II', n, d) for n, d in vals)
            elif typ == 2:
                data = vals.encode() + b'\0'
            else:
                data = b''.join(struct.pack('<' + fmt[typ], v) for v in vals)
            count = len(data) // sizes[typ]
            if isinstance(vals, str) and vals.startswith('@'):
                raise ValueError
            if len(data) <= 4:
                field = data.ljust(4, b'\0')
            else:
                field = struct.pack('<I', pos + len(extra))
                extra += data
                if len(extra) % 2:
                    extra += b'\0'
            b += struct.pack('<HHI', tag, typ, count) + field
        nxt = 8 + sum(ifd_sizes[:i + 1]) if i + 1 < len(entries_by_ifd) else 0
        b += struct.pack('<I', nxt)
        ifd_bytes.append(b)
    for b in ifd_bytes:
        body += b
    body += extra
    for name, data in blobs:
        blob_pos[name] = len(body)
        body += data
    return bytes(body), blob_pos


def build(with_thumb):
    raw = raw_data()
    jpeg = open('thumb.jpg', 'rb').read() if with_thumb else b''

    def make(offsets):
        ifd0 = [
            (254, 4, [0]), (256, 4, [W]), (257, 4, [H]), (258, 3, [16]), (259, 3, [1]), (262, 3, [32803]),
            (271, 2, 'Lumetra'), (272, 2, 'Bench 1'), (273, 4, [offsets.get('raw', 0)]), (277, 3, [1]),
            (278, 4, [H]), (279, 4, [len(raw)]), (282, 5, [(240, 1)]), (283, 5, [(240, 1)]), (284, 3, [1]),
            (296, 3, [2]), (33421, 3, [2, 2]), (33422, 1, [0, 1, 1, 2]), (50706, 1, [1, 4, 0, 0]),
            (50707, 1, [1, 1, 0, 0]), (50708, 2, 'Lumetra Bench 1'), (50717, 4, [4095]),
            (50721, 10, [(1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1)]),
            (50728, 5, [(1, 2), (1, 1), (2, 3)]), (50778, 3, [21]),
        ]
        ifds = [ifd0]
        if with_thumb:
            ifds.append([(254, 4, [1]), (256, 4, [16]), (257, 4, [12]), (259, 3, [6]),
                         (513, 4, [offsets.get('jpeg', 0)]), (514, 4, [len(jpeg)])])
        blobs = [('raw', raw)] + ([('jpeg', jpeg)] if with_thumb else [])
        return tiff(ifds, blobs)

    _, where = make({})
    data, where2 = make(where)
    assert where == where2
    return data


open('bench.dng', 'wb').write(build(False))
if len(sys.argv) > 1 and sys.argv[1] == '--thumb':
    open('bench_thumb.dng', 'wb').write(build(True))
