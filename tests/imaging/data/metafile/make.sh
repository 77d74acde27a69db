#!/bin/sh
# Makes the metafile fixtures. Run from this folder.
#   line.emf      enhanced metafile written by fig2dev (package fig2dev) from line.fig
#   stroke.emf    enhanced metafile written by pstoedit (package pstoedit) from stroke.ps
#   placeable.wmf Windows metafile with the 22-byte placeable header, written record by
#                 record below (no Debian tool writes one); libwmf's wmf2svg (package
#                 libwmf-bin) must read it
#   plain.wmf     the same metafile without the placeable header
#   disk.wmf      plain.wmf with the header type 2
set -e
printf '#FIG 3.2\nLandscape\nCenter\nInches\nLetter\n100.00\nSingle\n-2\n1200 2\n2 1 0 1 0 7 50 -1 -1 0.000 0 0 -1 0 0 2\n\t 100 100 2000 1500\n' > line.fig
fig2dev -L emf line.fig line.emf
printf '%%!PS\nnewpath 10 10 moveto 100 100 lineto stroke showpage\n' > stroke.ps
pstoedit -q -f emf stroke.ps stroke.emf
python3 - <<'PY'
import struct
def rec(func, *args):
    return struct.pack('<IH', 3 + len(args), func) + b''.join(struct.pack('<h', a) for a in args)
records = (rec(0x020B, 0, 0) + rec(0x020C, 100, 100) + rec(0x0214, 10, 10) + rec(0x0213, 90, 90) +
           rec(0x0000))
size_words = (18 + len(records)) // 2
def header(kind):
    return struct.pack('<HHHIHIH', kind, 9, 0x0300, size_words, 0, 5, 0)
words = struct.unpack('<10H', struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, 100, 100, 1440, 0))
checksum = 0
for w in words:
    checksum ^= w
placeable = struct.pack('<IHhhhhHIH', 0x9AC6CDD7, 0, 0, 0, 100, 100, 1440, 0, checksum)
open('placeable.wmf', 'wb').write(placeable + header(1) + records)
open('plain.wmf', 'wb').write(header(1) + records)
open('disk.wmf', 'wb').write(header(2) + records)
PY
wmf2svg -o /dev/null placeable.wmf
