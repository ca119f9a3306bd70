#!/usr/bin/env bash
# The whole game as a player meets it, from a copy of the run folder with no settings file:
# the logo, the opening, the title left by holding Z, and the stage, each told on the screen by
# its colours (and the title by its text); a walk with an arrow key, the view from above (F8)
# and back, and a held Escape that writes the default settings. The sound is heard: what
# OpenAL mixes reaches a file, and it is not all silence.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/scenes.bash"
ref="$(dirname "$0")/ref"
e2e_setup
e2e_copy_run_folder
scene_record_sound
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")

scene_step "$win" 640 480 logo "the logo's cyan rings" scene_logo
# The client area of 640x480 under the 20 pixels of the menu bar.
read -r width height < <(e2e_window_size "$win")
[ "${width}x$height" = 640x500 ] || e2e_fail "the window is ${width}x$height"
scene_step "$win" 640 480 opening "the opening's meadow under a blue sky" scene_opening
e2e_focus "$win"
title_shown() { scene_title "$1" && e2e_text_in "$1" "$ref/title_hold_z.png" 352x26+144+395; }
scene_wait "$win" 640 480 title "the title with HOLD Z KEY TO START" title_shown
scene_hold z "$win" 640 480 stage "the stage after Z on the title" scene_stage

scene_hold F8 "$win" 640 480 top_view "the view from above after F8" scene_top_view
e2e_wait_frames "$win" 640 480
scene_hold F8 "$win" 640 480 back "the view behind Rina after F8 again" scene_stage
scene_hold Up "$win" 640 480 walking "the camera drawing back while Rina walks" scene_walking
scene_wait "$win" 640 480 stopped "the camera closing in again once she stops" scene_stage

e2e_hold Escape "the game to end on Escape" e2e_game_ended
e2e_expect_exit 0
[ "$(cat "$E2E_TMP/Config.dat")" = "0 2 1 0" ] || e2e_fail "Config.dat holds '$(cat "$E2E_TMP/Config.dat")'"
read -r bytes loud < <(scene_sound)
[ "$loud" -gt 0 ] || e2e_fail "all $bytes bytes of the mixed sound are silence"
echo "WholeGame passed ($loud of $bytes bytes of sound not silent)"
