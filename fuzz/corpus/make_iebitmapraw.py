#!/usr/bin/env python3
"""Writes the seed corpus of the raw stream reader of the image buffer (iebitmapraw)."""
import os
import struct
import sys

BITS = {1: 1, 2: 8, 3: 8, 4: 16, 5: 24, 6: 32, 7: 32, 8: 48, 9: 24, 10: 32}


def row_len(width, bits, align=32):
    return (width * bits + align - 1) // align * (align // 8)


def raw(width, height, fmt, palette=0, alpha=False, align=32, full=0):
    out = b"TIEBITMAPRAW" + struct.pack("<ii", 0, palette)
    out += bytes((i * 7) & 255 for i in range(3 * palette))
    out += struct.pack("<iiBBi", width, height, fmt, full, 256)
    out += struct.pack("<dd", 0.0, 0.0) + struct.pack("<4i", 0, 0, 0, 0) + struct.pack("<Bii", 0, 0, align)
    if width > 0 and height > 0 and fmt:
        n = row_len(width, BITS[fmt], align)
        out += bytes((r * 31 + i) & 255 for r in range(height) for i in range(n))
    out += bytes([1 if alpha else 0])
    if alpha:
        out += bytes(255 for _ in range(row_len(width, 8) * height)) + b"\x01"
    return out


def main(folder):
    seeds = {
        "empty.bin": raw(0, 0, 5),
        "rgb24_4x3.bin": raw(4, 3, 5),
        "pal8_alpha.bin": raw(5, 2, 2, palette=256, alpha=True),
        "mono_9x2.bin": raw(9, 2, 1, palette=2),
        "gray16_packed.bin": raw(3, 3, 4, align=8),
        "lab_2x2.bin": raw(2, 2, 9),
        "float_1x1_full.bin": raw(1, 1, 6, full=1),
        "short_rows.bin": raw(8, 8, 10)[:-40],
        "bad_format.bin": raw(2, 2, 5)[:28] + b"\x0b" + raw(2, 2, 5)[29:],
        "huge_size.bin": raw(2, 2, 5)[:20] + struct.pack("<ii", 2000000000, 2000000000) + raw(2, 2, 5)[28:],
    }
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "iebitmapraw"))
