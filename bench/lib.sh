# Shared by the editor's benchmarks (sourced from the repository's root).

# A scratch folder ($work), the latency shim built into it, and a display
# of its own (DISPLAY exported); both go at exit, with the editor ($pid).
bench_setup() {
  work=$(mktemp -d)
  cc -O2 -shared -fPIC -o "$work/shim.so" bench/frame_latency_shim.c -ldl
  read -r display xvfb_pid < <(scripts/xvfb-start)
  export DISPLAY="$display"
  trap 'kill ${pid:-} $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
}

# Starts editor $1 with the shim preloaded (its log in $work/log), sets pid
# and waits for its window.
bench_start_editor() {
  LD_PRELOAD="$work/shim.so" "$1" 2>"$work/log" >/dev/null &
  pid=$!
  timeout 20 xdotool search --sync --onlyvisible --name '^vantiro$' >/dev/null
}
