#!/usr/bin/env bash
# A capture that cannot be written shows two boxes in turn, "Error" and the question "注意";
# while the second is up the game window shows the frame it presented last everywhere but under
# that box: nothing of the first box remains; on the bare X server and under a window manager.
source "$(dirname "$0")/lib/common.bash"
source "$(dirname "$0")/lib/desktops.bash"
e2e_setup

two_boxes() {
  local win box question x y w h cx cy left right top bottom geometry shown="$E2E_TMP/shown-$1.png" screen="$E2E_TMP/screen-$1.png"
  # A file where the capture folder should be: the capture fails.
  rm -rf "$E2E_TMP/ScreenCapture"
  echo "not a folder" >"$E2E_TMP/ScreenCapture"
  desk_start_paused "$shown"
  win=$DESK_WIN

  desk_click "$win" $DESK_CAPTURE_X $DESK_BAR_Y
  box=$(desk_wait_shown Error)
  read -r x y w h < <(desk_geometry "$box")
  desk_click "$box" $((w / 2)) $((h - 24)) # OK
  desk_wait_gone Error
  question=$(desk_wait_shown "注意")

  # The game's client area on the screen, and the question box in it with the frame that a
  # window manager draws around it. The first box was a little wider: its edges are the test.
  read -r cx cy _ _ < <(desk_geometry "$win")
  cy=$((cy + 20))
  read -r x y w h < <(desk_geometry "$question")
  read -r left right top bottom < <(desk_frame "$question")
  geometry="$((x - cx - left)) $((y - cy - top)) $((w + left + right)) $((h + top + bottom))"
  no_remains() {
    import -window root -crop "640x480+$cx+$cy" +repage "$screen" &&
      [ "$(desk_differ "$shown" "$screen" "$geometry")" -le 16 ]
  }
  e2e_wait_until "$E2E_LIMIT" "the frame shown again where the first box was ($1; see $screen)" no_remains

  read -r x y w h < <(desk_geometry "$question")
  desk_click "$question" $((w / 2 + 40)) $((h - 24)) # いいえ(N)
  desk_wait_gone "注意"
  e2e_hold Escape "the game to end on Escape ($1)" e2e_game_ended
  e2e_expect_exit 0
}
desk_each two_boxes
echo "MessageBoxRemains passed"
