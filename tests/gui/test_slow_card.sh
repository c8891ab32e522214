# A card that answers every request 950 ms late cannot hold up start-up:
# the first frame comes while the card's scene is still being read (the
# status line says so), the editor answers input meanwhile, and the read
# ends, within its deadline, with the previous spi_data.bin kept and the
# reason on the status line. Quitting while the read runs (Ctrl+S, and ×
# with its save) ends the program cleanly: status 0, no abort. Timings are
# printed for the record, not checked.
source "$(dirname "$0")/lib.sh"

install_editor
start_card --delay 950 --flash "$work/flash.bin"
configure "$work/bin" "$card_port"
printf 'kept' >"$work/bin/spi_data.bin"

started=$(date +%s%N)
launch_editor "$work/bin/vantiro" "$work/stdout" "$work/stderr"
first=$(date +%s%N)
[ "$(frame_value reading)" = 1 ] || fail "the first frame came after the card's scene was read"
shot "$work/reading.png"
# The editor takes input while the read runs: a zoom (Ctrl+Q) shows.
xdotool key --window "$window_id" ctrl+q
settle
[ "$(frame_value reading)" = 1 ] || echo "note: the read ended before the zoom's frame"
wait_sync
ended=$(date +%s%N)
grep -q "flash read stopped at 0x1" "$work/stderr" || fail "no outcome said: $(cat "$work/stderr")"
[ "$(cat "$work/bin/spi_data.bin")" = kept ] || fail "spi_data.bin was not kept"
echo "first frame after $(((first - started) / 1000000)) ms, outcome after $(((ended - started) / 1000000)) ms"
kill -0 "$editor_pid" || fail "the editor ended"
xdotool key --window "$window_id" ctrl+s 2>/dev/null || true   # (the window may be gone before the key is released)
wait "$editor_pid" 2>/dev/null
status=$?
editor_pid=""
[ "$status" -eq 0 ] || fail "quitting after the read ended with status $status"

# Quit while the read runs: Ctrl+S at once, then × (its save) at once.
for how in ctrl+s close; do
  : >"$work/stderr"
  launch_editor "$work/bin/vantiro" "$work/stdout" "$work/stderr"
  [ "$(frame_value reading)" = 1 ] || fail "the read ended before the $how could come during it"
  if [ "$how" = ctrl+s ]; then
    xdotool key --window "$window_id" ctrl+s 2>/dev/null || true
  else
    click_and_leave 1195 30   # the close entry: saves and ends
  fi
  wait "$editor_pid" 2>/dev/null
  status=$?
  editor_pid=""
  [ "$status" -eq 0 ] || fail "$how during the card's read ended with status $status: $(cat "$work/stderr")"
  if grep -q "terminate called" "$work/stderr"; then fail "$how during the read aborted: $(cat "$work/stderr")"; fi
done
echo "PASS"
