#!/usr/bin/env bash
# A whole run: the window with its menu bar, the FPS line and its divisor, the pause, screen
# captures through Alt+C, Escape, and the settings written at exit.
source "$(dirname "$0")/lib/common.bash"
ref="$(dirname "$0")/ref"
e2e_setup
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")
e2e_focus "$win"

# The layer draws the menu bar in a light strip above the black client area.
menu_bar_shown() {
  e2e_grab "$win" "$E2E_TMP/window.png" &&
    e2e_above "$(convert "$E2E_TMP/window.png" -crop 600x12+4+4 -colorspace gray -format '%[fx:mean]' info:)" 0.5
}
e2e_wait_until "$E2E_LIMIT" "a light menu bar above the client area" menu_bar_shown
e2e_wait_running "$win" 640 480

# The second number of the FPS line stands one character further left while the measured
# rate has one digit.
fps=(40x24+150+450 40x24+135+450)
pause=112x32+270+220
capture="$E2E_TMP/ScreenCapture/sc%06d.bmp"
screen_shows() { e2e_client_shot "$win" 640 480 "$E2E_TMP/screen.png" && e2e_text_in "$E2E_TMP/screen.png" "$@"; }
paused() { screen_shows "$ref/pause.png" $pause; }
captured_and() { [ -s "$(printf "$capture" "$1")" ] && "${@:2}"; }
not() { ! "$@"; }

e2e_hold F2 "the FPS line" screen_shows "$ref/fps_divisor1.png" "${fps[@]}"
# Alt+C asks for capture 0; its C is held too, so the frame drawn next, which is the one saved,
# is the first paused one.
e2e_hold alt+c "capture 0 and the pause" captured_and 0 paused
e2e_expect_text "$(printf "$capture" 0)" "${fps[0]}" "$ref/fps_divisor1.png" "${fps[1]}"
e2e_expect_text "$(printf "$capture" 0)" $pause "$ref/pause.png"
# The capture is the frame shown: the paused screen keeps it (all but the FPS line's numbers).
e2e_client_shot "$win" 640 480 "$E2E_TMP/shown.png"
convert "$(printf "$capture" 0)" -crop 640x440+0+0 +repage "$E2E_TMP/captured-top.png"
convert "$E2E_TMP/shown.png" -crop 640x440+0+0 +repage "$E2E_TMP/shown-top.png"
differing=$(compare -metric AE -fuzz 2% "$E2E_TMP/captured-top.png" "$E2E_TMP/shown-top.png" null: 2>&1 || true)
[ "$differing" -le 20 ] 2>/dev/null ||
  e2e_fail "capture 0 differs from the paused frame on the screen in $differing pixels (see $E2E_TMP/shown.png)"

# F1 takes effect in the pause too; once it shows, a frame has seen the C released, so the
# next C is a fresh press.
e2e_hold F1 "the FPS line at divisor 2" screen_shows "$ref/fps_divisor2.png" "${fps[@]}"
# Capture 1 is the frame that ended the pause, at divisor 2: no PAUSE in it.
e2e_hold alt+c "capture 1 and the end of the pause" captured_and 1 not paused
! e2e_text_in "$(printf "$capture" 1)" "$ref/pause.png" $pause ||
  e2e_fail "capture 1 shows PAUSE: it is not the frame drawn after the command"
e2e_expect_text "$(printf "$capture" 1)" "${fps[0]}" "$ref/fps_divisor2.png" "${fps[1]}"

e2e_hold Escape "the game to end on Escape" e2e_game_ended
e2e_expect_exit 0
[ "$(cat "$E2E_TMP/Config.dat")" = "1 2 1 0" ] || e2e_fail "Config.dat holds '$(cat "$E2E_TMP/Config.dat")'"
echo "ProgramRun passed"
