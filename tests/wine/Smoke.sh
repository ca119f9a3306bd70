#!/usr/bin/env bash
# The Windows executable under Wine: it starts in a copy of the run folder, shows its window with
# the Japanese menu, draws the logo as the Linux build does (two moments of it, compared loosely
# with the Linux reference pictures), saves a capture from the menu that is the frame shown, and
# ends on a held Escape with the settings written. Started again in an English locale with a
# full-screen mode that the display cannot make, it says so in a box whose Japanese title reads
# right (the manifest's UTF-8 code page), runs in a window, and writes the settings corrected.
source "$(dirname "$0")/lib/wine.bash"
ref="$(dirname "$0")/ref"
logo_ref="$QV_TEST_SOURCE_DIR/game/ref"
wine_setup
wine_start
win=$(e2e_wait_window "THE Quorvane")
e2e_focus "$win"

grab() { e2e_grab "$win" "${@: -1}" "${@:1:$#-1}"; }

# A 640x480 client area under the menu bar, whose Japanese items match the reference strip.
read -r width height < <(e2e_window_size "$win")
[ "$width" = 640 ] && [ "$height" -gt 480 ] || e2e_fail "the window is ${width}x$height, not 640 wide above a 480-line client area"
menu=$((height - 480))
for _ in $(seq 1 50); do
  grab -crop "640x$menu+0+0" +repage "$E2E_TMP/menu.png"
  [ "${QV_UPDATE_REFERENCES:-0}" = 1 ] && { cp "$E2E_TMP/menu.png" "$ref/menu.png"; break; }
  differing=$(compare -metric AE -fuzz 20% "$E2E_TMP/menu.png" "$ref/menu.png" null: 2>&1 || true)
  [ "$differing" -le 60 ] 2>/dev/null && break
  sleep 0.2
done
[ "${QV_UPDATE_REFERENCES:-0}" = 1 ] || [ "$differing" -le 60 ] 2>/dev/null ||
  e2e_fail "the menu bar differs from $ref/menu.png in $differing pixels (see $E2E_TMP/menu.png)"

