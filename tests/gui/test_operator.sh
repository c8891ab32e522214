# What an operator runs into: the block, the line and a digit module are
# dragged from the palette onto the board; at pitch 4 "行数 +" and "列数 +"
# each act on their own value; Chinese text is pasted from the clipboard;
# F1 shows the help and a key closes it; the left and top edges are dragged
# past the opposite ones and the editor lives on and saves the scene.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor

drag 25 350 400 300         # the block
drag 65 355 450 350         # the horizontal line
drag 12 156 500 400         # digit module 0

# Pitch 4: the two entries' boxes no longer overlap.
xdotool key ctrl+q ctrl+q
settle
click_at 790 80             # "行数 +"
click_at 700 80             # "列数 +"
xdotool key ctrl+a ctrl+a

# Paste into a new text.
set_clipboard '你好 world'
new_text
xdotool key ctrl+v
settle

# The help, and any key closing it.
xdotool mousemove $((win_x + 1100)) $((win_y + 700))
xdotool key F1
settle
shot "$work/help.png"
[ -n "${VANTIRO_KEEP_SHOTS:-}" ] && cp "$work/help.png" "$VANTIRO_KEEP_SHOTS/help.png"
# The panel is centred and scaled to fit: its top edge lies in rows 100-200.
n=$(count_colour "$work/help.png" 100 100 1000 100 "#ffff00")
[ "$n" -gt 800 ] || fail "no help panel after F1 ($n yellow pixels where its top edge lies)"
xdotool key space
settle
shot "$work/nohelp.png"
n=$(count_colour "$work/nohelp.png" 100 100 1000 100 "#ffff00")
[ "$n" -lt 100 ] || fail "the help stayed after a key"

# The left edge dragged far past the right one, then the top past the bottom:
# the editor lives on with the least client area, its far edges put.
edge_dragged() {   # $1 which edge, $2 the client area expected (drag has settled)
  kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended after the $1 edge was dragged: $(cat "$work/stderr")"
  read -r win_x win_y < <(window_position)
  local geometry
  geometry=$(xdotool getwindowgeometry "$window_id" | sed -n 's/.*Geometry: //p')
  [ "$geometry" = "$2" ] || fail "client area $geometry after the $1 edge, expected $2"
}
drag 2 400 1500 400
edge_dragged left 400x801
drag 200 2 200 1400
edge_dragged top 400x300

close_editor 385 30         # the close entry, inside the narrowed window

"$work/bin/vantiro-cli" dump "$work/bin" >"$work/dump.json" || fail "dump failed"
python3 - "$work/dump.json" <<'PY' || fail "the saved scene is not as made"
import json, sys
d = json.load(open(sys.argv[1]))
digits = {(g["group"], g["index"]): g for g in d["digits"]} if isinstance(d["digits"], list) and "group" in d["digits"][0] else None
def at(group, index):
    if digits is not None:
        return digits[(group, index)]
    return d["digits"][group * 100 + index]
for index in (31, 32, 0):
    e = at(0, index)
    assert 276 <= e["x"] < 276 + 512 and 226 <= e["y"] < 226 + 256, (index, e["x"], e["y"])
assert d["board_rows"] == 2 and d["board_columns"] == 2, (d["board_rows"], d["board_columns"])
texts = [t["text"] for t in d["texts"]]
assert "Txt你好 world" in texts, texts
PY
echo "PASS"
