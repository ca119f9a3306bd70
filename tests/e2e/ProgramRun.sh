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
for _ in $(seq 1 30); do
  import -window "$win" "$E2E_TMP/window.png"
  strip=$(convert "$E2E_TMP/window.png" -crop 600x12+4+4 -colorspace gray -format '%[fx:mean]' info:)
  awk -v m="$strip" 'BEGIN { exit !(m > 0.5) }' && break
  sleep 0.2
done
awk -v m="$strip" 'BEGIN { exit !(m > 0.5) }' || e2e_fail "no menu bar above the client area (mean $strip)"

e2e_press F2
sleep 1.5 # the frame-rate average settles over ten frames
e2e_press alt+c # capture 0; C is held too, so the game pauses
e2e_wait_file "$E2E_TMP/ScreenCapture/sc000000.bmp"
e2e_expect_text "$E2E_TMP/ScreenCapture/sc000000.bmp" 40x24+150+450 "$ref/fps_divisor1.png"

e2e_press alt+c # capture 1 shows the paused frame; the game goes on again
e2e_wait_file "$E2E_TMP/ScreenCapture/sc000001.bmp"
e2e_expect_text "$E2E_TMP/ScreenCapture/sc000001.bmp" 112x32+270+220 "$ref/pause.png"

e2e_press F1
sleep 1.5
e2e_press alt+c # capture 2 at divisor 2
e2e_wait_file "$E2E_TMP/ScreenCapture/sc000002.bmp"
e2e_expect_text "$E2E_TMP/ScreenCapture/sc000002.bmp" 40x24+150+450 "$ref/fps_divisor2.png"

e2e_press Escape
e2e_expect_exit 0
[ "$(cat "$E2E_TMP/Config.dat")" = "1 2 1 0" ] || e2e_fail "Config.dat holds '$(cat "$E2E_TMP/Config.dat")'"
echo "ProgramRun passed"
