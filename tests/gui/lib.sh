# Helpers for the GUI tests: run the real editor on $DISPLAY, drive it with
# xdotool and read pixels of screenshots. Positions given to the helpers are
# window pixels; the editor's window sits at screen (50, 50) (no window
# manager runs under Xvfb).
#
# Nothing here waits a fixed time before a check: the editor is started
# with VANTIRO_FRAME_FILE, and settle sends it a marker key after the input
# and waits until the file says the frame after the marker is on the screen
# (see app/frame_signal.h). Other waits poll their condition (a window, a
# file, a line of output) every 20 ms, for at most about 15 s.

set -euo pipefail

# fail, wait_for, the scratch folder and the cards; a failure also shows
# what the running editor said. At the end the editor and whatever else the
# test left running (a clipboard owner, a card) are ended.
. "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
scratch gui
editor_bin="$1"
win_x=50
win_y=50
editor_pid=""
editor_err="$work/stderr"   # the running editor's standard error
frame_file="$work/frame"    # the running editor's frame signal
marks=0                     # markers sent to the running editor
card_bin="$work/bin/vantiro-card"   # (install_editor puts it there)
fail_context() {
  [ -s "$editor_err" ] && echo "stderr: $(cat "$editor_err")"
  return 0
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

# The word after $1 in the editor's frame file ("frame F done M sending
# S"); false while there is no such file.
frame_value() {
  local words i
  read -r -a words 2>/dev/null <"$frame_file" || return 1
  for ((i = 0; i + 1 < ${#words[@]}; i++)); do
    [ "${words[i]}" = "$1" ] && echo "${words[i + 1]}" && return 0
  done
  return 1
}

# True once the frame after marker $1 is on the screen; fails the test at
# once when the editor has ended.
marker_shown() {
  local done_marks
  kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended; stderr: $(cat "$editor_err")"
  done_marks=$(frame_value done) && [ "$done_marks" -ge "$1" ]
}

# Returns when the editor has handled all input sent to it so far and the
# frame that shows it is on the screen: sends the marker key (F12, which
# the editor takes as a marker only with VANTIRO_FRAME_FILE set) straight
# to its window, behind that input, and waits for the marker's frame.
settle() {
  local out
  marks=$((marks + 1))
  out=$(xdotool key --window "$window_id" F12 2>&1) || fail "the marker could not be sent: $out"
  wait_for "the frame after marker $marks" marker_shown "$marks"
}

# Starts binary $1 (standard output to $2, standard error to $3) with the
# frame signal on, waits for its window and its first complete picture; sets
# editor_pid, editor_err and window_id.
launch_editor() {
  if xdotool search --name '^vantiro$' >/dev/null 2>&1; then
    fail "another vantiro window is already open on $DISPLAY"
  fi
  rm -f "$frame_file"
  marks=0
  editor_err=$3
  # The layer always on: every picture checked here goes through it.
  VANTIRO_LAYER=always VANTIRO_FRAME_FILE="$frame_file" "$1" >"$2" 2>"$3" &
  editor_pid=$!
  window_id=$(timeout 20 xdotool search --sync --onlyvisible --name '^vantiro$' | head -n 1) ||
    fail "no window named vantiro appeared; stderr: $(cat "$3")"
  # The first frame follows the requests for the window's start-up size and
  # place, and the file is written once the server has carried them out; a
  # marker sent now thus comes after the resize, and its frame has the
  # window's final size.
  wait_for "the first frame" test -s "$frame_file"
  settle
}

# Starts the installed editor (see launch_editor).
start_editor() {
  launch_editor "$work/bin/vantiro" "$work/stdout" "$work/stderr"
}

# A new text ("Txt", Ctrl+E) at board 0's corner, taken for typing.
new_text() {
  xdotool mousemove $((win_x + 600)) $((win_y + 600))
  xdotool key ctrl+e
  settle
  click_at 280 232
}

# Closes the editor with its close entry (at window point $1,$2: 1195,30
# unless given), which saves the scene; fails unless it ends with status 0.
close_editor() {
  local status=0
  click_and_leave "${1:-1195}" "${2:-30}"
  wait "$editor_pid" || status=$?
  editor_pid=""
  [ "$status" -eq 0 ] || fail "close ended with status $status: $(cat "$editor_err")"
}

# The pointer at rest off the sign (its coordinate readout, drawn beside
# the pointer, out of the way), the frame after the move on the screen.
rest_pointer() {
  xdotool mousemove $((win_x + 1100)) $((win_y + 700))
  settle
}

# True once the editor's live send has ended (the frame file says sending
# 0 in a frame after everything sent to it so far).
send_ended() {
  settle
  [ "$(frame_value sending)" = 0 ]
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

# Colour $2 near (as expect_near) each window point "x y" that follows, in
# screenshot $1.
expect_near_all() {
  local png=$1 colour=$2 xy
  shift 2
  for xy in "$@"; do expect_near "$png" $xy "$colour"; done
}

# Pixels of the window below the status line (which says what each step
# did) that differ between screenshots $1 and $2.
differing() {
  convert "$1" -crop "1200x756+$win_x+$((win_y + 45))" +repage "$work/part-a.png"
  convert "$2" -crop "1200x756+$win_x+$((win_y + 45))" +repage "$work/part-b.png"
  compare -metric AE "$work/part-a.png" "$work/part-b.png" null: 2>&1 || true
}

# Fails unless the window below the status line is the same in
# screenshots $1 and $2 ($3: what is compared); copies both to /tmp if not.
same_scene() {
  local differ
  differ=$(differing "$1" "$2")
  [ "$differ" = "0" ] || {
    cp "$1" "$2" /tmp/ 2>/dev/null || true
    fail "$3: $differ pixels differ ($(basename "$1"), $(basename "$2") in /tmp)"
  }
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
# ($3,$4) and releases there. The editor has handled each step before the
# next is sent (a window drag reads the pointer's place when it handles a
# step), and the last one when this returns.
drag() {
  local x0=$((win_x + $1)) y0=$((win_y + $2)) x1=$((win_x + $3)) y1=$((win_y + $4)) i
  xdotool mousemove "$x0" "$y0"
  settle
  xdotool mousedown 1
  settle
  for i in 1 2 3 4 5; do
    xdotool mousemove $((x0 + (x1 - x0) * i / 5)) $((y0 + (y1 - y0) * i / 5))
    settle
  done
  xdotool mouseup 1
  settle
}

# Clicks the left button at window point ($1,$2); the editor has handled
# the click when this returns.
click_at() {
  click_and_leave "$1" "$2"
  settle
}

# Clicks the left button at window point ($1,$2) without waiting for a
# frame after it: for the close entry, after which the editor ends.
click_and_leave() {
  xdotool mousemove $((win_x + $1)) $((win_y + $2))
  settle
  xdotool click 1
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

# The window that owns the CLIPBOARD selection now (0: none).
clipboard_owner() {
  python3 -c '
import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XInternAtom.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGetSelectionOwner.restype = ctypes.c_ulong
d = x.XOpenDisplay(None)
print(x.XGetSelectionOwner(d, x.XInternAtom(d, b"CLIPBOARD", 0)) if d else 0)'
}

clipboard_owner_is_not() {
  [ "$(clipboard_owner)" != "$1" ]
}

# Puts text $1 on the clipboard and returns once xclip owns it. The owner
# serves one request and ends; its output goes nowhere, so it never holds
# the test's output open.
set_clipboard() {
  local before
  before=$(clipboard_owner)
  printf '%s' "$1" | xclip -selection clipboard -loops 1 >/dev/null 2>&1 &
  wait_for "xclip to own the clipboard" clipboard_owner_is_not "$before"
}

# SysCfg.ini of folder $1 for the card at port $2, the start-up boards
# (256 x 128) and the stick in $work/stick.
configure() {
  write_syscfg "$1" "$2" 256 128
  printf '[Export]\nFolder=%s\n' "$work/stick" >>"$1/SysCfg.ini"
}

# Returns once the editor has read the card's scene (sync on at start-up)
# and a frame shows the outcome: markers until the frame file says
# reading 0.
wait_sync() {
  local i
  for ((i = 0; i < 400; i++)); do
    settle
    [ "$(frame_value reading)" = 0 ] && return 0
    sleep 0.02
  done
  fail "the card's scene was not read; stderr: $(cat "$editor_err")"
}
