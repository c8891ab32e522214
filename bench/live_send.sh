#!/usr/bin/env bash
# The live send against the simulated card under Xvfb, paced as a real card
# wants it: 98 rectangles (Ctrl+D) and the clear line, 10 ms after each
# rectangle. Prints the gaps between the lines as the card logged them
# (median against the 10 ms wait), and the input-to-frame latency of mouse
# moves during the send (as bench/idle.sh measures it when idle). Then the
# time from start to a usable window with sync on and the card absent
# (a closed port) or silent (accepts, never answers).
#   bench/live_send.sh [build/bin]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
source bench/lib.sh
bench_setup
mkdir "$work/ed"
cp -r "$bin/vantiro" "$bin/Font" "$work/ed/"
"$bin/vantiro-card" --port 0 --flash "$work/flash.bin" --log "$work/card.log" >"$work/card.out" 2>&1 &
card=$!
trap 'kill $card $xvfb_pid ${pid:-} 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q listening "$work/card.out" && break; sleep 0.05; done
port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/card.out")
printf '[RemotIP]\nRemotIP=127.0.0.1:%s\n[LEDPARA]\nWIDTH=256\nHEIGHT=128\n[NetSyc]\nSyc_Enable=1\n[LiveSend]\nPacing=1\n' \
  "$port" >"$work/ed/SysCfg.ini"
bench_start_editor "$work/ed/vantiro"
sleep 1
xdotool mousemove 700 650
for _ in $(seq 98); do xdotool key ctrl+d; done
sleep 0.5
: >"$work/card.log"
: >"$work/log"
xdotool key Return
for i in $(seq 1 20); do   # moves while the send runs (about 1 s)
  xdotool mousemove $((400 + i * 9)) $((300 + i * 4))
  sleep 0.04
done
for _ in $(seq 100); do grep -aq '^sent ' "$work/log" && break; sleep 0.1; done
lines=$(wc -l <"$work/card.log")
awk '{ split($1, t, /[:.]/); ms = ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4];
       if (NR > 2) print ms - last; last = ms }' "$work/card.log" | sort -n >"$work/gaps"
n=$(wc -l <"$work/gaps")
echo "send: $lines lines logged by the card; gaps between rectangle lines (wait 10 ms):" \
  "min $(head -n1 "$work/gaps") ms, median $(sed -n "$(( (n + 1) / 2 ))p" "$work/gaps") ms," \
  "max $(tail -n1 "$work/gaps") ms"
grep -a latency_us "$work/log" | awk '{print $2}' | sort -n >"$work/lat"
m=$(wc -l <"$work/lat")
echo "latency during the send: $m frames after input; min $(head -n1 "$work/lat") us," \
  "median $(sed -n "$(( (m + 1) / 2 ))p" "$work/lat") us, max $(tail -n1 "$work/lat") us"
grep -a '^sent \|not reachable' "$work/log" | tail -n 1
kill $pid; wait $pid 2>/dev/null || true
pid=""

# Start-up with sync on and no card to talk to.
"$bin/vantiro-card" --port 0 --silent --flash "$work/flash2.bin" >"$work/silent.out" 2>&1 &
silent=$!
for _ in $(seq 100); do grep -q listening "$work/silent.out" && break; sleep 0.05; done
silent_port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/silent.out")
kill $card; wait $card 2>/dev/null || true   # its port is now closed
for case in "absent $port" "silent $silent_port"; do
  set -- $case
  sed -i "s/^RemotIP=.*/RemotIP=127.0.0.1:$2/" "$work/ed/SysCfg.ini"
  t0=$(date +%s.%N)
  "$work/ed/vantiro" 2>"$work/start.log" >/dev/null &
  pid=$!
  timeout 20 xdotool search --sync --onlyvisible --name '^vantiro$' >/dev/null
  # The sync's outcome is said just before the main loop starts.
  for _ in $(seq 200); do grep -aq 'flash read' "$work/start.log" && break; sleep 0.01; done
  t1=$(date +%s.%N)
  echo "start-up with the card $1: main loop after $(echo "$t1 - $t0" | bc | xargs printf '%.2f') s;" \
    "$(grep -a 'flash read' "$work/start.log" | head -n1)"
  kill $pid; wait $pid 2>/dev/null || true
  pid=""
done
kill $silent 2>/dev/null || true
