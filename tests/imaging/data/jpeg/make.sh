#!/bin/sh
# Makes the JPEG fixtures with the independent tools (cjpeg/djpeg of libjpeg-turbo,
# ImageMagick's /usr/bin/convert, vips, exiftool) and the reference decodings that djpeg
# and convert give for them. Run from this folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
w, h = 61, 45
rgb = bytearray()
for y in range(h):
    for x in range(w):
        rgb += bytes(((x * 4 + y * 2) % 256, (y * 5 + x) % 256, (x * y * 3 + 40) % 256))
open('src.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)
t = bytearray()
for y in range(12):
    for x in range(16):
        t += bytes((x * 16, y * 20, 200))
open('thumb.ppm', 'wb').write(b'P6 16 12 255\n' + t)
PY
# Every chroma sampling (luminance factors; chroma 1x1).
for s in 1x1:444 2x1:422 1x2:440 2x2:420 4x1:411 4x2:410; do
    cjpeg -quality 85 -sample ${s%%:*} src.ppm > s${s##*:}.jpg
done
cjpeg -quality 85 -sample 2x2 -progressive src.ppm > prog.jpg
cjpeg -quality 85 -grayscale src.ppm > grey.jpg
cjpeg -quality 85 -rgb src.ppm > rgb.jpg
cjpeg -quality 85 -arithmetic src.ppm > arith.jpg
cjpeg -quality 85 -sample 2x2 -restart 1 src.ppm > restart.jpg
cjpeg -quality 85 -sample 1x1 -restart 3B -progressive src.ppm > restartb.jpg
# CMYK: ImageMagick writes it with the YCCK transform, vips copies it as plain CMYK.
$IM src.ppm -colorspace CMYK ycck.jpg
vips copy ycck.jpg cmyk.jpg
for f in s444 s422 s440 s420 s411 s410 prog rgb arith restart restartb ycck cmyk; do
    djpeg -ppm $f.jpg > $f.ref.ppm
done
djpeg -pnm grey.jpg > grey.ref.pgm
# The ink values ImageMagick decodes (C, M, Y, K; 255 = full ink).
for f in ycck cmyk; do $IM $f.jpg -depth 8 cmyk:$f.ink; done
# Scaled decodings and the other DCT methods.
djpeg -ppm -scale 1/2 s420.jpg > s420.half.ppm
djpeg -ppm -scale 1/4 s420.jpg > s420.quarter.ppm
djpeg -ppm -scale 1/8 s420.jpg > s420.eighth.ppm
djpeg -ppm -scale 1/4 prog.jpg > prog.quarter.ppm
djpeg -ppm -dct fast s420.jpg > s420.fast.ppm
djpeg -ppm -dct float s420.jpg > s420.float.ppm
# EXIF orientations 1 .. 8, and the upright pictures ImageMagick makes of them.
for o in 1 2 3 4 5 6 7 8; do
    cp s420.jpg orient$o.jpg
    exiftool -q -overwrite_original -n -Orientation=$o orient$o.jpg
    $IM orient$o.jpg -auto-orient -depth 8 orient$o.ref.ppm
done
# Metadata: comment, IPTC, XMP, EXIF resolution in centimetres, an EXIF thumbnail, JFIF
# density of 118 dots per centimetre.
cjpeg -quality 90 thumb.ppm > thumb.jpg
cp s420.jpg meta.jpg
exiftool -q -overwrite_original -Comment='made for the tests' -IPTC:Keywords=lumetra -IPTC:City=Nowhere \
    -XMP-dc:Title='A test picture' -EXIF:XResolution=100 -EXIF:YResolution=100 -EXIF:ResolutionUnit=cm \
    -EXIF:Make=Tester '-ThumbnailImage<=thumb.jpg' -JFIF:XResolution=118 -JFIF:YResolution=118 \
    -JFIF:ResolutionUnit=cm meta.jpg
# JFIF density 1 by 1 (no unit) with an EXIF resolution of 72 dots per inch, and of 100
# dots per centimetre.
cp s420.jpg exif72.jpg
exiftool -q -overwrite_original -EXIF:XResolution=72 -EXIF:YResolution=72 -EXIF:ResolutionUnit=inches exif72.jpg
cp s420.jpg exifcm.jpg
exiftool -q -overwrite_original -EXIF:XResolution=100 -EXIF:YResolution=100 -EXIF:ResolutionUnit=cm exifcm.jpg
rm -f thumb.ppm
# Flat pages with arithmetic coding: a few hundred bytes for millions of pixels.
python3 -c "import sys; sys.stdout.buffer.write(b'P6 2048 1536 255\n' + b'\xff' * (2048 * 1536 * 3))" > flat.ppm
cjpeg -arithmetic flat.ppm > flat_arith.jpg
cjpeg -arithmetic -grayscale flat.ppm > flat_arith_grey.jpg
rm flat.ppm
