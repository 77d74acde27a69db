#!/bin/sh
# Makes the TIFF fixtures with independent tools (libtiff's tiffcp and fax2tiff, ImageMagick's
# /usr/bin/convert) and their reference decodings (PPM/PGM written by convert from each file).
# Run from this folder.
set -e
IM=/usr/bin/convert
# Sources: a 37 x 21 colour picture (two tiles across and down at 16 x 16, cut at the edges),
# a grey ramp of the same size, a 16-colour picture and an alpha ramp.
python3 - <<'PY'
w, h = 37, 21
rgb = bytearray(); g = bytearray(); p16 = bytearray(); a = bytearray()
pal = [(0,0,0),(255,255,255),(255,0,0),(0,255,0),(0,0,255),(255,255,0),(0,255,255),(255,0,255),
       (128,0,0),(0,128,0),(0,0,128),(128,128,0),(0,128,128),(128,0,128),(192,192,192),(128,128,128)]
for y in range(h):
    for x in range(w):
        rgb += bytes(((x * 7 + y * 5) % 256, (y * 12) % 256, (x * y * 3 + 40) % 256))
        g.append((x * 7 + y * 3) % 256)
        p16 += bytes(pal[(x // 3 + 3 * y) % 16])
        a.append(255 if x < 4 else (x * 6 + y * 2) % 256)
open('src.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)
open('grey.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + g)
open('src16.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + p16)
open('alpha.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + a)
PY
# RGB, every compression libtiff writes losslessly, both byte orders, tiles and planes.
$IM src.ppm -compress None rgb.tif
for c in none lzw lzw:2 zip zip:2 packbits; do
  n=$(echo $c | tr ':' '_')
  tiffcp -c $c rgb.tif rgb_$n.tif
done
tiffcp -B -c lzw:2 rgb.tif rgb_be_lzw2.tif
tiffcp -B -c none rgb.tif rgb_be_none.tif
tiffcp -t -w 16 -l 16 -c none rgb.tif rgb_tiled.tif
tiffcp -t -w 16 -l 16 -c zip:2 rgb.tif rgb_tiled_zip2.tif
tiffcp -p separate -c none rgb.tif rgb_planar.tif
tiffcp -p separate -c lzw:2 rgb.tif rgb_planar_lzw2.tif
tiffcp -r 4 -c packbits rgb.tif rgb_strips4_packbits.tif
tiffcp -c jpeg:90 rgb.tif rgb_jpeg.tif
$IM src.ppm -depth 16 -compress None rgb16.tif
tiffcp -B -c zip:2 rgb16.tif rgb16_be_zip2.tif
# Grey levels at 1, 2, 4, 8 and 16 bits; the bilevel one with every fax coding.
$IM grey.pgm -depth 8 -compress None grey8.tif
tiffcp -c lzw:2 grey8.tif grey8_lzw2.tif
tiffcp -B -c packbits grey8.tif grey8_be_packbits.tif
$IM grey.pgm -depth 4 -compress None grey4.tif
$IM grey.pgm -depth 2 -compress None grey2.tif
$IM grey.pgm -depth 16 -compress None grey16.tif
tiffcp -B -c lzw:2 grey16.tif grey16_be_lzw2.tif
$IM grey.pgm -threshold 50% -depth 1 -type bilevel -compress None bw.tif
tiffcp -c g3 bw.tif bw_g3.tif
tiffcp -c g3:2d bw.tif bw_g32d.tif
tiffcp -c g4 bw.tif bw_g4.tif
tiffcp -B -c packbits bw.tif bw_be_packbits.tif
# Palettes of 16 colours at 4 and 8 bits.
$IM src.ppm -colors 100 -type Palette -depth 8 -compress None pal8.tif
$IM src16.ppm -type Palette -depth 4 -compress None pal4.tif
tiffcp -c lzw pal8.tif pal8_lzw.tif
# Alpha, associated and unassociated; CMYK; CIE L*a*b*.
$IM src.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -define tiff:alpha=unassociated -compress None rgba_unassoc.tif
$IM src.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -define tiff:alpha=associated -compress None rgba_assoc.tif
$IM src.ppm -colorspace CMYK -compress None cmyk.tif
$IM src.ppm -colorspace Lab -compress None lab.tif
# Three pages.
tiffcp rgb_lzw.tif grey8.tif pal8.tif multi.tif
# Reference decodings by ImageMagick.
for f in *.tif; do
  case $f in multi.tif) continue ;; esac
  $IM "$f[0]" -alpha off -depth 8 -colorspace sRGB -type TrueColor "ppm:${f%.tif}.ref.ppm"
done
for i in 0 1 2; do $IM "multi.tif[$i]" -alpha off -depth 8 -type TrueColor "ppm:multi_$i.ref.ppm"; done
$IM rgba_unassoc.tif -alpha extract -depth 8 pgm:rgba_unassoc.alpha.pgm
$IM rgba_assoc.tif -alpha extract -depth 8 pgm:rgba_assoc.alpha.pgm
# JPEG-compressed pages of every photometric interpretation: RGB kept as RGB inside the JPEG
# data (libtiff and ImageMagick), YCbCr, grey and CMYK; each with libtiff's own decoding
# through tiff2rgba beside ImageMagick's.
tiffcp -c jpeg:r rgb.tif jpeg_rgb.tif
tiffcp -c jpeg rgb.tif jpeg_ycbcr.tif
tiffcp -c jpeg grey8.tif jpeg_grey.tif
tiffcp -c jpeg cmyk.tif jpeg_cmyk.tif
$IM src.ppm -compress JPEG jpeg_im.tif
for f in jpeg_*.tif; do
  $IM "$f" -alpha off -depth 8 -colorspace sRGB -type TrueColor "ppm:${f%.tif}.ref.ppm"
  tiff2rgba "$f" rgba.tmp.tif
  $IM rgba.tmp.tif -alpha off -depth 8 -type TrueColor "ppm:${f%.tif}.tiff2rgba.ppm"
  rm -f rgba.tmp.tif
done
# Hostile headers: see hostile/make.py.
