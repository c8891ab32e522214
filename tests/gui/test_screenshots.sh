# scripts/screenshots makes the README's three pictures: run into a scratch
# folder with the programs of this build, each is there, cropped to its
# window (the editor's 1200 × 801; the card's 3 pixels a LED for the
# script's 2 × 1 boards of 192 × 96 LEDs), under 200 KB, and shows what it
# should: the editor lit texts and shapes in red, green and yellow, the card
# the same colours on its screen after the live send, the help its yellow
# frame over the editor; docs/card-example.png is what docs/card-example.txt
# makes.
set -euo pipefail
editor_bin=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v Xvfb >/dev/null; then
  echo "SKIP: no Xvfb"
  exit 77
fi
source "$source_dir/tests/lib/vantiro.sh"
scratch shots
out=$work

VANTIRO_BIN=$(dirname "$editor_bin") "$source_dir/scripts/screenshots" "$out" || fail "scripts/screenshots failed"

# Pixels of picture $1 for which the fx expression $2 holds.
count() {
  convert "$1" -fx "($2) ? 1 : 0" -format '%[fx:round(mean*w*h)]' info:
}
red='r>0.7 && g<0.3 && b<0.3'
green='g>0.5 && r<0.4 && b<0.4'
yellow='r>0.6 && g>0.6 && b<0.3'
expect() {   # picture, what, expression, least count
  local n
  n=$(count "$out/$1" "$3")
  [ "$n" -ge "$4" ] || fail "$1: $n $2 pixels, fewer than $4"
  echo "$1: $n $2 pixels"
}

for picture in editor card help; do
  [ -s "$out/$picture.png" ] || fail "no $picture.png"
  size=$(stat -c %s "$out/$picture.png")
  [ "$size" -lt 200000 ] || fail "$picture.png is $size bytes"
done
[ "$(identify -format '%wx%h' "$out/editor.png")" = 1200x801 ] || fail "editor.png is $(identify -format '%wx%h' "$out/editor.png")"
[ "$(identify -format '%wx%h' "$out/help.png")" = 1200x801 ] || fail "help.png is $(identify -format '%wx%h' "$out/help.png")"
card_size="$((3 * 2 * 192))x$((3 * 96))"
[ "$(identify -format '%wx%h' "$out/card.png")" = "$card_size" ] ||
  fail "card.png is $(identify -format '%wx%h' "$out/card.png"), not $card_size"

expect editor.png red "$red" 2000
expect editor.png green "$green" 300
expect editor.png yellow "$yellow" 100
expect card.png red "$red" 150
expect card.png green "$green" 150
expect card.png yellow "$yellow" 60
# The help's frame: a yellow line 900 pixels long at least.
expect help.png yellow "$yellow" 1800
n_editor=$(count "$out/editor.png" "$yellow")
n_help=$(count "$out/help.png" "$yellow")
[ "$n_help" -gt $((n_editor + 1500)) ] || fail "help.png has no more yellow than the editor ($n_help, $n_editor)"
# The example of docs/card.md is the picture its script makes now.
cmp -s "$out/card-example.png" "$source_dir/docs/card-example.png" ||
  fail "docs/card-example.png is not what vantiro-cli play makes of docs/card-example.txt (scripts/screenshots remakes it)"
echo "PASS"
