#!/usr/bin/env bash
# The version box opened from the help menu and closed by a click on OK gives the keyboard back
# to the game: a held F2 then shows the FPS line; on the bare X server and under a window
# manager.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/desktops.bash"
ref="$(dirname "$0")/ref"
e2e_setup

keys_back() {
  local win box
  e2e_start_game
  win=$(e2e_wait_window "THE Quorvane")
  e2e_focus "$win"
  e2e_wait_running "$win" 640 480

  # ヘルプ, then its first item; the box's OK button is at (162, 142) in its client area, 60 x 22.
  desk_click "$win" $DESK_HELP_X $DESK_BAR_Y
  e2e_wait_until "$E2E_LIMIT" "the help drop-down" desk_shown menu
  desk_click "$win" $((DESK_HELP_X + 10)) 32
  box=$(desk_wait_shown "バージョン情報")
  desk_click "$box" 192 153
  desk_wait_gone "バージョン情報"

  # No help from the test: the game must have the keys by itself.
  fps_line() {
    e2e_client_shot "$win" 640 480 "$E2E_TMP/screen.png" &&
      e2e_text_in "$E2E_TMP/screen.png" "$ref/fps_divisor1.png" 40x24+150+450 40x24+135+450
  }
  e2e_hold F2 "the FPS line after the version box ($1; focus on $(xdotool getwindowfocus 2>&1))" fps_line
  e2e_hold Escape "the game to end on Escape ($1)" e2e_game_ended
  e2e_expect_exit 0
}
desk_each keys_back
echo "VersionBoxFocus passed"
