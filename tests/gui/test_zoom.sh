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
for xy in "1044 226" "1044 610" "276 610" "660 226"; do
  expect_near "$work/zoomed.png" $xy "$red"
done
[ "$(count_colour "$work/zoomed.png" 786 479 5 5 "$red")" -eq 0 ] || fail "the old corner is still lit"
# The palette circle and the vertical line stay where they were.
for xy in "250 376" "210 376" "350 40" "350 80"; do
  expect_near "$work/zoomed.png" $xy "$red"
done
expect_pixel "$work/zoomed.png" 230 376 "#000000"

xdotool key ctrl+a
settle
shot "$work/back.png"
expect_near "$work/back.png" 788 482 "$red"
[ "$(count_colour "$work/back.png" 1040 606 9 9 "$red")" -eq 0 ] || fail "the zoomed corner is still lit"
echo "PASS"
