#!/usr/bin/env bash
# Idle cost and input-to-frame latency of the editor under Xvfb.
#   bench/idle.sh [build/bin/vantiro]
# Prints the wake-ups and processor share over 60 s of idling, then moves the mouse 50
# times over the screen and prints the time from each input event to the
# presented frame (min / median / max).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin/vantiro}
source bench/lib.sh
bench_setup
bench_start_editor "$bin"
sleep 2

# Over IDLE_SECONDS (60) of idling: wake-ups a second (voluntary context
# switches of every thread, /proc/PID/task/*/status) and the processor share
# (run time in nanoseconds, /proc/PID/task/*/schedstat: the 10 ms ticks of
# /proc/PID/stat cannot see a share below a few tenths of a percent).
seconds=${IDLE_SECONDS:-60}
switches() { cat /proc/"$pid"/task/*/status | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n}'; }
run_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{n += $1} END {printf "%d", n}'; }
w0=$(switches); n0=$(run_ns); s0=$(date +%s.%N)
sleep "$seconds"
w1=$(switches); n1=$(run_ns); s1=$(date +%s.%N)
elapsed=$(echo "$s1 - $s0" | bc -l)
echo "idle: $(echo "($w1 - $w0) / $elapsed" | bc -l | xargs printf '%.2f') wake-ups a second," \
  "$(echo "($n1 - $n0) / 10000000 / $elapsed" | bc -l | xargs printf '%.4f')% of one core over $(printf '%.1f' "$elapsed") s"

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
