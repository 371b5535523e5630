#!/usr/bin/env bash
# Draws the main window's skin images into skin/ (caption glyphs, the
# default picture and its frame, page icons, check and radio marks, the
# loading animation). Run by hand when the art changes; the results are
# committed.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/skin"
w='rgba(255,255,255,0.95)'
g='#5F6B7A'

# Caption glyphs, white on transparent, 28 x 32.
convert -size 28x32 xc:none -stroke "$w" -strokewidth 1.6 -draw "line 9,16.5 19,16.5" "$out/main_btn_min.png"
convert -size 28x32 xc:none -stroke "$w" -strokewidth 1.6 -draw "line 9.5,11.5 18.5,20.5" -draw "line 18.5,11.5 9.5,20.5" "$out/main_btn_close.png"
convert -size 28x32 xc:none -stroke "$w" -strokewidth 1.6 -fill none -draw "polyline 9,18.5 14,13.5 19,18.5" "$out/main_btn_hide_full.png"
convert -size 28x32 xc:none -stroke "$w" -strokewidth 1.6 -fill none -draw "polyline 9,13.5 14,18.5 19,13.5" "$out/main_btn_show_full.png"
convert -size 20x20 xc:none -fill "$w" -draw "polygon 10.5,2 10.5,14 17,14" -fill 'rgba(255,255,255,0.75)' -draw "polygon 9.5,5 9.5,14 4,14" -fill "$w" -draw "roundrectangle 3,15 17,16.5 1,1" "$out/main_logo.png"

# The default picture and the frame over it, 40 x 40.
convert -size 40x40 xc:none -fill '#DCE3EC' -draw "circle 20,20 20,1" \
  -fill '#A9B6C6' -draw "circle 20,16 20,9" -draw "ellipse 20,36 12,10 180,360" \
  \( -size 40x40 xc:none -fill white -draw "circle 20,20 20,1" \) -compose dst_in -composite "$out/avatar_example.png"
convert -size 40x40 xc:none -fill none -stroke '#FFFFFF' -strokewidth 2 -draw "circle 20,20 20,1.5" "$out/avatar_frame.png"
convert -size 40x40 xc:none -fill none -stroke '#7FB2FF' -strokewidth 2 -draw "circle 20,20 20,1.5" "$out/avatar_frame_hot.png"

# Page buttons, 16 x 16 grey glyphs.
convert -size 16x16 xc:none -fill none -stroke "$g" -strokewidth 1.3 -draw "roundrectangle 1.5,3.5 14.5,12.5 1.5,1.5" -draw "polyline 2,4.5 8,9 14,4.5" "$out/main_icon_msg.png"
convert -size 16x16 xc:none -fill none -stroke "$g" -strokewidth 1.3 -draw "roundrectangle 3.5,1.5 12.5,14.5 1,1" -draw "line 5.5,5.5 10.5,5.5" -draw "line 5.5,8.5 10.5,8.5" -draw "line 5.5,11.5 8.5,11.5" "$out/main_icon_rule.png"
convert -size 16x16 xc:none -stroke "$g" -strokewidth 1.4 -draw "line 2.5,4.5 13.5,4.5" -draw "line 2.5,8.5 13.5,8.5" -draw "line 2.5,12.5 13.5,12.5" "$out/main_icon_menu.png"

# Check box and radio marks, 14 x 14.
convert -size 14x14 xc:none -fill white -stroke '#9AA4B1' -strokewidth 1 -draw "roundrectangle 0.5,0.5 13.5,13.5 2.5,2.5" "$out/check_off.png"
convert -size 14x14 xc:none -fill '#1E6FD9' -stroke '#1E6FD9' -strokewidth 1 -draw "roundrectangle 0.5,0.5 13.5,13.5 2.5,2.5" \
  -fill none -stroke white -strokewidth 1.8 -draw "polyline 3.5,7 6,9.5 10.5,4.5" "$out/check_on.png"
convert -size 14x14 xc:none -fill white -stroke '#9AA4B1' -strokewidth 1 -draw "circle 7,7 7,0.7" "$out/radio_off.png"
convert -size 14x14 xc:none -fill white -stroke '#1E6FD9' -strokewidth 1.2 -draw "circle 7,7 7,0.8" -fill '#1E6FD9' -stroke none -draw "circle 7,7 7,3.6" "$out/radio_on.png"

# Loading spinner, 16 x 16, eight frames.
frames=()
tmp="$(mktemp -d)"; trap 'rm -rf "$tmp"' EXIT
for i in 0 1 2 3 4 5 6 7; do
  args=()
  for j in 0 1 2 3 4 5 6 7; do
    a=$(( (j - i + 8) % 8 ))
    alpha=$(awk "BEGIN{print 0.15 + 0.85 * (8 - $a) / 8}")
    x=$(awk "BEGIN{print 8 + 5.2 * cos($j * 3.14159265 / 4)}")
    y=$(awk "BEGIN{print 8 + 5.2 * sin($j * 3.14159265 / 4)}")
    args+=(-fill "rgba(30,111,217,$alpha)" -draw "circle $x,$y $x,$(awk "BEGIN{print $y + 1.5}")")
  done
  convert -size 16x16 xc:white "${args[@]}" "$tmp/f$i.png"
  frames+=("$tmp/f$i.png")
done
convert -delay 10 -loop 0 "${frames[@]}" "$out/loading.gif"

# The login layer's close glyph and the selected tab's underline.
convert -size 18x18 xc:none -stroke '#9AA4B1' -strokewidth 1.4 -draw "line 5.5,5.5 12.5,12.5" -draw "line 12.5,5.5 5.5,12.5" "$out/login_close.png"
convert -size 18x18 xc:none -fill '#EEF1F5' -draw "circle 9,9 9,1" -stroke '#5F6B7A' -strokewidth 1.4 -draw "line 5.5,5.5 12.5,12.5" -draw "line 12.5,5.5 5.5,12.5" "$out/login_close_hot.png"
convert -size 44x3 xc:'#1E6FD9' "$out/tab_selected.png"
