#!/usr/bin/env bash
# Regenerates the BMP files of the decoder's golden tests and their expected PNGs with
# ImageMagick's `convert` (Debian package imagemagick), so the expected pixels come from an
# independent decoder. A few variants no option of convert writes (V4 header, top-down rows)
# are derived from convert's own files by rewriting headers with python3; convert reads them
# back for the expected image all the same.
set -euo pipefail
cd "$(dirname "$0")"
rm -f ./*.bmp ./*.png

# 13 x 9 pixels: odd width so every depth has row padding; smooth colours plus a white and a
# black corner pixel so palettes and masks are exercised at both ends.
convert -size 13x9 gradient:'#FF2000-#0030FF' \
  \( -size 9x13 gradient:'#00FF00-#FF00FF' -rotate 90 \) \
  -compose blend -define compose:args=50 -composite \
  -fill '#FFFFFF' -draw 'point 0,0' -fill '#000000' -draw 'point 12,8' -depth 8 source.png

convert source.png -type bilevel BMP3:pal1.bmp
convert source.png -colors 16 -type palette -compress none BMP3:pal4.bmp
convert source.png -colors 16 -type palette -compress none BMP:pal4_v5.bmp
convert source.png -colors 200 -type palette -compress none BMP3:pal8.bmp
convert source.png -colors 200 -type palette -compress RLE BMP3:rle8.bmp
convert source.png -type truecolor -define bmp:subtype=RGB555 BMP:rgb555_v5.bmp
convert source.png -type truecolor -define bmp:subtype=RGB565 BMP:rgb565_v5.bmp
convert source.png -type truecolor BMP3:rgb24.bmp
convert source.png -type truecolor BMP2:rgb24_core.bmp
convert source.png -type truecolor -compress none BMP:rgb24_v5.bmp
convert source.png -alpha on -define bmp3:alpha=true BMP3:rgb32.bmp
convert source.png -type truecolor -alpha on BMP:argb32_v5.bmp

python3 - <<'PY'
import struct

def rewrite(src, dst, fn):
    data = bytearray(open(src, 'rb').read())
    open(dst, 'wb').write(fn(data))

def to_v4(d):
    # Same file with the 108-byte V4 header: drop the V5 header's last 16 bytes.
    out = d[:14] + d[14:14 + 108] + d[14 + 124:]
    struct.pack_into('<I', out, 14, 108)
    struct.pack_into('<I', out, 10, struct.unpack_from('<I', d, 10)[0] - 16)
    struct.pack_into('<I', out, 2, len(out))
    return out

def to_info_with_masks(d):
    # The 40-byte header followed by the three masks, as older writers store bit fields.
    masks = d[14 + 40:14 + 52]
    out = d[:14] + d[14:14 + 40] + masks + d[14 + 124:]
    struct.pack_into('<I', out, 14, 40)
    struct.pack_into('<I', out, 10, struct.unpack_from('<I', d, 10)[0] - 124 + 52)
    struct.pack_into('<I', out, 2, len(out))
    return out

def top_down(d):
    off = struct.unpack_from('<I', d, 10)[0]
    w, h = struct.unpack_from('<ii', d, 18)
    bpp = struct.unpack_from('<H', d, 28)[0]
    stride = (w * bpp + 31) // 32 * 4
    rows = [d[off + i * stride: off + (i + 1) * stride] for i in range(h)]
    out = d[:off] + b''.join(reversed(rows))
    struct.pack_into('<i', out, 22, -h)
    return out

rewrite('rgb24_v5.bmp', 'rgb24_v4.bmp', to_v4)
rewrite('rgb565_v5.bmp', 'rgb565.bmp', to_info_with_masks)
rewrite('rgb24.bmp', 'rgb24_topdown.bmp', top_down)
rewrite('pal4.bmp', 'pal4_topdown.bmp', top_down)
PY

for bmp in ./*.bmp; do
  convert "$bmp" -alpha off -depth 8 "PNG24:${bmp%.bmp}.png"
done
rm -f source.png
echo "make_bmp_goldens: $(ls ./*.bmp | wc -l) BMP files with expected PNGs"
