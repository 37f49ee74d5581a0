#!/usr/bin/env bash
# Draws the menu icons packaging/icons/binconv-{48,128,256}.png: the window's
# icon (a white あ on blue with a yellow 0A code) at the sizes the desktop
# wants, sharp at each size rather than scaled up from 64 pixels.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-packages.sh" imagemagick fonts-ipafont-gothic fonts-dejavu-core
kana_font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
code_font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
for s in 48 128 256; do
  convert -size "${s}x${s}" xc:none \
    -fill '#2a5599' -draw "roundrectangle 0,0,$((s - 1)),$((s - 1)),$((s / 8)),$((s / 8))" \
    -font "$kana_font" -fill white -pointsize $((s * 5 / 8)) -gravity northwest \
    -annotate +$((s / 16))+$((-s / 32)) 'あ' \
    -fill '#f5d142' -draw "rectangle $((s * 7 / 16)),$((s * 9 / 16)),$((s * 15 / 16)),$((s * 15 / 16))" \
    -font "$code_font" -fill '#1a1a1a' -pointsize $((s * 9 / 32)) -gravity southeast \
    -annotate +$((s / 10))+$((s / 12)) '0A' \
    -strip "$root/packaging/icons/binconv-$s.png"
done
