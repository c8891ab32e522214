# Dragging an empty place moves the frameless window; dragging its left
# edge resizes it, and the close entry follows the right edge.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor
read -r x y < <(window_position)
[ "$x $y" = "50 50" ] || fail "window starts at $x,$y"

drag 1000 600 1030 600
read -r x y < <(window_position)
[ "$x $y" = "80 50" ] || fail "after a 30 px drag the window is at $x,$y"
win_x=80

# The left edge, dragged 20 px further left.
drag 2 400 -18 400
read -r x y < <(window_position)
[ "$x $y" = "60 50" ] || fail "after the edge drag the window is at $x,$y"
win_x=60
geometry=$(xwininfo -id "$window_id")
echo "$geometry" | grep -q 'Width: 1220' || fail "width after the edge drag: $geometry"

xdotool mousemove 5 5
settle
shot "$work/resized.png"
# The close entry's box now starts at x 1196 (client width - 24), in grey,
# and ends inside the window.
expect_near "$work/resized.png" 1196 30 "#cccccc"
expect_near "$work/resized.png" 1216 30 "#cccccc"
expect_pixel "$work/resized.png" 1191 30 "#000000"
echo "PASS"
