#!/bin/sh
# Makes the HD Photo fixtures: sources drawn with ImageMagick, coded with JxrEncApp
# (libjxr-tools), and each file's reference decoding by JxrDecApp (*_ref.*). JxrEncApp does
# not encode CMYK sources; CMYK and black-and-white files are checked through our writer.
set -e
cd "$(dirname "$0")"
S=/tmp/lumetra-hdp-src
mkdir -p $S
# Sources, 37 x 21 (not whole macroblocks).
convert -size 37x21 gradient:red-blue -fill lime -draw "rectangle 5,3 20,12" -depth 8 $S/rgb.ppm
convert -size 37x21 gradient:white-black -fill gray40 -draw "circle 18,10 18,3" -depth 8 $S/gray8.pgm
convert -size 37x21 gradient:white-black -depth 16 $S/gray16.pgm
convert -size 37x21 gradient:yellow-navy -depth 16 $S/rgb48.ppm
convert -size 37x21 gradient:red-blue -density 299.9 -units PixelsPerInch -depth 8 -compress none $S/dpi.tif
convert -seed 7 -size 64x48 plasma:fractal -depth 8 $S/plasma.ppm
convert $S/rgb.ppm -type truecolor BMP3:$S/bgr.bmp

JxrEncApp -i $S/rgb.ppm -o rgb24.jxr -q 1
JxrEncApp -i $S/bgr.bmp -o bgr24.jxr -q 1
JxrEncApp -i $S/gray8.pgm -o gray8.jxr -q 1
JxrEncApp -i $S/gray16.pgm -o gray16.jxr -q 1
JxrEncApp -i $S/rgb48.ppm -o rgb48.jxr -q 1
JxrEncApp -i $S/dpi.tif -o dpi.jxr -q 1
JxrEncApp -i $S/plasma.ppm -o lossy.jxr -q 0.6
JxrEncApp -i $S/plasma.ppm -o tiled.jxr -q 1 -U 2 2 -f
for f in rgb24 bgr24 lossy tiled dpi; do JxrDecApp -i $f.jxr -o ${f}_ref.ppm -c 9; done
JxrDecApp -i gray8.jxr -o gray8_ref.pgm
# The tools move 16-bit PNM samples without swapping their bytes (and JxrDecApp gives
# 16-bit grey PNM a colour header): the 16-bit references go through TIFF.
for f in gray16:pgm rgb48:ppm; do
  JxrDecApp -i ${f%%:*}.jxr -o ${f%%:*}_ref.tif
  convert ${f%%:*}_ref.tif -depth 16 ${f%%:*}_ref.${f##*:}
  rm -f ${f%%:*}_ref.tif
done
rm -rf $S
