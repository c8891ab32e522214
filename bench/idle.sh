#!/usr/bin/env bash
# Idle cost and input-to-frame latency of the editor under Xvfb.
#   bench/idle.sh [build/bin/vantiro]
# Prints the processor share over 10 s of idling, then moves the mouse 50
# times over the screen and prints the time from each input event to the
# presented frame (min / median / max).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin/vantiro}
work=$(mktemp -d)
cc -O2 -shared -fPIC -o "$work/shim.so" bench/frame_latency_shim.c -ldl
read -r display xvfb_pid < <(scripts/xvfb-start)
export DISPLAY="$display"
LD_PRELOAD="$work/shim.so" "$bin" 2>"$work/log" >/dev/null &
pid=$!
trap 'kill $pid $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
timeout 20 xdotool search --sync --onlyvisible --name '^vantiro$' >/dev/null
sleep 2

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); s0=$(date +%s.%N)
sleep 10
t1=$(ticks); s1=$(date +%s.%N)
echo "idle: $(echo "($t1 - $t0) / $hz / ($s1 - $s0) * 100" | bc -l | xargs printf '%.2f')% of one core over $(echo "$s1 - $s0" | bc | xargs printf '%.1f') s"

: >"$work/log"
for i in $(seq 1 50); do
  xdotool mousemove $((50 + 300 + i * 7)) $((50 + 200 + i * 5))
  sleep 0.1
done
sleep 0.3
grep latency_us "$work/log" | awk '{print $2}' | sort -n >"$work/lat"
n=$(wc -l <"$work/lat")
[ "$n" -gt 0 ] || { echo "latency: no frames after input"; exit 1; }
echo "latency: $n frames after input; input to presented frame min $(head -n1 "$work/lat") us," \
  "median $(sed -n "$(( (n + 1) / 2 ))p" "$work/lat") us, max $(tail -n1 "$work/lat") us"
