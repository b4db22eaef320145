#!/bin/sh
# Draws the maker's logo of the about window with ImageMagick: a feather on a green-ringed
# disc beside "KALMIRO" and "QUILLET", light on a transparent ground so it reads on the
# window's black panel. The program shows it at half this size (344 x 105). logo.bmp is kept
# in the repository, so building the program never needs ImageMagick; run this again only
# after changing the drawing. Needs the DejaVu fonts (Debian: fonts-dejavu-core).
#
#   sh src/app/res/make-logo.sh        (from anywhere; writes logo.bmp next to this script)
set -eu
cd "$(dirname "$0")"

GREEN='#3fd16b'
DEEP='#0d2c17'

# 688 x 210, 32 bits per pixel with alpha (BITMAPV4HEADER); a BMP carries no dates, so a
# second run writes the same bytes.
convert -size 688x210 xc:none \
  -draw "fill $DEEP stroke $GREEN stroke-width 6 circle 105,105 105,14" \
  -draw "fill white stroke none path 'M 58,168 C 64,114 102,62 162,42 C 152,100 114,142 58,168 Z'" \
  -draw "fill none stroke $DEEP stroke-width 3 stroke-linecap round path 'M 64,160 C 92,124 120,90 152,54'" \
  -draw "fill none stroke $DEEP stroke-width 3 line 104,106 86,72 line 128,80 116,50 line 96,134 136,152 line 120,108 160,122" \
  -draw "fill none stroke white stroke-width 5 stroke-linecap round line 58,168 46,182" \
  -font DejaVu-Sans-Bold -pointsize 76 -kerning 6 -fill white -stroke none -annotate +224+108 'KALMIRO' \
  -draw "fill $GREEN stroke none rectangle 228,126 650,130" \
  -font DejaVu-Sans -pointsize 40 -kerning 16 -fill '#6fe39a' -annotate +228+180 'QUILLET' \
  -depth 8 -strip -type TrueColorAlpha -define bmp:format=bmp4 BMP:logo.bmp
