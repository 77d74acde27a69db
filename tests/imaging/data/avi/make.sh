#!/usr/bin/env bash
# The AVI fixtures of the video frame tests (run from this folder):
#   raw.avi    12 frames 40 x 30 of ffmpeg's test pattern at 25 frames a second, uncompressed
#              24-bit (lossless: our decoding must equal ffmpeg's exactly)
#   mpeg4.avi  20 frames 48 x 32 at 10 frames a second, MPEG-4 part 2 with a key frame every 6
#              frames (frames between key frames need the ones before them)
#   long.avi   250 frames 8 x 8 at 25 frames a second (MJPEG)
#   pal8.avi   5 frames 24 x 16, 8-bit palette frames (raw)
set -euo pipefail
cd "$(dirname "$0")"
ff="ffmpeg -v error -y -f lavfi"
$ff -i testsrc=size=40x30:rate=25 -frames:v 12 -c:v rawvideo -pix_fmt bgr24 raw.avi
$ff -i testsrc=size=48x32:rate=10 -frames:v 20 -c:v mpeg4 -g 6 -bf 0 -q:v 4 mpeg4.avi
$ff -i testsrc=size=8x8:rate=25 -frames:v 250 -c:v mjpeg -q:v 20 long.avi
$ff -i testsrc=size=24x16:rate=5 -frames:v 5 -c:v rawvideo -pix_fmt pal8 pal8.avi
