#!/bin/sh
# Makes the icon and cursor fixtures with icoutils' icotool from PNG pictures made by
# ImageMagick's /usr/bin/convert, and the reference decodings of each image. Run from
# this folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
def save(name, w, h, px):
    open(name, 'wb').write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (w, h) + px)
for w, name in ((16, 'a16.pam'), (32, 'a32.pam'), (24, 'a24.pam')):
    px = bytearray()
    for y in range(w):
        for x in range(w):
            a = 0 if (x < 3 or y < 2) else 255
            px += bytes(((x * 13) % 256, (y * 7) % 256, ((x + y) * 5) % 256, a))
    save(name, w, w, px)
# Few colours for the palette depths: black, white, red, blue in a pattern, a transparent corner.
for w, name in ((16, 'p16.pam'),):
    cols = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 0, 255)]
    px = bytearray()
    for y in range(w):
        for x in range(w):
            c = cols[(x // 2 + y) % 4]
            px += bytes(c + ((0,) if x + y < 4 else (255,)))
    save(name, w, w, px)
bw = bytearray()
for y in range(16):
    for x in range(16):
        v = 255 if (x * y) % 3 else 0
        bw += bytes((v, v, v, 0 if x > 12 else 255))
save('m16.pam', 16, 16, bw)
# One picture per icon size (16, 32, 48, 256) and a 256-pixel black-and-white one.
for w in (16, 32, 48, 256):
    px = bytearray()
    for y in range(w):
        for x in range(w):
            a = 0 if (x < w // 8 or y < w // 16) else 255
            px += bytes(((x * 256 // w) & 0xF0, (y * 256 // w) & 0xF0, 0x80 if (x // 8 + y // 8) % 2 else 0x20, a))
    save('s%d.pam' % w, w, w, px)
bw = bytearray()
for y in range(256):
    for x in range(256):
        v = 255 if ((x // 16) + (y // 16)) % 2 else 0
        bw += bytes((v, v, v, 0 if y < 16 else 255))
save('m256.pam', 256, 256, bw)
PY
for f in a16 a32 a24 p16 m16 s16 s32 s48 s256 m256; do $IM $f.pam $f.png; done
icotool -c -o three.ico -b 32 a16.png -b 32 a32.png -b 24 a24.png
icotool -c -o depths.ico -b 1 m16.png -b 4 p16.png -b 8 p16.png -b 24 a16.png -b 32 a16.png
icotool -c -o big.ico -r a32.png
# 256-pixel entries (size bytes 0): one stored as PNG, one as a 1-bit bitmap.
icotool -c -o sizes.ico -b 32 s16.png -b 32 s32.png -b 24 s48.png -r s256.png -b 1 m256.png
icotool -c --cursor --hotspot-x=3 --hotspot-y=7 -o arrow.cur -b 32 a16.png
icotool -c --cursor --hotspot-x=1 --hotspot-y=2 -o mono.cur -b 1 m16.png
# Reference decodings: every image of each file as PNG with its alpha, by icotool.
for f in three depths arrow mono; do
  icotool -x -o . $f.*
done
for p in *_*x*x*.png; do
  $IM $p -alpha off -depth 8 ppm:${p%.png}.ref.ppm
  $IM $p -alpha extract -depth 8 pgm:${p%.png}.alpha.pgm
done
rm -f *.pam a16.png a32.png a24.png p16.png m16.png s16.png s32.png s48.png s256.png m256.png *_*x*x*.png
