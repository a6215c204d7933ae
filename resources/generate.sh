#!/usr/bin/env bash
# Regenerates every picture of the tool from this script and icons/kestrin.svg:
#   img1.jpg (500x413, the upper picture), img2.jpg (110x50, the home-page
#   banner) and icons/kestrin-<size>.png rendered from the scalable icon.
# Needs ImageMagick and the DejaVu fonts (fonts-dejavu-core). Run it from
# anywhere; the results are committed, so a build never needs it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

CONVERT=${CONVERT:-convert}
fonts=/usr/share/fonts/truetype/dejavu
bold=$fonts/DejaVuSans-Bold.ttf
plain=$fonts/DejaVuSans.ttf
for f in "$bold" "$plain"; do
    [[ -r $f ]] || { echo "missing font $f (install fonts-dejavu-core)" >&2; exit 1; }
done

# -strip keeps dates and tool names out of the files, so regenerating them
# with the same ImageMagick gives the same bytes and no spurious diff.
out=(-strip -quality 92 -sampling-factor 4:2:0)

# Arcs are drawn as filled ring pieces: ImageMagick closes a stroked open
# path, which would draw each wave as a chord.
# img1: the module on the bench — a green board with the radio chip, a
# crystal, a pin header and an antenna sending waves, under the tool's name.
"$CONVERT" -size 500x413 gradient:'#f4f8fc-#c9d9ea' \
    -fill '#1d4f7a' -draw 'rectangle 0,0 499,6' \
    -fill '#0f2f4c' -stroke none \
        -draw 'roundrectangle 96,172 356,336 14,14' \
    -fill '#2f8f4e' -stroke '#1c5e31' -strokewidth 3 \
        -draw 'roundrectangle 90,164 350,328 14,14' \
    -fill '#d8b04a' -stroke none \
        -draw 'circle 110,184 116,184' -draw 'circle 330,184 336,184' \
        -draw 'circle 110,308 116,308' -draw 'circle 330,308 336,308' \
    -fill '#222222' -stroke '#111111' -strokewidth 1 \
        -draw 'roundrectangle 150,200 250,290 4,4' \
    -fill '#bfbfbf' -stroke none \
        -draw 'rectangle 140,206 150,210' -draw 'rectangle 140,220 150,224' \
        -draw 'rectangle 140,234 150,238' -draw 'rectangle 140,248 150,252' \
        -draw 'rectangle 140,262 150,266' -draw 'rectangle 140,276 150,280' \
        -draw 'rectangle 250,206 260,210' -draw 'rectangle 250,220 260,224' \
        -draw 'rectangle 250,234 260,238' -draw 'rectangle 250,248 260,252' \
        -draw 'rectangle 250,262 260,266' -draw 'rectangle 250,276 260,280' \
    -fill '#9a9a9a' -draw 'circle 162,212 166,212' \
    -fill '#e0e0e0' -stroke '#8a8a8a' -strokewidth 2 \
        -draw 'roundrectangle 276,214 320,236 10,10' \
    -fill '#6b4a2b' -stroke none \
        -draw 'rectangle 280,256 292,270' -draw 'rectangle 300,256 312,270' \
        -draw 'rectangle 280,280 292,294' -draw 'rectangle 300,280 312,294' \
    -fill '#1a1a1a' -draw 'rectangle 120,312 330,326' \
    -fill '#e8c45a' \
        -draw 'rectangle 128,316 134,322' -draw 'rectangle 152,316 158,322' \
        -draw 'rectangle 176,316 182,322' -draw 'rectangle 200,316 206,322' \
        -draw 'rectangle 224,316 230,322' -draw 'rectangle 248,316 254,322' \
        -draw 'rectangle 272,316 278,322' -draw 'rectangle 296,316 302,322' \
        -draw 'rectangle 320,316 326,322' \
    -fill '#d4af37' -stroke '#8c6d1f' -strokewidth 2 \
        -draw 'rectangle 350,222 376,246' \
    -fill '#303030' -stroke none \
        -draw 'roundrectangle 376,60 392,242 6,6' \
    -fill '#505050' -draw 'circle 384,58 384,50' \
    -stroke none -fill '#ffb400' \
        -draw "path 'M 405.5,32.3 A 33.5,33.5 0 0 1 405.5,83.7 L 401,78.3 A 26.5,26.5 0 0 0 401,37.7 Z'" \
        -draw "path 'M 419.7,15.5 A 55.5,55.5 0 0 1 419.7,100.5 L 415.2,95.2 A 48.5,48.5 0 0 0 415.2,20.8 Z'" \
        -draw "path 'M 362.5,32.3 A 33.5,33.5 0 0 0 362.5,83.7 L 367,78.3 A 26.5,26.5 0 0 1 367,37.7 Z'" \
        -draw "path 'M 348.3,15.5 A 55.5,55.5 0 0 0 348.3,100.5 L 352.8,95.2 A 48.5,48.5 0 0 1 352.8,20.8 Z'" \
    -stroke none -fill '#0f2f4c' -font "$bold" -pointsize 64 \
        -annotate +36+96 'Kestrin' \
    -fill '#2a6aa0' -font "$plain" -pointsize 20 \
        -annotate +40+130 'radio module configuration' \
    -fill '#ffffff' -font "$bold" -pointsize 15 \
        -annotate +168+250 'KS-433' \
    -fill '#0f2f4c' -font "$plain" -pointsize 16 \
        -annotate +90+370 '433 MHz  ·  UART  ·  23-byte frames' \
    "${out[@]}" img1.jpg

# img2: the banner under it, a link to the home page — the name and the
# address in white on the red the panel shows behind it.
"$CONVERT" -size 110x50 xc:'#c8102e' \
    -fill '#8f0b20' -draw 'rectangle 0,40 109,49' \
    -fill none -stroke '#ffd23f' -strokewidth 2 \
        -draw 'arc 4,10 20,30 -60,60' -draw 'arc -2,4 26,36 -60,60' \
    -stroke none -fill '#ffffff' -font "$bold" -pointsize 19 \
        -annotate +26+28 'Kestrin' \
    -font "$plain" -pointsize 8 -annotate +8+48 'kestrin.example.org' \
    "${out[@]}" img2.jpg

# The icon at every size the desktop asks for, each rendered from the SVG at
# four times its size and then scaled down, which keeps the small ones crisp.
for size in 16 32 48 64 128 256; do
    density=$(( 96 * size * 4 / 256 ))
    "$CONVERT" -background none -density "$density" icons/kestrin.svg \
        -resize "${size}x${size}" -depth 8 -strip -define png:exclude-chunks=date,time \
        "icons/kestrin-$size.png"
done

echo "pictures regenerated in $here"
