#!/usr/bin/env bash
# Draws the program's pictures into resources/Data/ (committed; the build
# copies them next to the executable). Needs ImageMagick and fonts-noto-cjk.
# Every picture is flattened onto the window colour, so GIF's one-bit
# transparency never shows jagged edges.
#
#   bash resources/make_pictures.sh
set -euo pipefail

out="$(cd "$(dirname "$0")" && pwd)/Data"
mkdir -p "$out"

window_bg='#eef3ea'
sans_bold='Noto-Sans-CJK-JP-Bold'
serif_bold='Noto-Serif-CJK-JP-Bold'

# face FILE WIDTH HEIGHT TOP_COLOUR BOTTOM_COLOUR BORDER [WORD POINTSIZE]
# A rounded, softly lit button face; WORD (optional) is written along its foot.
face() {
  local file=$1 w=$2 h=$3 top=$4 bottom=$5 border=$6 word=${7:-} size=${8:-12}
  local r=$(( h < 40 ? 6 : 10 ))
  local args=(
    -size "${w}x${h}" "gradient:${top}-${bottom}"
    \( -size "${w}x${h}" xc:none -fill white
       -draw "roundrectangle 1,1 $((w - 2)),$((h - 2)) $r,$r" \)
    -compose CopyOpacity -composite -compose Over
    # a gloss over the upper half
    \( -size "${w}x${h}" xc:none -fill 'rgba(255,255,255,0.22)'
       -draw "roundrectangle 3,3 $((w - 4)),$((h / 2)) $((r - 2)),$((r - 2))" \)
    -composite
    -fill none -stroke "$border" -strokewidth 1.5
    -draw "roundrectangle 1,1 $((w - 2)),$((h - 2)) $r,$r"
  )
  if [[ -n $word ]]; then
    args+=(-stroke none -fill 'rgba(0,0,0,0.35)' -font "$sans_bold" -pointsize "$size"
           -gravity south -annotate +1+5 "$word"
           -fill white -annotate +0+6 "$word")
  fi
  convert "${args[@]}" -background "$window_bg" -flatten "$file"
}

# Main window buttons, 80 x 72: mail work in fern green, tools in teal.
green=('#6dbb72' '#2e7d3a' '#1f5a29')
teal=('#5fb3b0' '#2a7774' '#1c5452')
main_face() { face "$out/$1" 80 72 "$2" "$3" "$4" "$5" 11; }
main_face Botan1.gif "${green[@]}" '新規作成'
main_face Botan2.gif "${green[@]}" '受信'
main_face Botan4.gif "${green[@]}" '送信履歴'
main_face Botan5.gif "${green[@]}" '保管箱'
main_face Botan3.gif "${teal[@]}" 'アドレス帳'
main_face Botan6.gif "${teal[@]}" '分別登録'
main_face Botan7.gif "${teal[@]}" '添付'
main_face Botan8.gif "${teal[@]}" '設定'
# Pressed: the same face sunk in, no word.
face "$out/Botan9.gif" 80 72 '#1d4a24' '#3f8a4a' '#163a1c'

# Viewer and compose buttons, 100 x 32, captions come from their labels.
face "$out/Botan10.gif" 100 32 '#e79a8f' '#b5493d' '#8c342b'  # delete one
face "$out/Botan11.gif" 100 32 '#6dbb72' '#2e7d3a' '#1f5a29'  # move to keep box
face "$out/Botan12.gif" 100 32 '#5fb3b0' '#2a7774' '#1c5452'  # register / cancel
face "$out/Botan13.gif" 100 32 '#7fa8dc' '#365f9c' '#27467a'  # reply / send
face "$out/Botan14.gif" 100 32 '#d9756a' '#962c22' '#70201a'  # delete all
face "$out/Botan15.gif" 100 32 '#3a3f44' '#6b737b' '#2a2e32'  # pressed

# Small compose and reply buttons, 88 x 26.
face "$out/Clire.gif" 88 26 '#e3b85f' '#b07a1c' '#87600f'
face "$out/Atesaki.gif" 88 26 '#7fa8dc' '#365f9c' '#27467a'
face "$out/Honbun.gif" 88 26 '#6dbb72' '#2e7d3a' '#1f5a29'
face "$out/Addoress.gif" 88 26 '#5fb3b0' '#2a7774' '#1c5452'
face "$out/Motosize.gif" 88 26 '#a59bd0' '#5f5296' '#463b73'
face "$out/Switch.gif" 88 26 '#3a3f44' '#6b737b' '#2a2e32'

# Title band across the top of the main window, 720 x 60.
convert -size 720x60 gradient:'#2f6b3f-#1c4426' \
  -fill '#d9c27a' -draw 'rectangle 0,57 720,59' \
  -font "$serif_bold" -pointsize 26 -fill 'rgba(0,0,0,0.35)' -annotate +95+41 'Quillfern' \
  -fill white -annotate +94+40 'Quillfern' \
  -font "$sans_bold" -pointsize 12 -fill '#d9e8d0' -annotate +252+39 '日本語メール・クライアント' \
  \( -size 44x44 xc:none -fill '#d9c27a' -stroke none \
     -draw 'ellipse 22,22 8,19 0,360' -stroke '#2f6b3f' -strokewidth 1.5 \
     -draw 'line 22,5 22,40' -draw 'line 22,14 16,10' -draw 'line 22,20 15,15' \
     -draw 'line 22,26 15,21' -draw 'line 22,14 28,10' -draw 'line 22,20 29,15' \
     -draw 'line 22,26 29,21' -background none -rotate 35 \) -geometry +30+2 -composite \
  -background "$window_bg" -flatten "$out/Title.gif"

# Panel under the box table, 232 x 232: heading band and six row bands,
# matching the rows of the table (32 px apart from 32 px down).
panel_rows=()
for i in 0 1 2 3 4 5; do
  y=$((32 + 32 * i))
  fill=$([[ $((i % 2)) -eq 0 ]] && echo '#f6faf3' || echo '#e9f2e4')
  panel_rows+=(-fill "$fill" -draw "rectangle 4,$y 227,$((y + 29))")
done
convert -size 232x232 xc:none -fill '#fbfdf8' -stroke '#9fbf9a' -strokewidth 1.5 \
  -draw 'roundrectangle 1,1 230,230 10,10' -stroke none \
  -fill '#cfe3c7' -draw 'roundrectangle 4,4 227,28 7,7' \
  "${panel_rows[@]}" \
  -background "$window_bg" -flatten "$out/Panel.gif"

# Scrolling pictures, 32 x 32: a letter climbing, a fern leaf falling.
convert -size 32x32 xc:"$window_bg" \
  -fill '#fdfbf2' -stroke '#2e7d3a' -strokewidth 1.5 -draw 'rectangle 3,8 28,24' \
  -fill none -draw 'polyline 3,8 15.5,18 28,8' \
  -fill '#c0463a' -stroke none -draw 'circle 15.5,18 15.5,15.5' "$out/Rising.gif"
convert -size 32x32 xc:"$window_bg" \
  -fill '#4f9a57' -stroke '#2e6b35' -strokewidth 1 \
  -draw 'ellipse 16,16 6,14 0,360' -stroke '#eef3ea' -strokewidth 1 \
  -draw 'line 16,3 16,29' -draw 'line 16,10 11,7' -draw 'line 16,15 10,12' \
  -draw 'line 16,20 11,17' -draw 'line 16,10 21,7' -draw 'line 16,15 22,12' \
  -draw 'line 16,20 21,17' -background "$window_bg" -rotate -20 -gravity center -extent 32x32 \
  -background "$window_bg" "$out/Falling.gif"

ls -l "$out"
