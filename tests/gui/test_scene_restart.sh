# Keys make and type into a text; the toolbar's close saves the scene; the
# next start shows exactly the same picture.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor

new_text                    # "Txt"
xdotool type --delay 50 ab
settle
drag 172 442 502 302        # the palette rectangle onto the screen
xdotool key ctrl+q
settle
xdotool key ctrl+a
settle
xdotool mousemove $((win_x + 1000)) $((win_y + 600))
settle
xdotool click 3             # right button: nothing selected
rest_pointer
shot "$work/before.png"
[ -n "${VANTIRO_KEEP_SHOTS:-}" ] && cp "$work/before.png" "$VANTIRO_KEEP_SHOTS/"
n=$(count_colour "$work/before.png" 276 226 90 34 "#ff0000")
[ "$n" -gt 100 ] || fail "no text at board 0's corner ($n red pixels)"

close_editor                # saves and ends
for f in digit.conf leduit.conf string.conf grape.conf scene.conf; do
  [ -s "$work/bin/$f" ] || fail "$f not written"
done

"$work/bin/vantiro-cli" dump "$work/bin" >"$work/dump.json" || fail "dump failed"
grep -q '"text":"Txtab"' "$work/dump.json" || fail "the dump has no Txtab"

start_editor
xdotool mousemove $((win_x + 1101)) $((win_y + 701))
settle
rest_pointer
shot "$work/after.png"
# Below the status line (the first session says there that nothing is sent live).
same_scene "$work/before.png" "$work/after.png" "after the restart"
echo "PASS"
