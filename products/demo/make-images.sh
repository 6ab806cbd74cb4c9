#!/usr/bin/env bash
# Makes the demo product's pictures: the two welcome banners (baseline JPEG, 160x308), the page
# header icon (32x32 BMP, 24 bits) and the two icon groups. The outputs are committed; run this
# again only to change them. Needs ImageMagick and the WenQuanYi font (Chinese glyphs).
set -euo pipefail
cd "$(dirname "$0")/images"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
# No timestamps or profiles in the files, so that the same inputs make the same bytes.
strip=(-strip -define png:exclude-chunks=date,time)

# Banner: a blue gradient with a simple emblem and the product name in the banner's language.
banner() {  # OUTPUT NAME SUBTITLE
  convert -size 160x308 gradient:'#1c4f8c-#0a2140' \
    -fill '#f2b632' -draw 'circle 80,96 80,58' \
    -fill '#0a2140' -draw 'circle 80,96 80,74' \
    -fill white -font "$font" -gravity north \
    -pointsize 20 -annotate +0+170 "$2" \
    -pointsize 12 -annotate +0+204 "$3" \
    "${strip[@]}" -interlace none -sampling-factor 2x2 -quality 88 "jpeg:$1"
}
banner imageleft0.jpg "塔维演示" "安装向导"
banner imageleft2.jpg "Tavrel Demo" "Setup Wizard"

# Header icon: emblem on white, stored as an uncompressed 24-bit BMP.
convert -size 32x32 xc:white -fill '#1c4f8c' -draw 'circle 16,16 16,2' \
  -fill '#f2b632' -draw 'circle 16,16 16,8' \
  "${strip[@]}" -type TrueColor -define bmp:format=bmp3 -compress none bmp3:imageicon.bmp

emblem() {  # SIZE OUTPUT (PNG with transparency)
  local s=$1 h=$(( $1 / 2 ))
  convert -size "${s}x${s}" xc:none -fill '#1c4f8c' -draw "circle $h,$h $h,1" \
    -fill '#f2b632' -draw "circle $h,$h $h,$(( s / 4 ))" "${strip[@]}" "png32:$2"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
emblem 32 "$tmp/e32.png"
emblem 16 "$tmp/e16.png"
# APPICON: the window and taskbar icon, one 32x32 image with a 256-colour palette.
convert "$tmp/e32.png" -background white -alpha remove -colors 256 -type Palette \
  "${strip[@]}" ico:appicon.ico
# MAINICON: the file icon, 16x16 with 24 bits and 32x32 with 32 bits (alpha). ImageMagick writes
# every image of an icon with 32 bits, so the 16x16 one is assembled here from its raw pixels.
convert "$tmp/e32.png" "${strip[@]}" ico:"$tmp/e32.ico"
convert "$tmp/e16.png" -background white -alpha remove -alpha off -depth 8 rgb:"$tmp/e16.rgb"
python3 - "$tmp/e16.rgb" "$tmp/e32.ico" mainicon.ico <<'PY'
import struct, sys
rgb = open(sys.argv[1], 'rb').read()
big = open(sys.argv[2], 'rb').read()
size = 16
rows = []
for y in reversed(range(size)):  # bottom-up, blue-green-red, rows padded to 4 bytes
    row = b''.join(rgb[(y * size + x) * 3:(y * size + x) * 3 + 3][::-1] for x in range(size))
    rows.append(row + b'\0' * (-len(row) % 4))
mask = b'\0' * (4 * size)  # every pixel opaque; rows of 2 bytes padded to 4
small = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 24, 0, 0, 0, 0, 0, 0) + b''.join(rows) + mask
_, _, count = struct.unpack('<HHH', big[:6])
assert count == 1
w, h, colors, _, planes, bits, length, offset = struct.unpack('<BBBBHHII', big[6:22])
big_image = big[offset:offset + length]
header = struct.pack('<HHH', 0, 1, 2)
first = 6 + 2 * 16
entries = struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(small), first)
entries += struct.pack('<BBBBHHII', w, h, colors, 0, planes, bits, len(big_image), first + len(small))
open(sys.argv[3], 'wb').write(header + entries + small + big_image)
PY
