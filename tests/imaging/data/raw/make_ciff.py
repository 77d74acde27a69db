#!/usr/bin/env python3
"""Writes the CIFF heap fixtures (made-up camera files, no image data): sample_le.crw and
sample_be.crw (both byte orders: strings, an in-entry image size, a nested heap with the
firmware and two maker entries, two JPEG previews prev_big.jpg and prev_small.jpg),
deep.crw (a chain of 20 nested heaps, each with its own description), looped.crw (nested
entries that point at their parent, overlap its end or lie outside it), dir_outside.crw
(a heap whose directory offset points past it)."""
import struct


class Heap:
    def __init__(self, big):
        self.big = big
        self.data = bytearray()
        self.entries = []

    def p(self, fmt, *v):
        return struct.pack(('>' if self.big else '<') + fmt, *v)

    def add(self, tag, payload):
        self.entries.append((tag, len(payload), len(self.data)))
        self.data += payload
        if len(self.data) % 2:
            self.data += b'\0'

    def add_raw(self, tag, size, offset):  # an entry whose numbers are given as they are
        self.entries.append((tag, size, offset))

    def inline(self, tag, a, b):  # 8 data bytes inside the entry
        self.entries.append((tag | 0x4000, a, b))

    def bytes(self, dir_offset=None):
        d = self.p('H', len(self.entries))
        for tag, size, off in self.entries:
            d += self.p('HII', tag, size, off)
        where = len(self.data) if dir_offset is None else dir_offset
        return bytes(self.data) + d + self.p('I', where)


def header(big):
    return (b'MM' if big else b'II') + struct.pack('>I' if big else '<I', 26) + b'HEAPCCDR' + bytes(12)


def sample(big):
    root = Heap(big)
    root.add(0x080A, b'Lumetra\0Bench CIFF\0')
    root.add(0x0805, b'a test heap\0')
    root.inline(0x1810, 3000, 2000)
    child = Heap(big)
    child.add(0x080B, b'Firmware 1.0.2\0')
    child.add(0x102A, child.p('HHH', 10, 20, 30))
    child.add(0x102D, child.p('H', 7))
    root.add(0x300A, child.bytes())
    root.add(0x2007, open('prev_big.jpg', 'rb').read())
    root.add(0x2008, open('prev_small.jpg', 'rb').read())
    return header(big) + root.bytes()


def deep():
    inner = None
    for level in range(20, -1, -1):
        h = Heap(False)
        h.add(0x0805, b'level %d\0' % level)
        if inner is not None:
            h.add(0x300A, inner)
        inner = h.bytes()
    return header(False) + inner


def looped():
    root = Heap(False)
    root.add(0x0805, b'looped\0')
    root.add_raw(0x300A, 4000, 0)       # larger than the heap: the heap itself and more
    root.add_raw(0x3004, 10, 10 ** 6)   # outside the stream
    root.add_raw(0x2800, 0xFFFFFFF0, 8)  # overlaps the end
    body = root.bytes()
    # One more entry: the root's own range (offset 0, its full length).
    root.add_raw(0x3000, len(body) + 10, 0)
    return header(False) + root.bytes()


def dir_outside():
    root = Heap(False)
    root.add(0x080A, b'Lumetra\0Outside\0')
    return header(False) + root.bytes(dir_offset=5000)


open('sample_le.crw', 'wb').write(sample(False))
open('sample_be.crw', 'wb').write(sample(True))
open('deep.crw', 'wb').write(deep())
open('looped.crw', 'wb').write(looped())
open('dir_outside.crw', 'wb').write(dir_outside())
