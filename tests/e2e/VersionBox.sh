#!/usr/bin/env bash
# Alt+'/' and Alt+'?' open the version box like its menu item; OK closes it and the game goes
# on to quit normally.
source "$(dirname "$0")/lib/common.bash"
e2e_setup
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")
e2e_focus "$win"

e2e_press alt+slash
e2e_wait_shown "バージョン情報"
e2e_press Return
e2e_wait_gone "バージョン情報"

e2e_focus "$win"
e2e_press alt+shift+slash
e2e_wait_shown "バージョン情報"
e2e_press Return
e2e_wait_gone "バージョン情報"

e2e_focus "$win"
e2e_hold Escape "the game to end on Escape" e2e_game_ended
e2e_expect_exit 0
[ -s "$E2E_TMP/Config.dat" ] || e2e_fail "no settings written at exit"
echo "VersionBox passed"
