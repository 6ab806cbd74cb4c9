#!/usr/bin/env bash
# Makes a product folder for `stptool build` outside the repository, as a publisher would lay one
# out: product.ini, pictures made here with ImageMagick, and a payload with nested folders.
#
#   tests/e2e/make-product.sh DIR PROGRAM [PAYLOAD]
#
# DIR      the product folder to create (must not exist)
# PROGRAM  a Windows program that becomes the product's main program, Zephyr.exe
# PAYLOAD  optional folder copied into the payload beside the program
#
# The product is "Zephyr Notes" (Chinese display name 西风笔记, version 2.5), made by another
# publisher than the demo, with its own window class and titles.
set -euo pipefail
dir=$1
program=$2
extra=${3:-}
[ ! -e "$dir" ] || { echo "make-product: $dir exists" >&2; exit 1; }
mkdir -p "$dir/pictures" "$dir/files/docs/guide/en" "$dir/files/plugins"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
strip=(-strip -define png:exclude-chunks=date,time)

cp "$program" "$dir/files/Zephyr.exe"
printf 'Zephyr Notes\r\nA small note-taking program.\r\n' >"$dir/files/readme.txt"
printf 'First steps with Zephyr Notes.\r\n' >"$dir/files/docs/guide/en/start.txt"
printf '西风笔记使用说明\r\n' >"$dir/files/docs/guide/zh.txt"
head -c 100000 /dev/zero | tr '\0' 'z' >"$dir/files/plugins/spell.dat"
# Hard links where the file system allows: a benchmark payload of 1 GiB is not copied.
if [ -n "$extra" ]; then cp -rl "$extra"/. "$dir/files/" 2>/dev/null || cp -r "$extra"/. "$dir/files/"; fi

# Banners: baseline JPEG 160x308, a green gradient with the name in the banner's language.
banner() {  # OUTPUT TITLE SUBTITLE
  convert -size 160x308 gradient:'#2e7d32-#0b3d0f' \
    -fill '#fff59d' -draw 'rectangle 50,60 110,120' \
    -fill white -font "$font" -gravity north \
    -pointsize 20 -annotate +0+170 "$2" -pointsize 12 -annotate +0+204 "$3" \
    "${strip[@]}" -interlace none -sampling-factor 2x2 -quality 85 "jpeg:$1"
}
banner "$dir/pictures/side-cn.jpg" "西风笔记" "安装程序"
banner "$dir/pictures/side-en.jpg" "Zephyr Notes" "Setup"
convert -size 32x32 xc:white -fill '#2e7d32' -draw 'rectangle 4,4 27,27' \
  "${strip[@]}" -type TrueColor -define bmp:format=bmp3 -compress none "bmp3:$dir/pictures/head.bmp"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
square() {  # SIZE OUTPUT: a green gradient square with a light frame
  convert -size "$1x$1" gradient:'#a5d6a7-#1b5e20' -fill none -stroke '#fff59d' \
    -draw "rectangle 1,1 $(($1 - 2)),$(($1 - 2))" "${strip[@]}" "png32:$2"
}
square 32 "$tmp/s32.png"
square 16 "$tmp/s16.png"
# Window icon: one 32x32 image with a 256-colour palette.
convert "$tmp/s32.png" -background white -alpha remove -colors 256 -type Palette \
  "${strip[@]}" "ico:$dir/pictures/window.ico"
# File icon: 16x16 with 24 bits and 32x32 with 32 bits; ImageMagick writes 32 bits only, so the
# 16x16 image is assembled from its raw pixels.
convert "$tmp/s32.png" "${strip[@]}" "ico:$tmp/s32.ico"
convert "$tmp/s16.png" -background white -alpha remove -alpha off -depth 8 "rgb:$tmp/s16.rgb"
python3 - "$tmp/s16.rgb" "$tmp/s32.ico" "$dir/pictures/file.ico" <<'PY'
import struct, sys
rgb = open(sys.argv[1], 'rb').read()
big = open(sys.argv[2], 'rb').read()
size = 16
rows = []
for y in reversed(range(size)):
    row = b''.join(rgb[(y * size + x) * 3:(y * size + x) * 3 + 3][::-1] for x in range(size))
    rows.append(row + b'\0' * (-len(row) % 4))
small = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 24, 0, 0, 0, 0, 0, 0)
small += b''.join(rows) + b'\0' * (4 * size)
w, h, colors, _, planes, bits, length, offset = struct.unpack('<BBBBHHII', big[6:22])
entries = struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(small), 6 + 32)
entries += struct.pack('<BBBBHHII', w, h, colors, 0, planes, bits, length, 6 + 32 + len(small))
open(sys.argv[3], 'wb').write(struct.pack('<HHH', 0, 1, 2) + entries + small +
                              big[offset:offset + length])
PY

cat >"$dir/product.ini" <<'INI'
; Zephyr Notes, as its publisher describes it for stptool build.
[product]
WindowClass   = ZephyrNotesMain
WindowTitle   = Zephyr Notes
WindowTitleCn = 西风笔记
DisplayNameEn = Zephyr Notes
DisplayNameCn = 西风笔记
Freeware      = false
ExeBaseName   = Zephyr
Version       = 2.5

[images]
BannerCn   = pictures/side-cn.jpg
BannerEn   = pictures/side-en.jpg
HeaderIcon = pictures/head.bmp
AppIcon    = pictures/window.ico
FileIcon   = pictures/file.ico

[package]
Payload  = files
Cipher   = Twofish
Digest   = SHA512
INI
