#!/bin/sh
# Makes the PNG fixtures of every colour type and depth with ImageMagick's /usr/bin/convert
# (checked with pngcheck) and their reference decodings. Run from this folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
w, h = 9, 6
rgb, grey, alpha, two, few = bytearray(), bytearray(), bytearray(), bytearray(), bytearray()
cols = [(255, 0, 0), (0, 0, 255), (0, 160, 0), (250, 250, 0)]
for y in range(h):
    for x in range(w):
        rgb += bytes(((x * 29 + y * 3) % 256, (y * 43) % 256, (x * y * 7 + 50) % 256))
        grey.append((x * 28 + y * 5) % 256)
        alpha.append(255 if (x + y) % 4 else (x * 30) % 256)
        two += bytes(cols[(x * x + y) % 2])
        few += bytes(cols[(x + 2 * y) % 4])
open('rgb.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)
open('grey.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + grey)
open('alpha.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + alpha)
open('two.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + two)
open('few.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + few)
PY
$IM grey.pgm -threshold 50% -define png:color-type=0 -define png:bit-depth=1 grey1.png
$IM grey.pgm -define png:color-type=0 -define png:bit-depth=2 grey2.png
$IM grey.pgm -define png:color-type=0 -define png:bit-depth=4 grey4.png
$IM grey.pgm -define png:color-type=0 -define png:bit-depth=8 grey8.png
$IM grey.pgm -define png:color-type=0 -define png:bit-depth=16 grey16.png
$IM rgb.ppm -define png:color-type=2 -define png:bit-depth=8 -density 96 -units PixelsPerInch rgb8.png
$IM rgb.ppm -define png:color-type=2 -define png:bit-depth=16 rgb16.png
pnmtopng two.ppm > pal1.png
pnmtopng few.ppm > pal2.png
$IM few.ppm -define png:color-type=3 -define png:bit-depth=4 pal4.png
$IM rgb.ppm -colors 40 -define png:color-type=3 -define png:bit-depth=8 -background '#102030' pal8.png
$IM grey.pgm alpha.pgm -alpha off -compose CopyOpacity -composite -define png:color-type=4 -define png:bit-depth=8 greya8.png
$IM rgb.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -define png:color-type=6 -define png:bit-depth=8 rgba8.png
$IM rgb.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -define png:color-type=6 -define png:bit-depth=16 rgba16.png
$IM rgb.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -define png:color-type=6 -interlace PNG rgba8i.png
$IM rgb.ppm -define png:color-type=2 -interlace PNG -set comment 'made for the tests' rgb8i.png
pnmtopng -transparent rgb:00/00/ff few.ppm > paltrns.png
for f in grey1 grey2 grey4 grey8 grey16 rgb8 rgb16 pal1 pal2 pal4 pal8 greya8 rgba8 rgba16 rgba8i rgb8i paltrns; do
  pngcheck -q $f.png
  $IM $f.png -alpha off -depth 8 ppm:$f.ref.ppm
done
for f in greya8 rgba8 rgba16 rgba8i paltrns; do $IM $f.png -alpha extract -depth 8 pgm:$f.alpha.pgm; done
rm -f rgb.ppm grey.pgm alpha.pgm two.ppm few.ppm
