# The simulated card's window for a screen of 11,000 x 11,000 LEDs (33,000
# pixels a side at 3 pixels an LED) is no larger than the X screen; the card
# draws it, runs a line and answers, and stops cleanly.
source "$(dirname "$0")/lib.sh"

install_editor
start_card --window --width 11000 --height 11000 --flash "$work/flash.bin"
card_window() {
  xwininfo -root -tree | grep -q '"vantiro-card"'
}
wait_for "the card's window" card_window
wid=$(xwininfo -root -tree | awk '/"vantiro-card"/ {print $1; exit}')
screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')
g=$(xwininfo -id "$wid")
w=$(echo "$g" | awk '/Width:/ {print $2}')
h=$(echo "$g" | awk '/Height:/ {print $2}')
[ "$w" -le "${screen%x*}" ] && [ "$h" -le "${screen#*x}" ] || fail "a window of $w x $h on a screen of $screen"
# A line, then a request, on one connection: the answer counts the line.
answer=$(python3 - "$card_port" <<'PY'
import socket, struct, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
def frame(kind, tag, body):
    return struct.pack(">IBi", len(body) + 5, kind, tag) + body
s.sendall(frame(1, 0, b"led r 0 0 0 10999 10999") + frame(2, 7, b"card status"))
data = b""
while len(data) < 9 or len(data) < 4 + struct.unpack(">I", data[:4])[0]:
    chunk = s.recv(4096)
    if not chunk:
        break
    data += chunk
print(data[9:].decode())
PY
)
[ "$answer" = "1 lines run" ] || fail "the card answered '$answer'"
kill -0 "$card_pid" || fail "the card ended"
kill -TERM "$card_pid"
status=0
wait "$card_pid" || status=$?
card_pid=""
[ "$status" -eq 0 ] || fail "the card ended with status $status"
echo "PASS"
