# A measured rectangle: white outline, green labels 50 and 25, dashed green
# dimension lines; undo removes it.
source "$(dirname "$0")/lib.sh"

white="#ffffff"
install_editor
start_editor

click_at 380 80          # draw rectangle
click_at 300 300
xdotool mousemove $((win_x + 400)) $((win_y + 350))
settle
click_at 400 350
rest_pointer
shot "$work/rect.png"
expect_near_all "$work/rect.png" "$white" "350 300" "300 325" "400 325" "350 350" "300 300" "400 350"
expect_pixel "$work/rect.png" 350 325 "#000000"
# Labels: "50" left of x + width - 8 = 342 above the top edge; "25" at
# x - 20 below y + height + 4. Dimension lines: green dashes at y 290 and x 290.
green='g>0.5 && r<0.3 && b<0.3'
width_label=$(count_where "$work/rect.png" 338 278 30 18 "$green")
height_label=$(count_where "$work/rect.png" 276 312 22 26 "$green")
[ "$width_label" -gt 5 ] || fail "no width label ($width_label green pixels)"
[ "$height_label" -gt 5 ] || fail "no height label ($height_label green pixels)"
dashes=$(count_colour "$work/rect.png" 300 290 30 1 "#00ff00")
[ "$dashes" -ge 8 ] && [ "$dashes" -le 22 ] || fail "width dimension line not dashed ($dashes of 30)"

click_at 380 120         # undo
rest_pointer
shot "$work/undone.png"
[ "$(count_colour "$work/undone.png" 300 299 101 3 "$white")" -eq 0 ] || fail "rectangle left after undo"
[ "$(count_where "$work/undone.png" 338 278 30 18 "$green")" -eq 0 ] || fail "label left after undo"
echo "PASS"
