#!/usr/bin/env bash
# Time from the editor's launch to its first frame on the screen, for the
# start-up scene and for the full sign (bench/full.scene), under Xvfb.
#   bench/startup.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
work=$(mktemp -d)
read -r display xvfb_pid < <(scripts/xvfb-start)
export DISPLAY="$display"
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# Milliseconds from launching the editor in folder $1 to its first frame.
first_frame_ms() {
  local start end pid
  rm -f "$work/frame"
  start=$(date +%s%N)
  VANTIRO_FRAME_FILE="$work/frame" "$1/vantiro" >/dev/null 2>"$work/err" &
  pid=$!
  for _ in $(seq 2000); do [ -s "$work/frame" ] && break; sleep 0.005; done
  end=$(date +%s%N)
  [ -s "$work/frame" ] || { echo "no frame: $(cat "$work/err")" >&2; kill "$pid"; return 1; }
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo $(((end - start) / 1000000))
}

for scene in start-up full; do
  dir="$work/$scene"
  cp -r build/bin "$dir"
  rm -f "$dir"/*.conf "$dir/vantiro_unit_tests"
  [ "$scene" = full ] && build/bench/vantiro_render_bench --save bench/full.scene "$dir"
  times=()
  for _ in $(seq "$runs"); do times+=("$(first_frame_ms "$dir")"); done
  sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
  echo "$scene: launch to first frame ${sorted}ms (min .. max of $runs)"
done
