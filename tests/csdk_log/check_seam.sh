#!/usr/bin/env bash
# The card library as a build-time seam (VANTIRO_CSDK):
#   check_seam.sh SOURCE_DIR TREE RANDOM_SCENE CLI CARD
# builds tests/csdk_log/csdk_log.c (a second implementation of csdk/csdk.h
# that logs every call) into TREE/libcsdk_log.a, configures TREE/build with
# -DVANTIRO_CSDK=TREE/libcsdk_log.a and builds the editor and vantiro-cli
# there (kept for the next run, which then only rebuilds what changed).
# Then, on a random scene (RANDOM_SCENE, the fidelity tests' tool):
#   - CLI (our vantiro-cli, our library) sends the scene to CARD (our
#     simulated card) on 127.0.0.1, which logs every line it runs;
#   - that tree's vantiro-cli sends the same folder through the logging
#     library: it must call InitSdk, then CreateClient with SysCfg.ini's
#     address, then from the sender thread ask "card count", deliver every
#     line the card ran, with its tag and its length, in the same order, and
#     ask "card count" again; the send counts as confirmed (exit 0);
#   - that tree's editor, started with sync on (on its own Xvfb), reads the
#     card's flash window through the library off the main thread: 24
#     requests "file read_raw ADDR 512" for 0x10000 to 0x12e00 in order,
#     after which it says the card's scene is read.
# Waits poll their condition every 20 ms for at most about 15 s; the card
# and the Xvfb listen on 127.0.0.1 / a local socket only.
set -euo pipefail

source_dir=$(cd "$1" && pwd)
mkdir -p "$2"
tree=$(cd "$2" && pwd)
random_scene=$3
our_cli=$4
card_bin=$5
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
scratch seam

# --- The other library and the programs linked with it ---------------------
${CC:-cc} -std=c99 -Wall -Wextra -Werror -I"$source_dir" -c "$source_dir/tests/csdk_log/csdk_log.c" \
  -o "$tree/csdk_log.o" || fail "the logging library does not compile"
rm -f "$tree/libcsdk_log.a"
ar rcs "$tree/libcsdk_log.a" "$tree/csdk_log.o"
cmake -S "$source_dir" -B "$tree/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTIRO_WERROR=ON \
  -DVANTIRO_BUILD_TESTS=OFF -DVANTIRO_CSDK="$tree/libcsdk_log.a" >"$work/configure.log" 2>&1 ||
  fail "configure with VANTIRO_CSDK: $(tail -n 20 "$work/configure.log")"
grep -q "link the card library $tree/libcsdk_log.a" "$work/configure.log" ||
  fail "the configure step does not name the other library: $(cat "$work/configure.log")"
cmake --build "$tree/build" --target vantiro vantiro-cli -j"$(nproc)" >"$work/build.log" 2>&1 ||
  fail "build with VANTIRO_CSDK: $(tail -n 40 "$work/build.log")"
other_bin="$tree/build/bin"

# --- The scene, and what our own library and card make of it ----------------
scene="$work/scene"
mkdir -p "$scene"
# A seed whose scene has texts and shapes on the sign (more than a dozen
# live lines); the check below fails on a scene with fewer.
read -r _pitch _rows _cols width height _rest < <("$random_scene" 11 "$scene")

start_card --flash "$work/flash.bin" --log "$work/card.log"
address="127.0.0.1:$card_port"
write_syscfg "$scene" "$card_port" "$width" "$height"
timeout 60 "$our_cli" send "$scene" >"$work/our.out" 2>"$work/our.err" ||
  fail "our vantiro-cli send failed: $(cat "$work/our.out" "$work/our.err")"
kill "$card_pid"
wait "$card_pid" 2>/dev/null || true
card_lines=$(grep -c ' tag ' "$work/card.log" || true)
[ "$card_lines" -gt 12 ] || fail "the scene made only $card_lines lines on the card"

# --- The same send through the logging library ------------------------------
calls="$work/calls.log"
CSDK_LOG_FILE="$calls" timeout 60 "$other_bin/vantiro-cli" send "$scene" >"$work/other.out" 2>"$work/other.err" ||
  fail "vantiro-cli send through the other library failed: $(cat "$work/other.out" "$work/other.err")"
grep -q "^sent $card_lines lines to $address\$" "$work/other.out" ||
  fail "vantiro-cli did not report $card_lines lines sent to $address: $(cat "$work/other.out")"

