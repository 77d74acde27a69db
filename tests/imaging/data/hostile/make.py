#!/usr/bin/env python3
"""Writes the hostile pictures of this folder: headers that claim huge sizes (65535 and
2^31-1 a side), chunks and tags that run past the end, zip bombs, an IFD loop and palettes
that run past the end. Every file is small; none is a valid picture. Run from this folder:
    python3 make.py
"""
import struct
import zlib

BIG = 2**31 - 1


def put(name, data):
    with open(name, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- PNG
def chunk(kind, data, length=None):
    n = len(data) if length is None else length
    return struct.pack(">I", n) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


SIG = b"\x89PNG\r\n\x1a\n"


def ihdr(w, h, depth=8, ctype=2):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ctype, 0, 0, 0))


put("png_65535.png", SIG + ihdr(65535, 65535) + chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))
put("png_2g.png", SIG + ihdr(BIG, BIG) + chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))
# A consistent zip bomb: 20000 x 20000 one-bit rows of zeros (50 MB raw) in a few tens of KB.
rows = (b"\0" + b"\0" * 2500) * 20000
put("png_zipbomb.png", SIG + ihdr(20000, 20000, 1, 0) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
# Ancillary chunks that claim 2^31-1 bytes, with a few bytes after them.
for kind in (b"iTXt", b"sCAL", b"tEXt"):
    put("png_huge_%s.png" % kind.decode(), SIG + ihdr(1, 1) + struct.pack(">I", BIG) + kind + b"\0" * 8)
# A text chunk that inflates to 32 MB, before any image data.
put("png_ztxt_bomb.png", SIG + ihdr(1, 1) + chunk(b"zTXt", b"bomb\0\0" + zlib.compress(b"A" * (32 << 20), 9))
    + chunk(b"IEND", b""))
# A chunk whose length runs past the end of the file.
put("png_chunk_past_end.png", SIG + ihdr(16, 16) + struct.pack(">I", 4096) + b"IDAT" + b"\0" * 16)

# ---------------------------------------------------------------- BMP
def bmp(w, h, bits, compression=0, used=0, tail=b""):
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, 0, 2835, 2835, used, 0)
    head = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(tail), 0, 0, 14 + len(info) + 4 * used)
    return head + info + tail


put("bmp_65535.bmp", bmp(65535, 65535, 24, tail=b"\0" * 64))
put("bmp_2g.bmp", bmp(BIG, BIG, 32, tail=b"\0" * 64))
put("bmp_2g_topdown.bmp", bmp(BIG, -BIG, 24, tail=b"\0" * 64))
put("bmp_rle_2g.bmp", bmp(BIG, BIG, 8, compression=1, used=2, tail=b"\0" * 8 + b"\0\1" * 8))
put("bmp_palette_past_end.bmp", bmp(4, 4, 8, used=256, tail=b"\0" * 40))

# ---------------------------------------------------------------- PNM
put("pnm_65535.ppm", b"P6\n65535 65535\n255\n" + b"\0" * 64)
put("pnm_2g.ppm", b"P6\n2147483647 2147483647\n65535\n" + b"\0" * 64)
put("pnm_2g.pbm", b"P4\n2147483647 2147483647\n" + b"\0" * 64)
put("pnm_2g_text.pgm", b"P2\n2147483647 2147483647\n255\n0 0 0 0\n")

# ---------------------------------------------------------------- GIF
def gif(sw, sh, fw, fh, table=True, data=b"\x02\x02\x4c\x01\x00"):
    flags = 0x80 if table else 0
    out = b"GIF89a" + struct.pack("<HHBBB", sw, sh, flags, 0, 0)
    if table:
        out += b"\0\0\0\xff\xff\xff"
    out += b"," + struct.pack("<HHHHB", 0, 0, fw, fh, 0) + data + b";"
    return out


put("gif_65535.gif", gif(65535, 65535, 65535, 65535))
# A global colour table of 256 entries (flag size 7) in a file that ends after 12 bytes of it.
put("gif_palette_past_end.gif", b"GIF89a" + struct.pack("<HHBBB", 4, 4, 0x87, 0, 0) + b"\0" * 12)
# One LZW code run for a 65535 x 65535 frame: codes that never end, within a small file.
lzw = b"\x08" + (b"\xff" + b"\0" * 255) * 64 + b"\0"
put("gif_lzw_bomb.gif", gif(65535, 65535, 65535, 65535, data=lzw))

