#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/iestreams_fuzz.cpp into fuzz/corpus/iestreams/.

Each seed: a byte choosing the read-ahead buffer size, a byte of leading bytes to skip,
then length-prefixed strings (4-byte little-endian length, then the bytes).
"""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "iestreams")
os.makedirs(here, exist_ok=True)


def strs(*texts):
    return b"".join(struct.pack("<i", len(t)) + t for t in texts)


seeds = {
    "empty_string.bin": bytes([0, 0]) + strs(b""),
    "three_strings.bin": bytes([7, 0]) + strs(b"Name", "Настройка параметров".encode(), b"x" * 300),
    "relative_start.bin": bytes([3, 5]) + b"\xff" * 5 + strs(b"after the skip", b"second"),
    "big_buffer.bin": bytes([0xC8, 0]) + strs(b"z" * 9000, b"tail"),
    "negative_length.bin": bytes([1, 0]) + strs(b"ok") + struct.pack("<i", -1) + b"abc",
    "length_beyond_end.bin": bytes([16, 0]) + strs(b"ok") + struct.pack("<i", 100) + b"short",
    "huge_length.bin": bytes([2, 0]) + struct.pack("<i", 0x7FFFFFFF) + b"a",
    "cut_prefix.bin": bytes([4, 0]) + strs(b"whole") + b"\x03\x00",
}
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
