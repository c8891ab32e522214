# The left-panel texts show "添加文本" in 12-dot characters, and the toolbar
# entries are drawn with their labels.
source "$(dirname "$0")/lib.sh"

install_editor
start_editor
xdotool mousemove 5 5
settle
shot "$work/panel.png"
for y in 535 585 635 685 735; do
  n=$(count_colour "$work/panel.png" 84 $((y - 1)) 98 26 "#ff0000")
  [ "$n" -gt 150 ] || fail "text at y $y has $n red pixels"
  # Four characters, each 12 dots (24 pixels) wide: ink in every quarter.
  for k in 0 1 2 3; do
    q=$(count_colour "$work/panel.png" $((84 + 24 * k)) $((y - 1)) 24 26 "#ff0000")
    [ "$q" -gt 20 ] || fail "character $k of the text at y $y is missing"
  done
  [ "$(count_colour "$work/panel.png" 182 $((y - 1)) 20 26 "#ff0000")" -eq 0 ] || fail "text at y $y too wide"
done
# Toolbar entries: grey boxes with grey labels inside.
for entry in "680 80 64" "680 120 64" "895 120 128" "355 80 64" "355 120 64" "780 80 64" "500 80 64" "35 120 112"; do
  read -r x y w <<<"$entry"
  expect_near "$work/panel.png" "$x" "$y" "#cccccc"
  ink=$(count_white "$work/panel.png" $((x + 2)) $((y - 12)) $((w - 4)) 24)
  [ "$ink" -gt 10 ] || fail "entry at ($x,$y) has no label ($ink pixels)"
done
# The chosen panel type (0 at start) is green.
expect_near "$work/panel.png" 35 80 "#00ff00"
echo "PASS"
