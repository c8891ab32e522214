#!/usr/bin/env bash
# The card's pixel outputs under a live send: a 256 x 128 card with one DDP
# and one E1.31 output to receivers on 127.0.0.1 (this script's own). Prints
#   - frames a second out while scenes are sent back to back (at the default
#     --max-fps 40, and at --max-fps 1000: what the sender can do);
#   - the latency from the last line of a send (the card's --log time) to the
#     last packet of the frame that shows it (DDP push packet; E1.31 sync
#     packet after the last universe): min, median, max;
#   - the live send's time with and without the outputs, in one run.
#   bench/pixel_out.sh [build]      (SENDS=N sends a run, 20 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exec /usr/bin/python3 - "$build/bin/vantiro-cli" "$build/bin/vantiro-card" "$build/tests/vantiro_random_scene" \
  "${SENDS:-20}" <<'PY'
import datetime, os, shutil, signal, socket, statistics, struct, subprocess, sys, tempfile, threading, time

cli, card, random_scene, sends = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
work = tempfile.mkdtemp(prefix="vantiro-pixel-bench-")

def free_udp():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    return s

class Receiver(threading.Thread):
    """Times (wall clock) of each frame's last packet, per protocol."""
    def __init__(self):
        super().__init__(daemon=True)
        self.ddp, self.e131 = free_udp(), free_udp()
        for s in (self.ddp, self.e131):
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
        self.ddp_frames, self.e131_frames, self.packets = [], [], 0
        self.start()
    def run(self):
        import select
        while True:
            ready, _, _ = select.select([self.ddp, self.e131], [], [])
            for s in ready:
                d = s.recv(70000)
                now = time.time()
                self.packets += 1
                if s is self.ddp and d[0] & 1:
                    self.ddp_frames.append(now)
                elif s is self.e131 and len(d) == 49:
                    self.e131_frames.append(now)

scene = os.path.join(work, "scene")
os.makedirs(scene)
subprocess.run([random_scene, "33", scene, "--no-digits"], check=True, stdout=subprocess.DEVNULL)
with open(os.path.join(scene, "SysCfg.ini"), "w") as f:
    f.write("[RemotIP]\nRemotIP=127.0.0.1:1\n[LEDPARA]\nWIDTH=256\nHEIGHT=128\n[LiveSend]\nPacing=0\n")

def run(name, options):
    log = os.path.join(work, name + ".log")
    out = open(os.path.join(work, name + ".out"), "w+")
    p = subprocess.Popen([card, "--port", "0", "--width", "256", "--height", "128", "--flash",
                          os.path.join(work, name + ".bin"), "--log", log] + options, stdout=out, stderr=out)
    for _ in range(500):
        out.seek(0)
        text = out.read()
        if "listening on" in text:
            break
        time.sleep(0.02)
    port = text.split("listening on 127.0.0.1:")[1].split(",")[0]
    spans = []
    for _ in range(sends):
        t0 = time.time()
        subprocess.run([cli, "send", scene, "--to", "127.0.0.1:" + port], check=True, stdout=subprocess.DEVNULL)
        spans.append((t0, time.time()))
        time.sleep(0.15)   # the last frame out before the next send
    p.send_signal(signal.SIGTERM)
    p.wait()
    # The card logs local wall-clock times of its lines (HH:MM:SS.mmm).
    day = datetime.date.today()
    lines = []
    for line in open(log):
        t = datetime.datetime.combine(day, datetime.datetime.strptime(line[:12], "%H:%M:%S.%f").time())
        lines.append(t.timestamp())
    return spans, lines

def figures(values):
    v = sorted(values)
    return "min %.1f, median %.1f, max %.1f ms" % (v[0] * 1000, statistics.median(v) * 1000, v[-1] * 1000)

plain, _ = run("plain", [])
print("live send of a scene (%d sends), no outputs:   %s" % (sends, figures([b - a for a, b in plain])))
for fps in (40, 1000):
    r = Receiver()
    spans, lines = run("fps%d" % fps, ["--ddp", "127.0.0.1:%d" % r.ddp.getsockname()[1], "--e131",
                                        "127.0.0.1:%d" % r.e131.getsockname()[1], "--max-fps", str(fps)])
    time.sleep(0.3)
    # The frames counted are those out during a send or within 50 ms after it
    # (its last frame), so the time they are counted over is the same.
    busy = sum(b - a + 0.05 for a, b in spans)
    inside = lambda times: sum(1 for t in times if any(a <= t <= b + 0.05 for a, b in spans))
    print("live send, DDP + E1.31 outputs at --max-fps %4d: %s" % (fps, figures([b - a for a, b in spans])))
    print("  frames out while sending: DDP %.1f/s, E1.31 %.1f/s (%d packets in all)" %
          (inside(r.ddp_frames) / busy, inside(r.e131_frames) / busy, r.packets))
    for proto, frames in (("DDP", r.ddp_frames), ("E1.31", r.e131_frames)):
        lat = []
        for a, b in spans:
            last = max((t for t in lines if a - 0.002 <= t <= b + 0.002), default=None)
            after = [t for t in frames if last is not None and t >= last]
            if after:
                lat.append(after[0] - last)
        if lat:
            print("  last line -> last packet of its frame, %s: %s (%d sends)" % (proto, figures(lat), len(lat)))
shutil.rmtree(work, ignore_errors=True)
PY
