# The game's scenes told apart loosely on the screen, and what OpenAL mixes written to a file,
# for the whole-game tests. Sourced after common.bash.

# Colour classes of pixels (ImageMagick -fx, channels 0..1).
SCENE_CYAN='g>0.5&&b>0.5&&r<0.4'               # the logo's rings
SCENE_GREEN='g>r+0.1&&g>b+0.1'                 # the opening's meadow
SCENE_SKY='b>r+0.2&&b>0.6'                     # blue sky (clouds are white)
SCENE_RED='r>0.6&&g<0.3&&b<0.3'                # the title's red light
SCENE_GREY='abs(r-g)<0.06&&abs(g-b)<0.06&&r>0.15&&r<0.7' # the stage's streets and roofs

# The share of the pixels of a picture's top half, bottom half or whole that are of a colour
# class: scene_share PICTURE top|bottom|all CLASS. It looks at every fourth pixel of every fourth
# row (of any size of picture), which keeps each look short on a busy machine: a look must be
# quicker than the scene it looks for.
scene_share() {
  local region=160x120+0+0
  case $2 in top) region=160x60+0+0 ;; bottom) region=160x60+0+60 ;; esac
  convert "$1" -sample '160x120!' -crop "$region" +repage -fx "$3?1:0" -format '%[fx:mean]' info:
}
scene_more() { e2e_above "$(scene_share "$1" "$2" "$3")" "$4"; }
scene_less() { e2e_above "$4" "$(scene_share "$1" "$2" "$3")"; }

# One test per scene and view, each given a picture of the client area.
scene_logo() { scene_more "$1" all "$SCENE_CYAN" 0.03; }
scene_opening() { scene_more "$1" bottom "$SCENE_GREEN" 0.4 && scene_more "$1" top "$SCENE_SKY" 0.1; }
scene_title() { scene_more "$1" all "$SCENE_RED" 0.2; }
scene_stage() {
  scene_more "$1" top "$SCENE_SKY" 0.15 && scene_less "$1" all "$SCENE_GREEN" 0.1 && scene_less "$1" all "$SCENE_RED" 0.05
}
# F8: from high above the picture is streets and roofs, without sky.
scene_top_view() { scene_less "$1" top "$SCENE_SKY" 0.03 && scene_more "$1" all "$SCENE_GREY" 0.4; }
# While Rina walks the camera draws back and up: the street fills the lower half, the sky
# leaves the upper one.
scene_walking() { scene_less "$1" top "$SCENE_SKY" 0.08 && scene_more "$1" bottom "$SCENE_GREY" 0.6; }

# Waits until the client area (W x H) of a window shows a scene, and keeps that picture as
# NAME.png in the test folder: scene_wait WINDOW W H NAME DESCRIPTION TEST. Only for a scene
# that stays until the player acts (the title, the stage): one that ends by itself is caught
# with scene_step.
scene_seen() { e2e_client_shot "$1" "$2" "$3" "$4" && "$5" "$4"; }
scene_wait() {
  e2e_wait_until "$E2E_LIMIT" "$5" scene_seen "$1" "$2" "$3" "$E2E_TMP/$4.png" "$6"
}

# The game runs frames only while its window is active. A scene that ends by itself (the logo,
# the opening) is caught by letting the game run in short bursts and looking while it stands
# still between them. The game never runs more than 60 frames a second, so a burst of
# SCENE_BURST seconds holds at most 60 frames, far fewer than the 520 of the logo or the 800 of
# the opening, and fewer still on a slow machine; however long a look takes, no frame runs
# meanwhile. The game is left standing still, its window inactive:
# scene_step WINDOW W H NAME DESCRIPTION TEST.
SCENE_BURST=${SCENE_BURST:-1}
scene_root=""
scene_unfocused() { [ "$(xdotool getwindowfocus 2>/dev/null)" != "$1" ]; }
scene_stop() {
  [ -n "$scene_root" ] || scene_root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
  xdotool windowfocus "$scene_root" 2>/dev/null || true
  e2e_wait_until "$E2E_LIMIT" "the keyboard focus to leave window $1" scene_unfocused "$1"
}
scene_burst() {
  xdotool windowfocus "$1" 2>/dev/null || true
  sleep "$SCENE_BURST"
  scene_stop "$1"
}
scene_step() {
  local end=$((SECONDS + E2E_LIMIT))
  scene_stop "$1"
  until scene_seen "$1" "$2" "$3" "$E2E_TMP/$4.png" "$6"; do
    e2e_game_ended && e2e_fail "the game ended while waiting for $5: $(tail -n 5 "$E2E_TMP/game.err")"
    [ $SECONDS -lt $end ] || e2e_fail "$5: not within $E2E_LIMIT s"
    scene_burst "$1"
  done
}
# The same while a key is held: scene_hold KEYS WINDOW W H NAME DESCRIPTION TEST.
scene_hold() {
  e2e_hold "$1" "$6" scene_seen "$2" "$3" "$4" "$E2E_TMP/$5.png" "$7"
}

# OpenAL Soft of the game started next writes what it mixes to sound.wav in the test folder,
# in real time, as 16-bit stereo without dither, so that silence is all zeros.
scene_record_sound() {
  cat >"$E2E_TMP/alsoft.conf" <<EOF
[general]
drivers = wave
frequency = 22050
channels = stereo
sample-type = int16
dither = false
[wave]
file = $E2E_TMP/sound.wav
EOF
  export ALSOFT_CONF="$E2E_TMP/alsoft.conf" ALSOFT_DRIVERS=wave
}

# The sample data of sound.wav as "<bytes> <bytes that are not zero>"; the data chunk of a
# file still being written runs to its end.
scene_sound() {
  [ -f "$E2E_TMP/sound.wav" ] || e2e_fail "no sound was mixed into $E2E_TMP/sound.wav"
  perl -e '
    local $/; my $d = <STDIN>; my $at = 12;
    while ($at + 8 <= length $d) {
      my ($id, $size) = unpack "a4 V", substr($d, $at, 8);
      if ($id eq "data") {
        my $samples = substr($d, $at + 8, $size);
        my $loud = () = $samples =~ /[^\0]/g;
        print length($samples), " $loud\n";
        exit 0;
      }
      $at += 8 + $size + ($size & 1);
    }
    print "0 0\n";' <"$E2E_TMP/sound.wav"
}
