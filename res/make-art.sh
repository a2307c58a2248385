#!/usr/bin/env bash
# Draws the application icon (Tarvel_AP.ico: 16 to 64 pixels, 32-bit)
# and the banner of the main window (banner.bmp: 1534 x 290, 24-bit) with
# ImageMagick. The generated files are committed, so a build does not need
# this script; run it again only to change the pictures.
#
# The banner control is much smaller than the bitmap and shows it centred
# and clipped, so the lettering and the chip sit in a band around the centre
# (about 620 x 64 pixels at 96 DPI); the rest is background for larger
# screens and scalings.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

font_dir=/usr/share/fonts/truetype/dejavu
font_bold=$font_dir/DejaVuSans-Bold.ttf
font_book=$font_dir/DejaVuSans.ttf
for f in "$font_bold" "$font_book"; do
  [ -f "$f" ] || { echo "missing font $f (Debian package fonts-dejavu-core)" >&2; exit 1; }
done

body_fill='#2b3340'
body_edge='#8fa3b8'
pin_fill='#e0b84c'
mark_fill='#e0b84c'

# chip SIZE OUT: a square chip with pins on all four sides on a transparent
# background, drawn on whole pixels so that the small sizes stay crisp.
chip() {
  local s=$1 out=$2
  local m=$((s * 3 / 16))                # width of the pin border
  local b0=$m b1=$((s - 1 - m))          # body from b0 to b1 inclusive
  local len=$((b1 - b0 + 1))
  local n=2
  if [ "$s" -ge 48 ]; then n=5; elif [ "$s" -ge 32 ]; then n=4; fi
  local slot=$((len / n)) w
  w=$((slot / 2)); [ "$w" -ge 1 ] || w=1
  local first=$((b0 + (len - n * slot) / 2 + (slot - w) / 2))
  local draw="fill $pin_fill stroke none"
  local i p
  for ((i = 0; i < n; i++)); do
    p=$((first + i * slot))
    draw+=" rectangle $p,1 $((p + w - 1)),$((b0 - 1))"
    draw+=" rectangle $p,$((b1 + 1)) $((p + w - 1)),$((s - 2))"
    draw+=" rectangle 1,$p $((b0 - 1)),$((p + w - 1))"
    draw+=" rectangle $((b1 + 1)),$p $((s - 2)),$((p + w - 1))"
  done
  local r=$((s / 16)); [ "$r" -ge 1 ] || r=1
  draw+=" fill $body_fill stroke $body_edge stroke-width $(((s + 31) / 32))"
  draw+=" roundrectangle $b0,$b0 $b1,$b1 $r,$r"
  # Pin-1 mark in the corner: a dot, or a 2 x 2 square at 16 pixels.
  if [ "$s" -ge 32 ]; then
    local d=$((s / 16)) c=$((b0 + 3 + s / 16))
    draw+=" fill $mark_fill stroke none circle $c,$c $((c + d)),$c"
  else
    draw+=" fill $mark_fill stroke none rectangle $((b0 + 2)),$((b0 + 2)) $((b0 + 3)),$((b0 + 3))"
  fi
  local args=(-size "${s}x${s}" xc:none -draw "$draw")
  if [ "$s" -ge 32 ]; then
    # A bold "T" on the package for the sizes that can carry a letter.
    args+=(-gravity center -font "$font_bold" -pointsize $((len * 6 / 10))
           -fill white -annotate +$((s / 32))+$((s / 16)) T)
  fi
  convert "${args[@]}" "PNG32:$out"
}

# The small and large icon at 100, 125, 150 and 200 % display scaling, so
# that the system finds the size it wants instead of stretching one.
icons=()
for s in 16 20 24 32 40 48 64; do
  chip "$s" "$tmp/icon$s.png"
  icons+=("$tmp/icon$s.png")
done
convert "${icons[@]}" "$here/Tarvel_AP.ico"

# Banner: a horizontal gradient with faint circuit traces, then the chip and
# the lettering in the centre band.
W=1534 H=290
chip 64 "$tmp/chip64.png"

# Traces: a small linear congruential generator keeps the picture the same
# on every run.
seed=20240611
# rnd N sets r to a number from 0 to N - 1.
rnd() { seed=$(((seed * 1103515245 + 12345) % 2147483648)); r=$(((seed >> 8) % $1)); }
traces="stroke #7fd8e8 stroke-opacity 0.22 stroke-width 2 fill none"
pads="fill #7fd8e8 fill-opacity 0.30 stroke none"
for ((k = 0; k < 46; k++)); do
  rnd $((H - 16)); y=$((8 + r))
  # Keep the traces out of the lettering band in the middle.
  if [ "$y" -gt 100 ] && [ "$y" -lt 190 ]; then
    rnd 2; if [ "$r" -eq 0 ]; then y=$((y - 92)); else y=$((y + 92)); fi
  fi
  rnd $W; x0=$r
  rnd 220; l1=$((60 + r))
  rnd 2; sign=$((r * 2 - 1)); rnd 30; dy=$((sign * (10 + r)))
  x1=$((x0 + l1)) y1=$((y + dy))
  if [ "$y1" -lt 4 ] || [ "$y1" -gt $((H - 4)) ]; then y1=$((y - dy)); dy=$((-dy)); fi
  rnd 180; x2=$((x1 + ${dy#-})) x3=$((x1 + ${dy#-} + 40 + r))
  traces+=" polyline $x0,$y $x1,$y $x2,$y1 $x3,$y1"
  pads+=" circle $x3,$y1 $((x3 + 4)),$y1 circle $x0,$y $((x0 + 3)),$y"
done

convert -size ${W}x${H} -define gradient:direction=east gradient:'#0a2342-#17607a' \
  \( -size ${W}x${H} gradient:'#ffffff-#000000' -alpha copy -channel A -evaluate multiply 0.10 +channel \
     -fill black -colorize 100 \) -compose over -composite \
  -draw "$traces" -draw "$pads" \
  "$tmp/chip64.png" -gravity center -geometry -171+0 -compose over -composite \
  -font "$font_bold" -pointsize 34 -fill white -annotate +67-11 'Tessaro Tarvel' \
  -font "$font_book" -pointsize 17 -fill '#a8e6f2' -annotate +67+19 'In-System Programmer' \
  -alpha off -type TrueColor "BMP3:$here/banner.bmp"
