#!/bin/sh
# Makes the PNM fixtures with netpbm and their reference decodings with ImageMagick's
# /usr/bin/convert. Run from this folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
w, h = 11, 5
rgb = bytearray()
for y in range(h):
    for x in range(w):
        rgb += bytes(((x * 23 + y * 5) % 256, (y * 51 + x) % 256, (x * y * 9 + 30) % 256))
open('src.ppm', 'wb').write(b'P6\n# made for the tests\n%d %d\n255\n' % (w, h) + rgb)
PY
cp src.ppm ppm255.ppm
pnmdepth 1000 src.ppm > ppm1000.ppm
pnmdepth 65535 src.ppm > ppm65535.ppm
pnmdepth 100 src.ppm > ppm100.ppm
pnmtoplainpnm src.ppm > plain255.ppm
pnmtoplainpnm ppm1000.ppm > plain1000.ppm
ppmtopgm src.ppm > pgm255.pgm
pnmdepth 100 pgm255.pgm > pgm100.pgm
pnmdepth 65535 pgm255.pgm > pgm65535.pgm
pnmdepth 4095 pgm255.pgm > pgm4095.pgm
pnmtoplainpnm pgm100.pgm > plain100.pgm
pgmtopbm -threshold pgm255.pgm > pbm.pbm
pnmtoplainpnm pbm.pbm > plain.pbm
for f in ppm255.ppm ppm1000.ppm ppm65535.ppm ppm100.ppm plain255.ppm plain1000.ppm pgm255.pgm pgm100.pgm \
         pgm65535.pgm pgm4095.pgm plain100.pgm pbm.pbm plain.pbm; do
  $IM $f -depth 8 ppm:${f%.*}.ref.ppm
done
rm -f src.ppm
