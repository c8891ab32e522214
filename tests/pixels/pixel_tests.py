#!/usr/bin/python3
"""The card's pixel outputs against third parties, all on 127.0.0.1.

  pixel_tests.py ola    CLI CARD RANDOM_SCENE   E1.31 into OLA's olad, read back
  pixel_tests.py tshark CLI CARD RANDOM_SCENE   E1.31 dissected by Wireshark, DDP decoded here
  pixel_tests.py faults CLI CARD RANDOM_SCENE   receivers that are not there

Each starts its own vantiro-card processes on free ports, sends a random
scene with `vantiro-cli send`, and compares what the receiver got with the
card's own picture of its screen (its --png on SIGUSR1), mapped by the
order the options name, computed here independently. Exit 77 (skipped,
said why) when a needed program is not installed. Waits are bounded polls.
"""
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from vantiro_procs import (Card, Scene, card_png_leds, fail, free_port, read_png, scratch, send, skip,  # noqa: E402
                           terminate, wait_for)

WIDTH, HEIGHT = 64, 32
COLOURS = {0: (255, 0, 0), 1: (0, 255, 0), 2: (255, 255, 0)}
PNG_CODES = {(255, 32, 32): 0, (32, 255, 64): 1, (255, 224, 32): 2, (40, 40, 40): None}


def card_screen(card):
    """The card's LED codes now (0 red, 1 green, 2 yellow, None dark), [y][x]."""
    screen = card_png_leds(read_png(card.own_png()))
    for y, row in enumerate(screen):
        for x, rgb in enumerate(row):
            if rgb not in PNG_CODES:
                fail("%s: LED %d,%d has a colour no LED has: %s" % (card.png_path, x, y, rgb))
    return [[PNG_CODES[rgb] for rgb in row] for row in screen]


# --- the order of the chain, as lighting tools name it ------------------------

def walk(w, h, corner, columns, serpentine):
    """Places (x, y) of a w x h grid in chain order."""
    xs = list(range(w))
    ys = list(range(h))
    if corner.endswith("right"):
        xs.reverse()
    if corner.startswith("bottom"):
        ys.reverse()
    out = []
    outer, inner = (xs, ys) if columns else (ys, xs)
    for n, a in enumerate(outer):
        run = inner[::-1] if serpentine and n % 2 else inner
        out += [(a, b) if columns else (b, a) for b in run]
    return out


