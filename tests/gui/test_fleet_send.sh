# The live send to a fleet of four cards under a real window: RemotIP's
# card, a slow one ([Cards] slow: every answer 950 ms late), a silent one
# (mute) and an address with nothing listening (gone). While the send runs
# the window keeps drawing: marker frames come and say "sending 1". The
# status ends naming the two failed cards and why, and the good cards'
# screens equal render.
source "$(dirname "$0")/lib.sh"

install_editor
cli="$work/bin/vantiro-cli"
start_card --flash "$work/flash1.bin" --png "$work/main.png"
main_pid=$card_pid
main_port=$card_port
start_card --flash "$work/flash2.bin" --png "$work/slow.png" --delay 950
slow_pid=$card_pid
slow_port=$card_port
start_card --flash "$work/flash3.bin" --silent
mute_port=$card_port
dead=$(free_port)
configure "$work/bin" "$main_port"
cat >>"$work/bin/SysCfg.ini" <<INI
[Cards]
slow=127.0.0.1:$slow_port
mute=127.0.0.1:$mute_port
gone=127.0.0.1:$dead
INI
start_editor
wait_sync

xdotool mousemove $((win_x + 600)) $((win_y + 600))
xdotool key Return
# Frames during the send: the slow card holds it for about two seconds
# (two requests answered 950 ms late), the window draws meanwhile.
during=0
for _ in $(seq 400); do
  settle
  if [ "$(frame_value sending)" = 1 ]; then during=$((during + 1)); else break; fi
done
[ "$during" -ge 2 ] || fail "no frames were drawn while the send ran ($during)"
wait_for "the send to end" send_ended
settle
grep -q "^card: sent to 2 of 4 cards; failed: mute (.*not reachable.*); gone (.*refused.*)" "$work/stderr" ||
  fail "no outcome naming mute and gone: $(cat "$work/stderr")"
"$cli" render "$work/bin" --png "$work/render.png" >/dev/null || fail "render failed"
for who in main slow; do
  pid_var=${who}_pid
  card_picture "${!pid_var}" "$work/$who.png"
  cmp -s "$work/$who.png" "$work/render.png" || fail "card $who's screen differs from render"
done
echo "$during frames drawn during the send"
kill -0 "$editor_pid" || fail "the editor ended"
echo "PASS"
