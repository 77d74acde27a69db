#!/bin/sh
# Makes the DICOM and lossless JPEG fixtures. Sources are written by dcmwrite.py (plain
# uncompressed files); dcmtk compresses them: dcmcjpeg (lossless with each selection value,
# point transform, baseline), dcmcrle (RLE). The lossless streams *.ljpg are the pixel
# fragments of dcmcjpeg's files; their reference samples are the sources (*.pgm, *.ppm,
# 16-bit as maxval 65535). X.ref.pgm / X.ref.ppm are dcmj2pnm's decodings of X.dcm (ct.ref.pgm
# with the file's window, as 16-bit ASCII). j2k_grey.dcm carries ../j2k/grey.j2k. Run from
# this folder.
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

# Data sets for the reader.
m1 = [v for v in g8]
d.write('mono1.dcm', H, W, 1, 8, g8, photometric='monochrome1 ')
d.write('grey16_imp.dcm', H, W, 1, 16, g16, mode='implicit')
d.write('grey16_be.dcm', H, W, 1, 16, g16, mode='big')
d.write('rgb8_planar.dcm', H, W, 3, 8,
        [c8[(i % (W * H)) * 3 + i // (W * H)] for i in range(W * H * 3)], planar=1)
d.write('noprm.dcm', H, W, 1, 8, g8, preamble=False)
# A CT-like slice: raw 0..2000 (the first value 500), signed, intercept -1024, window 40/400.
ct = [(x * 2000 // (W - 1) + y * 7 + 500) % 2001 for y in range(H) for x in range(W)]  # the smallest not first
d.write('ct.dcm', H, W, 1, 16, ct, signed=True, extra=[
    (0x28, 0x1050, 'DS', b'40'), (0x28, 0x1051, 'DS', b'400'),
    (0x28, 0x1052, 'DS', b'-1024'), (0x28, 0x1053, 'DS', b'1')])
pnm('ct_raw.pgm', b'P5', 65535, ct)
# The same without a window, and with a window centre of 0 (taken as no window).
d.write('ct_nowin.dcm', H, W, 1, 16, ct, signed=True, extra=[(0x28, 0x1052, 'DS', b'-1024')])
d.write('ct_c0.dcm', H, W, 1, 16, ct, signed=True, extra=[
    (0x28, 0x1050, 'DS', b'0'), (0x28, 0x1051, 'DS', b'400'), (0x28, 0x1052, 'DS', b'-1024')])
# An icon image sequence of undefined length with image attributes and pixel data of its own.
def el(g, e, vr, v):
    return struct.pack('<HH', g, e) + vr + struct.pack('<H', len(v)) + v
icon = (struct.pack('<HH', 0x88, 0x200) + b'SQ\0\0' + b'\xff' * 4
        + struct.pack('<HHI', 0xFFFE, 0xE000, 0xFFFFFFFF)
        + el(0x28, 0x10, b'US', struct.pack('<H', 2)) + el(0x28, 0x11, b'US', struct.pack('<H', 2))
        + struct.pack('<HH', 0x7FE0, 0x10) + b'OB\0\0' + struct.pack('<I', 4) + bytes((1, 2, 3, 4))
        + struct.pack('<HHI', 0xFFFE, 0xE00D, 0) + struct.pack('<HHI', 0xFFFE, 0xE0DD, 0))
d.write('icon.dcm', H, W, 1, 8, g8, extra=[(0x88, 0x200, 'RAW', icon)])
# Three frames of 8-bit grey, and the same compressed (offset table, empty table).
frames = [[(grey8(x, y) + 60 * f) % 256 for y in range(H) for x in range(W)] for f in range(3)]
for f in range(3):
    pnm('multi3_f%d.pgm' % f, b'P5', 255, frames[f])
d.write('multi3.dcm', H, W, 1, 8, frames[0] + frames[1] + frames[2], frames=3)
run('dcmcjpeg', '+e1', 'multi3.dcm', 'l_multi3.dcm')
run('dcmcjpeg', '+e1', '-ot', 'multi3.dcm', 'l_multi3_empty.dcm')
# Baseline JPEG and RLE.
run('dcmcjpeg', '+eb', 'grey8.dcm', 'b_grey8.dcm')
run('dcmcjpeg', '+eb', 'rgb8.dcm', 'b_rgb8.dcm')
for name in ('grey8', 'grey16', 'rgb8'):
    run('dcmcrle', name + '.dcm', 'r_%s.dcm' % name)
# Palette colour: 8-bit indexes, 256-entry 16-bit tables.
lut = [struct.pack('<256H', *[(i * k * 37) % 65536 for i in range(256)]) for k in (1, 2, 3)]
desc = struct.pack('<HHH', 256, 0, 16)
d.write('pal8.dcm', H, W, 1, 8, g8, photometric='PALETTE COLOR', extra=[
    (0x28, 0x1101, 'US', desc), (0x28, 0x1102, 'US', desc), (0x28, 0x1103, 'US', desc),
    (0x28, 0x1201, 'OW', lut[0]), (0x28, 0x1202, 'OW', lut[1]), (0x28, 0x1203, 'OW', lut[2])])
# JPEG 2000 code stream, and a data set without pixel data.
d.write('j2k_grey.dcm', 17, 23, 1, 8, None, syntax='1.2.840.10008.1.2.4.90',
        encapsulated=[open('../j2k/grey.j2k', 'rb').read()])
with open('nopixel.dcm', 'wb') as f:
    whole = open('grey8.dcm', 'rb').read()
    f.write(whole[:whole.rindex(b'\xe0\x7f\x10\x00')])
def ref(name, *opts):
    run('dcmj2pnm', '-q', *opts, name + '.dcm', name + '.ref.pnm')
for name in ('b_grey8', 'b_rgb8', 'pal8'):
    ref(name)
ref('ct', '+Wi', '1', '+opn', '16')
PY
for f in *.ref.pnm; do
  case "$(head -c 2 "$f")" in
    P5|P2) mv "$f" "${f%.pnm}.pgm" ;;
    *) mv "$f" "${f%.pnm}.ppm" ;;
  esac
done
