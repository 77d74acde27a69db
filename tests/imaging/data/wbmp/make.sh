#!/bin/sh
# Makes the WBMP fixtures with ImageMagick's /usr/bin/convert and their reference
# decodings. Run from this folder.
set -e
IM=/usr/bin/convert
$IM -size 13x6 pattern:checkerboard -monochrome wbmp:small.wbmp
$IM -size 200x3 pattern:gray50 -monochrome wbmp:wide.wbmp
$IM -size 300x2 pattern:vertical -monochrome wbmp:w300.wbmp
for f in small wide w300; do $IM wbmp:$f.wbmp -depth 8 ppm:$f.ref.ppm; done
