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
CHECK_INTERVAL = 3  # seconds between the server's background check passes


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


def check_seconds(base):
    """How long the server's last background check pass took, from its metrics."""
    def last_pass():
        text = urllib.request.urlopen(base + "/metrics", timeout=5).read().decode()
        for line in text.splitlines():
            if line.startswith("ombrix_background_check_seconds "):
                value = float(line.split()[1])
                return value if value > 0 else None
        return None
    return wait_until("a background check pass", last_pass, 60)


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
        # A group of every projector of the bus.
        with open(args.bus) as f:
            dome = [int(line.split("=")[1].split("#")[0]) for line in f if line.split("=")[0].strip() == "address"]
        with open(os.path.join(work, "groups.json"), "w") as f:
            json.dump({"version": 1, "groups": [{"name": "Dome", "members": dome}]}, f)
        # A schedule with long cells, for the phone-width check; it never fires in a test.
        with open(os.path.join(work, "schedules.json"), "w") as f:
            json.dump([{"name": "Weekday morning warm-up of the dome", "time": "03:00",
                        "days": ["mon", "tue", "wed", "thu", "fri", "sat", "sun"],
                        "target": {"group": "Dome"}, "action": {"text": False}}], f)
        sim = subprocess.Popen([os.path.join(args.bin, "ombrix-sim"), "--bus", args.bus, "--pty", "--link", "tty",
                                "--control", "ctl"], cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(sim)
        wait_until("the simulator", lambda: os.path.exists(os.path.join(work, "ctl")), 10)
        port = free_port()
        log = open(os.path.join(work, "server.log"), "w")
        server = subprocess.Popen([os.path.join(args.bin, "ombrix-server"), "--workdir", work, "--device", "tty",
                                   "--listen", "127.0.0.1:%d" % port, "--check-interval", str(CHECK_INTERVAL)],
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
        assert len(expected) >= 3, expected

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

        # While the server searches, the banner says so and the buttons wait for it.
        urllib.request.urlopen(urllib.request.Request(base + "/api/v1/search", data=b"", method="POST"), timeout=5)
        # Read in one go, so the search cannot end between the two.
        seen = wait_until("the banner to say searching", lambda: (lambda r: r if "searching" in r[0] else None)(
            browser.execute_script("return [document.getElementById('line').textContent,"
                                   " [...document.querySelectorAll('.card button')].filter(b => !b.disabled).length];")),
            5)
        assert seen[1] == 0, "%d buttons stay pressable during the search" % seen[1]
        wait_until("the search to end on the page", lambda: browser.find_element(By.ID, "line").text == "Line: up", 120)

        # Power on an operating projector switches it to standby. The force sequence waits
        # what the protocol asks: a status read (400 ms settling, 300 ms closing), the key
        # and its 400 ms, a status read again; before that it may wait for one exchange of
        # the background check (400 ms settling and its answer). Plus a margin for the page
        # and a loaded machine.
        budget = (0.4 + 0.3) + 0.4 + (0.4 + 0.3) + 0.6 + 1.2
        on = next(a for a in expected if state(a) == "operating")
        # The page says so while a projector is woken (it is not simply "standby").
        texty = next(a for a in expected if a != on and state(a) == "operating")
        power = card(on).find_element(By.CSS_SELECTOR, '[data-action="power"]')
        assert power.get_attribute("aria-pressed") == "true"
        started = time.monotonic()
        power.click()
        wait_until("the card to show standby", lambda: state(on) == "standby", budget)
        print("power click to standby on the card: %.2f s" % (time.monotonic() - started))
        assert card(on).find_element(By.CSS_SELECTOR, '[data-action="power"]').get_attribute("aria-pressed") == "false"

        # A toggle is locked while its command runs: a second click at once sends nothing.
        browser.execute_script(
            "window.posts = [];"
            "const send = window.fetch;"
            "window.fetch = (u, i) => { if (i && i.method === 'POST') window.posts.push(String(u)); return send(u, i); };")
        text = card(texty).find_element(By.CSS_SELECTOR, '[data-action="text"]')
        was = text.get_attribute("aria-pressed")
        text.click()
        assert text.get_attribute("aria-busy") == "true", "the toggle is not marked busy"
        text.click()
        wait_until("the text toggle to finish", lambda: text.get_attribute("aria-busy") is None
                   and text.get_attribute("aria-pressed") != was, 10)
        posts = browser.execute_script("return window.posts;")
        assert posts == ["/api/v1/projectors/%d/text" % texty], posts

        # A projector switched off in the simulator turns "lost" when a check pass gives it
        # up. At worst it goes just after the pass asked it: the rest of that pass, the
        # interval, the next pass up to it, and its own probe: a status request unanswered
        # twice, 2 s apart, each given up after its 2 s wait for the acknowledgement, 400 ms
        # settling and 300 ms closing. A pass lasts what the server reports for its last one
        # (a loaded machine makes it longer, and the allowance with it); the margin is for
        # the event to reach the page.
        silent = 2 * (2 + 0.4 + 0.3) + 2
        pass_seconds = check_seconds(base)
        allowance = pass_seconds + CHECK_INTERVAL + pass_seconds + silent + 3
        other = next(a for a in expected if a not in (on, texty) and state(a) == "operating")
        with open(os.path.join(work, "ctl"), "w") as f:
            f.write("power %d off\n" % other)
        started = time.monotonic()
        wait_until("the card to show lost (allowed %.1f s, a pass took %.1f s)" % (allowance, pass_seconds),
                   lambda: state(other) == "lost", allowance)
        print("switched off to lost on the card: %.2f s of %.1f s allowed" % (time.monotonic() - started, allowance))
        # What a lost projector said last is not shown as if it were still so.
        for b in card(other).find_elements(By.CSS_SELECTOR, ".toggles [data-action]"):
            assert b.get_attribute("aria-pressed") is None and ":" not in b.text, b.text

        # A group command names each member it could not reach, and why.
        group = browser.find_element(By.CSS_SELECTOR, '.card[data-group="Dome"]')
        group.find_element(By.CSS_SELECTOR, '[data-action="pause"]').click()
        result = wait_until("the group's result", lambda: (lambda t: t if "done" in t else None)(
            group.find_element(By.CLASS_NAME, "result").text), 30)
        assert "1 of %d done" % len(dome) in result and "%d in standby" % on in result, result
        members = [li.text for li in group.find_elements(By.CSS_SELECTOR, ".members li")]
        assert "Projector %d: in standby" % on in members, members

        # A phone: the page, the schedules included, fits its width.
        browser.set_window_size(390, 844)
        wait_until("the schedule", lambda: browser.find_element(By.ID, "schedules").is_displayed(), 5)
        wide = browser.execute_script(
            "return [document.documentElement.scrollWidth, document.documentElement.clientWidth,"
            " document.getElementById('schedules').getBoundingClientRect().right];")
        assert wide[0] <= wide[1] and wide[2] <= wide[1], wide
        # A server that wants a token: before signing in the page asks for it, and does not
        # call the server away; with it the cards come.
        server.send_signal(signal.SIGTERM)
        server.wait(20)
        procs.remove(server)
        token = os.path.join(work, "token")
        with open(os.open(token, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write("browser-test-token\n")
        port = free_port()
        server = subprocess.Popen([os.path.join(args.bin, "ombrix-server"), "--workdir", work, "--device", "tty",
                                   "--listen", "127.0.0.1:%d" % port, "--token-file", token],
                                  cwd=work, stdout=log, stderr=log)
        procs.append(server)
        base = "http://127.0.0.1:%d" % port
        wait_until("the server with a token", lambda: urllib.request.urlopen(base + "/healthz", timeout=1).status == 200,
                   120)
        browser.set_window_size(1280, 1000)
        browser.get(base + "/")
        wait_until("the token prompt", lambda: browser.find_element(By.ID, "token-form").is_displayed(), 10)
        banner = browser.find_element(By.ID, "line").text
        assert "unreachable" not in banner, banner
        browser.find_element(By.ID, "token").send_keys("browser-test-token")
        browser.find_element(By.ID, "token").submit()
        wait_until("the cards with the token", lambda: browser.find_elements(By.CSS_SELECTOR, ".card[data-address]"),
                   30)
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
