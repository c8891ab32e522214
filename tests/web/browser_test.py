#!/usr/bin/python3
"""The card's live page in a real browser (headless Chromium through
Selenium): the page goes live, a send shows on the canvas LED for LED as
the project's renderer draws the scene, a second send changes the page
within 500 ms of its confirmation without a reload, the page's headers
hold, a refused page says why, and after a card restart the page comes
back by itself.
Usage: browser_test.py VANTIRO_CARD VANTIRO_CLI RANDOM_SCENE [--latency N]
Prints the push latency (send to canvas), median of N sends (20)."""
import os
import socket
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from vantiro_procs import (HANDSHAKE, Card, Scene, card_png_leds, differences, fail, http_get,  # noqa: E402
                           page_leds, read_png, scratch, send, start_browser, wait_for)


def status(driver):
    return driver.execute_script(
        "const s = document.getElementById('status');"
        "return [s.dataset.live, Number(s.dataset.frames), Number(s.dataset.applied || 0), s.textContent];")


def shows(driver, scene):
    got = page_leds(driver, scene.width, scene.height)
    return got is not None and not differences(got, scene.leds)


def check(card_bin, cli, tool, rounds, work):
    # Two scenes of the same size (192 x 64 LEDs, several boards), the
    # first with colour codes beyond the three; their digit modules, which
    # a send leaves to the card's clock and sensors, left out.
    first = Scene(tool, cli, 36, os.path.join(work, "first"), no_digits=True)
    second = Scene(tool, cli, 22, os.path.join(work, "second"), no_digits=True)
    if (first.width, first.height) != (second.width, second.height) or first.leds == second.leds:
        fail("the two scenes should be the same size and differ")
    card = Card(card_bin, work, "card", first.width, first.height, http="127.0.0.1:0")
    driver = None
    try:
        for scene in (first, second):
            scene.aim_at(card)
        driver = start_browser()
        # Headers: the page's policy, and no caching of live data.
        code, headers, body = http_get(card.url)
        if code != 200 or b"<canvas" not in body or b"<script>" in body:
            fail("/ answered %d without its canvas or with an inline script" % code)
        for path in ("", "app.js", "app.css", "state.json", "screen.png"):
            code, headers, _ = http_get(card.url + path)
            if code != 200:
                fail("/%s answered %d" % (path, code))
            if headers.get("Content-Security-Policy") != "default-src 'self'; connect-src 'self'":
                fail("/%s: Content-Security-Policy %r" % (path, headers.get("Content-Security-Policy")))
            if headers.get("X-Content-Type-Options") != "nosniff":
                fail("/%s lacks X-Content-Type-Options: nosniff" % path)
            if path in ("state.json", "screen.png") and headers.get("Cache-Control") != "no-store":
                fail("/%s: Cache-Control %r" % (path, headers.get("Cache-Control")))

        driver.get(card.url)
        wait_for("the page to be live", lambda: status(driver)[0] == "yes" and status(driver)[1] >= 1)
        driver.execute_script("window.vantiroMarker = 'not reloaded';")
        if "live" not in status(driver)[3]:
            fail("the status line does not say live: " + status(driver)[3])

        # The first send: every LED of the canvas is the renderer's.
        send(cli, first.folder)
        wait_for("the canvas to show the first scene", lambda: shows(driver, first), seconds=10)
        got = page_leds(driver, first.width, first.height)
        bad = differences(got, first.leds)
        if bad:
            fail("%d LEDs differ from the scene's picture, first %s" % (len(bad), bad[:5]))
        # /screen.png is the card's own --png, and the renderer's picture.
        _, _, png = http_get(card.url + "screen.png")
        if png != card.own_png():
            fail("/screen.png is not the card's --png picture")
        if png != first.png_bytes:
            fail("/screen.png is not the picture vantiro-cli render makes of the scene")
        text = status(driver)[3]
        if "%d × %d LEDs" % (first.width, first.height) not in text or "lines run" not in text:
            fail("the status line lacks the size or the lines run: " + text)

        # The second send shows within 500 ms of its confirmation.
        frames = status(driver)[1]
        _, _, confirmed = send(cli, second.folder)
        deadline = confirmed + 0.5
        changed = False
        while time.time() < deadline:
            if status(driver)[1] > frames and page_leds(driver, second.width, second.height) != first.leds:
                changed = True
                break
            time.sleep(0.01)
        if not changed:
            fail("the page did not change within 500 ms of the second send's confirmation")
        wait_for("the canvas to show the second scene", lambda: shows(driver, second), seconds=10)
        if driver.execute_script("return window.vantiroMarker;") != "not reloaded":
            fail("the page was reloaded")

        # Push latency: from the start of a send and from its confirmation
        # to the frame that completed the picture (not asserted).
        from_start, from_confirm = [], []
        for i in range(rounds):
            scene = first if i % 2 == 0 else second
            _, started, confirmed = send(cli, scene.folder)
            wait_for("the canvas to show send %d" % i, lambda: shows(driver, scene), seconds=10, step=0.01)
            applied = status(driver)[2] / 1000.0
            from_start.append((applied - started) * 1000)
            from_confirm.append((applied - confirmed) * 1000)
        print("push latency, median of %d sends: %.0f ms from the send's start, %.0f ms from its confirmation"
              % (rounds, statistics.median(from_start), statistics.median(from_confirm)), flush=True)

        # A page refused for want of a place says why; it comes back by
        # itself after a card restart and shows the new card's screen.
        port = card.http_port
        card.stop()
        wait_for("the page to notice the card is gone", lambda: status(driver)[0] == "no")
        card = Card(card_bin, work, "card2", first.width, first.height, extra=["--http-viewers", "1"],
                    http="127.0.0.1:%d" % port)
        holder = socket.create_connection(("127.0.0.1", port), timeout=5)
        holder.sendall((HANDSHAKE % ("/live", "")).encode())
        if b" 101 " not in holder.recv(200):
            fail("the card did not take the first viewer")
        wait_for("the page to say it was refused", lambda: "refused" in status(driver)[3], seconds=30)
        print("refused page says: " + status(driver)[3], flush=True)
        holder.close()
        wait_for("the page to be live again", lambda: status(driver)[0] == "yes", seconds=30)
        new_screen = card_png_leds(read_png(http_get(card.url + "screen.png")[2]))
        wait_for("the page to show the restarted card's screen",
                 lambda: page_leds(driver, first.width, first.height) == new_screen, seconds=10)
        if driver.execute_script("return window.vantiroMarker;") != "not reloaded":
            fail("the page was reloaded")
        if not card.alive():
            fail("the card ended")
    finally:
        if driver:
            driver.quit()
        card.stop()


rounds = int(sys.argv[sys.argv.index("--latency") + 1]) if "--latency" in sys.argv else 20
with scratch("vantiro-web-") as work:
    check(*sys.argv[1:4], rounds, work)
print("browser test passed", flush=True)
