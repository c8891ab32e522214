# The editor's window shows on its boards the LEDs the card lights. Twenty
# random scenes (texts, blocks, lines, circles, rectangles, digit modules;
# pitch 2 to 5; 1 x 1 up to 2 x 3 boards) are saved as scene files, opened
# in the real editor and captured; the same folder is exported as the
# stick's script and run on the card model (vantiro-cli play). Every LED of
# the card's screen is then read at its centre in the window, board (0, 0)
# at its saved place (276, 226): LED (X, Y) at window pixel
# (276 + X * p, 226 + Y * p). The colours must agree exactly: red, green,
# yellow where the card lights them, the black ground where it does not.
source "$(dirname "$0")/lib.sh"

install_editor
cli="$work/bin/vantiro-cli"
make_scene="$(dirname "$editor_bin")/../tests/vantiro_random_scene"
[ -x "$make_scene" ] || fail "no scene generator at $make_scene"
scenes=${VANTIRO_FIDELITY_SCENES:-20}
first_seed=${VANTIRO_FIDELITY_SEED:-1000}

# The pointer stays outside the window, so no coordinate readout is drawn
# (it follows the pointer over the screen). Nothing is selected at
# start-up, so no board carries its label; the status line and the menus
# lie above y 140, clear of the boards.
xdotool mousemove 5 5

# Screenshot of the window's first complete frame (start_editor waits for
# it) into $1. Board (0, 0)'s red outline along the top edge is drawn in the
# same frame as every LED, so it must be there.
shot_first_frame() {
  local n
  shot "$1"
  n=$(count_colour "$1" 276 225 40 3 "#ff0000")
  [ "$n" -ge 30 ] || fail "the first frame is not complete ($n red pixels of board (0, 0)'s top edge): $(cat "$work/stderr")"
}

# Compares the window (raw RGB, 1200 x 801 from the screen's (50, 50)) with
# the card's picture (raw RGB, 4 x 4 pixels an LED, its top-left 3 x 3 the
# LED). Arguments: window.rgb card.rgb screen_w screen_h board_w board_h
# pitch. Prints "N differing of M compared; lit L" and the first few.
compare_leds() {
  python3 - "$@" <<'PY'
import sys
win_path, card_path, sw, sh, bw, bh, p = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:8])
win = open(win_path, 'rb').read()
card = open(card_path, 'rb').read()
WW, WH, CW = 1200, 801, sw * 4
assert len(win) == WW * WH * 3, "window picture of %d bytes" % len(win)
assert len(card) == sw * 4 * sh * 4 * 3, "card picture of %d bytes for %d x %d LEDs" % (len(card), sw, sh)
card_rgb = {(255, 32, 32): 'red', (32, 255, 64): 'green', (255, 224, 32): 'yellow', (40, 40, 40): 'dark'}
win_rgb = {(255, 0, 0): 'red', (0, 255, 0): 'green', (255, 255, 0): 'yellow', (0, 0, 0): 'dark'}
bx, by = 276, 226
diff, compared, lit, shown = 0, 0, 0, []
for Y in range(sh):
    for X in range(sw):
        # Row 0 and column 0 of every board: board (0, 0)'s red outline
        # runs through them (its far edges through the next board's first
        # column and row) and would read as a red LED.
        if X % bw == 0 or Y % bh == 0:
            continue
        i = ((Y * 4 + 1) * CW + X * 4 + 1) * 3
        want = card_rgb.get(tuple(card[i:i + 3]), 'unknown %r' % (tuple(card[i:i + 3]),))
        x, y = bx + X * p, by + Y * p
        if x >= WW or y >= WH:
            got = 'outside the window'
        else:
            j = (y * WW + x) * 3
            rgb = tuple(win[j:j + 3])
            got = win_rgb.get(rgb, '#%02x%02x%02x' % rgb)
        compared += 1
        lit += want != 'dark'
        if got != want:
            diff += 1
            if len(shown) < 6:
                shown.append('LED (%d,%d) card %s window %s' % (X, Y, want, got))
print('%d differing of %d compared; lit %d' % (diff, compared, lit))
for s in shown:
    print('  ' + s)
sys.exit(1 if diff else 0)
PY
}

failed=0
total_lit=0
report=""
for seed in $(seq "$first_seed" $((first_seed + scenes - 1))); do
  rm -f "$work/bin/"*.conf
  read -r pitch rows cols bw bh digits odd < <("$make_scene" "$seed" "$work/bin") ||
    fail "scene $seed could not be made"
  cat >"$work/bin/SysCfg.ini" <<INI
[RemotIP]
RemotIP=127.0.0.1:9
[LEDPARA]
WIDTH=$bw
HEIGHT=$bh
[NetSyc]
Syc_Enable=0
INI
  sw=$((cols * bw)) sh=$((rows * bh))
  start_editor
  shot_first_frame "$work/shot.png"
  [ -n "${VANTIRO_KEEP_SHOTS:-}" ] && cp "$work/shot.png" "$VANTIRO_KEEP_SHOTS/fidelity-$seed.png"
  kill "$editor_pid"; wait "$editor_pid" 2>/dev/null || true
  editor_pid=""
  convert "$work/shot.png" -crop "1200x801+$win_x+$win_y" +repage -depth 8 "rgb:$work/window.rgb"

  rm -rf "$work/stick" && mkdir "$work/stick"
  "$cli" export "$work/stick" "$work/bin" >/dev/null || fail "scene $seed: export failed"
  "$cli" play "$work/stick/ledsys/CMD/cmd.txt" --width "$sw" --height "$sh" --png "$work/card.png" \
    --txt "$work/stick/ledsys/TXT" >/dev/null || fail "scene $seed: play failed"
  convert "$work/card.png" -depth 8 "rgb:$work/card.rgb"

  what="scene $seed: ${rows}x$cols boards of ${bw}x$bh, pitch $pitch, $digits digit modules"
  [ "$odd" = 1 ] && what+=", colour codes beyond 0..2"
  if out=$(compare_leds "$work/window.rgb" "$work/card.rgb" "$sw" "$sh" "$bw" "$bh" "$pitch"); then :; else
    failed=$((failed + 1))
    report+="$what: $out"$'\n'
  fi
  lit=$(sed -n '1s/.*lit \([0-9]*\).*/\1/p' <<<"$out")
  [ -n "$lit" ] || fail "$what: $out"
  total_lit=$((total_lit + lit))
done

[ "$failed" -eq 0 ] || fail "$failed of $scenes scenes differ between the window and the card:"$'\n'"$report"
# The scenes light something to compare.
[ "$total_lit" -ge $((50 * scenes)) ] || fail "only $total_lit lit LEDs in $scenes scenes"
echo "PASS ($scenes scenes, $total_lit lit LEDs compared)"
