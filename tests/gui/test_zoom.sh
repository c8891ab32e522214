# Zooming in with Ctrl+Q scales the screen about board 0's corner; the
# palette left of and above the screen keeps its place and size; Ctrl+A
# zooms back.
source "$(dirname "$0")/lib.sh"

red="#ff0000"
install_editor
start_editor
xdotool mousemove $((win_x + 1100)) $((win_y + 700))
xdotool key ctrl+q
settle
shot "$work/zoomed.png"
# Pitch 3: the outline's far corner moves to (1044, 610).
expect_near_all "$work/zoomed.png" "$red" "1044 226" "1044 610" "276 610" "660 226"
[ "$(count_colour "$work/zoomed.png" 786 479 5 5 "$red")" -eq 0 ] || fail "the old corner is still lit"
# The palette circle and the vertical line stay where they were.
expect_near_all "$work/zoomed.png" "$red" "250 376" "210 376" "350 40" "350 80"
expect_pixel "$work/zoomed.png" 230 376 "#000000"

xdotool key ctrl+a
settle
shot "$work/back.png"
expect_near "$work/back.png" 788 482 "$red"
[ "$(count_colour "$work/back.png" 1040 606 9 9 "$red")" -eq 0 ] || fail "the zoomed corner is still lit"
echo "PASS"
