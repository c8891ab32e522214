#!/usr/bin/env bash
# Scenes through a real mosquitto: the test starts its own broker on a free
# port (listener on 127.0.0.1, anonymous, persistence in a folder of its
# own, message_size_limit 4 MiB), then N vantiro-card --mqtt processes in 4
# groups. Publish to one group, then to all: every card's screen equals
# render of the scene and `vantiro-cli fleet` counts them current. Kill 20
# cards, publish, restart them: they show the new scene. Kill the broker;
# two cards restarted meanwhile show the scene they kept; restart the
# broker: the cards reconnect and a later publish reaches all. A
# message that is not a scene and a script with a line the card does not
# know leave the screen as it was, the reason in the card's state; a scene
# over 4 MiB is refused and publish says so.
# Usage: broker.sh RANDOM_SCENE VANTIRO_CLI VANTIRO_CARD [N]  (N: 200)
# Waits are bounded polls (tests/lib/vantiro.sh); nothing is timed.
set -euo pipefail
random_scene=$1
cli=$2
card=$3
n=${4:-200}
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
command -v mosquitto >/dev/null || { echo "SKIP: no mosquitto"; exit 77; }
scratch broker
port=$(free_port)
broker="127.0.0.1:$port"
mkdir -p "$work/persist"
# mosquitto run as root switches to the user mosquitto: its folder must be
# that user's to write.
if [ "$(id -u)" = 0 ] && id mosquitto >/dev/null 2>&1; then chown mosquitto "$work/persist"; fi
cat >"$work/mosquitto.conf" <<CONF
listener $port 127.0.0.1
allow_anonymous true
persistence true
persistence_location $work/persist/
autosave_interval 1
max_packet_size 4194560
message_size_limit 4194304
CONF
start_mosquitto "$work/mosquitto.conf"

# Two scenes of one screen size.
size=()
for k in a b; do
  mkdir -p "$work/$k"
  seed=$([ $k = a ] && echo 11 || echo 15)
  read -r _p _r _c width height _rest < <("$random_scene" "$seed" "$work/$k")
  printf '[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n' "$width" "$height" >"$work/$k/SysCfg.ini"
  "$cli" render "$work/$k" --png "$work/$k.png" >"$work/$k.render" || fail "render $k"
  size[${#size[@]}]=$(sed -n 's/.* on a \([0-9]*\) x \([0-9]*\) screen/\1 \2/p' "$work/$k.render")
done
[ "${size[0]}" = "${size[1]}" ] || fail "the two scenes' screens differ: ${size[*]}"
read -r width height <<<"${size[0]}"
cmp -s "$work/a.png" "$work/b.png" && fail "the two scenes look alike"

start_sign() {   # index
  "$card" --port 0 --width "$width" --height "$height" --flash "$work/flash$1.bin" --png "$work/card$1.png" \
    --mqtt "$broker" --sign "s$1" --group "g$(($1 % 4))" >"$work/card$1.out" 2>&1 &
  pids[$1]=$!
}
for ((i = 0; i < n; i++)); do start_sign "$i"; done
online() { [ "$("$cli" fleet --broker "$broker" | grep -c " online ")" -ge "$1" ]; }
wait_for "$n cards online" online "$n"

# Every card of the list (indices) shows picture $1.
shows() {
  local want=$1 i
  shift
  for i in "$@"; do rm -f "$work/card$i.png"; kill -USR1 "${pids[$i]}"; done
  for i in "$@"; do
    wait_for "card $i's picture" test -s "$work/card$i.png"
    cmp -s "$work/card$i.png" "$work/$want.png" || return 1
  done
}
current() { [ "$("$cli" fleet --broker "$broker" | tail -n 1)" = "$n signs, $1 current" ]; }
everyone=$(seq 0 $((n - 1)))
group1=$(seq 1 4 $((n - 1)))

"$cli" publish "$work/a" --broker "$broker" --to group:g1 >"$work/pub.out" || fail "publish to g1: $(cat "$work/pub.out")"
wait_for "group g1 current" current $((n / 4))
shows a $group1 || fail "a card of g1 does not show scene a"
"$cli" publish "$work/b" --broker "$broker" --to all >"$work/pub.out" || fail "publish to all"
wait_for "all current" current "$n"
shows b $everyone || fail "a card does not show scene b"

# 20 cards away while a scene is published; back, they show it.
for ((i = 0; i < 20; i++)); do kill "${pids[$i]}"; wait "${pids[$i]}" 2>/dev/null || true; done
"$cli" publish "$work/a" --broker "$broker" --to all >"$work/pub.out" || fail "publish with 20 away"
back=$(date +%s%N)
for ((i = 0; i < 20; i++)); do start_sign "$i"; done
wait_for "all current after the restart" current "$n"
shows a $everyone || fail "a card does not show scene a after its restart"
# The time is said, not checked (a loaded machine is no fault of the cards).
echo "broker: the 20 restarted cards current and showing the scene $(( ($(date +%s%N) - back) / 1000000 )) ms after their start"

# The broker away and back (its retained messages kept): the cards come
# back by themselves, and a publish then reaches all.
kill "$broker_pid"; wait "$broker_pid" 2>/dev/null || true
# A card restarted while no broker answers shows the scene it ran last,
# kept beside its flash.
for i in 0 1; do
  kill "${pids[$i]}"; wait "${pids[$i]}" 2>/dev/null || true
  start_sign "$i"
  wait_for "card $i listening" grep -q listening "$work/card$i.out"
done
shows a 0 1 || fail "a card restarted with no broker does not show the scene it kept"
start_mosquitto "$work/mosquitto.conf"
wait_for "$n cards back online" online "$n"
"$cli" publish "$work/b" --broker "$broker" --to all >"$work/pub.out" || fail "publish after the broker's restart"
wait_for "all current after the broker's restart" current "$n"
shows b $everyone || fail "a card does not show scene b after the broker's restart"

# Not a scene, and a line the card does not know: the screen stays, the
# state says why.
mosquitto_pub -h 127.0.0.1 -p "$port" -t vantiro/sign/s5/scene -m "hello" -q 1
printf 'led clearall \nled frobnicate 1 2\n' >"$work/bad.txt"
"$cli" publish --broker "$broker" --to s6 --script "$work/bad.txt" >/dev/null || fail "publish of the bad script"
said() { "$cli" fleet --broker "$broker" | grep -q "$1"; }
wait_for "s5's reason" said '^s5 online .*not a scene'
wait_for "s6's reason" said '^s6 online .* stale .*1 line(s) the card does not know'
shows b 5 6 || fail "a bad message changed a screen"
# Over 4 MiB: refused, and said.
head -c $((4 * 1024 * 1024 + 100)) /dev/zero | tr '\0' ' ' >"$work/big.txt"
if "$cli" publish --broker "$broker" --to all --script "$work/big.txt" >"$work/big.out" 2>&1; then
  fail "a scene over 4 MiB was published"
fi
grep -qi "too large" "$work/big.out" || fail "publish did not say why: $(cat "$work/big.out")"
shows b 0 || fail "the refused scene changed a screen"
echo "broker: $n cards in 4 groups, every screen as render"
