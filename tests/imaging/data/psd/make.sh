#!/bin/sh
# Makes the Photoshop fixtures with ImageMagick's /usr/bin/convert (and two by hand, in
# Python: indexed and bitmap mode, which it does not write readably) and their reference decodings:
# X.ref.ppm is convert's merged picture of X, X.layerN.ref.ppm and X.layerN.alpha.pgm its
# layer N, X.layers.txt the layers' offsets as identify prints them. Run from this folder.
set -e
IM=/usr/bin/convert
python3 - <<'PY'
w, h = 13, 7
rgb, alpha = bytearray(), bytearray()
for y in range(h):
    for x in range(w):
        if y == 2:
            rgb += bytes((200, 40, 90))
        else:
            rgb += bytes(((x * 29 + y * 3) % 256, (y * 43 + x) % 256, (x * y * 7 + 50) % 256))
        alpha.append(255 if (x + y) % 4 else (x * 30) % 256)
open('rgb.ppm', 'wb').write(b'P6 %d %d 255\n' % (w, h) + rgb)
open('alpha.pgm', 'wb').write(b'P5 %d %d 255\n' % (w, h) + alpha)

import struct
def res(rid, data):
    b = b'8BIM' + struct.pack('>H', rid) + b'\0\0' + struct.pack('>I', len(data)) + data
    return b + (b'\0' if len(data) % 2 else b'')
def psd(channels, height, width, depth, mode, modedata, resources, planes):
    out = b'8BPS' + struct.pack('>H', 1) + bytes(6) + struct.pack('>HIIHH', channels, height, width, depth, mode)
    out += struct.pack('>I', len(modedata)) + modedata
    out += struct.pack('>I', len(resources)) + resources
    out += struct.pack('>I', 0)        # no layers
    return out + struct.pack('>H', 0) + planes
# Indexed, 6 x 4, resource 1047 making index 3 transparent, resolution 72 x 72 dots per inch.
pal = bytes(i * 9 % 256 for i in range(256)) + bytes(255 - i for i in range(256)) + bytes(i * 5 % 256 for i in range(256))
idx = bytes((x * 3 + y) % 7 for y in range(4) for x in range(6))
resolution = struct.pack('>IHHIHH', 72 << 16, 1, 1, 72 << 16, 1, 1)
open('indexed.psd', 'wb').write(psd(1, 4, 6, 8, 2, pal, res(1005, resolution) + res(1047, struct.pack('>H', 3)), idx))
# convert refuses every indexed document (its own included): the expected colours and alpha
# are the palette's, written here.
open('indexed.ref.ppm', 'wb').write(b'P6 6 4 255\n' + b''.join(bytes((pal[i], pal[256 + i], pal[512 + i])) for i in idx))
open('indexed.alpha.pgm', 'wb').write(b'P5 6 4 255\n' + bytes(0 if i == 3 else 255 for i in idx))
# Bitmap mode, 10 x 3 (1 is black in the file).
bits = bytes((0b10110011, 0b01000000, 0b00001111, 0b11000000, 0b11111111, 0b10000000))
open('bitmap.psd', 'wb').write(psd(1, 3, 10, 1, 0, b'', b'', bits))
# One layer of 5 x 3 whose planes are zip data with prediction (compression 3), at 8 and at
# 16 bits a sample.
import zlib
def predicted(rows, depth):
    out = b''
    for row in rows:
        if depth == 8:
            out += bytes([row[0]] + [(row[i] - row[i - 1]) & 255 for i in range(1, len(row))])
        else:
            out += b''.join(struct.pack('>H', (row[i] - (row[i - 1] if i else 0)) & 65535) for i in range(len(row)))
    return zlib.compress(out)
