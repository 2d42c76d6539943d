#!/usr/bin/python3
"""ombrix-server's measurements: GET /api/v1/projectors latency while the background
check runs, a state change on the simulator to its event on the stream, and the
server's memory with 16 projectors. Usage: server_bench.py BIN_DIR DATA_DIR"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import http.client

CHECK_S = 2


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def sixteen_projectors(demo, data_dir):
    """The demo bus's first projector at addresses 1-16."""
    text = open(demo).read()
    first = text.split("[projector]")[1]
    first = re.sub(r"^description = ", "description = " + data_dir + "/", first, flags=re.M)
    return "".join("[projector]" + re.sub(r"^address = \d+", "address = %d" % a, first, flags=re.M)
                   for a in range(1, 17))


def get(port, path):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request("GET", path)
    r = c.getresponse()
    body = r.read()
    c.close()
    return r.status, body


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100.0 * (len(v) - 1))))]


def row(*cells):
    print("| %-34s | %11s | %10s | %-28s |" % cells)


def main():
    bin_dir, data_dir = map(os.path.abspath, sys.argv[1:3])
    work = tempfile.mkdtemp(prefix="ombrix-server-bench-")
    procs = []
    try:
        open(os.path.join(work, "bus.cfg"), "w").write(sixteen_projectors(os.path.join(data_dir, "demo-bus.cfg"),
                                                                          data_dir))
        open(os.path.join(work, "quicksearch.cfg"), "w").write("quick-search = on\n")
        procs.append(subprocess.Popen([bin_dir + "/ombrix-sim", "--bus", "bus.cfg", "--pty", "--link", "tty",
                                       "--control", "ctl"], cwd=work, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL))
        for _ in range(200):
            if os.path.exists(os.path.join(work, "ctl")):
                break
            time.sleep(0.05)
        port = free_port()
        server = subprocess.Popen([bin_dir + "/ombrix-server", "--workdir", work, "--device", "tty", "--listen",
                                   "127.0.0.1:%d" % port, "--check-interval", str(CHECK_S)], cwd=work,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(server)
        end = time.monotonic() + 300
        while time.monotonic() < end:
            try:
                if get(port, "/healthz")[0] == 200:
                    break
            except OSError:
                time.sleep(0.2)
        count = len(json.loads(get(port, "/api/v1/projectors")[1])["projectors"])

        # Latency of the list while the check keeps the line busy.
        times = []
        for _ in range(400):
            t0 = time.perf_counter()
            get(port, "/api/v1/projectors")
            times.append((time.perf_counter() - t0) * 1000)
        # A state change on the bus to its event: standby on, then off, a few times.
        latencies = []
        for i in range(2):
            address = 5 + i
            got = threading.Event()
            seen = {}

            def listen():
                c = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
                c.request("GET", "/api/v1/events")
                r = c.getresponse()
                buf = b""
                while not got.is_set():
                    chunk = r.fp.readline()
                    if not chunk:
                        return
                    buf = chunk.strip()
                    if buf.startswith(b"data: "):
                        e = json.loads(buf[6:])
                        if e.get("event") == "state change" and e.get("address") == address:
                            seen["t"] = time.monotonic()
                            got.set()
                c.close()

            t = threading.Thread(target=listen, daemon=True)
            t.start()
            time.sleep(0.5)
            with open(os.path.join(work, "ctl"), "w") as f:
                f.write("standby %d on\n" % address)
            changed = time.monotonic()
            got.wait(90)  # a whole check pass over 16 projectors, then the interval
            if "t" in seen:
                latencies.append((seen["t"] - changed) * 1000)
        rss_kb = 0
        for line in open("/proc/%d/status" % server.pid):
            if line.startswith("VmRSS:"):
                rss_kb = int(line.split()[1])
        target_sse = "< %d ms (interval + 100)" % (CHECK_S * 1000 + 100)
        print("ombrix-server with %d projectors on a pseudo-terminal, check every %d s:" % (count, CHECK_S))
        print()
        row("measurement", "p50 / value", "p99 / max", "target")
        row("-" * 34, "-" * 11, "-" * 10, "-" * 28)
        row("GET /api/v1/projectors (ms)", "%.2f" % pct(times, 50), "%.2f" % pct(times, 99), "p99 < 20 ms")
        if latencies:
            row("state change to SSE event (ms)", "%.0f" % pct(latencies, 50), "%.0f" % max(latencies), target_sse)
        else:
            row("state change to SSE event (ms)", "none", "", target_sse)
        row("server RSS (MiB)", "%.1f" % (rss_kb / 1024.0), "", "< 40 MiB")
        return 0
    finally:
        for p in reversed(procs):
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(20)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
