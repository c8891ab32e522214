# Without any usable TrueType face the editor says what is missing and
# which package provides it, and exits with a failure status.
source "$(dirname "$0")/lib.sh"

install_editor
printf '<?xml version="1.0"?>\n<fontconfig><cachedir>%s/cache</cachedir></fontconfig>\n' \
  "$work" >"$work/fonts.conf"

status=0
FONTCONFIG_FILE="$work/fonts.conf" timeout 30 "$work/bin/vantiro" \
  >"$work/stdout" 2>"$work/stderr" || status=$?
[ "$status" -ne 0 ] || fail "exit status 0 without a font"
[ "$status" -ne 124 ] || fail "the editor hung without a font"
grep -q 'font:' "$work/stderr" || fail "no font message: $(cat "$work/stderr")"
grep -q 'fonts-arphic-uming' "$work/stderr" || fail "no package named: $(cat "$work/stderr")"
echo "PASS"
