# Shell helpers of the script-driven checks (package, card library seam,
# GUI tests): fail says why and ends the check; wait_for polls a condition.
# A check that defines fail_context has its output added to every failure
# (the GUI tests add the editor's standard error).

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
