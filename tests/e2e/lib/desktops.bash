# Whole-program tests that run once on the bare X server and once more under a small window
# manager (openbox, when it is installed), and what they need to find and click the layer's
# windows there. Sourced after common.bash.

DESK_WM_PID=""

# Where the menu bar's items are, in the game window (the strip is its top 20 pixels).
DESK_BAR_Y=10
DESK_SETTINGS_X=105 # 設定(&S)
DESK_CAPTURE_X=195  # 画面キャプチャ(&C)
DESK_HELP_X=290     # ヘルプ(&H)

desk_cleanup() {
  [ -n "$DESK_WM_PID" ] && kill "$DESK_WM_PID" 2>/dev/null || true
  e2e_cleanup
}

desk_wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# A busy server now and then turns a new connection away, which ends openbox at once: it is
# started again until it manages the display.
desk_wm_started() {
  desk_wm_running && return 0
  if [ -z "$DESK_WM_PID" ] || ! kill -0 "$DESK_WM_PID" 2>/dev/null; then
    openbox --sm-disable >>"$E2E_TMP/openbox.log" 2>&1 &
    DESK_WM_PID=$!
  fi
  return 1
}
desk_start_wm() { e2e_wait_until "$E2E_LIMIT" "openbox to manage the display" desk_wm_started; }

# Runs FUNCTION with the desktop's name: "bare", then "openbox" under the window manager.
desk_each() {
  trap desk_cleanup EXIT
  echo "--- on the bare X server"
  "$1" bare
  if command -v openbox >/dev/null; then
    echo "--- under openbox"
    desk_start_wm
    "$1" openbox
  else
    echo "--- no openbox installed: the run under a window manager is left out"
  fi
}

# The id of a viewable window with exactly this title, anywhere in the tree (under a window
# manager the program's windows are children of its frames); fails when there is none.
desk_find() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\":" | awk '{ print $1 }'); do
    if xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'; then echo $((id)); return 0; fi
  done
  return 1
}
desk_shown() { desk_find "$1" >/dev/null; }
desk_gone() { ! desk_find "$1" >/dev/null; }
desk_wait_shown() {
  e2e_wait_until "$E2E_LIMIT" "a window titled '$1'" desk_shown "$1"
  desk_find "$1"
}
desk_wait_gone() { e2e_wait_until "$E2E_LIMIT" "the window titled '$1' to go" desk_gone "$1"; }

# "X Y W H" of a window on the screen.
desk_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }'
}

# "LEFT RIGHT TOP BOTTOM": the frame that a window manager draws around a window (0 0 0 0
# where none does).
desk_frame() {
  local extents
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ',')
  echo "${extents:-0 0 0 0}"
}

# One click of the left button at a point of a window.
desk_click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

# Waits until the client area (W x H) of a window shows the same picture twice running, and
# keeps it as FILE: desk_wait_still WINDOW W H FILE.
desk_still() {
  e2e_client_shot "$1" "$2" "$3" "$4.next.png" || return 1
  if [ -f "$4" ] && [ "$(compare -metric AE "$4" "$4.next.png" null: 2>&1)" = 0 ]; then return 0; fi
  mv "$4.next.png" "$4"
  return 1
}
desk_wait_still() {
  rm -f "$4"
  e2e_wait_until "$E2E_LIMIT" "a still picture in window $1" desk_still "$@"
}

# Starts the game and pauses it on the logo, where it stands still: the frame shown is kept as
# FILE, and the window is left in DESK_WIN: desk_start_paused FILE.
DESK_WIN=""
desk_paused() {
  e2e_client_shot "$DESK_WIN" 640 480 "$E2E_TMP/pause.png" &&
    e2e_text_in "$E2E_TMP/pause.png" "$(dirname "${BASH_SOURCE[0]}")/../ref/pause.png" 112x32+270+220
}
desk_start_paused() {
  e2e_start_game
  DESK_WIN=$(e2e_wait_window "THE Quorvane")
  e2e_focus "$DESK_WIN"
  e2e_wait_running "$DESK_WIN" 640 480
  e2e_hold c "the pause" desk_paused
  desk_wait_still "$DESK_WIN" 640 480 "$1"
}

# How many pixels of two pictures differ by more than a few per cent, outside the rectangles
# given as "X Y W H" (the windows over the picture): desk_differ A B [RECT...].
desk_differ() {
  local a=$1 b=$2 masks=() r x y w h
  for r in "${@:3}"; do
    read -r x y w h <<<"$r"
    masks+=(-draw "rectangle $x,$y $((x + w - 1)),$((y + h - 1))")
  done
  convert "$a" -fill black "${masks[@]}" "$E2E_TMP/differ-a.png"
  convert "$b" -fill black "${masks[@]}" "$E2E_TMP/differ-b.png"
  compare -metric AE -fuzz 4% "$E2E_TMP/differ-a.png" "$E2E_TMP/differ-b.png" null: 2>&1 || true
}
