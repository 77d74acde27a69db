#!/usr/bin/env python3
# Writes the seeds of the object file reader's fuzz target into corpus/ieviev:
#   python3 fuzz/corpus/make_ieviev.py
# Each seed is an object block: "IEV", a version character, the block size, the measure
# scale, an empty picture table and the zlib-compressed object records.
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ieviev")

NONE, LINE, BOX, ELLIPSE, ARC, BITMAP, TEXT, RULER, POLYLINE, ANGLE, MEMO, LINELABEL, EXTENDED = range(13)


def i32(v):
    return struct.pack("<i", v)


def s(b):
    return i32(len(b)) + b


def head(kind, x=0):
    r = i32(0) + i32(x) + i32(2) + i32(30) + i32(40) + bytes([kind, 0])
    r += bytes([1]) + struct.pack("<d", 3.0) + i32(2) + i32(2) + i32(100) + b"\0\0\0"
    r += s(b"name") + b"\0\0\0\0" + i32(0x11) + b"\0" + i32(1) + i32(0x22) + b"\0\x0f"
    r += i32(255) + b"\0\0" + s(b"")
    return r


def font(face=b"Arial"):
    return b"\x01" + struct.pack("<5i8B32s", -12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, face)


def block(version, records, count=None, scale=None):
    body = i32(len(records) if count is None else count) + b"".join(records)
    out = b"IEV" + version + i32(0)
    out += i32(3) if version == b"1" else struct.pack("<d", 2.5 if scale is None else scale)
    out += i32(0) + zlib.compress(body)
    return out[:4] + i32(len(out)) + out[8:]


def main():
    os.makedirs(OUT, exist_ok=True)
    line = head(LINE) + bytes([1, 2]) + i32(10) + i32(20) + b"\x01"
    box = head(BOX, 5) + b"\x01"
    arc = head(ARC) + struct.pack("<dd", 0.5, 2.0) + b"\x01"
    text = head(TEXT) + b"\x02\x00" + s(b"caf\xe9") + font() + i32(2) + struct.pack("<4d", 0, 0, 1, 1) + i32(-10) + b"\x01"
    memo = head(MEMO) + s(b"ab") + font() + b"\x01" + i32(0) + i32(0) + i32(1) + bytes(280)
    memo += b"\x01\x00" + i32(0) + i32(0) + b"\0\0" + i32(0) + b"\0" + bytes(32) + b"\0\x01"
    ruler = head(RULER) + b"\x01" + b"\x04\x02" + font()
    poly = head(POLYLINE) + b"\x01" + i32(2) + i32(0) + i32(0) + i32(1000) + i32(1000) + i32(0) * 4 + b"\x01"
    angle = head(ANGLE) + b"\x01" + i32(1) * 6 + font()
    label = head(LINELABEL) + i32(0xFF) + b"\0\x01\x02" + bytes([0, 1]) + i32(5) + i32(6) + b"\0\0" + s(b"l")
    label += b"\0" + i32(0) + b"\x01"
    group = head(NONE) + i32(2) + b"\x01"
    seeds = {
        "every_kind.iev": block(b"Q", [line, box, arc, text, memo, ruler, poly, angle, label]),
        "group.iev": block(b"Q", [group, box, box]),
        "lying_count.iev": block(b"Q", [box], count=0x7FFFFFFF),
        "version1.iev": b"IEV1" + i32(0) + i32(3) + i32(0) + zlib.compress(i32(1) + (i32(0) + i32(1) + i32(2) + i32(3) + bytes([BOX]) + s(b"") + b"\0" * 4 + i32(0) + b"\0" + i32(1) + i32(0) + b"\0\x0f")),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