# The four calls in order, compared with the lines the card ran.
perl - "$calls" "$work/card.log" "$address" <<'PERL' || fail "the calls through the other library differ (log: $calls)"
use strict;
use warnings;
my ($calls, $card, $address) = @ARGV;
sub unquote {
    my $s = shift;
    $s =~ s/\\(x([0-9a-f]{2})|n|\\|")/defined $2 ? chr(hex $2) : $1 eq 'n' ? "\n" : $1/ge;
    return $s;
}
sub bad { print STDERR "seam: @_\n"; exit 1; }
open my $c, '<', $card or bad("no card log");
my @ran;
while (<$c>) {
    chomp;
    /^\S+ tag (-?\d+) (.*)$/ or /^\S+ tag (-?\d+)()$/ or bad("card log line: $_");
    push @ran, [$1, $2];
}
open my $l, '<', $calls or bad("no call log");
my @four;
while (<$l>) {
    chomp;
    next if /^CSDK_(Address|LastError) /;
    push @four, $_;
}
my $i = 0;
my $next = sub { bad("the log ends early") if $i >= @four; return $four[$i++]; };
$next->() =~ /^InitSdk main -?\d+ -?\d+$/ or bad("first call is not InitSdk on the main thread: $four[0]");
my $create = $next->();
$create =~ /^CreateClient main "(.*)" (\d+)( -?\d+){4}$/ or bad("second call is not CreateClient: $create");
$1 eq $address or bad("CreateClient got \"$1\", SysCfg.ini says $address");
$2 == 1002 or bad("CreateClient's port is $2, not the default 1002");
my $count = qr/^CARD_Get_Info_Cmd thread 1 10 "card count"$/;
$next->() =~ $count or bad("the send does not start with \"card count\" from the sender thread: $four[2]");
for my $k (0 .. $#ran) {
    my $call = $next->();
    $call =~ /^SCREEN_SendDynamicCmd thread 1 (-?\d+) (\d+) "(.*)"$/ or bad("line $k: not a line from the sender thread: $call");
    my ($tag, $length, $line) = ($1, $2, unquote($3));
    $length == length($line) or bad("line $k: length $length for " . length($line) . " bytes");
    (my $trimmed = $line) =~ s/^ +//;
    $trimmed =~ s/[\n\r \0]+$//;
    $tag == $ran[$k][0] or bad("line $k: tag $tag, the card ran tag $ran[$k][0]");
    $trimmed eq $ran[$k][1] or bad("line $k: \"$trimmed\", the card ran \"$ran[$k][1]\"");
}
$next->() =~ $count or bad("the send does not end with \"card count\": $four[$i - 1]");
$i == @four or bad("calls after the send: $four[$i]");
print "seam: InitSdk, CreateClient $address, card count, " . scalar(@ran) . " lines, card count\n";
PERL

# --- The editor's start-up sync through the logging library -----------------
if ! command -v Xvfb >/dev/null; then
  echo "seam: no Xvfb; the editor's sync is not checked"
  exit 0
fi
read -r display xvfb_pid < <("$source_dir/scripts/xvfb-start") || fail "no Xvfb"
pids+=("$xvfb_pid")
mkdir "$work/editor"
cp -r "$other_bin"/. "$work/editor/"
# No card behind this address: only the library answers.
sed -i "s/^RemotIP=.*/RemotIP=127.0.0.1:9/" "$scene/SysCfg.ini"
cp "$scene"/* "$work/editor/"
rm -f "$calls"
DISPLAY=$display CSDK_LOG_FILE="$calls" "$work/editor/vantiro" >"$work/editor.out" 2>"$work/editor.err" &
editor_pid=$!
editor_read() {
  kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended: $(cat "$work/editor.err")"
  grep -q "card 127.0.0.1:9: its scene is read" "$work/editor.err"
}
wait_for "the editor to read the card's scene" editor_read
kill "$editor_pid"
wait "$editor_pid" 2>/dev/null || true
perl - "$calls" <<'PERL' || fail "the editor's sync through the other library differs (log: $calls)"
use strict;
use warnings;
sub bad { print STDERR "seam: @_\n"; exit 1; }
open my $l, '<', $ARGV[0] or bad("no call log");
my @reads;
my ($init, $create) = (0, 0);
while (<$l>) {
    chomp;
    if (/^InitSdk /) { /^InitSdk main / or bad("InitSdk off the main thread"); $init++; next; }
    if (/^CreateClient /) {
        /^CreateClient main "127\.0\.0\.1:9" 1002 / or bad("CreateClient: $_");
        $init or bad("CreateClient before InitSdk");
        $create++;
        next;
    }
    push @reads, $_ if /"file read_raw /;
}
$create == 1 or bad("$create handles made");
@reads == 24 or bad(scalar(@reads) . " flash requests, not 24");
for my $k (0 .. $#reads) {
    my $want = sprintf('CARD_Get_Info_Cmd thread 1 %d "file read_raw 0x%x 512 \\n"', length(sprintf("file read_raw 0x%x 512 \n", 0x10000 + 512 * $k)), 0x10000 + 512 * $k);
    $reads[$k] eq $want or bad("request $k: $reads[$k], expected $want");
}
print "seam: the editor read the flash window in 24 requests off the main thread\n";
PERL
