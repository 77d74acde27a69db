#!/usr/bin/env python3
"""Writes the seeds of the packed DIB loader's fuzz target into corpus/vovozidproc_dib.

Each seed is: a mode byte (bit 0: the data after the 16-bit offset are split there into
the DIB and a separate pixel block), the 16-bit offset, then the bytes."""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vovozidproc_dib")


def header(w, h, bits, compression=0, clr_used=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, 0, 2835, 2835, clr_used, 0)


def row_len(w, bits):
    return (w * bits + 31) // 32 * 4


def seed(name, dib, bits=None):
    if bits is None:
        data = bytes([0]) + struct.pack("<H", 0) + dib
    else:
        data = bytes([1]) + struct.pack("<H", len(dib)) + dib + bits
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


def table(n):
    return b"".join(bytes([i * 7 & 255, i * 13 & 255, i * 29 & 255, 0]) for i in range(n))


os.makedirs(here, exist_ok=True)
w, h = 5, 3
seed("bits1.bin", header(w, h, 1) + table(2) + bytes(range(row_len(w, 1) * h)))
seed("bits4.bin", header(w, h, 4) + table(16) + bytes(range(row_len(w, 4) * h)))
seed("bits8.bin", header(w, h, 8, clr_used=7) + table(7) + bytes(i % 7 for i in range(row_len(w, 8) * h)))
seed("bits16.bin", header(w, h, 16) + bytes(range(row_len(w, 16) * h)))
seed("bits16_fields.bin", header(w, h, 16, 3) + struct.pack("<III", 0xF800, 0x07E0, 0x001F)
     + bytes(range(row_len(w, 16) * h)))
seed("bits24.bin", header(w, h, 24) + bytes(i & 255 for i in range(row_len(w, 24) * h)))
seed("bits24_topdown.bin", header(w, -h, 24) + bytes(i & 255 for i in range(row_len(w, 24) * h)))
seed("bits32_fields.bin", header(w, h, 32, 3) + struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)
     + bytes(i & 255 for i in range(row_len(w, 32) * h)))
rle8 = bytes([3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 2, 1, 0, 2, 2, 0, 0, 0, 1])
seed("rle8.bin", header(w, h, 8, 1) + table(8) + rle8)
rle4 = bytes([5, 0x12, 0, 0, 0, 5, 0x34, 0x50, 0, 0, 2, 0x77, 0, 1])
seed("rle4.bin", header(w, h, 4, 2) + table(16) + rle4)
for code, size in (("YUY2", 4 * 4 * 2), ("UYVY", 4 * 4 * 2), ("Y41P", 12 * 2), ("CLJR", 4 * 2 * 2),
                   ("YV12", 8 * 2 + 2 * 4 * 1), ("YVU9", 8 * 4 + 2 * 2), ("IYU2", 3 * 8 * 2)):
    fourcc = struct.unpack("<I", code.encode())[0]
    width, height = (8, 4) if code == "YVU9" else (8, 2)
    seed("yuv_" + code.lower() + ".bin", header(width, height, 16, fourcc), bytes(range(size + 64)))
seed("short_header.bin", header(w, h, 24)[:30])
