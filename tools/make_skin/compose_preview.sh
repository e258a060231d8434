#!/bin/sh
# Composes the rendered skin the way the main window does, to look at it without the program.
#
#   compose_preview.sh <build>/res <out-dir> [W H]
#
# Writes <out-dir>/live.png, browse.png and setup.png (the three tabs at 1152 x 684 with their
# buttons in place), tiles-WxH.png (the tiles alone at W x H, default 1600 x 1000, to judge how
# they stretch) and buttons.png (every button at full and at half size). Needs ImageMagick.
set -eu
res=${1:?usage: compose_preview.sh <build>/res <out-dir> [W H]}
out=${2:?usage: compose_preview.sh <build>/res <out-dir> [W H]}
mkdir -p "$out"
convert "$res/video.bmp" -transparent black "$out/.video-keyed.png"

# Tile sizes and places for a client size, as the window composes them; sets T<n>="w h x y".
layout() {
  W=$1 H=$2
  if [ "$W" -lt 1152 ] || [ "$H" -lt 684 ]; then sc=1; else sc=0; fi
  sw() { echo $(( $1 * W / 1152 )); }
  sh() { echo $(( $1 * H / 684 )); }
  if [ $sc = 1 ]; then w11=$(sw 136) h11=$(sh 368) h13=$(sh 106) w16=$(sw 32) h16=$(sh 16)
  else w11=136 h11=368 h13=106 w16=32 h16=16; fi
  w13=$w11 w18=$w16 h18=$h16 w14=$w16 h14=$(( H - h16 - h18 ))
  w15=$(( W - w11 - w16 )) h15=$h16 w17=$w15 h17=$h18
  if [ $sc = 1 ]; then w19=$(sw 148) w20=$(sw 184); else w19=148 w20=$(( (h14 - 198) / 4 * 4 / 3 + 32 )); fi
  w21=$(( W - w11 - w19 - w20 - w14 ))
  if [ $sc = 1 ]; then h21=$(sh 52) h22=$(sh 108); else h21=52 h22=108; fi
  h23=$(( h14 - h21 - h22 ))
  T11="$w11 $h11 0 0"
  T13="$w11 $h13 0 $(( H - h13 ))"
  T12="$w11 $(( H - h11 - h13 )) 0 $h11"
  T16="$w16 $h16 $(( W - w16 )) 0"
  T18="$w18 $h18 $(( W - w18 )) $(( H - h18 ))"
  T14="$w14 $h14 $(( W - w14 )) $h16"
  T15="$w15 $h16 $w11 0"
  T17="$w17 $h18 $w13 $(( H - h17 ))"
  T19="$w19 $h14 $w11 $h15"
  T20="$w20 $h14 $(( W - w20 - w14 )) $h15"
  T21="$w21 $h21 $(( w11 + w19 )) $h15"
  T22="$w21 $h22 $(( w11 + w19 )) $(( H - h17 - h22 ))"
  T23="$w21 $h23 $(( w11 + w19 )) $(( h21 + h15 ))"
}

# draw <file> <x> <y> <w> <h>: one ImageMagick draw argument (stretched like the program does).
draw() { printf '%s\n' "-draw" "image over $2,$3 $4,$5 '$res/$1'"; }

canvas() {  # runs in a command substitution, so its IFS stays local
  IFS=' '
  layout "$1" "$2"
  for n in 11 13 12 16 18 14 15 17 19 20 21 22 23; do
    eval "set -- \$T$n"
    draw "background$n.bmp" "$3" "$4" "$1" "$2"
  done
}

compose() {  # compose <out.png> <W> <H> [extra draw args...]
  target=$1; shift
  W=$1 H=$2; shift 2
  set -- $(canvas "$W" "$H") "$@"
  convert -size "${W}x${H}" xc:magenta "$@" "$target"
}

tabs() {  # tabs <current tab number>
  for n in 1 2 3; do
    look=up; [ "$n" = "$1" ] && look=focus
    y=$(( 20 + (n - 1) * 113 ))
    draw "tab${n}_$look.bmp" 84 $y 50 108
  done
}

strip() {  # the thumbnail strip with two photos and a video, the first selected
  draw browse_all_on.bmp 969 24 47 54
  draw browse_photo_off.bmp 1019 24 47 54
  draw browse_video_off.bmp 1069 24 47 54
  draw browse_prev_release.bmp 991 94 106 36
  draw browse_next_release.bmp 991 622 106 36
  for i in 0 1 2; do
    y=$(( 153 + 112 * i ))
    draw sample_view.jpg $(( 970 + 2 )) $(( y + 2 )) 144 108
    draw cancel_release.bmp $(( 970 + 120 )) $(( y + 5 )) 23 23
  done
  printf '%s\n' -fill none -stroke yellow -strokewidth 8 -draw "rectangle 974,157 1114,261" -stroke none
  printf '%s\n' -fill black -draw "rectangle 970,489 1117,600"
  # The program keys out black when it pastes the video mark.
  printf '%s\n' "-draw" "image over 1004,393 80,80 '$out/.video-keyed.png'"
}

