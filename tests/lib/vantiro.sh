# Shell helpers of the script-driven checks (GUI tests, fleet, package, card
# library seam): fail says why and ends the check; wait_for polls a
# condition; scratch makes the check's folder and ends what it started;
# start_card and card_picture run simulated cards. A check that defines
# fail_context has its output added to every failure (the GUI tests add the
# editor's standard error). Everything on 127.0.0.1.

fail() {
  local context=""
  if declare -F fail_context >/dev/null; then context=$(fail_context); fi
  echo "FAIL: $*${context:+; $context}" >&2
  exit 1
}

# Runs "$@" every 20 ms until it succeeds; fails naming $1 after ~15 s.
wait_for() {
  local what=$1 i
  shift
  for ((i = 0; i < 750; i++)); do
    "$@" && return 0
    sleep 0.02
  done
  fail "timed out waiting for $what"
}

# $work: a scratch folder for the check (named after $1). At the exit every
# process the check started in the background, and those it adds to pids,
# is ended and the folder removed (KEEP=1 in the environment keeps it).
pids=()
scratch() {
  work=$(mktemp -d "/tmp/vantiro-$1-XXXXXX")
  trap end_check EXIT
}
end_check() {
  local p
  for p in $(jobs -p) "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}

# A TCP port of 127.0.0.1 that was free a moment ago (bound, then closed).
free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Starts $card_bin (vantiro-card) on a free port with the options "$@", its
# errors added to $work/card.err; sets card_pid and card_port once it
# listens.
start_card() {
  local out
  out=$(mktemp "$work/card-XXXXXX.out")
  "$card_bin" --port 0 "$@" >"$out" 2>>"$work/card.err" &
  card_pid=$!
  wait_for "the card to listen" card_listening "$out"
  card_port=$(sed -n 's/^card: listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$out")
}
card_listening() {
  kill -0 "$card_pid" 2>/dev/null || fail "the card did not start: $(cat "$work/card.err")"
  grep -q '^card: listening on 127\.0\.0\.1:[0-9]*,' "$1"
}

# The screen of the card of pid $1 written afresh into its --png file $2
# (SIGUSR1; the card writes it aside and renames it, so it is whole).
card_picture() {
  rm -f "$2"
  kill -USR1 "$1"
  wait_for "the picture of card $1" test -s "$2"
}

# Starts mosquitto with the configuration file $1 (its log in $1.log,
# afresh); sets broker_pid once it runs.
start_mosquitto() {
  mosquitto -c "$1" >"$1.log" 2>&1 &
  broker_pid=$!
  wait_for "mosquitto to run" grep -q running "$1.log"
}

# SysCfg.ini of folder $1 for a live send to the card at 127.0.0.1:$2 of
# boards of $3 x $4 LEDs, unpaced.
write_syscfg() {
  printf '[RemotIP]\nRemotIP=127.0.0.1:%s\n[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n[NetSyc]\nSyc_Enable=1\n[LiveSend]\nPacing=0\n' \
    "$2" "$3" "$4" >"$1/SysCfg.ini"
}