# ---------------------------------------------------------------- PCX
def pcx(xmax, ymax, bpl, bits=8, planes=3):
    h = struct.pack("<BBBBHHHHHH", 10, 5, 1, bits, 0, 0, xmax, ymax, 72, 72)
    h += b"\0" * 48 + struct.pack("<BBHH", 0, planes, bpl, 1) + b"\0" * 58
    return h


put("pcx_65535.pcx", pcx(65535, 65535, 65535) + b"\xc1\0" * 32)
put("pcx_palette_past_end.pcx", pcx(3, 3, 4, planes=1) + b"\xc1\0" * 4)

# ---------------------------------------------------------------- TGA
def tga(w, h, kind=10, depth=24):
    return struct.pack("<BBBHHBHHHHBB", 0, 0, kind, 0, 0, 0, 0, 0, w, h, depth, 0x20)


put("tga_65535.tga", tga(65535, 65535) + b"\xff\0\0\0" * 16)
put("tga_65535_raw.tga", tga(65535, 65535, kind=2) + b"\0" * 64)
# A colour map of 65535 entries of 4 bytes in a file that ends after a few.
put("tga_palette_past_end.tga", struct.pack("<BBBHHBHHHHBB", 0, 1, 1, 0, 65535, 32, 0, 0, 4, 4, 8, 0x20) + b"\0" * 32)

# ---------------------------------------------------------------- PSD
def psd(w, h, channels=3, depth=8, mode=3, rest=b""):
    head = b"8BPS" + struct.pack(">H6xHIIHH", 1, channels, h, w, depth, mode)
    return head + struct.pack(">I", 0) + struct.pack(">I", 0) + struct.pack(">I", 0) + rest


put("psd_65535.psd", psd(65535, 65535, rest=struct.pack(">H", 0) + b"\0" * 64))
put("psd_2g.psd", psd(BIG, BIG, rest=struct.pack(">H", 1) + b"\0" * 64))
# A layer section that claims one 65535 x 65535 layer with a zip channel of a few bytes.
layer = struct.pack(">iiiiH", 0, 0, 65535, 65535, 1) + struct.pack(">hI", 0, 20)
layer += b"8BIMnorm" + bytes([255, 0, 0, 0]) + struct.pack(">I", 4) + b"\0" * 4
channel = struct.pack(">H", 2) + zlib.compress(b"\0" * 4096)[:18]
info = struct.pack(">h", 1) + layer + channel
section = struct.pack(">I", len(info)) + info
put("psd_layer_zip.psd", b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, 4, 4, 8, 3) + struct.pack(">II", 0, 0)
    + struct.pack(">I", len(section) + 4) + section + struct.pack(">I", 0) + struct.pack(">H", 0) + b"\0" * 48)

# ---------------------------------------------------------------- DICOM
def element(group, elem, vr, value):
    if vr in (b"OB", b"OW", b"SQ", b"UN", b"UT"):
        return struct.pack("<HH", group, elem) + vr + b"\0\0" + struct.pack("<I", len(value)) + value
    return struct.pack("<HH", group, elem) + vr + struct.pack("<H", len(value)) + value


def dicom(rows, cols, rows_vr=b"US", frames=None, samples=1, bits=8, pixels=b"\0" * 64):
    meta = element(2, 0x10, b"UI", b"1.2.840.10008.1.2.1\0")
    meta = element(2, 0, b"UL", struct.pack("<I", len(meta))) + meta
    pack = (lambda v: struct.pack("<H", v)) if rows_vr == b"US" else (lambda v: struct.pack("<I", v))
    body = element(0x28, 2, b"US", struct.pack("<H", samples))
    body += element(0x28, 4, b"CS", b"MONOCHROME2 ")
    if frames is not None:
        body += element(0x28, 8, b"IS", frames)
    body += element(0x28, 0x10, rows_vr, pack(rows)) + element(0x28, 0x11, rows_vr, pack(cols))
    body += element(0x28, 0x100, b"US", struct.pack("<H", bits)) + element(0x28, 0x101, b"US", struct.pack("<H", bits))
    body += element(0x7FE0, 0x10, b"OW", pixels)
    return b"\0" * 128 + b"DICM" + meta + body


