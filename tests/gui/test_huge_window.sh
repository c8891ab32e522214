# A window made far larger than the screen (32767 x 32767, as a window
# manager or a script may ask) is brought back to the screen's size, and the
# editor lives on and draws.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor

xdotool windowsize "$window_id" 32767 32767
screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')
screen_w=${screen%x*}
screen_h=${screen#*x}
within_screen() {
  local g w h
  g=$(xwininfo -id "$window_id") || return 1
  w=$(echo "$g" | awk '/Width:/ {print $2}')
  h=$(echo "$g" | awk '/Height:/ {print $2}')
  [ "$w" -le "$screen_w" ] && [ "$h" -le "$screen_h" ] && [ "$w" -gt 1200 ]
}
wait_for "the window back within the screen" within_screen
settle
kill -0 "$editor_pid" || fail "the editor ended"
shot "$work/shot.png"
# The start-up board's outline (red) is still drawn.
expect_near "$work/shot.png" 276 226 "#ff0000"
echo "PASS"
