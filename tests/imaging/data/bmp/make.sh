#!/bin/sh
# Makes the BMP fixtures and their reference decodings with independent tools
# (ImageMagick's /usr/bin/convert and netpbm). Run from this folder.
set -e
IM=/usr/bin/convert
# Sources: a 13 x 7 colour picture, the same reduced to 16 and to 2 colours, and a
# 13 x 7 picture with an alpha ramp.
python3 - <<'PY'
w, h = 13, 7
rgb = bytearray()
for y in range(h):
    for x in range(w):
        rgb += bytes(((x * 19 + y * 7) % 256, (y * 37) % 256, (x * y * 11 + 40) % 256))
open('src.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)
pal = [(0,0,0),(255,255,255),(255,0,0),(0,255,0),(0,0,255),(255,255,0),(0,255,255),(255,0,255),
       (128,0,0),(0,128,0),(0,0,128),(128,128,0),(0,128,128),(128,0,128),(192,192,192),(128,128,128)]
p16 = bytearray()
for y in range(h):
    for x in range(w):
        p16 += bytes(pal[(x + 3 * y) % 16])
open('src16.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + p16)
two = bytearray()
for y in range(h):
    for x in range(w):
        two += bytes((200, 30, 30) if (x * x + y) % 3 else (20, 20, 120))
open('src2.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + two)
a = bytearray()
for y in range(h):
    for x in range(w):
        a.append((x * 20 + y * 3) % 256)
open('alpha.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + a)
PY
$IM src.ppm BMP3:rgb24.bmp
$IM src.ppm -colors 200 -type Palette -compress None BMP3:pal8.bmp
$IM src.ppm -colors 200 -type Palette -compress RLE BMP3:rle8.bmp
$IM src.ppm -define bmp:subtype=RGB565 BMP:rgb565.bmp
$IM src.ppm -define bmp:subtype=RGB555 BMP:rgb555.bmp
$IM src.ppm alpha.pgm -alpha off -compose CopyOpacity -composite BMP:rgba32.bmp
ppmtobmp -bpp=4 src16.ppm > pal4.bmp
ppmtobmp -bpp=1 src2.ppm > mono1.bmp
ppmtobmp -os2 -bpp=8 src16.ppm > os2pal8.bmp
ppmtobmp -os2 -bpp=24 src.ppm > os2rgb24.bmp
# Reference decodings: the colour of every file as PPM, the alpha of the 32-bit one as PGM.
for f in rgb24 pal8 rle8 rgb565 rgb555 rgba32 pal4 mono1 os2pal8 os2rgb24; do
  $IM $f.bmp -alpha off -depth 8 ppm:$f.ref.ppm
done
$IM rgba32.bmp -alpha extract -depth 8 pgm:rgba32.alpha.pgm
rm -f src.ppm src16.ppm src2.ppm alpha.pgm
