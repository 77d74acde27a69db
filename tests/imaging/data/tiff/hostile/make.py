#!/usr/bin/env python3
# Makes the hostile TIFF fixtures: small files whose headers claim sizes, counts and offsets
# the data cannot back. Each must be refused (abort flag) before anything large is
# allocated. Run from this folder: python3 make.py
import struct


def tiff(entries, data=b'', little=True, first=None, tail=b''):
    """A one-page TIFF: header, data at offset 8, the directory, then out-of-line values.
    entries: (tag, type, values) with values a list of numbers (type 3 or 4), bytes, or a
    (claimed count, raw bytes) pair for a count that lies; a later entry of a tag wins."""
    e = '<' if little else '>'
    entries = list({tag: (tag, typ, values) for tag, typ, values in entries}.values())
    ifd_at = 8 + len(data) + (len(data) & 1)
    n = len(entries)
    extra_at = ifd_at + 2 + 12 * n + 4
    extra = b''
    body = struct.pack(e + 'H', n)
    for tag, typ, values in sorted(entries, key=lambda t: t[0]):
        if isinstance(values, bytes):
            raw, count = values, len(values)
        elif isinstance(values, tuple):
            count, raw = values
        else:
            fmt = {3: 'H', 4: 'I'}[typ]
            raw, count = struct.pack(e + fmt * len(values), *values), len(values)
        if len(raw) <= 4:
            field = raw.ljust(4, b'\0')
        else:
            field = struct.pack(e + 'I', extra_at + len(extra))
            extra += raw + (b'\0' if len(raw) & 1 else b'')
        body += struct.pack(e + 'HHI', tag, typ, count) + field
    body += struct.pack(e + 'I', 0)
    head = (b'II' if little else b'MM') + struct.pack(e + 'HI', 42, ifd_at if first is None else first)
    return head + data + (b'\0' if len(data) & 1 else b'') + body + extra + tail


def rgba(w, h, data_len):
    data = bytes((i * 7) & 255 for i in range(data_len))
    return tiff([(256, 4, [w]), (257, 4, [h]), (258, 3, [8, 8, 8, 8]), (259, 3, [1]), (262, 3, [2]),
                 (273, 4, [8]), (277, 3, [4]), (278, 4, [h]), (279, 4, [data_len]), (338, 3, [2])], data)


def grey(w, h, extra=(), bits=8, data=b'\x80' * 64):
    return tiff([(256, 4, [w]), (257, 4, [h]), (258, 3, [bits]), (259, 3, [1]), (262, 3, [1]),
                 (273, 4, [8]), (277, 3, [1]), (279, 4, [len(data)])] + list(extra), data)


files = {
    # 12.5 KB of RGBA claiming 40,000 x 40,000 and 100,000 x 100,000 pixels.
    'rgba_40000.tif': rgba(40000, 40000, 12800),
    'rgba_100000.tif': rgba(100000, 100000, 12800),
    # The largest sizes the tags can hold: width and height 2^31 - 1 and 2^32 - 1.
    'max_int_sizes.tif': rgba(0x7FFFFFFF, 0x7FFFFFFF, 64),
    'max_long_sizes.tif': rgba(0xFFFFFFFF, 0xFFFFFFFF, 64),
    # One row of 2^29 bilevel pixels: a 64 MiB bitmap, but its work rows would be gigabytes.
    'wide_bilevel.tif': grey(1 << 29, 1, bits=1),
    # A tile of 2^31 - 1 x 2^31 - 1 pixels on a 4 x 4 picture.
    'huge_tile.tif': grey(4, 4, [(322, 4, [0x7FFFFFFF]), (323, 4, [0x7FFFFFFF]), (324, 4, [8]), (325, 4, [16])]),
    # JPEG-compressed tiles of 65,536 x 65,536 on a 16 x 16 picture.
    'huge_jpeg_tile.tif': grey(16, 16, [(259, 3, [7]), (322, 4, [65536]), (323, 4, [65536]), (324, 4, [8]),
                                        (325, 4, [64])]),
    # Old-style JPEG claiming 100,000 x 100,000 pixels with strip byte counts.
    'old_jpeg_huge.tif': grey(100000, 100000, [(259, 3, [6]), (278, 4, [16])]),
    # The first directory lies past the end of the file (a file cut short).
    'first_ifd_past_end.tif': tiff([(256, 4, [1])], first=100000)[:64],
    # A directory claiming 65,535 entries in a file of a few dozen bytes, and no width.
    'entry_count_past_end.tif': b'II*\0\x08\0\0\0\xff\xff' + struct.pack('<HHII', 257, 4, 1, 1) + b'\0' * 8,
    # Strip offsets and byte counts claiming a billion values each.
    'strip_count_past_end.tif': grey(4, 4, [(273, 4, (0x40000000, struct.pack('<II', 8, 8))),
                                           (279, 4, (0x40000000, struct.pack('<II', 16, 16)))]),
    # Tile offsets claiming a billion values on a tiled picture.
    'tile_count_past_end.tif': grey(64, 64, [(322, 4, [16]), (323, 4, [16]),
                                             (324, 4, (0x40000000, struct.pack('<II', 8, 8))),
                                             (325, 4, (0x40000000, struct.pack('<II', 16, 16)))]),
}
for name, content in files.items():
    with open(name, 'wb') as f:
        f.write(content)
