#!/usr/bin/env bash
# The Debian package, checked without installing it:
#   check_deb.sh BUILD_DIR SOURCE_DIR
# builds build/vantiro_*.deb with cpack, extracts it into a scratch root and
#   - runs lintian on it: no error;
#   - checks what it holds (the three programs and no other, the fonts, the
#     default settings, docs, man pages, desktop entry and icon);
#   - renders a random scene (text, digits, shapes) with the extracted
#     vantiro-cli and with the build tree's, and compares the PNG bytes: the
#     extracted programs find their fonts in usr/share/vantiro beside their
#     usr/bin;
#   - validates the desktop entry and has man render each page;
#   - starts the extracted editor on its own Xvfb with HOME and XDG_* in a scratch folder, waits for its first
#     frame, and checks that it made the user's folders with the default
#     SysCfg.ini and wrote nothing into the extracted tree; Ctrl+S ends it.
# Waits poll their condition every 20 ms for at most about 15 s.
set -euo pipefail

build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
scratch deb

# --- The package -------------------------------------------------------------
rm -f "$build"/vantiro_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || fail "cpack: $(tail -n 20 "$work/cpack.log")"
debs=("$build"/vantiro_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single vantiro_*.deb: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
[ "$(dpkg-deb -f "$deb" Package)" = vantiro ] || fail "the package is not named vantiro"
# Debian's own checker: no error (a copyright file, a changelog, ...).
command -v lintian >/dev/null || fail "lintian is missing (scripts/deps installs it)"
lintian "$deb" >"$work/lintian.log" 2>&1 || true
grep -v "root privileges" "$work/lintian.log" || true
if grep -q '^E:' "$work/lintian.log"; then fail "lintian finds errors in the package"; fi
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libglut libgl libglu libfreetype6 libfontconfig1 libpng16-16 libmount1 libcivetweb1 fonts-arphic-uming; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
usr="$root/usr"
[ "$(ls "$usr/bin" | sort | tr '\n' ' ')" = "vantiro vantiro-card vantiro-cli " ] ||
  fail "usr/bin holds $(ls "$usr/bin" | tr '\n' ' ')"
for f in share/vantiro/SysCfg.ini share/vantiro/Font/fonts/font_libs/HZK/16/HZK16C \
         share/vantiro/Font/fonts/font_libs/ASC/ASC32_16 share/doc/vantiro/README.md \
         share/doc/vantiro/card.md share/doc/vantiro/csdk/README.md share/doc/vantiro/copyright \
         share/doc/vantiro/changelog.gz share/applications/vantiro.desktop \
         share/icons/hicolor/scalable/apps/vantiro.svg share/man/man1/vantiro.1.gz \
         share/man/man1/vantiro-cli.1.gz share/man/man1/vantiro-card.1.gz; do
  [ -s "$usr/$f" ] || fail "usr/$f is missing from the package"
done
cmp -s "$usr/share/vantiro/SysCfg.ini" "$source_dir/data/SysCfg.ini" || fail "the packaged SysCfg.ini differs"

# --- The same picture from the extracted programs and the build tree's -------
scene="$work/scene"
mkdir -p "$scene"
read -r _ _ _ bw bh _ _ < <("$build/tests/vantiro_random_scene" 7 "$scene" --text-files) ||
  fail "the scene could not be made"
printf '[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n' "$bw" "$bh" >"$scene/SysCfg.ini"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
unset XDG_RUNTIME_DIR
"$build/bin/vantiro-cli" render "$scene" --png "$work/built.png" >"$work/built.txt" || fail "the build tree's render failed"
"$usr/bin/vantiro-cli" render "$scene" --png "$work/packaged.png" >"$work/packaged.txt" 2>&1 ||
  fail "the extracted render failed: $(cat "$work/packaged.txt")"
lit=$(sed -n 's/^\([0-9]*\) LEDs lit.*/\1/p' "$work/built.txt")
[ -n "$lit" ] && [ "$lit" -gt 0 ] || fail "the scene lights no LEDs: $(cat "$work/built.txt")"
cmp -s "$work/built.png" "$work/packaged.png" ||
  fail "the extracted vantiro-cli draws another picture: $(cat "$work/built.txt" "$work/packaged.txt")"
echo "render: the same $(stat -c %s "$work/built.png")-byte picture ($lit LEDs lit) from both"
# A scene's text drawn without the fonts differs: the comparison sees them.
mv "$usr/share/vantiro/Font" "$work/Font.aside"
"$usr/bin/vantiro-cli" render "$scene" --png "$work/nofonts.png" >/dev/null 2>&1 || true
mv "$work/Font.aside" "$usr/share/vantiro/Font"
! cmp -s "$work/built.png" "$work/nofonts.png" || fail "the picture does not depend on the fonts"
"$usr/bin/vantiro" --version | grep -q '^vantiro [0-9]' || fail "vantiro --version"
"$usr/bin/vantiro" --help | grep -q -- '--dir' || fail "vantiro --help does not name --dir"

# --- Desktop entry and man pages ---------------------------------------------
desktop-file-validate "$usr/share/applications/vantiro.desktop" || fail "the desktop entry is not valid"
for page in "$usr"/share/man/man1/*.1.gz; do
  out=$(man -l --warnings "$page" 2>&1 >/dev/null) || fail "man -l $(basename "$page") failed: $out"
  [ -z "$out" ] || fail "man -l $(basename "$page") warns: $out"
  man -l "$page" 2>/dev/null | grep -q 'vantiro' || fail "$(basename "$page") renders no text"
done
echo "desktop entry valid; $(ls "$usr"/share/man/man1 | wc -l) man pages render"

# --- The extracted editor's first start --------------------------------------
# On a display of its own: keys sent to a window that closes on them are
# not all delivered, and must not be left to the GUI tests' display.
read -r display xvfb_pid < <("$source_dir/scripts/xvfb-start") || fail "no X display could be started"
pids+=("$xvfb_pid")
export DISPLAY="$display"
if xdotool search --name '^vantiro$' >/dev/null 2>&1; then
  fail "another vantiro window is already open on $DISPLAY"
fi
before=$(cd "$root" && find . -printf '%p %s %T@\n' | sort)
rm -rf "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
mkdir -p "$HOME"
frame="$work/frame"
VANTIRO_FRAME_FILE="$frame" "$usr/bin/vantiro" >"$work/editor.out" 2>"$work/editor.err" &
editor_pid=$!
editor_alive() {
  kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended: $(cat "$work/editor.err")"
}
first_frame() { editor_alive && test -s "$frame"; }
wait_for "the editor's first frame" first_frame
window_id=$(xdotool search --onlyvisible --name '^vantiro$' | head -n 1) || fail "no vantiro window"
[ -n "$window_id" ] || fail "no vantiro window"
[ "$(stat -c %a "$XDG_CONFIG_HOME/vantiro")" = 700 ] || fail "no private settings folder in \$XDG_CONFIG_HOME"
[ "$(stat -c %a "$XDG_DATA_HOME/vantiro")" = 700 ] || fail "no private scene folder in \$XDG_DATA_HOME"
cmp -s "$XDG_CONFIG_HOME/vantiro/SysCfg.ini" "$usr/share/vantiro/SysCfg.ini" ||
  fail "the default SysCfg.ini was not copied into the settings folder"
# The editor closes on the key press; the release then finds no window, so
# xdotool's own status says nothing: the editor's end is what is checked.
xdotool key --window "$window_id" ctrl+s >/dev/null 2>&1 || true
ended() { ! kill -0 "$editor_pid" 2>/dev/null; }
wait_for "the editor to end on Ctrl+S" ended
wait "$editor_pid" || fail "the editor failed: $(cat "$work/editor.err")"
after=$(cd "$root" && find . -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "the editor wrote into its own tree: $(diff <(echo "$before") <(echo "$after"))"
[ -z "$(ls -A "$HOME")" ] || fail "the editor wrote into HOME itself: $(ls -A "$HOME")"
echo "editor: made $XDG_CONFIG_HOME/vantiro (SysCfg.ini) and $XDG_DATA_HOME/vantiro, wrote nothing beside itself"
echo "PASS"
