# Dragging the palette rectangle onto the screen leaves the next group's
# copy in the palette.
source "$(dirname "$0")/lib.sh"

red="#ff0000"
install_editor
start_editor

drag 172 442 502 302
rest_pointer
shot "$work/dragged.png"
expect_near_all "$work/dragged.png" "$red" "500 300" "580 300" "580 340" "500 340" "540 300" "540 340"
expect_pixel "$work/dragged.png" 540 320 "#000000"
# The group-1 copy is still in the palette.
expect_near_all "$work/dragged.png" "$red" "170 440" "250 480" "210 440" "170 460"
echo "PASS"
