# The screen as the sign shows it, with the default SysCfg.ini (256 x 128):
# board 0's red outline, the palette shapes as red dots, and the white
# coordinate readout beside the mouse.
source "$(dirname "$0")/lib.sh"

red="#ff0000"
black="#000000"
install_editor
start_editor
shot "$work/start.png"

# Board 0: corners (276,226) (788,226) (788,482) (276,482), solid.
expect_near_all "$work/start.png" "$red" "276 226" "788 226" "788 482" "276 482" "532 226" "532 482" "276 354" "788 354"
expect_pixel "$work/start.png" 532 354 "$black"
solid=$(count_colour "$work/start.png" 400 225 200 3 "$red")
[ "$solid" -ge 195 ] || fail "unselected top edge not solid ($solid of 200)"

# Palette circle: centre (230,376), radius 20 pixels.
expect_near_all "$work/start.png" "$red" "250 376" "210 376" "230 356" "230 396"
expect_pixel "$work/start.png" 230 376 "$black"

# Palette rectangle from (170,440) to (250,480), clear of board 0.
expect_near_all "$work/start.png" "$red" "170 440" "250 440" "250 480" "170 480" "210 440" "210 480" "170 460" "250 460"
expect_pixel "$work/start.png" 210 460 "$black"

# Vertical line from (350,40) to (350,80).
for y in 40 50 60 70 80; do expect_near "$work/start.png" 350 $y "$red"; done
expect_pixel "$work/start.png" 350 86 "$black"
expect_pixel "$work/start.png" 353 60 "$black"

# No readout yet; with the mouse at (400,300) white text appears just above
# and to the right of it ("[63 , 68]").
[ "$(count_white "$work/start.png" 395 260 100 45)" -eq 0 ] || fail "readout before any move"
xdotool mousemove $((win_x + 400)) $((win_y + 300))
settle
shot "$work/readout.png"
white=$(count_white "$work/readout.png" 400 270 90 30)
[ "$white" -gt 20 ] || fail "no readout beside the mouse ($white white pixels)"
[ "$(count_white "$work/readout.png" 300 300 90 40)" -eq 0 ] || fail "readout below the mouse"

# The readout follows the mouse in the next frame.
xdotool mousemove $((win_x + 700)) $((win_y + 600))
settle
shot "$work/moved.png"
[ "$(count_white "$work/moved.png" 400 270 90 30)" -eq 0 ] || fail "old readout left behind"
white=$(count_white "$work/moved.png" 700 570 90 30)
[ "$white" -gt 20 ] || fail "no readout at the new place ($white white pixels)"
# A click inside board 0 selects it: its outline turns dashed (2 on, 2
# off) and its green label "单元板#(0,0)" shows just above the top edge.
click_at 600 300
rest_pointer
shot "$work/selected.png"
lit=$(count_colour "$work/selected.png" 400 225 200 3 "$red")
# Solid, the edge lights 200 pixels of these 3 rows; dashed, half of them.
[ "$lit" -ge 70 ] && [ "$lit" -le 130 ] || fail "top edge not dashed ($lit red pixels; solid is 200)"
label=$(count_where "$work/selected.png" 276 206 130 19 'g>0.5 && r<0.3 && b<0.3')
[ "$label" -gt 30 ] || fail "no green board label ($label pixels)"
echo "PASS"
