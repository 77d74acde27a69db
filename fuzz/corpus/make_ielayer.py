#!/usr/bin/env python3
# Writes the seeds of corpus/ielayer: layer undo records (length, GUID, placement, flags,
# magnifier block, blend mode, filter, name, rotation and, with the flag, a raw bitmap taken
# from corpus/iebitmapraw), a short one and one whose name length runs past the end.
# Run from fuzz/corpus: python3 make_ielayer.py
import os
import struct


def record(name=b"layer", with_bitmap=False, bitmap=b"", name_len=None, length=None):
    body = bytes(range(16))                      # GUID
    body += struct.pack("<ii", 0, 0)             # shown width, height
    body += bytes([1, 1, 1])                     # visible, show box, pickable
    body += struct.pack("<iii", 200, -3, 7)      # opacity, position
    body += struct.pack("<iiii", 1, 2, 30, 40)   # client rectangle
    body += bytes([0, 0])                        # clip to image, immovable
    mag = bytearray(24)
    mag[0] = 1
    mag[8:16] = struct.pack("<d", 2.0)
    mag[16], mag[17] = 1, 1
    body += bytes(mag)
    body += bytes([3])                           # blend mode
    body += struct.pack("<i", 0)                 # user data reference
    body += bytes([5, 1])                        # own filter, use it
    body += struct.pack("<i", len(name) if name_len is None else name_len) + name
    body += bytes([0, 1])                        # mask for below, dim others
    body += struct.pack("<ddd", 30.0, 0.5, 0.25)  # angle, pivot
    body += bytes([1 if with_bitmap else 0]) + bitmap
    total = 4 + len(body) if length is None else length
    return struct.pack("<i", total) + body


raw = open(os.path.join("iebitmapraw", "rgb24_4x3.bin"), "rb").read()
os.makedirs("ielayer", exist_ok=True)
seeds = {
    "plain.bin": record(),
    "with_bitmap.bin": record(with_bitmap=True, bitmap=raw),
    "empty_name.bin": record(name=b""),
    "short.bin": record()[:40],
    "name_past_end.bin": record(name_len=100000),
    "length_past_end.bin": record(length=1 << 30),
}
for n, b in seeds.items():
    open(os.path.join("ielayer", n), "wb").write(b)
