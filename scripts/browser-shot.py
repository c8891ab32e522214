#!/usr/bin/python3
"""The README's picture of the card's live page:
    scripts/browser-shot.py [OUT]        (OUT defaults to docs/browser.png)
starts build/bin/vantiro-card with its page on a free port of 127.0.0.1,
opens the page in headless Chromium (Selenium), sends a scene of several
boards (build/tests/vantiro_random_scene, seed 22, without its digit
modules) with vantiro-cli send, waits until the page shows the card's
screen and saves the browser's window. VANTIRO_BUILD names another build
folder. Every wait is bounded."""
import os
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "lib"))
from vantiro_procs import (Card, Scene, card_png_leds, fail, http_get, page_leds, read_png, scratch,  # noqa: E402
                           send, start_browser, wait_for)


def shoot(out, card_bin, cli, tool, work):
    scene = Scene(tool, cli, 22, os.path.join(work, "scene"), no_digits=True)
    card = Card(card_bin, work, "card", scene.width, scene.height, http="127.0.0.1:0")
    driver = None
    try:
        scene.aim_at(card)
        driver = start_browser("1000,480", ["--hide-scrollbars"])
        driver.get(card.url)
        wait_for("the page to go live",
                 lambda: driver.execute_script("return document.getElementById('status').dataset.live") == "yes")
        send(cli, scene.folder)
        want = card_png_leds(read_png(http_get(card.url + "screen.png")[2]))
        if want != scene.leds:
            fail("the card does not show the scene")
        wait_for("the page to show the card's screen", lambda: page_leds(driver, scene.width, scene.height) == want)
        driver.save_screenshot(out)
        print("browser-shot: wrote %s" % out)
    finally:
        if driver:
            driver.quit()
        card.stop()


out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "docs", "browser.png")
build = os.environ.get("VANTIRO_BUILD", os.path.join(root, "build"))
programs = [os.path.join(build, "bin", "vantiro-card"), os.path.join(build, "bin", "vantiro-cli"),
            os.path.join(build, "tests", "vantiro_random_scene")]
for program in programs:
    if not os.access(program, os.X_OK):
        fail("no %s; build vantiro-card, vantiro-cli and vantiro_random_scene first" % program)
with scratch("vantiro-shot-") as work:
    shoot(out, *programs, work)
