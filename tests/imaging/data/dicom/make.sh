#!/bin/sh
# Makes the DICOM and lossless JPEG fixtures. Sources are written by dcmwrite.py (plain
# uncompressed files); dcmtk compresses them: dcmcjpeg (lossless with each selection value,
# point transform, baseline), dcmcrle (RLE). The lossless streams *.ljpg are the pixel
# fragments of dcmcjpeg's files; their reference samples are the sources (*.pgm, *.ppm,
# 16-bit as maxval 65535). Run from this folder.
set -e
python3 - <<'PY'
import struct, subprocess, sys
sys.path.insert(0, '.')
import dcmwrite as d

W, H = 17, 11
def grey8(x, y): return (x * 13 + y * 29 + (x * y) % 7 * 11) % 256
def grey12(x, y): return (x * 211 + y * 367 + (x * x * y) % 97) % 4096
def grey16(x, y): return (x * 3803 + y * 5821 + (x * y * 37) % 1000) % 65536
def rgb(x, y): return ((x * 15) % 256, (y * 23) % 256, (x * y * 3 + 40) % 256)

def pnm(path, magic, maxval, samples):
    if maxval > 255:
        body = b''.join(struct.pack('>H', v) for v in samples)
    else:
        body = bytes(samples)
    open(path, 'wb').write(b'%s %d %d %d\n' % (magic, W, H, maxval) + body)

g8 = [grey8(x, y) for y in range(H) for x in range(W)]
g12 = [grey12(x, y) for y in range(H) for x in range(W)]
g16 = [grey16(x, y) for y in range(H) for x in range(W)]
c8 = [v for y in range(H) for x in range(W) for v in rgb(x, y)]
pnm('grey8.pgm', b'P5', 255, g8)
pnm('grey12.pgm', b'P5', 65535, g12)
pnm('grey16.pgm', b'P5', 65535, g16)
pnm('rgb8.ppm', b'P6', 255, c8)
pnm('grey8_pt2.pgm', b'P5', 255, [v & ~3 for v in g8])

d.write('grey8.dcm', H, W, 1, 8, g8)
d.write('grey12.dcm', H, W, 1, 16, g12, bits_stored=12)
d.write('grey16.dcm', H, W, 1, 16, g16)
d.write('rgb8.dcm', H, W, 3, 8, c8)

def run(*args): subprocess.run(args, check=True)
def extract(dcm, out): open(out, 'wb').write(d.fragments(dcm)[0])
for sv in range(1, 8):
    run('dcmcjpeg', '+el', '+sv', str(sv), 'grey8.dcm', 'l_grey8_sv%d.dcm' % sv)
    extract('l_grey8_sv%d.dcm' % sv, 'grey8_sv%d.ljpg' % sv)
run('dcmcjpeg', '+el', '+sv', '6', 'grey12.dcm', 'l_grey12.dcm')
extract('l_grey12.dcm', 'grey12_sv6.ljpg')
run('dcmcjpeg', '+el', '+sv', '7', 'grey16.dcm', 'l_grey16.dcm')
extract('l_grey16.dcm', 'grey16_sv7.ljpg')
run('dcmcjpeg', '+e1', 'rgb8.dcm', 'l_rgb8.dcm')
extract('l_rgb8.dcm', 'rgb8_sv1.ljpg')
run('dcmcjpeg', '+el', '+sv', '1', '+pt', '2', 'grey8.dcm', 'l_grey8_pt2.dcm')
extract('l_grey8_pt2.dcm', 'grey8_pt2.ljpg')
PY
