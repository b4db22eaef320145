#!/bin/sh
# Draws the program's icons with ImageMagick from plain shapes. The .ico files it writes are
# kept in the repository, so building the program never needs ImageMagick; run this again
# only after changing a drawing.
#
#   sh src/app/res/make-icons.sh        (from anywhere; writes next to this script)
set -eu
cd "$(dirname "$0")"

# No dates or other varying chunks in the files, so a second run writes the same bytes.
STRIP="-depth 8 -strip +set date:create +set date:modify -define png:exclude-chunks=date,time"

# glyph NAME MVG: one drawing on a 64 x 64 transparent canvas, scaled down to the 32 x 32
# and 16 x 16 images of NAME.ico.
glyph() {
  convert -size 64x64 xc:none -draw "$2" \
    \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) -delete 0 \
    $STRIP "$1.ico"
}

BLUE='#2f6fd6'
BLUE_EDGE='#1d4a96'
FOLDER_BACK='fill #e3a92e stroke #9c7215 stroke-width 2 polygon 4,12 24,12 29,18 60,18 60,54 4,54'
FOLDER_FRONT='fill #f7cd5c stroke #9c7215 stroke-width 2 polygon 12,27 63,27 55,54 4,54'

# The arrows of the four move buttons.
glyph glyph_up "fill $BLUE stroke $BLUE_EDGE stroke-width 2 polygon 32,4 58,31 42,31 42,60 22,60 22,31 6,31"
glyph glyph_down "fill $BLUE stroke $BLUE_EDGE stroke-width 2 polygon 32,60 58,33 42,33 42,4 22,4 22,33 6,33"
glyph glyph_top "fill $BLUE stroke $BLUE_EDGE stroke-width 2 rectangle 6,3 58,11 polygon 32,15 58,40 42,40 42,61 22,61 22,40 6,40"
glyph glyph_bottom "fill $BLUE stroke $BLUE_EDGE stroke-width 2 rectangle 6,53 58,61 polygon 32,49 58,24 42,24 42,3 22,3 22,24 6,24"

# The main button: a green "go" disc.
glyph glyph_open "fill #2e9e44 stroke #1f6e2f stroke-width 2 circle 32,32 32,3 fill white stroke none polygon 24,17 49,32 24,47"

# "浏览": a folder with an ellipsis.
glyph glyph_browse "$FOLDER_BACK $FOLDER_FRONT fill #5a4208 stroke none circle 22,42 22,38 circle 33,42 33,38 circle 44,42 44,38"

# Menu and image-button pictures.
glyph about "fill $BLUE stroke $BLUE_EDGE stroke-width 2 circle 32,32 32,3 fill white stroke none circle 32,17 32,12 roundrectangle 27,26 37,51 2,2"
glyph help "fill $BLUE stroke $BLUE_EDGE stroke-width 2 circle 32,32 32,3 fill none stroke white stroke-width 6 stroke-linecap round ellipse 32,20 11,10 180,400 line 40,27 32,32 line 32,32 32,38 fill white stroke none circle 32,50 32,46"
glyph exit "fill #8b5a2b stroke #5a3a1a stroke-width 2 rectangle 8,4 38,60 fill #c8d6e5 stroke none rectangle 12,8 34,56 fill #8b5a2b polygon 12,8 30,14 30,60 12,56 fill #f0d060 circle 26,34 26,31 fill #d9362b stroke #8e1f18 stroke-width 2 polygon 34,26 46,26 46,16 62,32 46,48 46,38 34,38"
glyph feedback "fill #f2b33d stroke #a8741a stroke-width 2 roundrectangle 4,8 60,44 10,10 polygon 16,43 12,59 31,43 fill #f2b33d stroke none rectangle 17,40 29,45 fill white circle 19,26 19,22 circle 32,26 32,22 circle 45,26 45,22"
glyph admin "fill $BLUE stroke $BLUE_EDGE stroke-width 2 path 'M 32,3 L 58,11 L 58,30 C 58,46 46,56 32,62 C 18,56 6,46 6,30 L 6,11 Z' fill #f5c518 stroke none polygon 33,6 56,13 56,31 33,31 polygon 8,33 31,33 31,59 19,53 10,44"
glyph load48 "$FOLDER_BACK $FOLDER_FRONT"
glyph save48 "fill #2f4f8f stroke #1b2f57 stroke-width 2 polygon 6,6 50,6 58,14 58,58 6,58 fill #c9d1dc stroke none rectangle 18,7 44,22 fill #2f4f8f rectangle 36,10 41,19 fill white rectangle 14,33 50,55 fill #8fa3c0 rectangle 18,39 46,41 rectangle 18,46 46,48"
glyph terminal "fill #1e1e1e stroke #5c5c5c stroke-width 2 roundrectangle 3,8 61,56 6,6 fill none stroke #3fd16b stroke-width 5 stroke-linecap round stroke-linejoin round polyline 13,22 25,31 13,40 line 30,43 46,43"

