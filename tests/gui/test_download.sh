# The download entry writes the ledsys tree into [Export] Folder, says so,
# and the script on it shows on the card model exactly what the editor
# shows of the scene made with the mouse and keys.
source "$(dirname "$0")/lib.sh"

install_editor
mkdir "$work/stick"
printf '\n[Export]\nFolder=%s\n' "$work/stick" >>"$work/bin/SysCfg.ini"
start_editor

new_text
xdotool type --delay 50 'ab c'
settle
drag 172 442 503 303        # the palette rectangle, dropped between LEDs
drag 172 442 611 351        # and its copy from the next group
rest_pointer
xdotool click 3             # nothing selected
click_at 900 120            # "下载数据到u盘"

cmd="$work/stick/ledsys/CMD/cmd.txt"
wait_for "cmd.txt" test -s "$cmd"
[ -s "$work/stick/ledsys/init/time.txt" ] || fail "no time.txt"
[ -d "$work/stick/ledsys/TXT" ] || fail "no TXT folder"
grep -q "exported to $work/stick/ledsys" "$work/stderr" || fail "the outcome was not said: $(cat "$work/stderr")"
[ "$(grep -c 'led r ' "$cmd")" -eq 2 ] || fail "expected two rectangles in cmd.txt"
grep -q 'led t 0 0 0 Txtab' "$cmd" || fail "the text's first run is missing: $(tr -d '\0' <"$cmd")"
grep -q 'led t 0 48 0 c' "$cmd" || fail "the run after the blank is missing"
[ "$(tail -c 1 "$cmd" | od -An -tx1 | tr -d ' ')" = "00" ] || fail "cmd.txt does not end with a NUL"
shot "$work/shot.png"
[ -n "${VANTIRO_KEEP_SHOTS:-}" ] && cp "$work/shot.png" "$VANTIRO_KEEP_SHOTS/download.png"

close_editor                # saves the scene
cli="$work/bin/vantiro-cli"
"$cli" play "$cmd" --width 256 --height 128 --png "$work/play.png" >"$work/play.txt" || fail "play failed"
"$cli" render "$work/bin" --png "$work/render.png" >"$work/render.txt" || fail "render failed"
grep -q ' 0 lines ignored' "$work/play.txt" || fail "the card ignored lines: $(cat "$work/play.txt")"
cmp -s "$work/play.png" "$work/render.png" ||
  fail "the card's picture differs from the editor's: $(cat "$work/play.txt" "$work/render.txt")"
echo "PASS"
