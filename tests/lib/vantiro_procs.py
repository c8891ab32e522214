"""Helpers of the live page's tests: start a card with its page, read
PNG pictures (the card's and the canvas's), compare LEDs. Standard
library only; everything on 127.0.0.1 with bounded waits."""
import base64
import os
import re
import signal
import struct
import subprocess
import sys
import time
import urllib.error
import urllib.request
import zlib


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def read_png(data):
    """(width, height, channels, rows) of an 8-bit RGB or RGBA PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, idat, width = 8, b"", 0
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("PNG of depth %d colour %d interlace %d" % (depth, colour, interlace))
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, pos = [], bytearray(stride), 0
    for _ in range(height):
        f = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, channels, rows


def pixel(png, x, y):
    _, _, ch, rows = png
    return tuple(rows[y][x * ch:x * ch + 3])


def card_png_leds(png):
    """The LEDs of a card picture (4 pixels a LED): a list of rows of RGB."""
    w, h = png[0] // 4, png[1] // 4
    return [[pixel(png, x * 4 + 1, y * 4 + 1) for x in range(w)] for y in range(h)]


def canvas_leds(png, width, height):
    """The LEDs the page drew: the colour at each LED's centre."""
    cell = png[0] // width
    c = (cell - 1) // 2 if cell >= 3 else 0
    return [[pixel(png, x * cell + c, y * cell + c) for x in range(width)] for y in range(height)]


def differences(got, want):
    bad = []
    for y, (a, b) in enumerate(zip(got, want)):
        for x, (p, q) in enumerate(zip(a, b)):
            if p != q:
                bad.append((x, y, p, q))
    return bad


def http_get(url, timeout=5):
    """(status, headers, body); status 0 when the connection failed."""
    try:
        with urllib.request.urlopen(url, timeout=timeout) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers, e.read()
    except OSError:
        return 0, {}, b""


class Card:
    """A vantiro-card with its live page, started on free ports."""

    def __init__(self, binary, work, name, width, height, extra=(), http="127.0.0.1:0"):
        self.out_path = os.path.join(work, name + ".out")
        self.png_path = os.path.join(work, name + ".png")
        args = [binary, "--port", "0", "--http", http, "--width", str(width), "--height", str(height),
                "--flash", os.path.join(work, name + ".flash"), "--png", self.png_path] + list(extra)
        self.out = open(self.out_path, "w")
        self.err = open(os.path.join(work, name + ".err"), "a")
        self.proc = subprocess.Popen(args, stdout=self.out, stderr=self.err)
        self.port = self.http_port = None
        deadline = time.time() + 20
        while time.time() < deadline and self.port is None:
            text = open(self.out_path).read()
            m = re.search(r"^card: listening on 127\.0\.0\.1:(\d+),", text, re.M)
            h = re.search(r"^http://127\.0\.0\.1:(\d+)/$", text, re.M)
            if m and h:
                self.port, self.http_port = int(m.group(1)), int(h.group(1))
            elif self.proc.poll() is not None:
                break
            else:
                time.sleep(0.05)
        if self.port is None:
            fail("the card did not start: " + open(os.path.join(work, name + ".err")).read())
        self.url = "http://127.0.0.1:%d/" % self.http_port

    def alive(self):
        return self.proc.poll() is None

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def own_png(self):
        """The card's --png picture, written on SIGUSR1."""
        before = os.stat(self.png_path).st_mtime_ns if os.path.exists(self.png_path) else 0
        self.proc.send_signal(signal.SIGUSR1)
        deadline = time.time() + 10
        while time.time() < deadline:
            if os.path.exists(self.png_path) and os.stat(self.png_path).st_mtime_ns != before:
                time.sleep(0.05)
                return open(self.png_path, "rb").read()
            time.sleep(0.02)
        fail("the card wrote no PNG on SIGUSR1")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.out.close()
        self.err.close()
        return self.proc.returncode


class Scene:
    """The random scene of seed written into folder, and the picture the
    project's own renderer makes of it (vantiro-cli render): the card's
    screen must show these LEDs after a send."""

    def __init__(self, tool, cli, seed, folder, no_digits=False):
        os.makedirs(folder, exist_ok=True)
        args = [tool, str(seed), folder] + (["--no-digits"] if no_digits else [])
        out = subprocess.run(args, check=True, capture_output=True, text=True, timeout=60).stdout.split()
        self.folder = folder
        self.board = (int(out[3]), int(out[4]))
        self.digits = int(out[5])
        write_syscfg(folder, 9, *self.board)
        png = os.path.join(folder, "want.png")
        subprocess.run([cli, "render", folder, "--png", png], check=True, capture_output=True, timeout=60)
        self.png_bytes = open(png, "rb").read()
        self.png = read_png(self.png_bytes)
        self.width, self.height = self.png[0] // 4, self.png[1] // 4
        self.leds = card_png_leds(self.png)

    def aim_at(self, card):
        write_syscfg(self.folder, card.port, *self.board)


def write_syscfg(folder, card_port, width, height):
    with open(os.path.join(folder, "SysCfg.ini"), "w") as f:
        f.write("[RemotIP]\nRemotIP=127.0.0.1:%d\n[LEDPARA]\nWIDTH=%d\nHEIGHT=%d\n"
                "[NetSyc]\nSyc_Enable=1\n[LiveSend]\nPacing=0\n" % (card_port, width, height))


def send(cli, folder, timeout=120):
    """Runs vantiro-cli send; returns (seconds from its start to the
    confirmation, wall time of its start, wall time of the confirmation:
    when it printed "sent N lines", the card having counted them all)."""
    start = time.time()
    p = subprocess.Popen([cli, "send", folder], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    confirmed, out = None, ""
    for line in p.stdout:
        out += line
        if confirmed is None and line.startswith("sent "):
            confirmed = time.time()
    try:
        err = p.stderr.read()
        code = p.wait(timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
        fail("vantiro-cli send took over %d s" % timeout)
    if code != 0 or confirmed is None:
        fail("vantiro-cli send failed (%d): %s %s" % (code, out, err))
    return confirmed - start, start, confirmed


def page_leds(driver, width, height):
    """The LEDs the page's canvas shows (through toDataURL), or None while
    the canvas is not laid out for a screen of width x height."""
    url = driver.execute_script("return document.getElementById('screen').toDataURL('image/png');")
    png = read_png(base64.b64decode(url.split(",", 1)[1]))
    if png[0] % width or png[1] % height or png[0] // width != png[1] // height:
        return None
    return canvas_leds(png, width, height)
