#!/bin/sh
# Makes the PCX and DCX fixtures with ImageMagick's /usr/bin/convert and netpbm's ppmtopcx
# (and one by hand, in Python, with a run that crosses the end of a plane line), and their
# reference decodings: X.ref.ppm is what convert decodes from X, except for the one-bit
# nb_mono.pcx, whose reference comes from netpbm's pcxtoppm (ImageMagick 6.9 ignores the
# palette of one-bit files and shows them inverted). Run from this folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
import struct
w, h = 13, 7
rgb = bytearray()
for y in range(h):
    for x in range(w):
        if y == 2:   # a run for the run-length coder
            rgb += bytes((200, 40, 90))
        else:
            rgb += bytes(((x * 29 + y * 3) % 256, (y * 43 + x) % 256, (x * y * 7 + 50) % 256))
open('rgb.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)

# 8-bit palette picture 5 x 3, bytes per line 6: the first run (0xC0 + 8 copies of index 1)
# crosses from the first line into the second, the last run fills the third line.
pal = bytearray(768)
for i in range(256):
    pal[3 * i:3 * i + 3] = bytes(((i * 50) % 256, (i * 90 + 10) % 256, (255 - i * 30) % 256))
head = bytearray(128)
head[0], head[1], head[2], head[3] = 10, 5, 1, 8
struct.pack_into('<HHHHHH', head, 4, 0, 0, 4, 2, 72, 72)
head[65] = 1
struct.pack_into('<HH', head, 66, 6, 1)
data = bytes((0xC8, 1, 2, 3, 0xC4, 4, 0xC6, 5))
open('span.pcx', 'wb').write(bytes(head) + data + b'\x0c' + bytes(pal))
PY
$IM rgb.ppm -colors 16 +dither c16.ppm
$IM rgb.ppm -monochrome bw.ppm
$IM rgb.ppm -colors 4 +dither c4.ppm
$IM rgb.ppm im_rgb24.pcx
$IM rgb.ppm -compress None im_rgb24_raw.pcx
$IM rgb.ppm -type Palette im_pal8.pcx
$IM rgb.ppm -density 150x75 -units PixelsPerInch im_dpi.pcx
ppmtopcx -24bit rgb.ppm > nb_rgb24.pcx
ppmtopcx -8bit rgb.ppm > nb_pal8.pcx
ppmtopcx c16.ppm > nb_planes16.pcx
ppmtopcx -packed c16.ppm > nb_packed16.pcx
ppmtopcx bw.ppm > nb_mono.pcx
# Two bits in one plane: a layout the reader does not convert.
ppmtopcx -packed c4.ppm > nb_packed4.pcx
# Three pages: 24-bit, palette, 16 colours in four planes.
$IM im_rgb24.pcx im_pal8.pcx nb_planes16.pcx pages.dcx
for f in span im_rgb24 im_rgb24_raw im_pal8 im_dpi nb_rgb24 nb_pal8 nb_planes16 nb_packed16; do
  $IM $f.pcx -depth 8 $f.ref.ppm
done
pcxtoppm nb_mono.pcx > nb_mono.ref.ppm
for i in 0 1 2; do
  $IM "pages.dcx[$i]" -depth 8 pages$i.ref.ppm
done
rm -f rgb.ppm c16.ppm bw.ppm c4.ppm
