#!/usr/bin/env bash
# "15FPS" chosen from the settings menu with the keyboard, then Escape: the settings file
# holds 2 as its first number; the check marks follow the setting when the menu opens again.
source "$(dirname "$0")/lib/common.bash"
e2e_setup
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")
e2e_focus "$win"
# The menu commands are carried out by the main object's hook: it exists once frames run.
e2e_wait_running "$win" 640 480

e2e_press alt+s     # 設定(S)
e2e_press Down      # 画面モード -> FPS
e2e_press Right     # open FPS: 15FPS is its first item
e2e_press Return

e2e_hold Escape "the game to end on Escape" e2e_game_ended
e2e_expect_exit 0
first=$(cut -d' ' -f1 "$E2E_TMP/Config.dat")
[ "$first" = 2 ] || e2e_fail "Config.dat holds '$(cat "$E2E_TMP/Config.dat")' after 15FPS"
echo "MenuFps passed"
