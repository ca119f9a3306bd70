#!/usr/bin/env bash
# Without the font texture the start-up fails: the failure is shown in the "Error" box, the
# question follows, and every idle pass tries the whole start-up again.
source "$(dirname "$0")/lib/common.bash"
e2e_setup
# A data tree of links without the font.
rm "$E2E_TMP/data"
mkdir -p "$E2E_TMP/data"
for entry in "$E2E_RUN_DIR"/data/*; do ln -s "$entry" "$E2E_TMP/data/"; done
rm "$E2E_TMP/data/graphics"
mkdir "$E2E_TMP/data/graphics"
for entry in "$E2E_RUN_DIR"/data/graphics/*; do
  [ "$(basename "$entry")" = font.tga ] || ln -s "$entry" "$E2E_TMP/data/graphics/"
done
export QV_MESSAGEBOX=auto
e2e_start_game
win=$(e2e_wait_window "THE Quorvane")
e2e_focus "$win"

error='MessageBox [Error] Failed CD3DSafeTexture::CreateTexture D3DXCreateTextureFromFile[.\data\graphics\font.tga]'
question='MessageBox [注意] 今後エラーメッセージ(Game)の表示を抑制しますか？'
shown_twice() { [ "$(grep -cF "$error" "$E2E_TMP/game.err" || true)" -ge 2 ]; }
e2e_wait_until "$E2E_LIMIT" "the start-up failure shown twice" shown_twice
after=$(grep -A1 -F "$error" "$E2E_TMP/game.err" || true)
case "$after" in *"$question"*) ;; *) e2e_fail "no suppression question after the failure" ;; esac

echo "MissingFont passed"
