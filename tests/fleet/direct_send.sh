#!/usr/bin/env bash
# The live send to a fleet of cards: 20 cards in SysCfg.ini (RemotIP and
# 19 [Cards] lines), 17 of them good simulated cards, one that never
# answers (--silent), one that drops its connection after 3 lines
# (--close-after 3) and one address with nothing listening. vantiro-cli
# send must reach the 17 (each card's screen equals `vantiro-cli render`),
# print one line per card naming the three failures and why, and end with
# a non-zero status. Then --to NAME sends to that card alone.
# Usage: direct_send.sh RANDOM_SCENE VANTIRO_CLI VANTIRO_CARD
# All on 127.0.0.1, free ports; waits are bounded (tests/lib/vantiro.sh).
set -euo pipefail
random_scene=$1
cli=$2
card_bin=$3
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
scratch fleet

scene="$work/scene"
mkdir -p "$scene"
# A seed whose scene has more than a dozen live lines (see below).
read -r _pitch _rows _cols width height _rest < <("$random_scene" 11 "$scene")

# Cards 0..18 run; card 17 is silent, card 18 closes after 3 lines.
for i in $(seq 0 18); do
  fault=()
  [ "$i" = 17 ] && fault=(--silent)
  [ "$i" = 18 ] && fault=(--close-after 3)
  start_card --width "$width" --height "$height" --flash "$work/flash$i.bin" --png "$work/card$i.png" \
    --log "$work/card$i.log" "${fault[@]}"
  pids[$i]=$card_pid port[$i]=$card_port
done
dead=$(free_port)   # nothing listens there

write_syscfg "$scene" "${port[0]}" "$width" "$height"
{
  echo "[Cards]"
  for i in $(seq 1 16); do echo "sign$i = 127.0.0.1:${port[$i]}"; done
  echo "mute=127.0.0.1:${port[17]}"
  echo "closer=127.0.0.1:${port[18]}"
  echo "gone=127.0.0.1:$dead"
} >>"$scene/SysCfg.ini"

"$cli" render "$scene" --png "$work/want.png" >/dev/null || fail "render failed"

status=0
timeout 60 "$cli" send "$scene" >"$work/send.out" 2>"$work/send.err" || status=$?
[ "$status" = 1 ] || fail "send with three failed cards ended with status $status: $(cat "$work/send.out" "$work/send.err")"
lines=$(grep -c ' tag ' "$work/card0.log" || true)
[ "$lines" -gt 12 ] || fail "the scene made only $lines lines on the card"

# One line per card, in the order of SysCfg.ini.
names=(RemotIP $(for i in $(seq 1 16); do echo "sign$i"; done) mute closer gone)
per_card=$(grep -E '^[A-Za-z0-9]+ 127\.0\.0\.1:[0-9]+: (sent|failed: )' "$work/send.out" || true)
[ "$(wc -l <<<"$per_card")" = 20 ] || fail "not one line per card: $(cat "$work/send.out")"
for k in $(seq 0 19); do
  line=$(sed -n "$((k + 1))p" <<<"$per_card")
  case ${names[$k]} in
    mute | closer | gone) [[ $line == "${names[$k]} "*": failed: "* ]] || fail "${names[$k]} not named as failed: $line" ;;
    *) [[ $line == "${names[$k]} 127.0.0.1:${port[$k]}: sent" ]] || fail "card ${names[$k]} not sent to: $line" ;;
  esac
done
grep -q "^gone .*: failed: .*refused" <<<"$per_card" || fail "the dead address's reason: $per_card"
grep -q "^closer .*: failed: .*\(ran\|not reachable\)" <<<"$per_card" || fail "the closing card's reason: $per_card"
grep -q "^mute .*: failed: .*not reachable" <<<"$per_card" || fail "the silent card's reason: $per_card"
grep -q "^card: sent to 17 of 20 cards; failed: mute (.*); closer (.*); gone (.*)$" "$work/send.out" ||
  fail "no outcome naming the three: $(cat "$work/send.out")"
grep -q "^sent to [0-9]* of 20 cards…$" "$work/send.out" || fail "no progress lines: $(cat "$work/send.out")"

# Every good card shows what render shows.
for i in $(seq 0 16); do
  card_picture "${pids[$i]}" "$work/card$i.png"
  cmp -s "$work/card$i.png" "$work/want.png" || fail "card $i's screen differs from render"
  [ "$(grep -c ' tag ' "$work/card$i.log")" = "$lines" ] || fail "card $i ran another number of lines"
done

# --to NAME: that card alone; its count goes up by one send, the others' not.
before3=$(grep -c ' tag ' "$work/card3.log")
before4=$(grep -c ' tag ' "$work/card4.log")
timeout 30 "$cli" send "$scene" --to sign3 >"$work/one.out" 2>&1 || fail "send --to sign3: $(cat "$work/one.out")"
grep -q "^sent $lines lines to 127.0.0.1:${port[3]}\$" "$work/one.out" || fail "send --to sign3 said: $(cat "$work/one.out")"
[ "$(grep -c ' tag ' "$work/card3.log")" = $((before3 + lines)) ] || fail "sign3 did not get the send"
[ "$(grep -c ' tag ' "$work/card4.log")" = "$before4" ] || fail "sign4 got a send meant for sign3"
# --to gone: the one dead card, a failure and its reason.
if timeout 30 "$cli" send "$scene" --to gone >"$work/gone.out" 2>&1; then fail "a send to a dead card succeeded"; fi
grep -q "refused" "$work/gone.out" || fail "send --to gone said: $(cat "$work/gone.out")"
cat "$work/send.out" >&2
echo "fleet: 17 of 20 cards show the scene; mute, closer and gone named"
