#!/usr/bin/env bash
# The Windows executable under Wine: it starts in a copy of the run folder, shows its window with
# the Japanese menu, draws the logo as the Linux build does (two moments of it, compared loosely
# with the Linux reference pictures), saves a capture from the menu, and ends on a held Escape
# with the settings written.
source "$(dirname "$0")/lib/wine.bash"
ref="$(dirname "$0")/ref"
logo_ref="$QV_TEST_SOURCE_DIR/game/ref"
wine_setup
wine_start
win=$(e2e_wait_window "THE Quorvane")
e2e_focus "$win"

# A picture of the window. import can wait without end when the window has gone, so it is
# given a limit.
grab() { timeout 20 import -window "$win" "$@"; }

# A 640x480 client area under the menu bar, whose Japanese items match the reference strip.
read -r width height < <(xwininfo -id "$win" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
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
touch "$samples/stop"
wait "$sampler1" "$sampler2" 2>/dev/null || true
[ ${#found[@]} -eq ${#wanted[@]} ] ||
  e2e_fail "no sample of the logo matched frame ${wanted[${#found[@]}]} of the Linux pictures (closest: mean error ${best:-none}; samples in $samples)"

# The capture item (Alt+C; the held C also pauses the game, so the logo waits for Escape). Only
# the file is checked: the back buffer, swapped with D3DSWAPEFFECT_DISCARD, reaches it black
# under Wine.
e2e_press alt+c
e2e_wait_file "$E2E_TMP/ScreenCapture/sc000000.bmp"
capture="$E2E_TMP/ScreenCapture/sc000000.bmp"
[ "$(head -c 2 "$capture")" = BM ] && [ "$(identify -format '%wx%h' "$capture")" = 640x480 ] ||
  e2e_fail "the capture is not a 640x480 BMP: $(identify "$capture" 2>&1)"

e2e_hold Escape "the program to end on Escape" e2e_game_ended
e2e_expect_exit 0
# Written in text mode, so the line ends as Windows ends it.
[ "$(cat "$E2E_TMP/Config.dat")" = $'0 2 1 0\r' ] || e2e_fail "Config.dat holds '$(od -c "$E2E_TMP/Config.dat")'"
wine_passed WineSmoke
