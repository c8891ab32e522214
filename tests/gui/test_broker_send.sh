# The editor's live send through a broker ([Broker] in SysCfg.ini, no
# direct card): a real mosquitto of the test's own, four signs; Enter
# publishes the scene, the window keeps drawing, the status names how many
# signs confirmed within the stated time, and each sign shows render.
source "$(dirname "$0")/lib.sh"
command -v mosquitto >/dev/null || { echo "SKIP: no mosquitto"; exit 77; }

install_editor
cli="$work/bin/vantiro-cli"
port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$work/m.conf"
start_mosquitto "$work/m.conf"
configure "$work/bin" 9
sed -i 's/^Syc_Enable=1/Syc_Enable=0/' "$work/bin/SysCfg.ini"
printf '[Broker]\nHost=127.0.0.1:%s\nTo=all\nWait=10000\n' "$port" >>"$work/bin/SysCfg.ini"
read -r width height < <("$cli" render "$work/bin" --png "$work/render.png" |
  sed -n 's/.* on a \([0-9]*\) x \([0-9]*\) screen/\1 \2/p')
card_pids=()
for i in 0 1 2 3; do
  "$work/bin/vantiro-card" --port 0 --width "$width" --height "$height" --flash "$work/f$i.bin" \
    --png "$work/sign$i.png" --mqtt "127.0.0.1:$port" --sign "s$i" >/dev/null 2>>"$work/card.err" &
  card_pids+=($!)
done
online() { [ "$("$cli" fleet --broker "127.0.0.1:$port" | grep -c ' online ')" = 4 ]; }
wait_for "four signs online" online
start_editor
xdotool mousemove $((win_x + 600)) $((win_y + 600))
xdotool key Return
confirmed() {
  settle
  grep -q "^broker: scene [0-9]* published to all; 4 of 4 signs confirmed within 10.0 s$" "$work/stderr"
}
wait_for "four signs to confirm" confirmed
for i in 0 1 2 3; do
  card_picture "${card_pids[$i]}" "$work/sign$i.png"
  cmp -s "$work/sign$i.png" "$work/render.png" || fail "sign $i differs from render"
done
echo "PASS"
