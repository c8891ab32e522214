#!/usr/bin/env bash
# The broker's fleet, measured: a mosquitto of its own on a free port and N
# (200) vantiro-card --mqtt processes; one scene published to all, and the
# time from the publish until each card's state names it (min, median,
# max over the cards, from mosquitto_sub's arrival times), several rounds;
# then the broker's and one card's resident memory.
# Usage: bench/fleet.sh BUILD_BIN_DIR RANDOM_SCENE [N] [ROUNDS]
set -euo pipefail
bin=$1
random_scene=$2
n=${3:-200}
rounds=${4:-5}
work=$(mktemp -d /tmp/vantiro-fleet-bench-XXXXXX)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
broker="127.0.0.1:$port"
mkdir -p "$work/persist"
[ "$(id -u)" = 0 ] && chown mosquitto "$work/persist" 2>/dev/null || true
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\nmax_packet_size 4194560\n' \
  "$port" "$work/persist" >"$work/m.conf"
mosquitto -c "$work/m.conf" >"$work/broker.log" 2>&1 &
broker_pid=$!
pids+=($broker_pid)
for _ in $(seq 200); do grep -q running "$work/broker.log" && break; sleep 0.05; done

mkdir -p "$work/scene"
read -r _p _r _c bw bh _rest < <("$random_scene" 11 "$work/scene")
printf '[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n' "$bw" "$bh" >"$work/scene/SysCfg.ini"
read -r width height < <("$bin/vantiro-cli" render "$work/scene" --png "$work/want.png" |
  sed -n 's/.* on a \([0-9]*\) x \([0-9]*\) screen/\1 \2/p')
for ((i = 0; i < n; i++)); do
  "$bin/vantiro-card" --port 0 --width "$width" --height "$height" --flash "$work/f$i.bin" --mqtt "$broker" \
    --sign "s$i" --group "g$((i % 4))" >/dev/null 2>&1 &
  pids+=($!)
done
card_pid=${pids[1]}
for _ in $(seq 600); do
  [ "$("$bin/vantiro-cli" fleet --broker "$broker" | grep -c ' online ')" -ge "$n" ] && break
  sleep 0.1
done

mosquitto_sub -h 127.0.0.1 -p "$port" -t 'vantiro/sign/+/state' -F '%U %t %p' -N >"$work/states" 2>/dev/null &
sub_pid=$!
pids+=($sub_pid)
sleep 1
for ((r = 1; r <= rounds; r++)); do
  : >"$work/states"
  start=$(date +%s.%N)
  seq=$("$bin/vantiro-cli" publish "$work/scene" --broker "$broker" --to all | sed -n 's/^published scene \([0-9]*\).*/\1/p')
  for _ in $(seq 600); do
    [ "$(tr '\0' '\n' <"$work/states" | grep -c "^seq $seq\$" || true)" -ge "$n" ] && break
    sleep 0.05
  done
  # The arrival of each card's first state naming the scene, after the publish began.
  tr '\0' '\n' <"$work/states" | /usr/bin/python3 -c '
import sys
start, seq, n = float(sys.argv[1]), sys.argv[2], int(sys.argv[3])
first = {}
cur = None
for line in sys.stdin:
    parts = line.split(" ", 2)
    if len(parts) == 3 and parts[1].startswith("vantiro/sign/"):
        cur = (float(parts[0]), parts[1])
    if cur and line.strip() == "seq " + seq:
        first.setdefault(cur[1], cur[0] - start)
t = sorted(first.values())
if len(t) < n: print("round: only %d of %d cards confirmed" % (len(t), n)); sys.exit()
print("round: %d cards confirmed: min %.0f ms, median %.0f ms, max %.0f ms" % (len(t), t[0]*1e3, t[len(t)//2]*1e3, t[-1]*1e3))
' "$start" "$seq" "$n"
  sleep 0.5
done
echo "broker memory: $(ps -o rss= -p "$broker_pid") KiB; one card ($width x $height): $(ps -o rss= -p "$card_pid") KiB"
