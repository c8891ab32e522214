#!/usr/bin/env bash
# Batched against per-dot rendering, and cached frames while editing, for
# the start-up scene, the heavy scene and the full sign, under Xvfb.
#   bench/render.sh [seconds per run]
set -euo pipefail
cd "$(dirname "$0")/.."
read -r display xvfb_pid < <(scripts/xvfb-start)
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
DISPLAY="$display" build/bench/vantiro_render_bench bench/heavy.scene "${1:-3}" bench/full.scene
