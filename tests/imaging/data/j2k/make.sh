#!/bin/sh
# Makes the JPEG 2000 fixtures with OpenJPEG's opj_compress from small PNM sources written
# here (bilevel.j2k by ImageMagick over OpenJPEG), and their reference decodings X.ref.ppm / X.ref.pgm with opj_decompress. ycc420.jp2
# is a 4:2:0 YCbCr file: raw planes coded without the colour transform, then the colour
# method of its 'colr' box set to sYCC (enumerated colour space 18). Run from this folder.
set -e
python3 - <<'PY'
import struct
W, H = 23, 17
rgb = bytes(v for y in range(H) for x in range(W)
            for v in ((x * 11) % 256, (y * 15) % 256, (x * y * 5 + 60) % 256))
open('rgb.ppm', 'wb').write(b'P6\n%d %d\n255\n' % (W, H) + rgb)
grey = bytes((x * 9 + y * 13 + (x * y) % 5 * 7) % 256 for y in range(H) for x in range(W))
open('grey.pgm', 'wb').write(b'P5\n%d %d\n255\n' % (W, H) + grey)
g12 = b''.join(struct.pack('>H', (x * 177 + y * 241) % 4096) for y in range(H) for x in range(W))
open('grey12.pgm', 'wb').write(b'P5\n%d %d\n4095\n' % (W, H) + g12)
rows = []
for y in range(H):
    row = bytearray((W + 7) // 8)
    for x in range(W):
        if (x // 3 + y // 2) % 2:
            row[x // 8] |= 0x80 >> (x % 8)
    rows.append(bytes(row))
open('bilevel.pbm', 'wb').write(b'P4\n%d %d\n' % (W, H) + b''.join(rows))
# 4:2:0 planes: Y full size, Cb and Cr halved (rounded up).
cw, ch = (W + 1) // 2, (H + 1) // 2
yp = bytes((x * 10 + y * 4 + 20) % 256 for y in range(H) for x in range(W))
cb = bytes((x * 20 + 60) % 256 for y in range(ch) for x in range(cw))
cr = bytes((y * 25 + 90) % 256 for y in range(ch) for x in range(cw))
open('ycc420.raw', 'wb').write(yp + cb + cr)
PY
opj_compress -i rgb.ppm -o rgb_lossless.j2k -n 5 >/dev/null
opj_compress -i rgb.ppm -o rgb_lossless.jp2 -n 5 >/dev/null
opj_compress -i rgb.ppm -o rgb_lossy.jp2 -r 8 -n 5 >/dev/null
opj_compress -i rgb.ppm -o rgb_tiles.j2k -t 8,8 -n 3 >/dev/null
opj_compress -i rgb.ppm -o rgb_rlcp.jp2 -p RLCP -n 3 >/dev/null
opj_compress -i grey.pgm -o grey.j2k -n 5 >/dev/null
opj_compress -i grey12.pgm -o grey12.j2k -n 5 >/dev/null
# opj_compress codes PNM input with 8 bits at least; ImageMagick writes a 1-bit component.
/usr/bin/convert bilevel.pbm -depth 1 bilevel.j2k
opj_compress -i ycc420.raw -o ycc420_plain.jp2 -F 23,17,3,8,u@1x1:2x2:2x2 -mct 0 -n 5 >/dev/null
python3 - <<'PY'
d = bytearray(open('ycc420_plain.jp2', 'rb').read())
at = d.index(b'colr') + 4
assert d[at] == 1  # enumerated colour space
d[at + 3:at + 7] = (18).to_bytes(4, 'big')
open('ycc420.jp2', 'wb').write(d)
PY
rm -f ycc420_plain.jp2 ycc420.raw
for f in rgb_lossless.j2k rgb_lossless.jp2 rgb_lossy.jp2 rgb_tiles.j2k rgb_rlcp.jp2 ycc420.jp2; do
  opj_decompress -i "$f" -o "${f%.*}.ref.ppm" >/dev/null
done
for f in grey.j2k grey12.j2k bilevel.j2k; do
  opj_decompress -i "$f" -o "${f%.*}.ref.pgm" >/dev/null
done
