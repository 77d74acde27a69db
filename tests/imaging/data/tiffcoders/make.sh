#!/bin/sh
# Makes the LZW and fax strip fixtures with ImageMagick's /usr/bin/convert and the libtiff
# tools: each source picture is stored by tiffcp as one strip, and the strip's bytes are cut
# out at the offset and byte count tiffinfo -s reports. Run from this folder.
set -e
IM=/usr/bin/convert
strip() {  # strip TIFF OUT: the single strip of TIFF into OUT
    line=$(tiffinfo -s "$1" | sed -n '/ 1 Strips:/{n;p}' | tr -d '[],')
    off=$(echo "$line" | awk '{print $2}')
    cnt=$(echo "$line" | awk '{print $3}')
    dd if="$1" of="$2" bs=1 skip=$((off)) count=$((cnt)) status=none
}
$IM -size 97x61 plasma:fractal -seed 7 -depth 8 gray.pgm 2>/dev/null || $IM -size 97x61 gradient:black-white gray.pgm
$IM -size 150x40 pattern:checkerboard -depth 8 ppm:pattern.ppm
for f in gray.pgm pattern.ppm; do
    b=${f%.*}
    case $f in *.ppm) t="-type TrueColor";; *) t="";; esac
    $IM "$f" $t -depth 8 tmp.tif
    tiffcp -c lzw -r 100000 tmp.tif lzw.tif
    strip lzw.tif "$b.lzw"
done
$IM -size 203x57 plasma:fractal -seed 3 -monochrome page.pbm
$IM page.pbm tmp.tif
for c in g3 g3:2d g4; do
    tiffcp -c $c -r 100000 tmp.tif fax.tif
    strip fax.tif "page.$(echo $c | tr -d :)"
done
rm -f tmp.tif lzw.tif fax.tif
