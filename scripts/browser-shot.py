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
import shutil
import sys
import tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "web"))
from weblib import Card, Scene, card_png_leds, fail, http_get, page_leds, read_png, send  # noqa: E402

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "docs", "browser.png")
    build = os.environ.get("VANTIRO_BUILD", os.path.join(root, "build"))
    card_bin, cli = os.path.join(build, "bin", "vantiro-card"), os.path.join(build, "bin", "vantiro-cli")
    tool = os.path.join(build, "tests", "vantiro_random_scene")
    for program in (card_bin, cli, tool):
        if not os.access(program, os.X_OK):
            fail("no %s; build vantiro-card, vantiro-cli and vantiro_random_scene first" % program)
    work = tempfile.mkdtemp(prefix="vantiro-shot-")
    scene = Scene(tool, cli, 22, os.path.join(work, "scene"), no_digits=True)
    card = Card(card_bin, work, "card", scene.width, scene.height)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1000,480",
              "--force-device-scale-factor=1", "--hide-scrollbars"):
        options.add_argument(a)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        scene.aim_at(card)
        driver.get(card.url)
        if not wait(lambda: driver.execute_script("return document.getElementById('status').dataset.live") == "yes"):
            fail("the page did not go live")
        send(cli, scene.folder)
        want = card_png_leds(read_png(http_get(card.url + "screen.png")[2]))
        if want != scene.leds:
            fail("the card does not show the scene")
        if not wait(lambda: page_leds(driver, scene.width, scene.height) == want):
            fail("the page did not show the card's screen")
        driver.save_screenshot(out)
        print("browser-shot: wrote %s" % out)
    finally:
        driver.quit()
        card.stop()
        shutil.rmtree(work, ignore_errors=True)


def wait(check, seconds=20):
    import time
    deadline = time.time() + seconds
    while time.time() < deadline:
        if check():
            return True
        time.sleep(0.1)
    return False


main()
