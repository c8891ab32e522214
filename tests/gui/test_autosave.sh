# Nothing the operator makes is lost to a kill: rounds of an editing
# session (palette elements dropped on the sign, each at a place of its
# own) ended by kill -9 at a random moment. The next start recovers the
# session, says so, and holds every edit made until 3 s before the kill
# (checked in the scene the recovered session saves with ×). One Ctrl+Z
# goes back to the saved scene. A second editor on the same folder refuses
# to start and recovers nothing. Ctrl+S discards the copy.
# VANTIRO_AUTOSAVE_ROUNDS: the kills (4). The delays before the kills are
# random on purpose; every other wait polls its condition.
source "$(dirname "$0")/lib.sh"

install_editor
cli="$work/bin/vantiro-cli"
rounds=${VANTIRO_AUTOSAVE_ROUNDS:-4}
RANDOM=$$

now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }

# Places ("x y") of the elements of group 0..19 that lie on the sign in the
# saved scene.
placed() {
  "$cli" dump "$work/bin" 2>/dev/null | /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
for e in d["digits"]:
    if e["enabled"] and e["x"] >= 276 and e["y"] >= 226:
        print(e["x"], e["y"])'
}

made=0 recovered=0 old_enough=0 young_kept=0
for ((round = 1; round <= rounds; round++)); do
  start_editor
  edits=$((3 + RANDOM % 4))
  declare -a at_x=() at_y=() done_ms=()
  for ((e = 0; e < edits; e++)); do
    x=$((300 + 24 * e)) y=$((250 + 30 * round))
    k=$(((6 * round + e) % 31))   # a digit module of the palette (8 a row, 26 x 15 pixels apart)
    drag $((11 + 26 * (k % 8))) $((155 + 15 * (k / 8))) "$x" "$y"
    # Where it lies: pressed 3 pixels into its box, on the sign's LED there.
    at_x[e]=$((276 + 2 * ((x - 3 - 276) / 2))) at_y[e]=$((226 + 2 * ((y - 3 - 226) / 2))) done_ms[e]=$(now_ms)
    made=$((made + 1))
  done
  # A random moment within 5 s of the last edit.
  delay=$((RANDOM % 5000))
  sleep "$((delay / 1000)).$(printf %03d $((delay % 1000)))"
  killed_ms=$(now_ms)
  kill -9 "$editor_pid"
  wait "$editor_pid" 2>/dev/null || true
  editor_pid=""

  # The next start (the killed editor's lock went with it) recovers.
  : >"$work/stderr"
  start_editor
  if ! grep -q "recovered the edits of a session" "$work/stderr"; then
    # Nothing to recover is right only when no edit was 3 s old at the kill.
    first_age=$((killed_ms - done_ms[0]))
    [ "$first_age" -lt 3000 ] || fail "round $round: no recovery, though an edit was $first_age ms old at the kill"
  fi
  close_editor
  places=$(placed)
  for ((e = 0; e < edits; e++)); do
    age=$((killed_ms - done_ms[e]))
    if grep -qx "${at_x[e]} ${at_y[e]}" <<<"$places"; then
      recovered=$((recovered + 1))
      [ "$age" -lt 3000 ] && young_kept=$((young_kept + 1))
    elif [ "$age" -ge 3000 ]; then
      fail "round $round: the edit at (${at_x[e]},${at_y[e]}), $age ms before the kill, is lost"
    fi
    [ "$age" -ge 3000 ] && old_enough=$((old_enough + 1))
  done
done
echo "autosave: $rounds kills, $made edits made, $recovered recovered ($old_enough made 3 s or more before their kill, all recovered; $young_kept younger ones too)"

# One Ctrl+Z after a recovery gives back the saved scene; a second editor
# refuses the folder.
saved=$(placed)
start_editor
drag 37 155 700 420
wait_for "a recovery copy" test -s "$work/bin/scene.recovery"
kill -9 "$editor_pid"
wait "$editor_pid" 2>/dev/null || true
editor_pid=""
: >"$work/stderr"
start_editor
grep -q "recovered the edits" "$work/stderr" || fail "the last edit was not recovered: $(cat "$work/stderr")"
if "$work/bin/vantiro" >"$work/second.out" 2>"$work/second.err"; then
  fail "a second editor started on the same folder"
fi
grep -q "another vantiro has the scene folder" "$work/second.err" || fail "the second editor did not say why: $(cat "$work/second.err")"
[ -s "$work/bin/scene.recovery" ] || fail "the second editor took the first one's recovery copy"
xdotool key --window "$window_id" ctrl+z
settle
close_editor
[ "$(placed)" = "$saved" ] || fail "one Ctrl+Z after the recovery is not the saved scene"
[ ! -e "$work/bin/scene.recovery" ] || fail "× left the recovery copy"

# Ctrl+S: the operator's discard; nothing comes back.
start_editor
drag 63 155 720 440
wait_for "a recovery copy" test -s "$work/bin/scene.recovery"
xdotool key --window "$window_id" ctrl+s 2>/dev/null || true
wait "$editor_pid" 2>/dev/null || true
editor_pid=""
[ ! -e "$work/bin/scene.recovery" ] || fail "Ctrl+S left the recovery copy"
echo "PASS"
