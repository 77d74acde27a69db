#!/usr/bin/env python3
"""Writes the seeds of corpus/giflzw: for each picture of tests/imaging/data/gif/*.gif, its
width and height byte (less one, limited to 63; 64 added for an interlaced one) and the
first frame's image data from the code size byte to the zero-length block; then a copy cut
in half and one whose code size byte is 1. Run from the fuzz folder."""
import glob
import os

out = os.path.join('corpus', 'giflzw')
os.makedirs(out, exist_ok=True)
for path in sorted(glob.glob(os.path.join('..', 'tests', 'imaging', 'data', 'gif', '*.gif'))):
    b = open(path, 'rb').read()
    i = 13
    if b[10] & 0x80:
        i += 3 << ((b[10] & 7) + 1)
    while b[i] == 0x21:
        i += 2
        while b[i]:
            i += b[i] + 1
        i += 1
    assert b[i] == 0x2C
    w = b[i + 5] | b[i + 6] << 8
    h = b[i + 7] | b[i + 8] << 8
    packed = b[i + 9]
    i += 10
    if packed & 0x80:
        i += 3 << ((packed & 7) + 1)
    start = i
    i += 1
    while b[i]:
        i += b[i] + 1
    data = b[start:i + 1]
    head = bytes([min(w - 1, 63) | (64 if packed & 0x40 else 0), min(h - 1, 63)])
    name = os.path.splitext(os.path.basename(path))[0]
    open(os.path.join(out, name + '.lzw'), 'wb').write(head + data)
    open(os.path.join(out, name + '-cut.lzw'), 'wb').write(head + data[:len(data) // 2])
    open(os.path.join(out, name + '-size1.lzw'), 'wb').write(head + bytes([1]) + data[1:])
