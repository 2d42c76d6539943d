#!/usr/bin/python3
"""The web console's History view in headless Chromium: a snapshot taken with ombrix-cli,
a parameter changed, then the page compares the snapshot with the projector now, names
the parameter, and brings the block back after a confirmation that names what it
overwrites. Exit 77 (skipped) only when no Chromium is installed."""
import argparse
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
# The web console test's helpers: a free port, and waiting with a deadline.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server"))
from browser_test import free_port, wait_until  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--data", required=True)
    args = ap.parse_args()
    args.bin = os.path.abspath(args.bin)
    args.data = os.path.abspath(args.data)

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        print("SKIPPED: chromium and chromedriver are not installed (apt-get install chromium chromium-driver)")
        return SKIP
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select

    work = tempfile.mkdtemp(prefix="ombrix-history-")
    procs = []
    browser = None

    def cli(*words):
        r = subprocess.run([os.path.join(args.bin, "ombrix-cli"), "--device", "tty"] + list(words), cwd=work,
                           capture_output=True, text=True, timeout=120)
        return r.returncode, r.stdout + r.stderr

    try:
        for f in glob.glob(os.path.join(args.data, "*.dsc")):
            shutil.copy(f, work)
        with open(os.path.join(work, "quicksearch.cfg"), "w") as f:
            f.write("quick-search = on\n")
        sim = subprocess.Popen([os.path.join(args.bin, "ombrix-sim"), "--bus", os.path.join(args.data, "demo-bus.cfg"),
                                "--pty", "--link", "tty"], cwd=work, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(sim)
        wait_until("the simulator", lambda: os.path.exists(os.path.join(work, "tty")), 10)
        code, out = cli("snapshot", "1", "--note", "reference")
        assert code == 0, out
        code, out = cli("read-param", "1", "48", "0")
        before = int(re.search(r"value: (\d+)", out).group(1))
        step = 4 if before < 100 else -4
        code, out = cli("write-param", "1", "48", "0", str(step))
        assert code == 0, out
        now = before + step

        port = free_port()
        log = open(os.path.join(work, "server.log"), "w")
        server = subprocess.Popen([os.path.join(args.bin, "ombrix-server"), "--workdir", work, "--device", "tty",
                                   "--listen", "127.0.0.1:%d" % port, "--check-interval", "600"],
                                  cwd=work, stdout=log, stderr=log)
        procs.append(server)
        base = "http://127.0.0.1:%d" % port
        wait_until("the server's search", lambda: not json.load(urllib.request.urlopen(
            base + "/api/v1/projectors", timeout=5))["searching"], 120)

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--user-data-dir=" + os.path.join(work, "profile")):
            options.add_argument(flag)
        browser = webdriver.Chrome(service=Service(driver), options=options)
        browser.set_window_size(1280, 1400)
        browser.get(base + "/")

        def rows():
            return browser.find_elements(By.CSS_SELECTOR, "#history-list tbody tr")

        def by_text(text):
            return next(b for b in browser.find_elements(By.TAG_NAME, "button") if b.text.strip() == text)

        wait_until("projector 1 chosen", lambda: Select(browser.find_element(By.ID, "history-projector"))
                   .first_selected_option.get_attribute("value") == "1", 20)
        wait_until("the snapshot listed", lambda: len(rows()) == 1, 10)
        assert "reference" in rows()[0].text, rows()[0].text

        browser.find_element(By.CSS_SELECTOR, 'input[aria-label="Select snapshot 1"]').click()
        by_text("Compare the selected with now").click()
        changed = "Brightness %d → %d" % (before, now)
        wait_until("the parameter named, old → new", lambda: changed in browser.find_element(By.ID, "history-diff").text,
                   30)

        by_text("Restore block 1 from snapshot 1").click()
        dialog = browser.find_element(By.ID, "history-confirm")
        wait_until("the confirmation", lambda: dialog.is_displayed(), 5)
        text = browser.find_element(By.ID, "history-confirm-text").text
        assert "Block 1 [40 01 20 34]" in text and "Brightness %d → %d" % (now, before) in text, text
        assert "overwritten" in text, text
        if os.environ.get("OMBRIX_BROWSER_SHOT"):
            browser.save_screenshot(os.environ["OMBRIX_BROWSER_SHOT"])
        browser.find_element(By.ID, "history-confirm-yes").click()
        wait_until("the block restored", lambda: "restored" in browser.find_element(By.ID, "history-status").text, 60)
        wait_until("no differences left", lambda: "No differences." in browser.find_element(By.ID, "history-diff").text,
                   30)
        wait_until("the snapshot before the restore listed", lambda: any("before restore" in r.text for r in rows()), 10)

        by_text("Take snapshot").click()
        wait_until("a snapshot taken from the page",
                   lambda: re.search(r"Snapshot \d+: 4 blocks", browser.find_element(By.ID, "history-status").text), 60)
        for b in browser.find_elements(By.CSS_SELECTOR, "button"):
            assert b.get_attribute("textContent").strip(), "a button without a name"
        print("OK: compared with now, %s named, block 1 restored after its confirmation" % changed)
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