put("dicom_65535.dcm", dicom(65535, 65535))
put("dicom_2g.dcm", dicom(BIG, BIG, rows_vr=b"UL"))
put("dicom_2g_frames.dcm", dicom(BIG, BIG, rows_vr=b"UL", frames=b"2147483647", bits=16))
put("dicom_bits_2g.dcm", dicom(4, 4, bits=65535))

# ---------------------------------------------------------------- JPEG 2000 codestream
def j2k(w, h):
    siz = struct.pack(">HIIIIIIIIH", 0, w, h, 0, 0, w, h, 0, 0, 1) + bytes([7, 1, 1])
    out = b"\xff\x4f" + b"\xff\x51" + struct.pack(">H", len(siz) + 2) + siz
    cod = bytes([0, 0]) + struct.pack(">H", 1) + bytes([0, 5, 4, 4, 0, 1])
    out += b"\xff\x52" + struct.pack(">H", len(cod) + 2) + cod
    qcd = bytes([0x40]) + bytes([0x40] * 16)
    out += b"\xff\x5c" + struct.pack(">H", len(qcd) + 2) + qcd
    out += b"\xff\x90" + struct.pack(">HHIBB", 10, 0, 0, 0, 1) + b"\xff\x93" + b"\0" * 32 + b"\xff\xd9"
    return out


put("j2k_65535.j2k", j2k(65535, 65535))
put("j2k_2g.j2k", j2k(BIG, BIG))

# ---------------------------------------------------------------- WBMP
def varint(v):
    groups = []
    while True:
        groups.append(v & 0x7F)
        v >>= 7
        if not v:
            break
    groups.reverse()
    return bytes([g | 0x80 for g in groups[:-1]] + [groups[-1]])


put("wbmp_2g.wbmp", b"\0\0" + varint(BIG) + varint(BIG) + b"\0" * 16)

# ---------------------------------------------------------------- TIFF
def tiff(entries, next_ifd=0, tail=b"", ifd_at=8):
    out = b"II*\0" + struct.pack("<I", ifd_at)
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in sorted(entries):
        ifd += struct.pack("<HHII", tag, kind, count, value)
    ifd += struct.pack("<I", next_ifd)
    return out + ifd + tail


def strip_tiff(w, h, bits=8, spp=1, compression=1, data_at=None, data_len=16, extra=()):
    entries = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, bits), (259, 3, 1, compression), (262, 3, 1, 1),
               (277, 3, 1, spp), (278, 4, 1, h), (273, 4, 1, 0), (279, 4, 1, data_len)]
    entries += list(extra)
    end = 8 + 2 + 12 * len(entries) + 4
    entries = [(t, k, c, end if t == 273 and data_at is None else (data_at if t == 273 else v))
               for (t, k, c, v) in entries]
    return tiff(entries, tail=b"\0" * 16)


put("tiff_65535.tif", strip_tiff(65535, 65535))
put("tiff_2g.tif", strip_tiff(BIG, BIG, bits=16, spp=4))
put("tiff_strip_past_end.tif", strip_tiff(64, 64, data_len=BIG))
# A zip (deflate) strip of 32 MB of zeros for a 16 x 16 picture.
bomb = zlib.compress(b"\0" * (32 << 20), 9)
t = strip_tiff(16, 16, compression=8, data_len=len(bomb))
put("tiff_zipbomb.tif", t[:-16] + bomb)
# An IFD whose next IFD is itself.
loop = strip_tiff(16, 16)
put("tiff_ifd_loop.tif", loop[:8 + 2 + 12 * 9] + struct.pack("<I", 8) + loop[8 + 2 + 12 * 9 + 4:])
# A tag whose values (a colour map of 2^30 shorts) lie past the end.
put("tiff_tag_past_end.tif", strip_tiff(16, 16, extra=[(320, 3, 2**30, 64)]))
