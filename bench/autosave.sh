#!/usr/bin/env bash
# The frame while the recovery copy is made and written, against the other
# frames of the same editing, in the editor under Xvfb.
#   bench/autosave.sh [build/bin/vantiro] [SECONDS]
# Makes a text (Ctrl+E), selects it, then types a letter and takes it back
# (Backspace), a key every 50 ms for SECONDS (40): every key is an edit, so
# a recovery copy is made every 2 s. Prints the copies written (and how
# long each write took, opening the temporary to flushing the folder), then
# the input-to-presented-frame time (min / median / max) of the frames that
# ran while a copy was being made or written and of the others.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin/vantiro}
seconds=${2:-40}
source bench/lib.sh
bench_setup
# The editor in a folder of its own: it saves and keeps its copy there.
cp -r "$(dirname "$bin")"/. "$work/bin"
rm -f "$work/bin/vantiro_unit_tests" "$work/bin/scene.recovery"
bench_start_editor "$work/bin/vantiro"
sleep 2
# The window sits at (50, 50); a new text lies at board 0's corner.
xdotool mousemove 650 650 key ctrl+e
sleep 0.5
xdotool mousemove 330 282 click 1
sleep 0.5
: >"$work/log"   # the typing alone
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
  xdotool key a
  sleep 0.05
  xdotool key BackSpace
  sleep 0.05
done
sleep 0.5
[ -s "$work/bin/scene.recovery" ] || { echo "autosave: no recovery copy was written: the keys did not edit"; exit 1; }
/usr/bin/python3 - "$work/log" ${VERBOSE:+-v} <<'PY'
import sys
frames, writes = [], []
for line in open(sys.argv[1]):
    w = line.split()
    if w[:1] == ["latency_us"] and len(w) == 4:
        frames.append((float(w[3]) - float(w[1]), float(w[3])))
    elif w[:1] == ["recovery_us"] and len(w) == 3 and float(w[1]) > 0:
        writes.append((float(w[1]), float(w[2])))
def stats(xs):
    xs = sorted(xs)
    return "%d frames, min %.1f ms, median %.1f ms, max %.1f ms" % (
        len(xs), xs[0] / 1e3, xs[(len(xs) - 1) // 2] / 1e3, xs[-1] / 1e3) if xs else "no frames"
# The copy itself is made on the main thread just before the writer opens
# its temporary: a frame counts as "during a copy" when it overlaps the
# write or the 20 ms before it.
def overlaps(s, e):
    return any(s <= c and e >= b - 20e3 for b, c in writes)
during = [e - s for s, e in frames if overlaps(s, e)]
others = [e - s for s, e in frames if not overlaps(s, e)]
if not writes:
    sys.exit("autosave: the editor wrote no recovery copy while it was edited")
took = sorted(c - b for b, c in writes)
print("autosave: %d recovery copies written; each write took min %.2f ms, median %.2f ms, max %.2f ms"
      % (len(writes), took[0] / 1e3, took[(len(took) - 1) // 2] / 1e3, took[-1] / 1e3))
print("frames while a copy was made or written: " + stats(during))
print("other frames of the same editing:        " + stats(others))
if "-v" in sys.argv:
    for s, e in frames:
        for k, (b, c) in enumerate(writes):
            if s <= c and e >= b - 20e3: print("  copy %d: frame of %.1f ms, input %.1f ms from the write start" % (k, (e - s) / 1e3, (s - b) / 1e3))
PY
