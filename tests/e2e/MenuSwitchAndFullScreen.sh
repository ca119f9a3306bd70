#!/usr/bin/env bash
# The menus as on Windows, on the bare X server and under a window manager: a click on ヘルプ
# while 設定 is open shows ヘルプ's drop-down; in full screen a drop-down is as tall, relative to
# the screen, as the menu bar is (both scale with the picture), and lies below its item of the
# scaled bar; the version box scales alike.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/desktops.bash"
e2e_setup

# "X Y W H" of the drop-down shown now.
drop_down() {
  local id
  id=$(desk_find menu) && desk_geometry "$id"
}
# Whether the drop-down shown is the one of the bar item whose left edge is near X (in the
# game window): drop_down_at X.
drop_down_at() {
  local x y w h
  read -r x y w h <<<"$(drop_down)"
  [ -n "$x" ] && [ "$x" -ge $((win_x + $1 - 40)) ] && [ "$x" -le $((win_x + $1)) ]
}
# Whether the menu bar shows over the full-screen picture (its face colour in the top corner).
bar_shown() {
  e2e_grab "$win" "$E2E_TMP/bar.png" 2>/dev/null &&
    [ "$(convert "$E2E_TMP/bar.png" -format '%[pixel:p{2,2}]' info:)" = "srgb(212,208,200)" ]
}
# Whether a length on the screen is the length in the mode, scaled (rounded down), give or take
# a pixel: scaled_as SCREEN_LENGTH MODE_LENGTH.
scaled_as() { [ $(($1 - $2 * view_h / 480)) -ge -1 ] && [ $(($1 - $2 * view_h / 480)) -le 1 ]; }

menus() {
  local x y w h sx sy sw sh screen_w screen_h
  desk_start_paused "$E2E_TMP/shown-$1.png"
  win=$DESK_WIN
  read -r win_x win_y w h <<<"$(desk_geometry "$win")"

  # In a window: 設定 opens by a click; a click on ヘルプ then shows ヘルプ's drop-down.
  desk_click "$win" $DESK_SETTINGS_X $DESK_BAR_Y
  e2e_wait_until "$E2E_LIMIT" "the settings drop-down ($1)" desk_shown menu
  read -r sx sy sw sh <<<"$(drop_down)"
  desk_click "$win" $DESK_HELP_X $DESK_BAR_Y
  e2e_wait_until "$E2E_LIMIT" "the help drop-down after a click on ヘルプ while 設定 was open ($1; shown: $(drop_down))" \
    drop_down_at $DESK_HELP_X
  desk_click "$win" 600 420
  e2e_wait_until "$E2E_LIMIT" "the drop-down to close ($1)" desk_gone menu

  # Full screen: the 640x480 picture fills the screen as far as its shape allows.
  e2e_press alt+Return
  read -r screen_w screen_h <<<"$(xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')"
  view_h=$((screen_w * 3 / 4 < screen_h ? screen_w * 3 / 4 : screen_h))
  covers() { [ "$(desk_geometry "$win")" = "0 0 $screen_w $screen_h" ]; }
  e2e_wait_until "$E2E_LIMIT" "the window to cover the screen ($1)" covers
  local view_x=$(((screen_w - view_h * 4 / 3) / 2)) view_y=$(((screen_h - view_h) / 2))
  # The pointer at the top brings the bar back; then 設定 opens below its scaled item.
  xdotool mousemove --window "$win" $((view_x + DESK_SETTINGS_X * view_h / 480)) $((view_y + DESK_BAR_Y * view_h / 480))
  e2e_wait_until "$E2E_LIMIT" "the menu bar over the full-screen picture ($1)" bar_shown
  xdotool click 1
  e2e_wait_until "$E2E_LIMIT" "the settings drop-down in full screen ($1)" desk_shown menu
  read -r x y w h <<<"$(drop_down)"
  scaled_as "$h" "$sh" || e2e_fail "in full screen the drop-down is $h high, not ${sh} x $view_h / 480 ($1)"
  scaled_as "$w" "$sw" || e2e_fail "in full screen the drop-down is $w wide, not ${sw} x $view_h / 480 ($1)"
  scaled_as $((y - view_y)) 20 || e2e_fail "the drop-down starts at $y, not below the scaled bar ($1)"
  scaled_as $((x - view_x)) $((sx - win_x)) || e2e_fail "the drop-down starts at x $x, not below its scaled item ($1)"
  xdotool mousemove --window "$win" $((screen_w - 8)) $((screen_h - 8)) click 1
  e2e_wait_until "$E2E_LIMIT" "the drop-down to close in full screen ($1)" desk_gone menu

  # The version box scales alike.
  e2e_press alt+slash
  read -r x y w h <<<"$(desk_geometry "$(desk_wait_shown "バージョン情報")")"
  scaled_as "$w" 384 && scaled_as "$h" 176 || e2e_fail "in full screen the version box is ${w}x$h ($1)"
  e2e_press Return
  desk_wait_gone "バージョン情報"

  # Back in a window (the settings file keeps the mode for the next run).
  e2e_press alt+Return
  windowed() { [ "$(desk_geometry "$win" | cut -d' ' -f3)" = 640 ]; }
  e2e_wait_until "$E2E_LIMIT" "the window back from full screen ($1)" windowed
  e2e_hold Escape "the game to end on Escape ($1)" e2e_game_ended
  e2e_expect_exit 0
}
desk_each menus
echo "MenuSwitchAndFullScreen passed"
