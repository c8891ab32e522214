# Helpers for the GUI tests: run the real editor on $DISPLAY, drive it with
# xdotool and read pixels of screenshots. Positions given to the helpers are
# window pixels; the editor's window sits at screen (50, 50) (no window
# manager runs under Xvfb).

set -euo pipefail

editor_bin="$1"
win_x=50
win_y=50
work=$(mktemp -d /tmp/vantiro-gui-XXXXXX)
editor_pid=""

cleanup() {
  [ -n "$editor_pid" ] && kill "$editor_pid" 2>/dev/null || true
  # Whatever else the test left running (a clipboard owner, a card).
  local left
  left=$(jobs -p)
  [ -n "$left" ] && kill $left 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Without a display there is nothing to test against: report the test as
# skipped (CTest's SKIP_RETURN_CODE), not as failed.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "SKIP: no X display; scripts/test starts one for the GUI tests"
  exit 77
fi

# Copies the editor and the data beside it into a fresh folder, so a test
# can change SysCfg.ini or scene files without touching build/bin.
install_editor() {
  cp -r "$(dirname "$editor_bin")"/. "$work/bin"
  rm -f "$work/bin/vantiro_unit_tests"
}

# Starts the installed editor and waits for its window; sets editor_pid and
# window_id.
start_editor() {
  if xdotool search --name '^vantiro$' >/dev/null 2>&1; then
    fail "another vantiro window is already open on $DISPLAY"
  fi
  "$work/bin/vantiro" >"$work/stdout" 2>"$work/stderr" &
  editor_pid=$!
  window_id=$(timeout 20 xdotool search --sync --onlyvisible --name '^vantiro$' | head -n 1) ||
    fail "no window named vantiro appeared; stderr: $(cat "$work/stderr")"
  sleep 0.5
}

# Screenshot of the whole screen into $1 (PNG).
shot() {
  xwd -root -silent | convert xwd:- "$1"
}

# Colour of window pixel (x, y) of screenshot $1, as #rrggbb.
pixel() {
  convert "$1" -crop "1x1+$((win_x + $2))+$((win_y + $3))" -depth 8 txt:- |
    tail -n 1 | grep -o '#[0-9A-Fa-f]\{6\}' | tr 'A-F' 'a-f'
}

expect_pixel() {
  local got
  got=$(pixel "$1" "$2" "$3")
  [ "$got" = "$4" ] || fail "pixel ($2,$3) is $got, expected $4"
}

# Window pixel (x, y) of screenshot $1, or one of its 8 neighbours, has
# colour $4 (GL points and lines may land on either side of a pixel edge).
expect_near() {
  local n
  n=$(convert "$1" -crop "3x3+$((win_x + $2 - 1))+$((win_y + $3 - 1))" -depth 8 txt:- |
    grep -ci -- "$4" || true)
  [ "$n" -gt 0 ] || fail "no $4 near ($2,$3): $(pixel "$1" "$2" "$3") at the centre"
}


# Number of whitish pixels (every channel above half) in the window
# rectangle x $2, y $3, w $4, h $5 of screenshot $1.
count_white() {
  convert "$1" -crop "$4x$5+$((win_x + $2))+$((win_y + $3))" +repage \
    -fx 'min(r,min(g,b))' -threshold 50% -format '%[fx:round(mean*w*h)]' info:
}

# Number of pixels of colour $6 (#rrggbb) in the window rectangle x $2,
# y $3, w $4, h $5 of screenshot $1.
count_colour() {
  convert "$1" -crop "$4x$5+$((win_x + $2))+$((win_y + $3))" -depth 8 txt:- |
    grep -ci -- "$6" || true
}

# Presses the left button at window point ($1,$2), moves in steps to
# ($3,$4) and releases there.
drag() {
  local x0=$((win_x + $1)) y0=$((win_y + $2)) x1=$((win_x + $3)) y1=$((win_y + $4)) i
  xdotool mousemove "$x0" "$y0"
  sleep 0.1
  xdotool mousedown 1
  sleep 0.1
  for i in 1 2 3 4 5; do
    xdotool mousemove $((x0 + (x1 - x0) * i / 5)) $((y0 + (y1 - y0) * i / 5))
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.2
}

# Clicks the left button at window point ($1,$2).
click_at() {
  xdotool mousemove $((win_x + $1)) $((win_y + $2))
  sleep 0.1
  xdotool click 1
  sleep 0.2
}

# Screen position of the editor's window as "x y".
window_position() {
  xdotool getwindowgeometry "$window_id" | sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1 \2/p'
}

# Number of pixels in the window rectangle x $2, y $3, w $4, h $5 of
# screenshot $1 for which the ImageMagick fx expression $6 holds (r, g, b
# from 0 to 1); for anti-aliased text, e.g. 'g>0.5 && r<0.3 && b<0.3'.
count_where() {
  convert "$1" -crop "$4x$5+$((win_x + $2))+$((win_y + $3))" +repage \
    -fx "($6) ? 1 : 0" -format '%[fx:round(mean*w*h)]' info:
}

# Puts text $1 on the clipboard. The owner (xclip) serves one request and
# ends; its output goes nowhere, so it never holds the test's output open.
set_clipboard() {
  printf '%s' "$1" | xclip -selection clipboard -loops 1 >/dev/null 2>&1 &
  sleep 0.2
}
