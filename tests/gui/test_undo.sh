# Delete, undo and redo through the real window: a deleted element is gone
# from the saved scene and the script; ten mixed edits undone give back
# the start's pixels and scene files, redone the end's; typing undoes as
# one step; the help lies over the coordinate readout.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor

keys() {   # $1 key, $2 times
  local i
  for ((i = 0; i < $2; i++)); do xdotool key --window "$window_id" "$1"; done
  settle
}

# --- Three elements, one deleted, saved and started again.
drag 172 442 502 302        # the palette rectangle
drag 27 352 602 402         # the palette block
new_text
xdotool type --delay 30 ab
settle
click_at 540 320            # the rectangle (its inside; its border is at 500..580)
xdotool key Delete
rest_pointer
shot "$work/deleted.png"
[ "$(count_colour "$work/deleted.png" 496 296 90 50 "#ff0000")" -eq 0 ] || fail "the deleted rectangle is still drawn"
close_editor
mkdir -p "$work/out"
"$work/bin/vantiro-cli" export "$work/out" "$work/bin" >/dev/null || fail "export failed"
script=$(find "$work/out" -name cmd.txt | head -n 1)
[ -n "$script" ] || fail "no cmd.txt exported"
grep -q "led r" "$script" && fail "the script still has the deleted rectangle: $(cat "$script")"
grep -q "led p" "$script" || fail "the script lost the block"
grep -q "Txtab" "$script" || fail "the script lost the text"

start_editor
rest_pointer
shot "$work/restarted.png"
[ "$(count_colour "$work/restarted.png" 496 296 90 50 "#ff0000")" -eq 0 ] || fail "the deleted rectangle came back"
[ "$(count_colour "$work/restarted.png" 596 396 24 24 "#ff0000")" -gt 20 ] || fail "the block is gone after the restart"
[ "$(count_colour "$work/restarted.png" 276 226 60 34 "#ff0000")" -gt 50 ] || fail "the text is gone after the restart"
close_editor
mkdir -p "$work/files-before"
for f in digit.conf leduit.conf string.conf grape.conf scene.conf; do cp "$work/bin/$f" "$work/files-before/"; done

# --- Ten mixed edits, undone, redone, undone, saved. Each edit shows
# before the next: the picture differs from the one before it.
start_editor
rest_pointer
shot "$work/start.png"
last="$work/start.png"
edits=0
took_effect() {   # $1 the edit; the picture now against the one before it
  edits=$((edits + 1))
  rest_pointer
  shot "$work/edit$edits.png"
  [ "$(differing "$last" "$work/edit$edits.png")" != 0 ] || fail "edit $edits ($1) changed nothing on the screen"
  last="$work/edit$edits.png"
}
drag 290 236 700 300        # 1 move the text
took_effect "the text moved"
click_at 705 305
xdotool type --delay 30 xyz # 2 type into it
settle
took_effect "typing"
click_at 705 305
xdotool key ctrl+k          # 3 its colour
settle
took_effect "the text's colour"
click_at 606 406
xdotool key Delete          # 4 delete the block
settle
took_effect "the block deleted"
drag 172 442 402 402        # 5 the palette rectangle again
took_effect "a rectangle from the palette"
click_at 790 80             # 6 one more board row ("行数 +")
took_effect "a board row"
click_at 510 120            # 7 brightness ("亮度 -")
took_effect "the brightness"
click_at 195 80             # 8 a panel type ("12 数据正")
took_effect "the panel type"
click_at 365 80             # drawing mode on
click_at 900 560            # 9 a measured rectangle
xdotool mousemove $((win_x + 1000)) $((win_y + 640))
settle
click_at 1000 640
click_at 365 80             # drawing mode off
took_effect "a measured rectangle"
xdotool key ctrl+q          # 10 zoom in
took_effect "the zoom"
rest_pointer
shot "$work/end.png"
[ "$(differing "$work/start.png" "$work/end.png")" != 0 ] || fail "the ten edits did not change the picture"

keys ctrl+z 30
rest_pointer
shot "$work/undone.png"
same_scene "$work/start.png" "$work/undone.png" "every edit undone"
keys ctrl+y 30
rest_pointer
shot "$work/redone.png"
same_scene "$work/end.png" "$work/redone.png" "every edit redone"
keys ctrl+shift+z 5         # nothing left to redo: nothing changes
rest_pointer
shot "$work/redone2.png"
same_scene "$work/end.png" "$work/redone2.png" "redo past the end"
keys ctrl+z 30
close_editor
for f in digit.conf leduit.conf string.conf grape.conf scene.conf; do
  cmp -s "$work/bin/$f" "$work/files-before/$f" || fail "$f saved after every undo differs from before the edits"
done

# --- Typing undoes as one step (the first step of the session: undone, it
# also gives back the start's selection, none).
start_editor
rest_pointer
shot "$work/untyped.png"
click_at 280 232
xdotool type --delay 30 hello
rest_pointer
shot "$work/typed.png"
[ "$(differing "$work/untyped.png" "$work/typed.png")" != 0 ] || fail "typing showed nothing"
keys ctrl+z 1
rest_pointer
shot "$work/typing-undone.png"
same_scene "$work/untyped.png" "$work/typing-undone.png" "one Ctrl+Z after typing hello"

# --- The help over the readout: with the mouse inside the help's box, no
# pixel of the readout's white shows there.
click_at 280 232
xdotool mousemove $((win_x + 600)) $((win_y + 420))
settle
xdotool key F1
settle
shot "$work/help.png"
[ "$(count_colour "$work/help.png" 151 151 898 560 "#ffffff")" -eq 0 ] || {
  cp "$work/help.png" /tmp/
  fail "the readout shows through the help (help.png in /tmp)"
}
[ "$(count_where "$work/help.png" 160 160 880 540 'r>0.5 && g>0.5 && b>0.5')" -gt 1000 ] || fail "no help text"
echo "PASS"