def zipdoc(depth):
    w, h, scale = 5, 3, 257 if depth == 16 else 1
    planes = [[[((x * 50 + y * 20 + c * 70) % 256) * scale for x in range(w)] for y in range(h)] for c in range(3)]
    planes.append([[(255 if x else 128) * scale for x in range(w)] for y in range(h)])
    data = [struct.pack('>H', 3) + predicted(p, depth) for p in planes]
    ids = [0, 1, 2, -1]
    rec = struct.pack('>iiiiH', 1, 2, 1 + h, 2 + w, 4) + b''.join(struct.pack('>hI', i, len(d)) for i, d in zip(ids, data))
    extra = struct.pack('>II', 0, 0) + bytes((3,)) + b'zip'
    rec += b'8BIMnorm' + bytes((255, 0, 0, 0)) + struct.pack('>I', len(extra)) + extra
    info = struct.pack('>h', 1) + rec + b''.join(data)
    if len(info) % 2: info += b'\0'
    layers = struct.pack('>I', len(info)) + info + struct.pack('>I', 0)
    merged = struct.pack('>H', 0) + bytes(3 * 8 * 6 * depth // 8)
    out = b'8BPS' + struct.pack('>H', 1) + bytes(6) + struct.pack('>HIIHH', 3, 6, 8, depth, 3)
    return out + struct.pack('>I', 0) + struct.pack('>I', 0) + struct.pack('>I', len(layers)) + layers + merged
open('zip8.psd', 'wb').write(zipdoc(8))
open('zip16.psd', 'wb').write(zipdoc(16))
PY
$IM rgb.ppm -depth 8 rgb8.psd
$IM rgb.ppm -depth 8 -compress None rgb8_raw.psd
$IM rgb.ppm -depth 16 rgb16.psd
$IM rgb.ppm -depth 8 -colorspace Gray grey8.psd
$IM rgb.ppm -depth 16 -colorspace Gray grey16.psd
$IM rgb.ppm -depth 8 -colorspace CMYK cmyk8.psd
$IM rgb.ppm alpha.pgm -alpha off -compose CopyOpacity -composite -depth 8 rgba8.psd
# Three layers: a background, a half-transparent square at +3+2 named "square" and a
# hidden-free strip at +6+4; the first image is the merged picture.
$IM -size 4x3 xc:'#2080f0' -alpha set -channel A -evaluate set 50% +channel -set label square sq.png
$IM -size 6x2 xc:'#f0e010' -set label strip st.png
$IM \( rgb.ppm -alpha set \) \( rgb.ppm -set label background \) \( sq.png -repage +3+2 \) \( st.png -repage +6+4 \) \
    \( -clone 1-3 -background none -flatten \) -delete 0 -insert 0 -depth 8 -type TrueColorAlpha layers.psd
for f in rgb8 rgb8_raw rgb16 grey8 grey16 cmyk8 bitmap layers; do
  $IM "$f.psd[0]" -alpha off -colorspace sRGB -depth 8 $f.ref.ppm
done
# convert takes the merged colours of a transparent document as matted with white; its
# single layer holds the colours and alpha as stored.
$IM "rgba8.psd[1]" -alpha off -depth 8 rgba8.ref.ppm
$IM "rgba8.psd[1]" -alpha extract -depth 8 rgba8.alpha.pgm
# Sixteen bits a sample: two layers (zip-compressed planes among them).
$IM -size 13x7 gradient:red-blue -depth 16 g16.png
$IM \( g16.png -alpha set \) \( g16.png -set label bg \) \
    \( -size 4x3 xc:'#2080f0' -alpha set -channel A -evaluate set 50% +channel -set label sq -repage +3+2 \) \
    -depth 16 layers16.psd
for n in 1 2; do
  $IM "layers16.psd[$n]" -alpha off -depth 8 layers16.layer$n.ref.ppm
  $IM "layers16.psd[$n]" -alpha extract -depth 8 layers16.layer$n.alpha.pgm
done
/usr/bin/identify -format '%X %Y %w %h %l\n' layers16.psd > layers16.txt
for f in zip8 zip16; do
  $IM "$f.psd[1]" -alpha off -depth 8 $f.layer1.ref.ppm
  $IM "$f.psd[1]" -alpha extract -depth 8 $f.layer1.alpha.pgm
  /usr/bin/identify -format '%X %Y %w %h %l\n' $f.psd > $f.txt
done
for n in 1 2 3; do
  $IM "layers.psd[$n]" -alpha off -depth 8 layers.layer$n.ref.ppm
  $IM "layers.psd[$n]" -alpha extract -depth 8 layers.layer$n.alpha.pgm
done
/usr/bin/identify -format '%X %Y %w %h %l\n' layers.psd > layers.txt
rm -f rgb.ppm alpha.pgm sq.png st.png g16.png
