#!/bin/sh
# Makes the camera raw fixtures. No raw file from a real camera is shipped by a Debian
# package reachable here, so the raw decoding is checked on a synthetic uncompressed DNG
# written by make_dng.py (a made-up camera, RGGB filter), against LibRaw's own dcraw_emu
# (Debian libraw-bin), which the tests run themselves. The CIFF heaps come from
# make_ciff.py. The JPEG previews are ImageMagick's. Run from this folder.
set -e
IM=/usr/bin/convert
$IM -size 16x12 gradient:red-blue thumb.jpg
$IM -size 16x12 gradient:yellow-green prev_big.jpg
$IM -size 8x6 gradient:white-black prev_small.jpg
python3 make_dng.py --thumb
python3 make_ciff.py