class Mapping:
    def __init__(self, corner="top-left", columns=False, serpentine=False, panel=None,
                 panel_corner="top-left", panel_columns=False, panel_serpentine=False):
        self.corner, self.columns, self.serpentine = corner, columns, serpentine
        self.panel = panel
        self.panel_corner, self.panel_columns, self.panel_serpentine = panel_corner, panel_columns, panel_serpentine

    def options(self):
        o = ["--start", self.corner, "--order", "columns" if self.columns else "rows"]
        if self.serpentine:
            o.append("--serpentine")
        if self.panel:
            o += ["--panel", "%dx%d" % self.panel, "--panel-start", self.panel_corner,
                  "--panel-order", "columns" if self.panel_columns else "rows"]
            if self.panel_serpentine:
                o.append("--panel-serpentine")
        return o

    def chain(self, w, h):
        if not self.panel:
            return walk(w, h, self.corner, self.columns, self.serpentine)
        pw, ph = self.panel
        out = []
        for px, py in walk(w // pw, h // ph, self.panel_corner, self.panel_columns, self.panel_serpentine):
            out += [(px * pw + x, py * ph + y) for x, y in walk(pw, ph, self.corner, self.columns, self.serpentine)]
        return out

    def __str__(self):
        return " ".join(self.options())


def expected_rgb(screen, mapping, crop=None, colours=COLOURS):
    x0, y0, w, h = crop or (0, 0, len(screen[0]), len(screen))
    out = bytearray()
    for x, y in mapping.chain(w, h):
        code = screen[y0 + y][x0 + x]
        out += bytes(colours[code]) if code is not None else b"\0\0\0"
    return bytes(out)


# --- the scene ----------------------------------------------------------------------

def make_scene(random_scene, cli, work, seed=45):
    """A random scene of a 64 x 32 sign (seed 45: 544 LEDs lit, all over it)."""
    scene = Scene(random_scene, cli, seed, os.path.join(work, "scene"), no_digits=True)
    if (scene.width, scene.height) != (WIDTH, HEIGHT):
        fail("scene %d is of %d x %d LEDs, not %d x %d" % (seed, scene.width, scene.height, WIDTH, HEIGHT))
    return scene


def lit(screen):
    return sum(1 for row in screen for c in row if c is not None)


# --- E1.31 into OLA ------------------------------------------------------------------

OLA_PLUGINS = ["artnet", "dummy", "espnet", "ftdidmx", "gpio", "karate", "kinet", "milinst", "opendmx",
               "openpixelcontrol", "osc", "pathport", "renard", "sandnet", "shownet", "spi", "stageprofi",
               "uartdmx", "usbdmx", "usbserial"]


def udp_port_taken(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.bind(("0.0.0.0", port))
        return False
    except OSError:
        return True
    finally:
        s.close()


def ola(cli, card, random_scene, work):
    olad = shutil.which("olad")
    if not olad:
        skip("olad is not installed (Debian package ola); E1.31 was not checked against OLA")
    if udp_port_taken(5568):
        fail("UDP port 5568 is taken (another olad, or a packaged olad service): OLA cannot receive E1.31")
    universes = -(-WIDTH * HEIGHT // 170)   # 13 for 64 x 32
    conf = os.path.join(work, "ola")
    os.makedirs(conf)
    for p in OLA_PLUGINS:
        with open(os.path.join(conf, "ola-%s.conf" % p), "w") as f:
            f.write("enabled = false\n")
    with open(os.path.join(conf, "ola-e131.conf"), "w") as f:
        f.write("enabled = true\ninput_ports = %d\noutput_ports = 0\nignore_preview = true\n"
                "prepend_hostname = false\nrevision = 0.46\ndraft_discovery = false\ndscp = 0\n" % universes)
    # E1.31 is plugin 11, its device 1: input port i patched to universe i + 1.
    with open(os.path.join(conf, "ola-port.conf"), "w") as f:
        for i in range(universes):
            f.write("11-1-I-%d = %d\n" % (i, i + 1))
    http, rpc = free_port(), free_port()
    command = [olad, "-c", conf, "-p", str(http), "-r", str(rpc), "--no-register-with-dns-sd", "--no-http-quit",
               "-l", "2"]
    if os.getuid() == 0:
        # olad will not run as root.
        subprocess.run(["chown", "-R", "nobody", work], check=True)
        os.chmod(work, 0o755)
        command = ["runuser", "-u", "nobody", "--"] + command
    olad_log = open(os.path.join(work, "olad.log"), "w")
    daemon = subprocess.Popen(command, stdout=olad_log, stderr=subprocess.STDOUT, cwd=work)
    base = "http://127.0.0.1:%d" % http

    def get(path):
        try:
            with urllib.request.urlopen(base + path, timeout=2) as r:
                return json.load(r)
        except OSError:
            if daemon.poll() is not None:
                fail("olad ended: " + open(os.path.join(work, "olad.log")).read()[-2000:])
            return None

    try:
        def patched():
            info = get("/json/universe_info?id=%d" % universes)
            return info and info.get("input_ports")
        wait_for("olad with its %d universes patched" % universes, patched, 20)

        scene = make_scene(random_scene, cli, work)
        mappings = [Mapping(c, False, s) for c in ("top-left", "top-right", "bottom-left", "bottom-right")
                    for s in (False, True)]
        mappings += [Mapping("top-right", True, True), Mapping("bottom-left", False, True, panel=(16, 8),
                                                                 panel_corner="bottom-right", panel_columns=True,
                                                                 panel_serpentine=True)]
        colours = {0: (200, 10, 0), 1: (0, 180, 40), 2: (250, 200, 5)}
        for n, m in enumerate(mappings):
            # The last mapping also sets its own colours.
            own = n == len(mappings) - 1
            options = ["--e131", "127.0.0.1", "--universe", "1"] + m.options()
            if own:
                options += ["--red", "200,10,0", "--green", "0,180,40", "--yellow", "250,200,5"]
            c = Card(card, work, "card%d" % n, WIDTH, HEIGHT, options)
            try:
                send(cli, scene.folder, to=c.port)
                screen = card_screen(c)
                if open(c.png_path, "rb").read() != scene.png_bytes:
                    fail("the card's picture after the send is not the scene's (vantiro-cli render)")
                if lit(screen) < 50:
                    fail("the scene lit only %d LEDs of the card: no test of the order" % lit(screen))
                want = expected_rgb(screen, m, colours=colours if own else COLOURS)
                got = {}

                def all_universes():
                    for u in range(1, universes + 1):
                        d = get("/get_dmx?u=%d" % u)
                        if d is None:
                            return False
                        got[u] = bytes(d.get("dmx", []))
                        if got[u] != want[(u - 1) * 510:u * 510]:
                            return False
                    return True
                end = time.monotonic() + 10
                while not all_universes():
                    if time.monotonic() > end:
                        bad = [u for u in got if got[u] != want[(u - 1) * 510:u * 510]]
                        u = bad[0] if bad else 1
                        g, w = got.get(u, b""), want[(u - 1) * 510:u * 510]
                        first = next((i for i in range(min(len(g), len(w))) if g[i] != w[i]), min(len(g), len(w)))
                        fail("%s: universe %d differs from the card's picture at channel %d (pixel %d): got %s, "
                             "want %s (%d and %d channels)" % (m, u, first + 1, ((u - 1) * 510 + first) // 3,
                                                                list(g[first:first + 6]), list(w[first:first + 6]),
                                                                len(g), len(w)))
                    time.sleep(0.05)
                print("ola: %s: %d universes, %d pixels as the card shows them (%d lit)" %
                      (m, universes, WIDTH * HEIGHT, lit(screen)))
            finally:
                c.stop()
    finally:
        terminate(daemon)


# --- Wireshark's dissector ---------------------------------------------------------------

def ddp_frames(payloads):
    """DDP packets decoded by the published layout: frames up to each push."""
    frames, current, sequences = [], bytearray(), []
    for p in payloads:
        if len(p) < 10:
            fail("a DDP packet of %d bytes" % len(p))
        flags, seq, dtype, dest = p[0], p[1] & 15, p[2], p[3]
        offset, length = struct.unpack(">IH", p[4:10])
        if flags >> 6 != 1:
            fail("DDP version %d" % (flags >> 6))
        if dtype != 0x0B or dest != 1:
            fail("DDP data type %#x, id %d (want 0x0b: RGB 8 bits, id 1)" % (dtype, dest))
        if length != len(p) - 10 or length > 1440:
            fail("DDP length %d in a packet of %d data bytes" % (length, len(p) - 10))
        if offset != len(current):
            fail("DDP offset %d where %d bytes came before it" % (offset, len(current)))
        if not 1 <= seq <= 15 or (sequences and seq != sequences[-1] % 15 + 1):
            fail("DDP sequence %d after %s" % (seq, sequences[-3:]))
        sequences.append(seq)
        current += p[10:]
        if flags & 1:
            frames.append(bytes(current))
            current = bytearray()
    return frames


def tshark_test(cli, card, random_scene, work):
    tshark = shutil.which("tshark")
    if not tshark:
        skip("tshark is not installed (Debian package tshark); the packets were not dissected")
    e131_port, ddp_port = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_DGRAM)
    # Receivers, so that nothing answers with port unreachable.
    sinks = []
    for p in (e131_port, ddp_port):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        s.bind(("127.0.0.1", p))
        sinks.append(s)
    pcap = os.path.join(work, "lo.pcap")
    cap_err = open(os.path.join(work, "tshark.err"), "w+")
    capture = subprocess.Popen([tshark, "-i", "lo", "-w", pcap, "-f",
                                "udp and host 127.0.0.1 and (port %d or port %d)" % (e131_port, ddp_port)],
                               stdout=subprocess.DEVNULL, stderr=cap_err)

    def capturing():
        if capture.poll() is not None:
            cap_err.seek(0)
            why = cap_err.read()
            skip("tshark cannot capture on lo here: " + why.strip()[-300:])
        cap_err.seek(0)
        return "Capturing on" in cap_err.read()
    wait_for("tshark to capture", capturing, 20)
    scene = make_scene(random_scene, cli, work)
    mapping = Mapping("bottom-right", False, True)
    c = Card(card, work, "card", WIDTH, HEIGHT, ["--e131", "127.0.0.1:%d" % e131_port, "--universe", "3",
                                                 "--ddp", "127.0.0.1:%d" % ddp_port] + mapping.options())
    try:
        send(cli, scene.folder, to=c.port)
        screen = card_screen(c)
        time.sleep(1.3)   # a keep-alive too
    finally:
        c.stop()
    time.sleep(0.5)
    capture.send_signal(signal.SIGINT)
    capture.wait(20)
    want = expected_rgb(screen, mapping)
    universes = -(-WIDTH * HEIGHT // 170)

    # E1.31 as Wireshark's ACN dissector sees it.
    fields = ["frame.number", "udp.dstport", "udp.length", "acn.dmx.universe", "acn.dmx.seq_number",
              "acn.dmx.source_name", "acn.dmx.priority", "acn.dmx.options", "acn.dmx.count", "_ws.expert.message",
              "_ws.malformed", "frame.protocols", "udp.payload"]
    # The ACN heuristic on UDP: "acn_udp" in newer Wiresharks, "acn" in 4.0.
    listed = subprocess.run([tshark, "-G", "heuristic-decodes"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True).stdout.split("\n")
    names = [line.split("\t")[1] for line in listed if line.startswith("udp\t") and "acn" in line]
    heuristic = "acn_udp" if "acn_udp" in names else (names[0] if names else "acn_udp")
    r = subprocess.run([tshark, "-r", pcap, "--enable-heuristic", heuristic, "-o", "acn.dmx_enable:TRUE",
                        "-T", "fields", "-E", "separator=|", "-E", "occurrence=a"] + sum([["-e", f] for f in fields], []),
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)
    if r.returncode != 0:
        fail("tshark -r: " + r.stderr)
    rows = [dict(zip(fields, line.split("|"))) for line in r.stdout.splitlines()]
    e131 = [row for row in rows if row["udp.dstport"] == str(e131_port)]
    ddp = [row for row in rows if row["udp.dstport"] == str(ddp_port)]
    if not e131 or not ddp:
        fail("captured %d E1.31 and %d DDP packets" % (len(e131), len(ddp)))
    data_packets, sync_packets, terminated = 0, 0, 0
    last_seq = {}
    frame = {}
    for row in e131:
        where = "frame %s" % row["frame.number"]
        payload = bytes.fromhex(row["udp.payload"].replace(":", ""))
        if row["_ws.malformed"] or "alformed" in row["_ws.expert.message"]:
            fail("%s: malformed: %s" % (where, row["_ws.expert.message"]))
        if len(payload) == 49 and payload[18:22] == b"\0\0\0\x08":
            # Universe synchronization (root vector 8, framing vector 1),
            # which Wireshark 4.0's dissector does not know: decoded here
            # by the published layout (and it must not pass for DMX data).
            if row["acn.dmx.universe"]:
                fail("%s: a synchronization packet dissected as DMX data" % where)
            framing, seq, address = struct.unpack(">IBH", payload[40:47])
            if payload[:16] != b"\0\x10\0\0ASC-E1.17\0\0\0":
                fail("%s: a synchronization packet without the ACN identifier" % where)
            if framing != 1 or address != 3 or struct.unpack(">H", payload[16:18])[0] != 0x7000 | 33:
                fail("%s: not a synchronization packet of universe 3" % where)
            if "sync" in last_seq and seq != (last_seq["sync"] + 1) % 256:
                fail("%s: synchronization sequence %d after %d" % (where, seq, last_seq["sync"]))
            last_seq["sync"] = seq
            sync_packets += 1
            continue
        if ":acn" not in row["frame.protocols"]:
            fail("%s: not dissected as ACN (%s)" % (where, row["frame.protocols"]))
        universe, seq = int(row["acn.dmx.universe"]), int(row["acn.dmx.seq_number"])
        if not 3 <= universe < 3 + universes:
            fail("%s: universe %d, not one of 3..%d" % (where, universe, 2 + universes))
        if row["acn.dmx.source_name"] != "vantiro-card":
            fail("%s: source name %r" % (where, row["acn.dmx.source_name"]))
        if int(row["acn.dmx.priority"]) != 100:
            fail("%s: priority %s" % (where, row["acn.dmx.priority"]))
        if universe in last_seq and seq != (last_seq[universe] + 1) % 256:
            fail("%s: universe %d's sequence %d after %d" % (where, universe, seq, last_seq[universe]))
        last_seq[universe] = seq
        options = int(row["acn.dmx.options"], 0)
        if options & 0x40:
            terminated += 1
        data_packets += 1
        frame[universe] = payload[126:]
    got = b"".join(frame[u] for u in sorted(frame))
    if got != want:
        fail("the last E1.31 frame is not the card's picture mapped %s" % mapping)
    if terminated != 3 * universes:
        fail("%d stream-terminated packets, not 3 a universe (%d)" % (terminated, 3 * universes))
    if sync_packets < 1:
        fail("no universe synchronization packet")
    # DDP, decoded by its published layout (Wireshark has no dissector for it).
    frames = ddp_frames([bytes.fromhex(row["udp.payload"].replace(":", "")) for row in ddp])
    if not frames or frames[-1] != want:
        fail("the last DDP frame is not the card's picture mapped %s" % mapping)
    print("tshark: %d E1.31 data packets (universes 3..%d, %d stream-terminated) dissected as ACN without a "
          "warning, %d sync packets decoded here; %d DDP frames in %d packets decoded, the last the card's picture" %
          (data_packets, 2 + universes, terminated, sync_packets, len(frames), len(ddp)))


# --- receivers that are not there ----------------------------------------------------

def faults(cli, card, random_scene, work):
    dead = [free_port(socket.SOCK_DGRAM) for _ in range(3)]
    scene = make_scene(random_scene, cli, work)
    c = Card(card, work, "card", WIDTH, HEIGHT, ["--ddp", "127.0.0.1:%d" % dead[0], "--e131", "127.0.0.1:%d" % dead[1],
                                                 "--ppm-udp", "127.0.0.1:%d" % dead[2], "--crop", "0,0,32,16",
                                                 "--max-fps", "1000"])
    try:
        for k in range(5):
            took = send(cli, scene.folder, to=c.port)[0]   # asks "card count" first and confirms every line
            print("faults: live send %d with every receiver gone: confirmed in %.3f s" % (k + 1, took))
        if not c.alive():
            fail("the card ended: " + c.log())
        screen = card_screen(c)
        if lit(screen) == 0:
            fail("the card shows nothing after the sends")
    finally:
        c.stop()


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("ola", "tshark", "faults"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    test, cli, card, random_scene = sys.argv[1:]
    with scratch("vantiro-pixels-") as work:
        {"ola": ola, "tshark": tshark_test, "faults": faults}[test](cli, card, random_scene, work)


if __name__ == "__main__":
    main()
