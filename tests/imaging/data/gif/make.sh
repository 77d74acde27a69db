#!/bin/sh
# Makes the GIF fixtures with ImageMagick's /usr/bin/convert and gifsicle. Run from this
# folder. The tests compare our decoding with what /usr/bin/convert decodes from the same
# files (single frames as 'file.gif[N]', composed frames with -coalesce).
set -e
IM=/usr/bin/convert
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# Two colours, black and white: a 13-pixel row packs into two bytes.
$IM -size 13x5 pattern:gray25 -type bilevel bw.gif
# The same file with the two table entries exchanged (white first): not a black-and-white
# bitmap.
python3 -c "
import sys
b = bytearray(open('bw.gif', 'rb').read())
b[13:16], b[16:19] = b[16:19], b[13:16]
open('wb.gif', 'wb').write(b)"
# A global table of 64 colours, not interlaced and interlaced.
$IM -size 31x19 gradient:yellow-navy -colors 64 global.gif
$IM -size 31x19 gradient:yellow-navy -colors 64 -interlace GIF interlaced.gif
# Interlaced, 3 rows and 11 rows high (passes that start outside the picture).
$IM -size 7x3 gradient:red-blue -colors 8 -interlace GIF interlaced3.gif
$IM -size 5x11 gradient:white-green -colors 16 -interlace GIF interlaced11.gif
# A transparent index (the blue square), and a transparent index no pixel uses.
$IM -size 12x10 xc:red -fill blue -draw 'rectangle 2,2 5,5' -transparent blue transparent.gif
$IM -size 6x4 xc:red "$T/red.gif"
gifsicle --no-warnings --transparent '#000000' "$T/red.gif" > unusedtransparent.gif
# Comments: a short one and one of 300 characters.
$IM -size 4x3 xc:green -set comment "$(printf 'x%.0s' $(seq 1 300))" comment300.gif
gifsicle --no-warnings --comment 'first' --comment 'second' bw.gif > comments.gif

# Animation: a 40 x 30 screen, five frames of different sizes and places, with their own
# (local) colour tables after the first, every disposal (0 unspecified, 1 none, 2 background,
# 3 previous), transparency in frames 1 and 3.
$IM -size 40x30 gradient:orange-purple -colors 32 "$T/f0.gif"
$IM -size 16x12 xc:lime -fill white -draw 'rectangle 4,4 9,8' -transparent white "$T/f1.gif"
$IM -size 20x10 gradient:cyan-black -colors 8 "$T/f2.gif"
$IM -size 12x14 xc:navy -fill magenta -draw 'circle 6,7 6,2' -fill white -draw 'point 1,1' \
    -transparent white "$T/f3.gif"
$IM -size 9x9 xc:gold "$T/f4.gif"
$IM -dispose Undefined -delay 10 "$T/f0.gif" \
    -dispose Background -delay 20 -page +5+4 "$T/f1.gif" \
    -dispose Previous -delay 30 -page +18+15 "$T/f2.gif" \
    -dispose None -delay 40 -page +25+3 "$T/f3.gif" \
    -dispose Background -delay 50 -page +10+18 "$T/f4.gif" \
    -set page 40x30 anim.gif
# The same frames on a background colour (index 5), interlaced, the first one not covering
# the screen. Where no frame has painted, the screen stays transparent for us; ImageMagick's
# -coalesce shows the background colour opaque there once a transparent pixel was drawn over
# it or an area was restored to the background, so the transparent pixels lie over painted
# parts and the background disposal is anim.gif's.
gifsicle --no-warnings --logical-screen 40x30 --background 5 --interlace \
    --disposal none --position 3,3 "$T/f2.gif" \
    --disposal previous --position 8,0 "$T/f1.gif" \
    --disposal none --position 3,2 "$T/f3.gif" \
    --disposal none --position 20,2 "$T/f4.gif" > anim_bg.gif
# Ten frames of 4 x 4 on a 4 x 4 screen, frame i of red 25 x i.
set --
for i in 0 1 2 3 4 5 6 7 8 9; do
    $IM -size 4x4 xc:"rgb($((i * 25)),0,0)" "$T/s$i.gif"
    set -- "$@" "$T/s$i.gif"
done
gifsicle --no-warnings "$@" > anim10.gif
