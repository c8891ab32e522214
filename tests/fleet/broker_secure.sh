#!/usr/bin/env bash
# A broker that wants TLS and a login: the test makes its own certificate
# authority and a server certificate for 127.0.0.1 (openssl), a password
# file (mosquitto_passwd) and a mosquitto that takes nobody anonymous.
# With the CA, the user and the password file, a card comes online, a
# scene published to it shows as render draws it, and the fleet listing
# calls it current. A wrong password, no login, an unknown CA and plain
# MQTT to the TLS port are each refused and said, by the card (on its
# standard error, trying again) and by publish and fleet (exit status not
# 0). The password is never printed: no output of the card, the CLI or
# the broker holds it, nor any command line.
# Usage: broker_secure.sh RANDOM_SCENE VANTIRO_CLI VANTIRO_CARD
set -euo pipefail
random_scene=$1
cli=$2
card=$3
source "$(dirname "${BASH_SOURCE[0]}")/../lib/vantiro.sh"
for p in mosquitto mosquitto_passwd openssl; do
  command -v "$p" >/dev/null || { echo "SKIP: no $p"; exit 77; }
done
scratch broker-secure
port=$(free_port)
broker="127.0.0.1:$port"
pki=$work/pki
mkdir -p "$pki"

# A CA, a server certificate it signs for the address the clients dial,
# and a second CA that signed nothing here.
quiet() { "$@" >"$work/openssl.log" 2>&1 || fail "$* failed: $(cat "$work/openssl.log")"; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=vantiro test CA" \
  -keyout "$pki/ca.key" -out "$pki/ca.pem"
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=some other CA" \
  -keyout "$pki/other.key" -out "$pki/other.pem"
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$pki/server.key" -out "$pki/server.csr"
printf 'subjectAltName=IP:127.0.0.1\n' >"$pki/san.ext"
quiet openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -days 2 -extfile "$pki/san.ext" -out "$pki/server.pem"

# The secret: made here, kept in files only.
secret="pw-$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$secret" >"$work/secret"
printf 'not-%s\n' "$secret" >"$work/wrong"
chmod 600 "$work/secret" "$work/wrong"
quiet mosquitto_passwd -b -c "$pki/passwd" operator "$secret"
# mosquitto run as root reads these as the user mosquitto.
if [ "$(id -u)" = 0 ] && id mosquitto >/dev/null 2>&1; then
  chmod 755 "$work"
  chown mosquitto "$pki" "$pki"/*
fi
cat >"$work/mosquitto.conf" <<CONF
listener $port 127.0.0.1
allow_anonymous false
password_file $pki/passwd
cafile $pki/ca.pem
certfile $pki/server.pem
keyfile $pki/server.key
CONF
start_mosquitto "$work/mosquitto.conf"

mkdir -p "$work/a"
read -r _p _r _c bw bh _rest < <("$random_scene" 21 "$work/a")
printf '[LEDPARA]\nWIDTH=%s\nHEIGHT=%s\n' "$bw" "$bh" >"$work/a/SysCfg.ini"
"$cli" render "$work/a" --png "$work/a.png" >"$work/a.render" || fail "render"
read -r width height < <(sed -n 's/.* on a \([0-9]*\) x \([0-9]*\) screen/\1 \2/p' "$work/a.render")

pids=()
start_sign() {   # index, then the login options
  local i=$1
  shift
  "$card" --port 0 --width "$width" --height "$height" --flash "$work/flash$i.bin" --png "$work/card$i.png" \
    --mqtt "$broker" --sign "s$i" "$@" >"$work/card$i.out" 2>&1 &
  pids[$i]=$!
}
login=(--user operator --password-file "$work/secret" --cafile "$pki/ca.pem")
start_sign 0 --mqtt-user operator --mqtt-password-file "$work/secret" --mqtt-cafile "$pki/ca.pem"
start_sign 1 --mqtt-user operator --mqtt-password-file "$work/wrong" --mqtt-cafile "$pki/ca.pem"
start_sign 2 --mqtt-user operator --mqtt-password-file "$work/secret" --mqtt-cafile "$pki/other.pem"
start_sign 3

# The good card: online, shown what is published, current.
online() { "$cli" fleet --broker "$broker" "${login[@]}" >"$work/fleet.out" 2>&1 && grep -q '^s0 online ' "$work/fleet.out"; }
wait_for "s0 online through TLS with its login" online
"$cli" publish "$work/a" --broker "$broker" "${login[@]}" --to s0 >"$work/pub.out" 2>&1 ||
  fail "publish with the login: $(cat "$work/pub.out")"
current() { "$cli" fleet --broker "$broker" "${login[@]}" >"$work/fleet.out" 2>&1 && grep -q '^s0 online .* current' "$work/fleet.out"; }
wait_for "s0 current" current
rm -f "$work/card0.png"
kill -USR1 "${pids[0]}"
wait_for "card 0's picture" test -s "$work/card0.png"
cmp -s "$work/card0.png" "$work/a.png" || fail "the card behind TLS does not show render's picture"

# The refused cards say why on their standard error, and are never online.
wait_for "card 1 says its login was refused" grep -qi "card: fleet: broker $broker: refused the card: .*not authori" "$work/card1.out"
wait_for "card 2 says the TLS check failed" grep -qi "card: fleet: broker $broker: .*certificate verify failed" "$work/card2.out"
wait_for "card 3 says why it cannot connect" grep -q "card: fleet: broker $broker: " "$work/card3.out"
for i in 1 2 3; do kill -0 "${pids[$i]}" || fail "card $i stopped instead of trying again"; done
grep -Eq '^s[123] ' "$work/fleet.out" && fail "a refused card is listed: $(cat "$work/fleet.out")"

# The CLI refused, each time with a reason and a status that says so.
refused() {   # what, the reason said (a pattern), then the options
  local what=$1 why=$2 out
  shift 2
  for out in publish fleet; do
    if [ $out = publish ]; then
      "$cli" publish "$work/a" --broker "$broker" --to s0 "$@" >"$work/refused.out" 2>&1 && fail "publish $what was taken"
    else
      "$cli" fleet --broker "$broker" "$@" >"$work/refused.out" 2>&1 && fail "fleet $what listed signs"
    fi
    grep -qi "fleet: broker $broker.*$why" "$work/refused.out" ||
      fail "$out $what did not say why: $(cat "$work/refused.out")"
    cat "$work/refused.out" >>"$work/cli.out"
  done
}
refused "with a wrong password" "not authori" --user operator --password-file "$work/wrong" --cafile "$pki/ca.pem"
refused "with no login" "not authori" --cafile "$pki/ca.pem"
refused "trusting another CA" "certificate verify failed" --user operator --password-file "$work/secret" --cafile "$pki/other.pem"
refused "without TLS" "does it want TLS" --user operator --password-file "$work/secret"
if "$cli" publish "$work/a" --broker "$broker" --to s0 --user operator --password-file "$work/none" \
  --cafile "$pki/ca.pem" >"$work/nofile.out" 2>&1; then
  fail "publish with a missing password file was taken"
fi
grep -q "$work/none" "$work/nofile.out" || fail "publish did not name the missing password file: $(cat "$work/nofile.out")"

# Nothing printed holds the secret, nor does any command line.
for i in 0 1 2 3; do kill "${pids[$i]}"; wait "${pids[$i]}" 2>/dev/null || true; done
kill -USR1 "$broker_pid" 2>/dev/null || true
for f in "$work"/card*.out "$work"/*.out "$work/mosquitto.conf.log"; do
  if grep -qF "$secret" "$f"; then fail "$f holds the password"; fi
done
if grep -qF "$secret" /proc/[0-9]*/cmdline 2>/dev/null; then fail "a command line holds the password"; fi
echo "broker: TLS and a login: 1 card served, 3 cards and 8 CLI calls refused with their reasons; the password printed nowhere"