# The feedback window's choice pictures: a smiling and a sad yellow face.
glyph liked "fill #ffd43b stroke #c08a00 stroke-width 3 circle 32,32 32,4 fill #5b3b00 stroke none ellipse 23,25 4,6 0,360 ellipse 41,25 4,6 0,360 fill none stroke #5b3b00 stroke-width 5 stroke-linecap round stroke-linejoin round polyline 19,37 21,40 23,42 26,44 29,45 32,45 35,45 38,44 41,42 43,40 45,37"
glyph disliked "fill #ffd43b stroke #c08a00 stroke-width 3 circle 32,32 32,4 fill #5b3b00 stroke none ellipse 23,25 4,6 0,360 ellipse 41,25 4,6 0,360 fill none stroke #5b3b00 stroke-width 5 stroke-linecap round stroke-linejoin round polyline 19,51 21,49 23,47 26,46 29,45 32,45 35,45 38,46 41,47 43,49 45,51"

# "发送": a sealed envelope.
glyph envelope "fill #fdfaf0 stroke #4a6fa5 stroke-width 5 stroke-linejoin round rectangle 4,13 60,51 fill none polyline 4,13 32,36 60,13"

# The notice window's close button: a grey cross.
glyph close "fill none stroke #5f6368 stroke-width 9 stroke-linecap round line 16,16 48,48 line 48,16 16,48"

# The program icon: a white Q on a blue tile whose tail is a check mark.
convert -size 256x256 xc:none \
  -draw "fill #2a6fdb stroke #1a4c9c stroke-width 6 roundrectangle 8,8 248,248 48,48" \
  -draw "fill none stroke white stroke-width 30 circle 118,118 118,44" \
  -draw "fill none stroke white stroke-width 30 stroke-linecap round stroke-linejoin round polyline 86,122 122,158 220,222" \
  \( -clone 0 -resize 48x48 \) \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
  $STRIP quillet.ico

# The list file's icon in Explorer: a page with the program's blue check boxes, two ticked and
# one empty between them, as the list shows checked and unchecked entries. Sizes as the
# program icon's, since Explorer shows it from small to extra large.
convert -size 256x256 xc:none \
  -draw "fill #fbfcfe stroke #5c6f8c stroke-width 9 stroke-linejoin round polygon 38,10 164,10 218,64 218,246 38,246" \
  -draw "fill #d5e1f4 stroke #5c6f8c stroke-width 9 stroke-linejoin round polygon 164,10 164,64 218,64" \
  -draw "fill #2a6fdb stroke #1a4c9c stroke-width 7 roundrectangle 62,80 102,120 8,8 roundrectangle 62,184 102,224 8,8" \
  -draw "fill none stroke white stroke-width 10 stroke-linecap round stroke-linejoin round polyline 71,101 80,110 94,91 polyline 71,205 80,214 94,195" \
  -draw "fill white stroke #1a4c9c stroke-width 7 roundrectangle 62,132 102,172 8,8" \
  -draw "fill #8fa3c0 stroke none roundrectangle 118,92 196,108 8,8 roundrectangle 118,144 196,160 8,8 roundrectangle 118,196 196,212 8,8" \
  \( -clone 0 -resize 48x48 \) \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
  $STRIP list.ico
