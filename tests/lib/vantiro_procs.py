"""Helpers of the Python checks that run the project's programs (the pixel
outputs, the live page, the README's picture of it): a vantiro-card on free
ports of 127.0.0.1, random scenes and the picture vantiro-cli renders of
them, PNG pictures read back, bounded waits, a headless Chromium. Standard
library only, but for Selenium when a browser is started."""
import base64
import contextlib
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
import zlib

SKIP = 77   # CTest's SKIP_RETURN_CODE
# A WebSocket upgrade by hand (path, extra header lines) for raw viewers.
HANDSHAKE = ("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n%s\r\n")


def fail(message):
    print("FAIL: " + message, file=sys.stderr, flush=True)
    sys.exit(1)


def skip(why):
    print("SKIP: " + why, flush=True)
    sys.exit(SKIP)


def wait_for(what, check, seconds=20, step=0.02):
    """check's first true value, polled every step seconds; fails naming
    what after seconds."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        got = check()
        if got:
            return got
        time.sleep(step)
    fail("timed out waiting for " + what)


def free_port(kind=socket.SOCK_STREAM):
    """A port of 127.0.0.1 that was free a moment ago (bound, then closed)."""
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def terminate(proc, seconds=10):
    """Ends proc with SIGTERM; False when it took SIGKILL after seconds."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(seconds)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            return False
    return True


@contextlib.contextmanager
def scratch(prefix):
    """A scratch folder, removed at the end; kept and named when the check
    failed or KEEP is set in the environment."""
    work = tempfile.mkdtemp(prefix=prefix)
    kept = True
    try:
        yield work
        kept = bool(os.environ.get("KEEP"))
    finally:
        if kept:
            print("kept " + work, file=sys.stderr, flush=True)
        else:
            shutil.rmtree(work, ignore_errors=True)


# --- pictures ------------------------------------------------------------------

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
    """The LEDs of a card picture (4 x 4 pixels a LED, its top-left 3 x 3
    lit): a list of rows of RGB."""
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


# --- the card and the scenes -----------------------------------------------------

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
    """A vantiro-card of width x height LEDs listening on a free port (and
    serving its live page on http, when given, "127.0.0.1:0" for a free
    one); NAME.out, NAME.err and NAME.png in work hold its output, its
    errors and its picture."""

    def __init__(self, binary, work, name, width, height, extra=(), http=None):
        self.out_path, self.err_path, self.png_path = (os.path.join(work, name + e) for e in (".out", ".err", ".png"))
        args = [binary, "--port", "0", "--width", str(width), "--height", str(height),
                "--flash", os.path.join(work, name + ".flash"), "--png", self.png_path]
        args += (["--http", http] if http else []) + list(extra)
        with open(self.out_path, "w") as out, open(self.err_path, "a") as err:
            self.proc = subprocess.Popen(args, stdout=out, stderr=err)
        self.http = http
        self.port, self.http_port = wait_for("the card to listen", self._listening, 20)
        self.url = "http://127.0.0.1:%d/" % self.http_port if http else None

    def _listening(self):
        text = open(self.out_path).read()
        m = re.search(r"^card: listening on 127\.0\.0\.1:(\d+),", text, re.M)
        h = re.search(r"^http://127\.0\.0\.1:(\d+)/$", text, re.M)
        if m and (h or not self.http):
            return int(m.group(1)), int(h.group(1)) if h else None
        if self.proc.poll() is not None:
            fail("the card did not start (status %d): %s" % (self.proc.returncode, self.log()))
        return None

    def log(self):
        return open(self.err_path).read()

    def alive(self):
        return self.proc.poll() is None

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def own_png(self):
        """The card's --png picture, written (whole: written aside and
        renamed) on SIGUSR1."""
        if os.path.exists(self.png_path):
            os.unlink(self.png_path)
        self.proc.send_signal(signal.SIGUSR1)
        wait_for("the card's picture on SIGUSR1", lambda: os.path.exists(self.png_path), 10)
        return open(self.png_path, "rb").read()

    def stop(self):
        """Ends the card with SIGTERM; fails unless it ends within 10 s with
        status 0."""
        if not terminate(self.proc):
            fail("the card did not end within 10 s of SIGTERM: " + self.log())
        if self.proc.returncode != 0:
            fail("the card ended with status %d: %s" % (self.proc.returncode, self.log()))


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
        r = subprocess.run([cli, "render", folder, "--png", png], capture_output=True, text=True, timeout=60)
        if r.returncode != 0:
            fail("vantiro-cli render %s: %s %s" % (folder, r.stdout, r.stderr))
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


def send(cli, folder, to=None, timeout=120):
    """Runs vantiro-cli send (to the card listening on port to, else to
    SysCfg.ini's cards); returns (seconds from its start to the
    confirmation, wall time of its start, wall time of the confirmation:
    when it printed "sent N lines", the card having counted them all)."""
    start = time.time()
    args = [cli, "send", folder] + (["--to", "127.0.0.1:%d" % to] if to else [])
    p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
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


# --- the live page in a browser ----------------------------------------------------

def start_browser(size="1200,800", extra=()):
    """Headless Chromium through Selenium (Debian's chromium and
    chromedriver); no sandbox, which Chromium cannot make as root."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
              "--window-size=" + size, "--force-device-scale-factor=1") + tuple(extra):
        options.add_argument(a)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(20)
    driver.set_script_timeout(20)
    return driver


def page_leds(driver, width, height):
    """The LEDs the page's canvas shows (through toDataURL), or None while
    the canvas is not laid out for a screen of width x height."""
    url = driver.execute_script("return document.getElementById('screen').toDataURL('image/png');")
    png = read_png(base64.b64decode(url.split(",", 1)[1]))
    if png[0] % width or png[1] % height or png[0] // width != png[1] // height:
        return None
    return canvas_leds(png, width, height)
