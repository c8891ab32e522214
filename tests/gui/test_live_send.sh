# The live send under a real window: every release and Enter put the scene
# on the simulated card, whose screen then equals the editor's picture of
# the saved scene and the screen of a card that ran the exported stick.
# That card's "file save" keeps the scene; an editor started with sync on
# gets its texts and rectangles back, and a second start adds nothing.
source "$(dirname "$0")/lib.sh"

install_editor
cli="$work/bin/vantiro-cli"


mkdir "$work/stick"
start_card --flash "$work/flash1.bin" --png "$work/card.png" --log "$work/card.log"
card1=$card_pid
configure "$work/bin" "$card_port"
start_editor
wait_sync

new_text
xdotool type --delay 50 'ab c'
drag 172 442 503 303        # the palette rectangle, dropped between LEDs
drag 172 442 611 351
xdotool mousemove $((win_x + 1100)) $((win_y + 700))
xdotool click 3
xdotool key Return
# The Enter's send is the last: once the sender is idle after it, the card
# has run every line (each send ends with a request the card answers after
# its lines). The send's "sent N lines" reaches standard error in the
# editor's next pass.
wait_for "the live send to end" send_ended
settle
grep -q '^sent ' "$work/stderr" || fail "no send was reported: $(cat "$work/stderr")"
if grep -q 'not reachable' "$work/stderr"; then fail "a send failed: $(cat "$work/stderr")"; fi
card_picture "$card1" "$work/card.png"
click_at 900 120            # the export, for the second card
wait_for "the export's cmd.txt" test -s "$work/stick/ledsys/CMD/cmd.txt"
shot "$work/shot.png"
[ -n "${VANTIRO_KEEP_SHOTS:-}" ] && cp "$work/shot.png" "$VANTIRO_KEEP_SHOTS/live_send.png"
close_editor                # saves

"$cli" render "$work/bin" --png "$work/render.png" >/dev/null || fail "render failed"
cmp -s "$work/card.png" "$work/render.png" || fail "the card's screen differs from the editor's picture"
kill "$card1"; wait "$card1" 2>/dev/null || true

# A card that runs the stick at power-on shows the same, and keeps it.
start_card --flash "$work/flash2.bin" --png "$work/usb.png" --usb "$work/stick/ledsys"
card2=$card_pid
card_picture "$card2" "$work/usb.png"
cmp -s "$work/usb.png" "$work/render.png" || fail "the stick's card differs from the editor's picture"

# A new editor with sync on gets the card's scene back, once.
mkdir "$work/fresh"
cp -r "$work/bin/Font" "$work/bin/vantiro" "$work/bin/vantiro-cli" "$work/fresh/"
configure "$work/fresh" "$card_port"
for round in 1 2; do
  launch_editor "$work/fresh/vantiro" "$work/fresh.out" "$work/fresh.err"
  wait_sync
  close_editor
  "$cli" dump "$work/fresh" >"$work/dump$round.json" || fail "dump failed"
done
grep -q '"text":"Txtab c"' "$work/dump1.json" || fail "the text did not come back with its blank"
n1=$(grep -o '"text_count":[0-9]*' "$work/dump1.json"); n2=$(grep -o '"text_count":[0-9]*' "$work/dump2.json")
r1=$(grep -o '"rect_count":[0-9]*' "$work/dump1.json"); r2=$(grep -o '"rect_count":[0-9]*' "$work/dump2.json")
[ "$r1" = '"rect_count":2' ] || fail "expected the two rectangles back, got $r1"
[ "$n1" = "$n2" ] && [ "$r1" = "$r2" ] || fail "the second start added to the scene: $n1 $r1 then $n2 $r2"
kill "$card2"; wait "$card2" 2>/dev/null || true
echo "PASS"
