#!/usr/bin/env bash
# A second whole run, from the settings "1 3 0 1": 30 frames drawn a second, a window with a
# client area of 320x240, no wait for the vertical blank, sound off. The window and the back
# buffer that Alt+C saves have that size, the FPS line (F2) reads 30 frames, and through the
# logo, the opening, the title and the stage nothing is heard: every sample that OpenAL mixes is
# zero. The settings are written back as they were.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/scenes.bash"
ref="$(dirname "$0")/ref"
e2e_setup
e2e_copy_run_folder
echo "1 3 0 1" >"$E2E_TMP/Config.dat"
scene_record_sound
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")

scene_step "$win" 320 240 logo "the logo's cyan rings" scene_logo
scene_step "$win" 320 240 opening "the opening's meadow under a blue sky" scene_opening
e2e_focus "$win"
scene_wait "$win" 320 240 title "the title's red light" scene_title
# 30 frames: the FPS line's second number, 60 over the divisor 2, read over the title, which
# stays until Z. It stands one character (7.5 pixels here) further left while the measured
# rate has one digit.
fps_30() {
  e2e_text_in "$1" "$ref/fps30_320.png" 22x14+74+223 || e2e_text_in "$1" "$ref/fps30_320_one_digit.png" 22x14+66+223
}
scene_hold F2 "$win" 320 240 fps "the FPS line reading 30 frames" fps_30
scene_hold z "$win" 320 240 stage "the stage after Z on the title" scene_stage

# The window is the client area and, above it, the menu bar that the layer draws inside it (20
# pixels, as in the 640x480 runs); Alt+C saves the back buffer, which is the client's size.
read -r width height < <(e2e_window_size "$win")
[ "${width}x$height" = 320x260 ] || e2e_fail "the window is ${width}x$height, not a 320x240 client area under the menu bar"
e2e_grab "$win" "$E2E_TMP/window.png"
bar=$(convert "$E2E_TMP/window.png" -crop 312x12+4+4 -colorspace gray -format '%[fx:mean]' info:)
e2e_above "$bar" 0.5 || e2e_fail "no light menu bar above the client area (mean $bar)"
capture="$E2E_TMP/ScreenCapture/sc000000.bmp"
e2e_press alt+c
e2e_wait_file "$capture"
size=$(identify -format '%wx%h' "$capture")
[ "$size" = 320x240 ] || e2e_fail "the back buffer is $size"

e2e_hold Escape "the game to end on Escape" e2e_game_ended
e2e_expect_exit 0
[ "$(cat "$E2E_TMP/Config.dat")" = "1 3 0 1" ] || e2e_fail "Config.dat holds '$(cat "$E2E_TMP/Config.dat")'"
read -r bytes loud < <(scene_sound)
[ "$bytes" -ge $((22050 * 4)) ] || e2e_fail "only $bytes bytes of sound were mixed"
[ "$loud" = 0 ] || e2e_fail "$loud of $bytes bytes of the mixed sound are not silence"
echo "WholeGameSmallSilent passed ($bytes bytes of silence)"
