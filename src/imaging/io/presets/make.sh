#!/usr/bin/env bash
# Draws the four preset frame pictures with ImageMagick (run from this folder):
#   slide.png     white rounded slide mount, 162 x 159, with alpha (picture area 18,29 - 140,119)
#   film.png      blue film strip with sprocket holes, 112 x 100, true colour (13,1 - 95,98)
#   notebook.png  spiral-bound notebook page, 163 x 108, palette (30,14 - 147,92)
#   metal.png     metallic square frame, 150 x 150, palette (17,17 - 131,131)
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert

# The mount: a white rounded card with a soft grey edge and a transparent window.
$C -size 162x159 xc:none -fill white -stroke '#b0b0b0' -strokewidth 2 \
   -draw 'roundrectangle 1,1 160,157 14,14' \
   -fill none -stroke '#808080' -strokewidth 1 -draw 'rectangle 17,28 140,119' \
   -alpha set -region 122x90+18+29 -alpha transparent +region \
   -strip -define png:color-type=6 PNG32:slide.png

# The film strip: blue base, a grey picture field, white sprocket holes down both sides.
holes=""
for y in $(seq 4 12 92); do
  holes+=" rectangle 3,$y 9,$((y + 6)) rectangle 100,$y 106,$((y + 6))"
done
$C -size 112x100 xc:'#1c3f94' -fill '#9a9a9a' -draw 'rectangle 13,1 95,98' \
   -fill white -draw "$holes" -strip -define png:color-type=2 PNG24:film.png

# The notebook page: ruled white paper, a red margin line, rings along the top edge.
rings=""
for x in $(seq 36 12 144); do
  rings+=" ellipse $x,7 4,6 0,360"
done
$C -size 163x108 xc:white -fill none -stroke '#9ec5e8' \
   -draw 'line 0,30 162,30 line 0,46 162,46 line 0,62 162,62 line 0,78 162,78 line 0,94 162,94' \
   -stroke '#e06060' -draw 'line 26,12 26,107' \
   -stroke '#404040' -strokewidth 2 -draw "$rings" \
   -stroke '#c0c0c0' -strokewidth 1 -fill none -draw 'rectangle 0,0 162,107' \
   -strip -colors 16 PNG8:notebook.png

# The metal frame: a grey gradient square with a bevelled inner edge and a dark window.
$C -size 150x150 -define gradient:direction=southeast gradient:'#f0f0f0-#5a5a5a' \
   -fill none -stroke '#303030' -draw 'rectangle 0,0 149,149' \
   -stroke '#ffffff' -draw 'line 16,132 132,132 line 132,16 132,132' \
   -stroke '#2a2a2a' -draw 'line 16,16 132,16 line 16,16 16,132' \
   -fill '#202020' -stroke none -draw 'rectangle 17,17 131,131' \
   -strip -colors 32 PNG8:metal.png
