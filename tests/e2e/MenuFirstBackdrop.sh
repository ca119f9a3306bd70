#!/usr/bin/env bash
# The first menu of a run, opened by a click during the paused logo, shows the frame that was on
# the screen behind its drop-down, not an older picture; on the bare X server and under a window
# manager.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/desktops.bash"
e2e_setup

first_menu() {
  local win shown="$E2E_TMP/shown-$1.png" behind="$E2E_TMP/behind-$1.png"
  # Paused, the logo stands still: the frame shown is the one the menu must keep.
  desk_start_paused "$shown"
  win=$DESK_WIN

  desk_click "$win" $DESK_SETTINGS_X $DESK_BAR_Y
  e2e_wait_until "$E2E_LIMIT" "the settings drop-down" desk_shown menu
  # Everything but the drop-down's corner (below the bar item, at most 220 x 80).
  backdrop_kept() {
    e2e_client_shot "$win" 640 480 "$behind" &&
      [ "$(desk_differ "$shown" "$behind" "0 0 220 80")" -le 16 ]
  }
  e2e_wait_until "$E2E_LIMIT" "the frame shown behind the first menu ($1; differing pixels: see $behind)" backdrop_kept
  # A click outside every menu closes it; the game goes on and ends on Escape.
  desk_click "$win" 600 420
  e2e_wait_until "$E2E_LIMIT" "the drop-down to close" desk_gone menu
  e2e_hold Escape "the game to end on Escape ($1)" e2e_game_ended
  e2e_expect_exit 0
}
desk_each first_menu
echo "MenuFirstBackdrop passed"
