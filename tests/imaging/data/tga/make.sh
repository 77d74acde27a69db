#!/bin/sh
# Makes the Targa fixtures with ImageMagick's /usr/bin/convert (and a few by hand, in
# Python, for the kinds it does not write) and their reference decodings: X.ref.ppm is
# convert's colour of X turned upright (-auto-orient), X.alpha.pgm its alpha. Run from this
# folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
w, h = 13, 7
rgb, alpha = bytearray(), bytearray()
for y in range(h):
    for x in range(w):
        if y == 2 or (y == 4 and x < 9):   # runs for the run-length packets
            rgb += bytes((200, 40, 90))
        else:
            rgb += bytes(((x * 29 + y * 3) % 256, (y * 43 + x) % 256, (x * y * 7 + 50) % 256))
        alpha.append(255 if (x + y) % 4 else (x * 30) % 256)
open('rgb.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)
open('alpha.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + alpha)

import struct
def header(idlen, maptype, itype, first, length, esize, width, height, depth, desc):
    return struct.pack('<BBBHHBHHHHBB', idlen, maptype, itype, first, length, esize, 0, 0, width, height, depth, desc)
# 8-bit indexes into a colour map of 32-bit entries (B, G, R, A), bottom-up.
pal = [(i * 40 % 256, 255 - i * 30, i * 17 % 256, 255 if i % 3 else i * 20) for i in range(8)]
px = bytes((x + 2 * y) % 8 for y in range(5) for x in range(6))
open('map32.tga', 'wb').write(header(0, 1, 1, 0, 8, 32, 6, 5, 8, 0x08)
                              + b''.join(bytes((b, g, r, a)) for r, g, b, a in pal) + px)
# The same indexes into 16-bit entries (5 bits a channel), top-down.
open('map16.tga', 'wb').write(header(0, 1, 1, 0, 8, 16, 6, 5, 8, 0x20)
                              + b''.join(struct.pack('<H', (r >> 3) << 10 | (g >> 3) << 5 | b >> 3) for r, g, b, a in pal) + px)
# Run-length 24-bit pixels whose packets cross the ends of rows (5 pixels a row): a run of
# 7, a raw packet of 4 crossing into the third row, a run of 4.
data = bytes((0x86, 10, 20, 30)) + bytes((0x03,)) + bytes((1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13)) + bytes((0x83, 90, 80, 70))
open('span.tga', 'wb').write(header(0, 0, 10, 0, 0, 0, 5, 3, 24, 0x20) + data)
# A 24-bit file with an image ID and the version-2 extension area and footer.
ext = bytearray(495)
struct.pack_into('<H', ext, 0, 495)
ext[2:2 + 11] = b'Ada Author\0'
struct.pack_into('<6H', ext, 367, 5, 17, 2021, 13, 45, 30)
ext[379:379 + 9] = b'the job\0'
ext[470:474] = bytes((0, 12, 34, 56))
struct.pack_into('<4H', ext, 474, 3, 2, 18, 10)
body = header(5, 0, 2, 0, 0, 0, 2, 2, 24, 0x20) + b'hello' + bytes(range(12))
foot = struct.pack('<II', len(body), 0) + b'TRUEVISION-XFILE.\0'
open('ext.tga', 'wb').write(body + ext + foot)
PY
$IM rgb.ppm -compress None rgb24_bl.tga
$IM rgb.ppm -compress None -orient TopLeft rgb24_tl.tga
$IM rgb.ppm -compress None -orient TopRight rgb24_tr.tga
$IM rgb.ppm -compress None -orient BottomRight rgb24_br.tga
$IM rgb.ppm -compress RLE rgb24_rle.tga
$IM rgb.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -compress None rgb32.tga
$IM rgb.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -compress RLE -orient TopLeft rgb32_rle.tga
$IM rgb.ppm -depth 5 -compress None rgb16.tga
$IM rgb.ppm -depth 5 -compress RLE rgb16_rle.tga
$IM rgb.ppm -type Palette -compress None pal8.tga
$IM rgb.ppm -type Palette -compress RLE pal8_rle.tga
$IM rgb.ppm -type Grayscale -compress None grey8.tga
$IM rgb.ppm -type Grayscale -compress RLE grey8_rle.tga
for f in rgb24_bl rgb24_tl rgb24_tr rgb24_br rgb24_rle rgb32 rgb32_rle rgb16 rgb16_rle pal8 pal8_rle grey8 grey8_rle \
         map32 map16 span ext; do
  $IM $f.tga -auto-orient -alpha off -depth 8 $f.ref.ppm
done
for f in rgb32 rgb32_rle map32; do
  $IM $f.tga -auto-orient -alpha extract -depth 8 $f.alpha.pgm
done
rm -f rgb.ppm alpha.pgm
