# What the window shows at its smallest and with a grid of boards:
#  - at 400 x 300 a failure on the status line starts near the left edge
#    (it is seen), and the F1 help fits whole: its frame's bottom edge lies
#    inside the window;
#  - with two columns of boards, board (0, 1) has an outline too, dimmer
#    than board (0, 0)'s red.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor

xdotool windowsize "$window_id" 400 300
settle
xdotool mousemove $((win_x + 390)) $((win_y + 290))
settle
xdotool key --window "$window_id" ctrl+z   # "undo: nothing to undo" on the status line
settle
shot "$work/small.png"
status=$(count_where "$work/small.png" 0 20 200 24 'r>0.8 && g>0.8 && b<0.3')
[ "$status" -gt 20 ] || fail "no status line within the 400 x 300 window ($status yellow pixels at its left)"

xdotool key --window "$window_id" F1
settle
shot "$work/help.png"
# The frame's bottom edge: a yellow row of at least 200 pixels below the
# window's middle.
bottom=0
for ((y = 150; y < 300; y++)); do
  n=$(count_where "$work/help.png" 0 "$y" 400 1 'r>0.8 && g>0.8 && b<0.3')
  if [ "$n" -ge 200 ]; then bottom=$y; fi
done
[ "$bottom" -gt 0 ] || fail "the help's frame does not end inside the 400 x 300 window"
echo "help: frame bottom at y $bottom of 300"
xdotool key --window "$window_id" Escape
settle

# Back to the start-up size, two columns of boards.
xdotool windowsize "$window_id" 1216 840
settle
click_at 700 80   # columns +
xdotool mousemove $((win_x + 600)) $((win_y + 760))
settle
shot "$work/grid.png"
dim='r>0.2 && r<0.55 && g<0.1 && b<0.1'
bright='r>0.9 && g<0.1 && b<0.1'
# Board (0, 1)'s top edge, from x 800 to 1100, at y 225..227.
dim_edge=$(count_where "$work/grid.png" 800 224 300 4 "$dim")
[ "$dim_edge" -gt 150 ] || fail "board (0, 1) has no dim outline ($dim_edge pixels)"
[ "$(count_where "$work/grid.png" 800 224 300 4 "$bright")" -lt 10 ] || fail "board (0, 1)'s outline is as bright as board (0, 0)'s"
[ "$(count_where "$work/grid.png" 300 224 300 4 "$bright")" -gt 150 ] || fail "board (0, 0) lost its red outline"
echo "PASS"
