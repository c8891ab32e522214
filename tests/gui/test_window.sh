# The main window: frameless, titled vantiro, 1200 x 801 client area at
# (50, 50), cleared to black. (What it costs while idle is measured by
# bench/idle.sh, not here: a test does not assert on time.)
source "$(dirname "$0")/lib.sh"

install_editor
start_editor

geometry=$(xwininfo -id "$window_id")
echo "$geometry" | grep -q 'Width: 1200' || fail "width: $geometry"
echo "$geometry" | grep -q 'Height: 801' || fail "height: $geometry"
echo "$geometry" | grep -q 'Absolute upper-left X:  50' || fail "x: $geometry"
echo "$geometry" | grep -q 'Absolute upper-left Y:  50' || fail "y: $geometry"

hints=$(xprop -id "$window_id" _MOTIF_WM_HINTS)
# flags 0x2 (decorations given), decorations 0x0
echo "$hints" | grep -q '= 0x2, 0x0, 0x0' || fail "motif hints: $hints"

shot "$work/shot.png"
expect_pixel "$work/shot.png" 600 400 "#000000"
expect_pixel "$work/shot.png" 1 1 "#000000"
expect_pixel "$work/shot.png" 1199 800 "#000000"
# Just outside the window the white root shows.
expect_pixel "$work/shot.png" 1200 400 "#ffffff"
expect_pixel "$work/shot.png" 600 801 "#ffffff"

kill -0 "$editor_pid" || fail "the editor ended"
echo "PASS"
