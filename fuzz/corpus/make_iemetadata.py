#!/usr/bin/env python3
"""Writes the seed corpora of the metadata fuzz targets (iexmp, ieiptc, ieexif, ietiff,
ieannot, ieicc, iedicomtags) into fuzz/corpus/<target>/, from the metadata test fixtures
(tests/imaging/data/metadata) and hand-made blocks.
"""
import os
import struct

root = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(root, "..", "..", "tests", "imaging", "data", "metadata")


def write(target, name, data):
    d = os.path.join(root, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def jpeg_markers(path):
    """The APPn and COM markers of a JPEG: (code, payload) in file order."""
    b = open(path, "rb").read()
    pos, out = 2, []
    while pos + 4 <= len(b) and b[pos] == 0xFF:
        code = b[pos + 1]
        if not (0xE0 <= code <= 0xEF or code == 0xFE):
            break
        n = (b[pos + 2] << 8) | b[pos + 3]
        out.append((code, b[pos + 4:pos + 2 + n]))
        pos += 2 + n
    return out


rgb = jpeg_markers(os.path.join(fixtures, "rgb_meta.jpg"))
xmp_id = b"http://ns.adobe.com/xap/1.0/\0"

# XMP
for code, p in rgb:
    if code == 0xE1 and p.startswith(xmp_id):
        write("iexmp", "exiftool_packet.bin", p)
write("iexmp", "one_byte.bin", xmp_id + b"<")
write("iexmp", "no_zero.bin", xmp_id[:28] + b"ABCDEFGH")

# IPTC: the APP13 payload, a bare block, an extended dataset, a cut block
for code, p in rgb:
    if code == 0xED:
        write("ieiptc", "exiftool_app13.bin", p)
bare = bytes([0x1C, 2, 0, 0, 2, 0, 2]) + bytes([0x1C, 2, 25, 0, 5]) + b"alpha"
write("ieiptc", "bare.bin", bare)
write("ieiptc", "extended.bin", bytes([0x1C, 2, 120, 0x80, 0x04]) + struct.pack(">I", 40) + b"c" * 40)
write("ieiptc", "cut.bin", bare[:-3])

# Maker notes: first byte 1 for a little-endian file, 0 for a big-endian one
nikon = (b"Nikon\0\x02\x10\0\0" + b"MM\0\x2a\0\0\0\x08" + struct.pack(">H", 3)
         + struct.pack(">HHI", 1, 7, 4) + b"0210"
         + struct.pack(">HHIHH", 2, 3, 2, 0, 200)
         + struct.pack(">HHII", 0x84, 5, 2, 50) + struct.pack(">I", 0)
         + struct.pack(">IIII", 180, 10, 550, 10))
write("ieexif", "nikon.bin", b"\x01" + nikon)
fuji = (b"FUJIFILM" + struct.pack("<I", 12) + struct.pack("<H", 2)
        + struct.pack("<HHI", 0, 7, 4) + b"0130"
        + struct.pack("<HHII", 0x1000, 2, 8, 42) + struct.pack("<I", 0) + b"NORMAL \0")
write("ieexif", "fujifilm.bin", b"\x00" + fuji)
plain = (struct.pack("<H", 2) + struct.pack("<HHII", 0x10, 12, 1, 30) + struct.pack("<HHII", 0x11, 4, 1, 7)
         + struct.pack("<I", 0) + struct.pack("<d", 2.5))
write("ieexif", "unknown_maker.bin", b"\x01" + plain)
write("ieexif", "qvc.bin", b"\x01" + b"QVC\0\0\0" + struct.pack(">H", 1) + struct.pack(">HHII", 1, 3, 1, 0x00050000)
      + struct.pack(">I", 0))
write("ieexif", "tiff_header_inside.bin", b"\x00" + b"raw camera " + b"MM\0\x2a\0\0\0\x08" + b"\0" * 16)

# TIFF structures
for name in ("pages_le.tif", "pages_be.tif"):
    write("ietiff", name, open(os.path.join(fixtures, name), "rb").read())
for code, p in rgb:
    if code == 0xE1 and p.startswith(b"Exif\0\0"):
        write("ietiff", "exif_block.tif", p[6:])
loop = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", 1) + struct.pack("<HHII", 256, 3, 1, 5) + struct.pack("<I", 8)
write("ietiff", "self_link.tif", loop)

# Annotation blocks
def named(kind, name, data):
    return struct.pack("<II", kind, 12) + name.ljust(8, b"\0") + struct.pack("<I", len(data)) + data


def mark(kind, font=0):
    a = bytearray(b"\x5a" * 164)
    a[0:4] = struct.pack("<i", kind)
    a[48:52] = struct.pack("<i", font)
    return struct.pack("<II", 5, 164) + bytes(a)


head = struct.pack("<II", 0, 1) + named(2, b"OiGroup", b"0\0") + named(2, b"OiIndex", b"1\0")
pts = struct.pack("<II", 3, 3) + struct.pack("<6i", 1, 2, -30, 40, 500, 600)
write("ieannot", "line.bin", head + mark(3) + named(6, b"OiAnoDat", pts) + named(6, b"OiIndex", b"0\0"))
txt = struct.pack("<4I", 0, 1000, 7500, 4) + b"text\0"
write("ieannot", "text.bin", head + mark(7, 80) + named(6, b"OiAnText", txt))
dib = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 16, 0, 0, 0, 0) + bytes(range(16))
write("ieannot", "picture.bin", head + mark(1) + named(6, b"OiDIB", dib))

# ICC profiles: the sRGB profile of the RGB fixture, and its first 200 bytes
icc = b"".join(p[14:] for code, p in rgb if code == 0xE2 and p.startswith(b"ICC_PROFILE\0"))
write("ieicc", "srgb.icc", icc)
write("ieicc", "cut.icc", icc[:200])

# DICOM elements: group, element, VR, length (signed), value
def element(g, e, vr, data, length=None):
    n = len(data) if length is None else length
    return struct.pack("<HH", g, e) + vr + struct.pack("<i", n) + data


write("iedicomtags", "elements.bin", element(8, 0x60, b"CS", b"MR") + element(0x28, 0x10, b"US", b"\x00\x02")
      + element(0x7FE0, 0x10, b"OW", b"", -1) + element(0x10, 0x10, b"\0\0", b"Doe^John"))
write("iedicomtags", "length_beyond.bin", element(0x10, 0x20, b"LO", b"id", 1000))

# An EXIF structure with a JPEG thumbnail, behind the byte of the maker-note target
thumb = jpeg_markers(os.path.join(fixtures, "rgb_thumb.jpg"))
for code, p in thumb:
    if code == 0xE1 and p.startswith(b"Exif\0\0"):
        write("ieexif", "exif_with_thumbnail.bin", b"\x01" + p[6:])
