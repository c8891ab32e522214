# Readers beside a writer: vantiro_random_scene saves two scenes in turn
# into one folder without pause (the editor's own save routine), while
# vantiro-cli dump, render and export read that folder, round after round.
#   race_loop.sh SCENE_TOOL CLI
# VANTIRO_RACE_ROUNDS: the rounds wanted (500). After every reader:
#  - it succeeded, and what it read is scene A or scene B whole (the dump's
#    scene, the rendered picture byte for byte, the exported script);
#  - scene.conf is there, and nothing was renamed aside or removed: a
#    reader leaves the folder as it found it.
# The writer must have saved during the rounds, or nothing was tested.

set -uo pipefail
export LC_ALL=C
shopt -s nullglob

tool=${1:-} cli=${2:-}
if [ ! -x "$tool" ] || [ ! -x "$cli" ]; then
  echo "usage: $0 SCENE_TOOL CLI" >&2
  exit 2
fi
rounds=${VANTIRO_RACE_ROUNDS:-500}
writer=""
round=0
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
scratch race   # (the writer is ended at the exit)
fail_context() { echo "round $round"; }

# The two scenes as the readers must see them.
ref=$work/ref
dir=$work/scene
mkdir -p "$ref/A" "$ref/B" "$dir" "$work/size"
seed_of=([0]=2 [1]=3)
scene_of=([0]=A [1]=B)
# One board size for all three folders (the configuration's, which every
# load applies): scene A's.
read -r pitch rows cols width height rest < <("$tool" 2 "$work/size") || fail "scene A could not be made"
for folder in "$ref/A" "$ref/B" "$dir"; do
  printf '[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n' "$width" "$height" >"$folder/SysCfg.ini"
done
for i in 0 1; do
  X=${scene_of[i]}
  "$tool" "${seed_of[i]}" "$ref/$X" >/dev/null || fail "scene $X could not be made"
  "$cli" dump "$ref/$X" >"$ref/$X.json" 2>"$work/err" || fail "scene $X does not load: $(cat "$work/err")"
  "$cli" render "$ref/$X" --png "$ref/$X.png" >/dev/null 2>"$work/err" || fail "scene $X: render: $(cat "$work/err")"
  mkdir -p "$ref/$X.stick"
  "$cli" export "$ref/$X.stick" "$ref/$X" >/dev/null 2>"$work/err" || fail "scene $X: export: $(cat "$work/err")"
done
cmp -s "$ref/A.json" "$ref/B.json" && fail "the two scenes load alike"
cmp -s "$ref/A.png" "$ref/B.png" && fail "the two scenes render alike"

# Either scene's bytes, or a failure naming what the reader got.
one_of() {   # $1 what, $2 file got, $3 A's, $4 B's
  cmp -s "$2" "$3" || cmp -s "$2" "$4" || fail "$1 is neither scene's: $(head -c 300 "$2")"
}

"$tool" 2 "$dir" >/dev/null || fail "the first save failed"
"$tool" 2 "$dir" --alternate 3 100000000 2>"$work/writer.err" &
writer=$!
start_conf=$(stat -c %Y.%i "$dir/scene.conf")
changes=0
last=$start_conf
for ((round = 1; round <= rounds; round++)); do
  "$cli" dump "$dir" >"$work/got.json" 2>"$work/err" || fail "dump failed: $(cat "$work/err")"
  one_of "the dumped scene" "$work/got.json" "$ref/A.json" "$ref/B.json"
  "$cli" render "$dir" --png "$work/got.png" >/dev/null 2>"$work/err" || fail "render failed: $(cat "$work/err")"
  one_of "the rendered picture" "$work/got.png" "$ref/A.png" "$ref/B.png"
  rm -rf "$work/stick" && mkdir "$work/stick"
  "$cli" export "$work/stick" "$dir" >/dev/null 2>"$work/err" || fail "export failed: $(cat "$work/err")"
  one_of "the exported script" "$work/stick/ledsys/CMD/cmd.txt" "$ref/A.stick/ledsys/CMD/cmd.txt" \
    "$ref/B.stick/ledsys/CMD/cmd.txt"
  [ -f "$dir/scene.conf" ] || fail "scene.conf is gone"
  aside=("$dir"/*.bad-*)
  ((${#aside[@]} == 0)) || fail "a reader set ${aside[*]##*/} aside: $(cat "$work/err")"
  kill -0 "$writer" 2>/dev/null || fail "the writer ended: $(cat "$work/writer.err")"
  now=$(stat -c %Y.%i "$dir/scene.conf" 2>/dev/null)
  [ "$now" != "$last" ] && changes=$((changes + 1))
  last=$now
done
round=$rounds
((changes > rounds / 10)) || fail "the writer saved only between $changes of $rounds rounds"
echo "race: $rounds rounds of dump, render and export beside a saving writer; scene.conf replaced between $changes of them; every read whole, nothing set aside"
echo "PASS"
