#!/usr/bin/env bash
# The simulated card under network load (not a test): 32 clients pipeline
# "card status" while one more asks 300 times, one request at a time.
# Prints answers a second and the lone client's answer times (the 99th
# percentile should stay within 100 ms). With saves, a client sends that
# many "file save"s in a burst as the probes begin (bench/card_net.cpp).
#   bench/card_net.sh [path/to/vantiro-card] [clients] [probes] [saves]
set -euo pipefail
cd "$(dirname "$0")/.."
card_bin=${1:-build/bin/vantiro-card}
clients=${2:-32}
probes=${3:-300}
saves=${4:-0}
work=$(mktemp -d)
c++ -O2 -std=c++17 -pthread -o "$work/card_net" bench/card_net.cpp
"$card_bin" --port 0 --flash "$work/flash.bin" --max-clients $((clients + 2)) >"$work/card.out" 2>&1 &
card=$!
trap 'kill $card 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q listening "$work/card.out" && break; sleep 0.05; done
port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/card.out")
"$work/card_net" "$port" "$clients" "$probes" "$saves"