# The logo: the client area is sampled as often as two capture loops can; the Linux pictures of
# frames 60 and 240 must each be matched, in that order, by some sample reduced to 8x6 blocks
# (the scene's jitter and Wine's frame rate make the exact frame a matter of luck).
samples="$E2E_TMP/logo"
mkdir -p "$samples"
sample_loop() {
  local name
  while [ ! -e "$samples/stop" ] && kill -0 "$E2E_GAME_PID" 2>/dev/null; do
    name=$(date +%s%N)
    if grab -crop "640x480+0+$menu" +repage -resize '160x120!' "$samples/$name.tmp.png" 2>/dev/null; then
      mv "$samples/$name.tmp.png" "$samples/$name.png"
    else
      sleep 0.1
    fi
  done
}
sample_loop & sampler1=$!
sleep 0.03
sample_loop & sampler2=$!
blocks() { convert "$1" -alpha off -resize '8x6!' "$2"; }
blocks "$logo_ref/logo-060.png" "$E2E_TMP/ref-060.png"
blocks "$logo_ref/logo-240.png" "$E2E_TMP/ref-240.png"
wanted=(060 240)
found=()
seen=""
best=""
deadline=$((SECONDS + 120))
while [ ${#found[@]} -lt ${#wanted[@]} ]; do
  [ $SECONDS -lt $deadline ] || break
  kill -0 "$E2E_GAME_PID" 2>/dev/null || break
  for sample in $(ls "$samples" | grep -E '^[0-9]+\.png$' | sort -n); do
    [[ "$sample" > "$seen" ]] || continue
    seen=$sample
    [ ${#found[@]} -lt ${#wanted[@]} ] || break
    moment=${wanted[${#found[@]}]}
    blocks "$samples/$sample" "$E2E_TMP/sample.png"
    error=$( (compare -metric MAE "$E2E_TMP/sample.png" "$E2E_TMP/ref-$moment.png" null: 2>&1 || true) | sed 's/.*(\(.*\))/\1/')
    awk -v e="$error" -v b="${best:-1}" 'BEGIN { exit !(e < b) }' && best=$error
    if awk -v e="$error" 'BEGIN { exit !(e < 0.06) }'; then
      best=""
      found+=("$sample")
      echo "logo frame $moment matched by sample $sample (mean error $error)"
    fi
  done
  sleep 0.05
done
# The capture item at once (Alt+C; the held C also pauses the game, so the logo waits for
# Escape), while the logo still looks as it did at frame 240.
[ ${#found[@]} -eq ${#wanted[@]} ] && e2e_press alt+c
touch "$samples/stop"
wait "$sampler1" "$sampler2" 2>/dev/null || true
[ ${#found[@]} -eq ${#wanted[@]} ] ||
  e2e_fail "no sample of the logo matched frame ${wanted[${#found[@]}]} of the Linux pictures (closest: mean error ${best:-none}; samples in $samples)"

# The capture: the frame is saved before it is presented (afterwards the back buffer, swapped
# with D3DSWAPEFFECT_DISCARD, is undefined, and black under Wine), so it is the paused frame on
# the screen, and loosely the logo of the Linux pictures (a black picture is 0.19 from them).
e2e_wait_file "$E2E_TMP/ScreenCapture/sc000000.bmp"
capture="$E2E_TMP/ScreenCapture/sc000000.bmp"
[ "$(head -c 2 "$capture")" = BM ] && [ "$(identify -format '%wx%h' "$capture")" = 640x480 ] ||
  e2e_fail "the capture is not a 640x480 BMP: $(identify "$capture" 2>&1)"
blocks "$capture" "$E2E_TMP/capture-blocks.png"
mae() { (compare -metric MAE "$1" "$2" null: 2>&1 || true) | sed 's/.*(\(.*\))/\1/'; echo; }
shown_error=1
for _ in $(seq 1 20); do
  grab -crop "640x480+0+$menu" +repage "$E2E_TMP/shown.png" && blocks "$E2E_TMP/shown.png" "$E2E_TMP/shown-blocks.png" &&
    shown_error=$(mae "$E2E_TMP/capture-blocks.png" "$E2E_TMP/shown-blocks.png")
  awk -v e="$shown_error" 'BEGIN { exit !(e < 0.03) }' && break
  sleep 0.2
done
awk -v e="$shown_error" 'BEGIN { exit !(e < 0.03) }' ||
  e2e_fail "the capture differs from the frame on the screen (mean error $shown_error; see $capture, $E2E_TMP/shown.png)"
blocks "$logo_ref/logo-470.png" "$E2E_TMP/ref-470.png"
logo_error=$(for moment in 240 470; do mae "$E2E_TMP/capture-blocks.png" "$E2E_TMP/ref-$moment.png"; done | sort -g | head -n 1)
echo "capture: mean error $shown_error against the screen, $logo_error against the closest Linux logo picture"
awk -v e="$logo_error" 'BEGIN { exit !(e < 0.15) }' ||
  e2e_fail "the capture is not the logo (mean error $logo_error against the Linux pictures; see $capture)"

e2e_hold Escape "the program to end on Escape" e2e_game_ended
e2e_expect_exit 0
# Written in text mode, so the line ends as Windows ends it.
[ "$(cat "$E2E_TMP/Config.dat")" = $'0 2 1 0\r' ] || e2e_fail "Config.dat holds '$(od -c "$E2E_TMP/Config.dat")'"

# 320x240 full screen, which this X server's single mode cannot give, in an English locale.
printf '0 1 1 0\r\n' >"$E2E_TMP/Config.dat"
WINE_LOCALE=C.UTF-8
wine_start
box=$(e2e_wait_window "!!! 警告 !!!")
e2e_focus "$box"
e2e_press Return
e2e_wait_gone "!!! 警告 !!!"
win=$(e2e_wait_window "THE Quorvane")
# A 320x240 client area under the menu bar: a window, not full screen.
read -r width height < <(e2e_window_size "$win")
[ "$width" = 320 ] && [ "$height" -gt 240 ] && [ "$height" -lt 300 ] ||
  e2e_fail "the window is ${width}x$height, not a 320x240 client area under a menu bar"
e2e_focus "$win"
e2e_hold Escape "the program to end on Escape" e2e_game_ended
e2e_expect_exit 0
[ "$(cat "$E2E_TMP/Config.dat")" = $'0 3 1 0\r' ] || e2e_fail "Config.dat holds '$(od -c "$E2E_TMP/Config.dat")'"
wine_passed WineSmoke
