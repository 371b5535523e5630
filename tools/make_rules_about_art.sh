#!/usr/bin/env bash
# Draws the pictures of the posting-rules and about windows into skin/: the
# rules picture (427 x 500, the rules written in it), the "new" badge and
# the about window's mark. Run by hand when the art or the rules change;
# the results are committed.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/skin"
font="$(fc-match -f '%{file}' 'WenQuanYi Micro Hei:lang=zh')"
blue='#1E6FD9'
ink='#202124'
grey='#5F6B7A'

# The posting rules: caption band, heading, six numbered rules, a note on
# the points, and a strip at the bottom where the buttons sit.
rules=(
  "1. 发布内容须为真实、有效的同行询价或同业推广信息。"
  "2. 每条信息不超过 140 字，发布询价时请选择正确的类型。"
  "3. 禁止发布广告、虚假信息，禁止重复发布相同内容。"
  "4. 禁止发布与旅游同业无关的内容及违法违规信息。"
  "5. 每个账号每天最多发布 100 条询价信息。"
  "6. 多次发布违规信息的账号将被冻结，无法继续发布。"
)
args=(-size 427x500 xc:'#FFFFFF'
  -fill "$blue" -draw "rectangle 0,0 426,31"
  -fill '#F4F6F9' -draw "rectangle 0,436 426,499"
  -fill '#E6E8EB' -draw "rectangle 0,436 426,436"
  -fill none -stroke '#1A5FBF' -strokewidth 1 -draw "rectangle 0.5,0.5 426.5,499.5" -stroke none
  -font "$font"
  -fill '#FFFFFF' -pointsize 13 -annotate +12+21 "发布规则"
  -fill "$ink" -pointsize 17 -annotate +24+74 "询价发布规则"
  -fill "$blue" -draw "rectangle 24,86 76,87"
  -fill "$grey" -pointsize 12 -annotate +24+112 "为保证询价信息的质量，请在发布前阅读并遵守以下规则："
  -fill "$ink" -pointsize 12.5)
y=146
for line in "${rules[@]}"; do
  args+=(-annotate "+30+$y" "$line")
  y=$((y + 34))
done
args+=(-fill '#FFF4E8' -draw "roundrectangle 24,364 402,414 4,4"
  -fill '#FE7819' -pointsize 12 -annotate +36+384 "发布或转发一条有效询价奖励 1 积分；"
  -annotate +36+404 "发布违规信息每次扣除 10 积分。")
convert "${args[@]}" -depth 8 "$out/post_rule_bk.png"

# The "new" badge, 29 x 16.
convert -size 29x16 xc:none -fill '#F04438' -draw "roundrectangle 0,0 28,15 7,7" \
  -font DejaVu-Sans-Bold -pointsize 9 -fill white -gravity center -annotate +0+0 "new" -depth 8 "$out/new_tip.png"

# The about window's mark, 48 x 48: the sail of the main window's logo on a
# blue disc.
convert -size 48x48 xc:none -fill "$blue" -draw "circle 24,24 24,1" \
  -fill 'rgba(255,255,255,0.95)' -draw "polygon 25,10 25,32 37,32" \
  -fill 'rgba(255,255,255,0.75)' -draw "polygon 23,15 23,32 13,32" \
  -fill 'rgba(255,255,255,0.95)' -draw "roundrectangle 11,34 37,37 1,1" -depth 8 "$out/about_logo.png"
