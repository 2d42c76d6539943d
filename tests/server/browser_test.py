#!/usr/bin/python3
"""The web console in headless Chromium: ombrix-server on a pseudo-terminal simulator,
the page driven through selenium. Exit 77 (skipped) only when no Chromium is installed."""
import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, pred, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            value = pred()
            if value:
                return value
        except Exception:  # the page or server is not there yet
            pass
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--bus", required=True)
    args = ap.parse_args()
    args.bin = os.path.abspath(args.bin)
    args.bus = os.path.abspath(args.bus)

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        print("SKIPPED: chromium and chromedriver are not installed (apt-get install chromium chromium-driver)")
        return SKIP
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By

    work = tempfile.mkdtemp(prefix="ombrix-browser-")
    procs = []
    browser = None
    try:
        with open(os.path.join(work, "quicksearch.cfg"), "w") as f:
            f.write("quick-search = on\n")
        sim = subprocess.Popen([os.path.join(args.bin, "ombrix-sim"), "--bus", args.bus, "--pty", "--link", "tty",
                                "--control", "ctl"], cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(sim)
        wait_until("the simulator", lambda: os.path.exists(os.path.join(work, "ctl")), 10)
        port = free_port()
        log = open(os.path.join(work, "server.log"), "w")
        server = subprocess.Popen([os.path.join(args.bin, "ombrix-server"), "--workdir", work, "--device", "tty",
                                   "--listen", "127.0.0.1:%d" % port, "--check-interval", "3"],
                                  cwd=work, stdout=log, stderr=log)
        procs.append(server)
        base = "http://127.0.0.1:%d" % port
        wait_until("the server", lambda: urllib.request.urlopen(base + "/healthz", timeout=1).status == 200, 120)
        # It serves from the start; the search goes on meanwhile.
        wait_until("the search", lambda: not json.load(urllib.request.urlopen(base + "/api/v1/projectors",
                                                                                timeout=5))["searching"], 120)
        expected = [p["address"] for p in
                    json.load(urllib.request.urlopen(base + "/api/v1/projectors", timeout=5))["projectors"]]
        assert expected, "the server found no projector"

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--user-data-dir=" + os.path.join(work, "profile")):
            options.add_argument(flag)
        browser = webdriver.Chrome(service=Service(driver), options=options)
        browser.get(base + "/")

        def card(address):
            return browser.find_element(By.CSS_SELECTOR, '.card[data-address="%d"]' % address)

        def state(address):
            return card(address).find_element(By.CLASS_NAME, "state").text

        # A card for every projector of the bus, each showing its state in words.
        wait_until("a card per projector", lambda: len(browser.find_elements(By.CSS_SELECTOR, ".card[data-address]"))
                   == len(expected), 10)
        for a in expected:
            assert state(a) in ("operating", "standby", "pause"), (a, state(a))
        for b in browser.find_elements(By.CSS_SELECTOR, "button"):
            assert b.get_attribute("textContent").strip() or b.get_attribute("aria-label"), "a button without a name"
        assert "up" in browser.find_element(By.ID, "line").text

        # Power on an operating projector switches it to standby. The force sequence waits
        # what the protocol asks: a status read (400 ms settling, 300 ms closing), the key
        # and its 400 ms, a status read again; before that it may wait for one exchange of
        # the background check (400 ms settling and its answer). Plus a margin for the page
        # and a loaded machine.
        budget = (0.4 + 0.3) + 0.4 + (0.4 + 0.3) + 0.6 + 1.2
        on = next(a for a in expected if state(a) == "operating")
        power = card(on).find_element(By.CSS_SELECTOR, '[data-action="power"]')
        assert power.get_attribute("aria-pressed") == "true"
        started = time.monotonic()
        power.click()
        wait_until("the card to show standby", lambda: state(on) == "standby", budget)
        print("power click to standby on the card: %.2f s" % (time.monotonic() - started))
        assert card(on).find_element(By.CSS_SELECTOR, '[data-action="power"]').get_attribute("aria-pressed") == "false"

        # A projector switched off in the simulator turns "lost" at the next check.
        other = next(a for a in expected if a != on and state(a) == "operating")
        with open(os.path.join(work, "ctl"), "w") as f:
            f.write("power %d off\n" % other)
        # The next check starts within its 3 s interval; its pass asks each projector for its
        # status (400 ms settling, 300 ms closing), and the silent one is given up after three
        # unanswered requests of about 2.7 s each. Plus a margin for the page and a loaded machine.
        wait_until("the card to show lost", lambda: state(other) == "lost",
                   3 + len(expected) * (0.4 + 0.3) + 3 * 2.7 + 6)
        if os.environ.get("OMBRIX_BROWSER_SHOT"):
            browser.set_window_size(1280, 1000)
            browser.save_screenshot(os.environ["OMBRIX_BROWSER_SHOT"])
        print("OK: %d cards, power click and lost projector shown" % len(expected))
        return 0
    finally:
        if browser:
            browser.quit()
        for p in reversed(procs):
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(20)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
