# Keys and the mouse as a new user meets them:
#  - Delete removes a measured rectangle drawn on the sign (the press takes
#    the rectangle, not the board under it), and Ctrl+Z brings it back;
#  - the keypad's Delete removes as Delete does;
#  - with the help open, a drag over it moves nothing: the press closes it;
#  - Ctrl shortcuts follow the physical key under a Russian layout
#    (Ctrl+в is Ctrl+D, Ctrl+я is Ctrl+Z), pressed with the Cyrillic keysyms.
# Each step is checked on the screen or in the saved scene before the next.
source "$(dirname "$0")/lib.sh"


white="#ffffff"
install_editor
cli="$work/bin/vantiro-cli"
start_editor

# The scene as saved by × (the editor ends), read with vantiro-cli.
saved_scene() {
  close_editor
  "$cli" dump "$work/bin" >"$work/dump.json" 2>/dev/null || fail "the saved scene does not load"
}
# Count of records of the dumped scene for which the Python expression $1
# (over the digit d) holds.
count_digits() {
  /usr/bin/python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print(sum(1 for d in d['digits'] if $1))" \
    "$work/dump.json"
}
outline_pixels() {   # white pixels of the rectangle's top edge in screenshot $1 (dashed when selected)
  count_white "$1" 310 298 80 4
}
# The pointer off the sign (its coordinate readout is white too), then a
# screenshot into $1.
shot_away() {
  rest_pointer
  shot "$1"
}

# A measured rectangle on the sign, drawing mode off again.
click_at 380 80
click_at 300 300
xdotool mousemove $((win_x + 400)) $((win_y + 350))
settle
click_at 400 350
click_at 380 80
shot_away "$work/drawn.png"
[ "$(outline_pixels "$work/drawn.png")" -gt 25 ] || fail "the measured rectangle was not drawn"

# A press inside it takes it; Delete removes it; Ctrl+Z brings it back.
click_at 350 325
xdotool key --window "$window_id" Delete
settle
shot_away "$work/deleted.png"
[ "$(outline_pixels "$work/deleted.png")" -lt 5 ] || fail "Delete left the measured rectangle on the sign"
xdotool key --window "$window_id" ctrl+z
settle
shot_away "$work/undone.png"
[ "$(outline_pixels "$work/undone.png")" -gt 25 ] || fail "Ctrl+Z did not bring the measured rectangle back"

# The keypad's Delete (Num Lock off) does the same.
click_at 350 325
xdotool key --window "$window_id" KP_Delete
settle
shot_away "$work/kp.png"
[ "$(outline_pixels "$work/kp.png")" -lt 5 ] || fail "the keypad's Delete did nothing"

# The help open: a drag from the palette's first digit onto the sign
# closes the help and moves nothing.
xdotool key --window "$window_id" F1
settle
drag 11 155 600 420

# Ctrl+D and Ctrl+Z with a Russian layout active, by their Cyrillic keysyms.
# (Caps Lock switches to the second layout, as many users set it up; the
# keys go through XTEST as a keyboard's would, to the window under the
# pointer.)
setxkbmap -layout us,ru -option grp:caps_toggle
trap 'setxkbmap -layout us -option 2>/dev/null; end_check' EXIT
xdotool mousemove $((win_x + 1100)) $((win_y + 700))
xdotool key Caps_Lock
xdotool key ctrl+Cyrillic_ve
settle
xdotool key ctrl+Cyrillic_ve
settle
xdotool key ctrl+Cyrillic_ya
settle
xdotool key Caps_Lock
setxkbmap -layout us -option

saved_scene
[ "$(count_digits "d['group'] == 0 and d['index'] == 0 and (d['x'], d['y']) == (8, 152)")" = 1 ] ||
  fail "the drag over the help moved the palette's digit"
[ "$(count_digits "d['kind'] == 5 and d['enabled'] and (d['x'], d['y']) == (276, 226) and (d['width'], d['height']) == (20, 10)")" = 1 ] ||
  fail "Ctrl+в twice and Ctrl+я once under the Russian layout did not leave one new rectangle"
echo "PASS"
