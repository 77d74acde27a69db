#!/usr/bin/env python3
"""Writes the seed corpus of the view's layers stream reader (layers_stream).

Usage: fuzz/corpus/make_layers_stream.py fuzz/corpus/layers_stream
The layers' images are raw bitmaps as written by make_iebitmapraw.py, stored as they are
(codec -2), through zlib (codec -1), or as the PNG seed fuzz/corpus/iepng/grey1.png (codec 8).
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_iebitmapraw import raw  # noqa: E402

SIGNATURE = b"VOVOZIDLAYERS"


def record(version, pos=(0, 0), shown=(0, 0), name=b"", user=b"", mask=False, opacity=255, blend=0):
    out = struct.pack("<BBiiiBBBdBB" if version > 2 else "<BBiiiBBBdB", 1, 1, opacity, pos[0], pos[1], 0, 0, 0, 2.0, 0,
                      *([1] if version > 2 else []))
    out += struct.pack("<Bii", blend, shown[0], shown[1])
    if version > 2:
        out += struct.pack("<BBi", 0, 0, len(name)) + name + struct.pack("<i", len(user)) + user
        out += bytes([1 if mask else 0])
    if version > 3:
        out += b"\x01"
    if version > 5:
        out += b"\x00"
    return out


def stream(layers, codec=-2, version=6):
    """layers: list of (record keyword arguments, image bytes)."""
    head = SIGNATURE + struct.pack("<iii", version, codec, len(layers))
    records = [record(version, **kw) for kw, _ in layers]
    pos = len(head) + sum(len(r) + 8 for r in records)
    body = b""
    images = b""
    for (kw, image), rec in zip(layers, records):
        if codec == -1:
            image = zlib.compress(image)
        blob = struct.pack("<i", len(image)) + image if codec in (-1, -2) else image
        body += rec + struct.pack("<q", pos + len(images))
        images += blob
    return head + body + images


def main(folder):
    os.makedirs(folder, exist_ok=True)
    here = os.path.dirname(os.path.abspath(__file__))
    png = open(os.path.join(here, "iepng", "grey1.png"), "rb").read()
    base = raw(6, 4, 5)
    top = raw(3, 2, 5, alpha=True)
    seeds = {
        "one_raw.lyr": stream([({}, base)]),
        "two_zlib.lyr": stream([({}, base), ({"pos": (-2, 1), "opacity": 128, "blend": 4}, top)], codec=-1),
        "mask_named.lyr": stream([({}, base), ({"name": b"card", "user": b"\x01\x02\x03"}, top),
                                  ({"mask": True, "shown": (4, 4)}, raw(2, 2, 2, palette=256))]),
        "version2.lyr": stream([({}, base), ({"pos": (1, 1)}, top)], version=2),
        "version0.lyr": stream([({}, base)], version=0),
        "png_codec.lyr": stream([({}, png)], codec=8),
        "negative_count.lyr": SIGNATURE + struct.pack("<iii", 6, -2, -1),
        "huge_count.lyr": SIGNATURE + struct.pack("<iii", 6, -2, 0x7FFFFFFF) + record(6) + struct.pack("<q", 82),
        "short.lyr": stream([({}, base)])[:-7],
        "nan_range.lyr": stream([({}, base[:34] + struct.pack("<d", float("nan")) + base[42:])]),
        "far_away.lyr": stream([({}, base), ({"pos": (0x7FFFFF00, -0x7FFFFF00)}, top)]),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "layers_stream"))
