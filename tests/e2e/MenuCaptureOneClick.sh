#!/usr/bin/env bash
# One click on "画面キャプチャ(&C)", a command of the menu bar itself, writes the capture and
# leaves the menu, so that frames run again; on the bare X server and under a window manager.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/desktops.bash"
e2e_setup

one_click() {
  rm -rf "$E2E_TMP/ScreenCapture"
  e2e_start_game
  local win
  win=$(e2e_wait_window "THE Quorvane")
  e2e_focus "$win"
  # The capture is taken by the main object's hook: it exists once frames run.
  e2e_wait_running "$win" 640 480
  desk_click "$win" $DESK_CAPTURE_X $DESK_BAR_Y
  e2e_wait_file "$E2E_TMP/ScreenCapture/sc000000.bmp"
  e2e_wait_frames "$win" 640 480
  [ ! -e "$E2E_TMP/ScreenCapture/sc000001.bmp" ] || e2e_fail "one click took two captures ($1)"
  e2e_hold Escape "the game to end on Escape ($1)" e2e_game_ended
  e2e_expect_exit 0
}
desk_each one_click
echo "MenuCaptureOneClick passed"
