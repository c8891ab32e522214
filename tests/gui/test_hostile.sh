# Hostile files and folders beside the editor, each through the real
# program: a leftover temporary that is a link, a flash image that never
# ends, font files that never end or are folders, a damaged scene.conf.
source "$(dirname "$0")/lib.sh"

install_editor
cli="$work/bin/vantiro-cli"

# The flash image is /dev/zero: refused, not read.
if "$cli" replay /dev/zero "$work/bin" >"$work/replay.out" 2>"$work/replay.err"; then
  fail "replay of /dev/zero succeeded"
fi
grep -q "not a regular file" "$work/replay.err" || fail "replay of /dev/zero: $(cat "$work/replay.err")"

# A leftover digit.conf.tmp linked to a file outside the folder, and a
# damaged scene.conf (its texts would be lost at the next save).
echo "keep me" >"$work/outside.txt"
ln -s "$work/outside.txt" "$work/bin/digit.conf.tmp"
# One font a link to /dev/zero, one a folder.
font_dir="$work/bin/Font/fonts/font_libs"
rm "$font_dir/HZK/24/HZK24" "$font_dir/ASC/ASC24_12"
ln -s /dev/zero "$font_dir/HZK/24/HZK24"
mkdir "$font_dir/ASC/ASC24_12"

start_editor
new_text
xdotool key ctrl+f ctrl+f ctrl+f   # 12, 16, 24: the broken 24-dot fonts are read now
xdotool type --delay 50 'Ab'
set_clipboard '中'          # a Chinese character reads HZK24
xdotool key ctrl+v
settle
kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended on the broken fonts: $(cat "$work/stderr")"
grep -q "HZK24" "$work/stderr" || fail "the font linked to /dev/zero was not reported: $(cat "$work/stderr")"
grep -q "ASC24_12 is a folder" "$work/stderr" || fail "the folder in place of a font was not reported: $(cat "$work/stderr")"
close_editor                # saves
[ "$(cat "$work/outside.txt")" = "keep me" ] || fail "the save wrote through the leftover link"
[ -f "$work/bin/digit.conf" ] && [ ! -L "$work/bin/digit.conf" ] || fail "digit.conf is not a plain file"
"$cli" dump "$work/bin" | grep -q '"text":"TxtAb中"' || fail "the text was not saved"

# A circle of radius 2^31 - 2 pixels whose rim crosses the window at y 400:
# only its visible part is walked, so frames come at once. Its centre lies
# on no board, so the card never shows it: its rim is drawn beside the sign
# (x 788 on) and not over it.
grep -q '^digit 5 50 ' "$work/bin/scene.conf" || fail "no digit line to change in scene.conf"
sed -i 's/^digit 5 50 .*/digit 5 50 1 0 2 600 2147484050 40 1073741823 0 5 1 2 0 0 50 2/' "$work/bin/scene.conf"
start_editor
rest_pointer
shot "$work/circle.png"
n=$(count_colour "$work/circle.png" 800 396 350 8 "#ff0000")
[ "$n" -gt 250 ] || fail "the huge circle's rim is not drawn beside the sign ($n red pixels)"
n=$(count_colour "$work/circle.png" 300 396 470 8 "#ff0000")
[ "$n" -eq 0 ] || fail "the huge circle's rim shows over the sign, where the card shows nothing ($n red pixels)"
close_editor

# One damaged line in scene.conf: it is kept aside, said on the status line
# and standard error, and survives the next save.
sed -i 's/^text 6 /text 6 x/' "$work/bin/scene.conf"
cp "$work/bin/scene.conf" "$work/damaged.conf"
start_editor
grep -q "scene.conf is damaged" "$work/stderr" || fail "the damaged scene.conf was not reported: $(cat "$work/stderr")"
close_editor
kept=$(ls "$work/bin"/scene.conf.bad-* 2>/dev/null | head -n 1)
[ -n "$kept" ] && cmp -s "$kept" "$work/damaged.conf" || fail "the damaged scene.conf was not kept aside whole"

# A SysCfg.ini value padded past any line buffer still reads (the saved
# boards, whose size wins over SysCfg.ini's, are moved out of the way).
printf '[LEDPARA]\nWIDTH=%300s64\nHEIGHT=32\n' "" >"$work/bin/SysCfg.ini"
mv "$work/bin/leduit.conf" "$work/leduit.conf"
"$cli" dump "$work/bin" | python3 -c '
import json, sys
b = json.load(sys.stdin)["boards"][0]
sys.exit(0 if (b["width"], b["height"]) == (64, 32) else 1)' || fail "the padded WIDTH did not read as 64"
echo "PASS"