labels() {  # status text and zoom label as the program draws them
  printf '%s\n' -font DejaVu-Sans -pointsize 22 -fill "$1" -annotate +292+54 "$2"
  printf '%s\n' -pointsize 12 -fill '#f0f0f0' -annotate +256+63 "1.8x"
  printf '%s\n' -fill '#3b3f44' -draw "rectangle 270,68 283,367"
}

# Draw arguments contain blanks: split command substitutions at line ends only.
IFS='
'
# Live view: tool buttons, LED box and full-screen button in the bottom bar.
compose "$out/live.png" 1152 684 $(tabs 1) $(labels white "2026/03/07 09:05") \
  $(draw sample_view.jpg 291 74 640 480) \
  $(draw snap_release.bmp 140 20 108 108) $(draw rec_click.bmp 140 133 108 108) \
  $(draw mirror_release.bmp 140 246 108 108) $(draw rotate_click.bmp 140 359 108 108) \
  -fill black -draw "rectangle 292,568 665,591" -fill '#00ff00' \
  -draw "rectangle 292,568 315,591" -draw "rectangle 317,568 340,591" -draw "rectangle 342,568 365,591" \
  $(draw led_dec_release.bmp 292 600 64 64) $(draw led_inc_click.bmp 364 600 64 64) \
  $(draw boost_click.bmp 452 600 64 64) $(draw rotate_release.bmp 524 600 64 64) \
  $(draw led_switch_release.bmp 596 600 64 64) $(draw fullscreen_release.bmp 874 600 64 64) \
  $(strip)

# Browse tab playing a video.
compose "$out/browse.png" 1152 684 $(tabs 2) $(labels white "2026-03-07 09_05_33.avi") \
  -pointsize 14 -fill yellow -annotate +584+64 "2026-03-07 09_12_01.jpg" \
  $(draw sample_view.jpg 291 74 640 480) \
  $(draw snap_release.bmp 140 20 108 108) $(draw mirror_click.bmp 140 133 108 108) \
  $(draw rotate_release.bmp 140 246 108 108) \
  -fill black -draw "rectangle 372,568 935,583" -fill '#00ff00' -draw "rectangle 372,568 560,583" \
  -fill white -pointsize 12 -annotate +292+582 " 0 :  1 : 15" \
  $(draw video_play_on.bmp 292 600 64 64) $(draw video_plause_off.bmp 364 600 64 64) \
  $(draw video_stop_off.bmp 436 600 64 64) $(draw fullscreen_release.bmp 874 600 64 64) \
  $(strip)

# Setup tab, time-stamp page.
compose "$out/setup.png" 1152 684 $(tabs 3) \
  $(draw select_dir_off.bmp 140 20 108 108) $(draw timestamp_on.bmp 140 133 108 108) \
  -fill '#202326' -draw "rectangle 298,82 921,545" \
  $(draw sample_view.jpg 538 122 364 273) \
  -font DejaVu-Sans -pointsize 24 -fill red -annotate +554+380 "2026/03/07 09:05:33" \
  -pointsize 14 -fill '#d0d0d0' -annotate +340+117 "OFF" -annotate +340+157 "YYYY/MM/DD" \
  -annotate +340+197 "MM/DD/YYYY" -annotate +340+237 "DD/MM/YYYY" \
  $(draw select_dir_add_release.bmp 300 574 80 80) $(draw confirm_click.bmp 515 574 80 80) \
  $(draw cancel_release.bmp 627 574 80 80) \
  $(strip)

W=${3:-1600} H=${4:-1000}
compose "$out/tiles-${W}x${H}.png" "$W" "$H"
unset IFS

# Contact sheet: each button's looks side by side, at full size and at half size.
sheet=""
for pair in tab1_up:tab1_focus tab2_up:tab2_focus tab3_up:tab3_focus snap_release:snap_click \
    rec_release:rec_click mirror_release:mirror_click rotate_release:rotate_click \
    led_dec_release:led_dec_click led_inc_release:led_inc_click boost_release:boost_click \
    led_switch_release:led_switch_click browse_all_off:browse_all_on \
    browse_photo_off:browse_photo_on browse_video_off:browse_video_on \
    browse_prev_release:browse_prev_click browse_next_release:browse_next_click \
    cancel_release:cancel_click video_play_off:video_play_on video_plause_off:video_plause_on \
    video_stop_off select_dir_off:select_dir_on timestamp_off:timestamp_on \
    confirm_release:confirm_click select_dir_add_release:select_dir_add_click \
    fullscreen_release non_fullscreen_release video; do
  files=""
  for n in $(echo "$pair" | tr ':' ' '); do files="$files $res/$n.bmp"; done
  # shellcheck disable=SC2086
  convert $files +append \( +clone -resize 50% \) -background '#16191c' -gravity center +append \
    -bordercolor '#16191c' -border 6 "$out/.pair-$pair.png"
  sheet="$sheet $out/.pair-$pair.png"
done
# shellcheck disable=SC2086
montage $sheet -tile 4x -geometry +4+4 -background '#0b0c0e' "$out/buttons.png"
rm -f "$out"/.pair-*.png "$out/.video-keyed.png"
echo "wrote $out/live.png browse.png setup.png tiles-${W}x${H}.png buttons.png"
