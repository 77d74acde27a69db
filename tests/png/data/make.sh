#!/usr/bin/env bash
# Makes the PNG test pictures with ImageMagick 6 (/usr/bin/convert) and exiftool, and
# checks each with pngcheck. Run from this directory: ./make.sh
# Every picture comes from one 37 x 23 source (an odd size, so that packed rows end inside
# a byte and every Adam7 pass has pixels) and its copy with an alpha ramp; -strip keeps
# ImageMagick's date, gamma and chromaticity chunks out unless a picture wants them.
set -euo pipefail
C=/usr/bin/convert
$C -size 37x23 gradient:yellow-navy -fill red -draw "circle 10,10 14,10" \
   -fill '#20C040' -draw "rectangle 22,3 33,12" -fill white -draw "rectangle 0,18 5,22" -depth 16 pic.ppm
$C pic.ppm -alpha set -channel A -fx "i/(w-1)" +channel -depth 16 pic_alpha.pam

for lace in none PNG; do
  p=""; [ "$lace" = PNG ] && p="i_"
  I=(-strip -interlace "$lace")
  for d in 1 2 4 8 16; do   # grey, every depth
    $C pic.ppm "${I[@]}" -colorspace Gray -depth $d -define png:color-type=0 -define png:bit-depth=$d ${p}g$d.png
  done
  for d in 8 16; do         # RGB, grey with alpha, RGBA
    $C pic.ppm "${I[@]}" -depth $d -define png:color-type=2 -define png:bit-depth=$d ${p}rgb$d.png
    $C pic_alpha.pam "${I[@]}" -colorspace Gray -depth $d -define png:color-type=4 -define png:bit-depth=$d ${p}ga$d.png
    $C pic_alpha.pam "${I[@]}" -depth $d -define png:color-type=6 -define png:bit-depth=$d ${p}rgba$d.png
  done
  n=(0 2 4 0 16 0 0 0 200)
  for d in 1 2 4 8; do      # palette, every depth
    $C pic.ppm "${I[@]}" +dither -colors ${n[$d]} -depth 8 -define png:color-type=3 -define png:bit-depth=$d ${p}p$d.png
  done
done

# Transparency chunks: a grey level, an RGB colour (8 and 16 bits), one palette colour,
# and alpha per palette entry (a 2-bit palette). ImageMagick writes no tRNS for grey
# below 8 bits: the tests build those files themselves.
$C pic.ppm -strip -colorspace Gray -depth 8 -transparent '#FFFFFF' -define png:color-type=0 gt8.png
$C pic.ppm -strip -depth 8 -transparent '#FFFFFF' -define png:color-type=2 rgbt8.png
$C pic.ppm -strip -depth 16 -transparent '#FFFFFF' -define png:color-type=2 -define png:bit-depth=16 rgbt16.png
$C pic.ppm -strip -transparent '#FFFFFF' +dither -colors 16 png8:pt8.png
$C -size 37x23 xc:'rgba(255,0,0,0.99)' -alpha set -fill 'rgba(0,0,255,0.5)' -draw "rectangle 5,5 20,15" \
   -fill 'rgba(255,255,0,0.8)' -draw "rectangle 0,18 10,22" -strip -depth 8 pa2.png

# Gamma (1.0, and about 1/2.2) and chromaticities.
X=cHRM,bKGD,tIME,tEXt,zTXt,date,sRGB,iCCP,vpAg
$C pic.ppm -depth 8 -define png:exclude-chunk=$X -set gamma 1.0 -define png:color-type=2 gam10.png
$C pic.ppm -depth 8 -define png:exclude-chunk=$X -set gamma 0.45455 -define png:color-type=2 gam045.png
$C pic.ppm +dither -colors 16 -depth 8 -define png:exclude-chunk=$X -set gamma 1.0 -define png:color-type=3 pgam.png
$C pic.ppm -depth 8 -define png:exclude-chunk=bKGD,tIME,tEXt,zTXt,date,sRGB,iCCP,vpAg,gAMA \
   -define png:color-type=2 chrm.png

# Text: tEXt, zTXt (a long text, deflated) and iTXt (a text with a language).
cp p4.png txt.png
exiftool -q -overwrite_original -PNG:Title="Sunset over the bay" -PNG:Comment="A short note" txt.png
cp p4.png ztxt.png
exiftool -q -z -overwrite_original -PNG:Description="$(for i in $(seq 1 100); do printf 'long text '; done)" ztxt.png
cp p4.png itxt.png
exiftool -q -overwrite_original -PNG:Title-de="Sonnenuntergang" itxt.png

for f in *.png; do pngcheck -q "$f"; done
