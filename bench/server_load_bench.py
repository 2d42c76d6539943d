#!/usr/bin/python3
"""ombrix-server under a crowd that does not play along: 500 clients open the event stream
and never read it, and 200 connections send their header one byte a second (reopened as
the server closes them). Meanwhile: /healthz and GET /api/v1/projectors on fresh
connections, GET /healthz repeated on one kept-alive connection, and the server's memory.
Usage: server_load_bench.py BIN_DIR DATA_DIR"""
import http.client
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

STREAMS = 500
SLOW = 200
SAMPLES = 200


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(port, path, headers=None):
    # Measured from another address than the crowd's: the per-address caps are the crowd's.
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30, source_address=("127.0.0.2", 0))
    c.request("GET", path, headers=headers or {})
    r = c.getresponse()
    r.read()
    c.close()
    return r.status


def attacks(port):
    """(label, threads) of each attack: started, /healthz is measured until they end."""
    def ranges():
        spec = "bytes=" + ",".join(["0-"] * 2700)
        return [threading.Thread(target=lambda: get(port, "/app.js", {"Range": spec})) for _ in range(12)]

    def trickle():
        def one():
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(b"PUT /api/v1/schedules HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                      b"Content-Length: 100\r\n\r\n")
            for _ in range(30):
                s.send(b" ")
                time.sleep(0.1)
            s.close()
        return [threading.Thread(target=one) for _ in range(40)]

    def streams():
        def one():
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            time.sleep(3)
            s.close()
        return [threading.Thread(target=one) for _ in range(70)]

    def blocks():
        return [threading.Thread(target=lambda: get(port, "/api/v1/projectors/1/blocks")) for _ in range(24)]

    return [("12 requests with 2,700 ranges each", ranges), ("40 bodies trickling in", trickle),
            ("70 event streams from one address", streams), ("24 parallel block listings", blocks)]


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100.0 * (len(v) - 1))))]


def status_kb(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


class Crowd:
    def __init__(self, port):
        self.port = port
        self.stop = threading.Event()
        self.streams = []
        for _ in range(STREAMS):
            s = socket.create_connection(("127.0.0.1", port))
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            self.streams.append(s)
        self.slow = [self.open_slow() for _ in range(SLOW)]
        self.thread = threading.Thread(target=self.drip, daemon=True)
        self.thread.start()

    def open_slow(self):
        s = socket.create_connection(("127.0.0.1", self.port))
        s.setblocking(False)
        return s

    def drip(self):
        while not self.stop.wait(1.0):
            for i, s in enumerate(self.slow):
                try:
                    if s.recv(1) == b"":
                        raise OSError("closed")
                except BlockingIOError:
                    pass
                except OSError:
                    s.close()
                    self.slow[i] = s = self.open_slow()
                try:
                    s.send(b"G")
                except OSError:
                    pass

    def close(self):
        self.stop.set()
        self.thread.join()
        for s in self.streams + self.slow:
            s.close()


def row(*cells):
    print("| %-62s | %11s | %10s | %-12s |" % cells)


def main():
    bin_dir, data_dir = map(os.path.abspath, sys.argv[1:3])
    work = tempfile.mkdtemp(prefix="ombrix-load-bench-")
    procs = []
    try:
        with open(os.path.join(data_dir, "demo-bus.cfg")) as f:
            bus = f.read().replace("description = ", "description = " + data_dir + "/")
        with open(os.path.join(work, "bus.cfg"), "w") as f:
            f.write(bus)
        with open(os.path.join(work, "quicksearch.cfg"), "w") as f:
            f.write("quick-search = on\n")
        # The block listings read the projectors' types from the work folder.
        for name in os.listdir(data_dir):
            if name.endswith(".dsc"):
                shutil.copy(os.path.join(data_dir, name), work)
        procs.append(subprocess.Popen([bin_dir + "/ombrix-sim", "--bus", "bus.cfg", "--pty", "--link", "tty"],
                                      cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(200):
            if os.path.exists(os.path.join(work, "tty")):
                break
            time.sleep(0.05)
        port = free_port()
        server = subprocess.Popen([bin_dir + "/ombrix-server", "--workdir", work, "--device", "tty", "--listen",
                                   "127.0.0.1:%d" % port], cwd=work, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        procs.append(server)
        end = time.monotonic() + 300
        while time.monotonic() < end:
            try:
                if get(port, "/healthz") == 200:
                    break
            except OSError:
                time.sleep(0.2)

        crowd = Crowd(port)
        time.sleep(2)
        latency = {}
        failures = 0
        for path in ["/healthz", "/api/v1/projectors"]:
            times = []
            for _ in range(SAMPLES):
                t0 = time.perf_counter()
                try:
                    ok = get(port, path) == 200
                except OSError:
                    ok = False
                failures += 0 if ok else 1
                times.append((time.perf_counter() - t0) * 1000)
                time.sleep(0.01)
            latency[path] = times
        rss_kb = status_kb(server.pid, "VmRSS")
        hwm_kb = status_kb(server.pid, "VmHWM")
        crowd.close()

        during = []
        for label, attack in attacks(port):
            threads = attack()
            for t in threads:
                t.start()
            times = []
            while any(t.is_alive() for t in threads):
                t0 = time.perf_counter()
                try:
                    get(port, "/healthz")
                except OSError:
                    failures += 1
                times.append((time.perf_counter() - t0) * 1000)
                time.sleep(0.02)
            for t in threads:
                t.join()
            during.append((label, times))

        c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        kept = []
        for _ in range(SAMPLES):
            t0 = time.perf_counter()
            c.request("GET", "/healthz")
            c.getresponse().read()
            kept.append((time.perf_counter() - t0) * 1000)
        c.close()

        print("ombrix-server with %d never-reading event streams and %d one-byte-a-second headers open"
              % (STREAMS, SLOW))
        print("(fresh connection per request unless kept alive; %d requests each, %d failed):" % (SAMPLES, failures))
        print()
        row("measurement", "p50 / value", "p99", "target")
        row("-" * 62, "-" * 11, "-" * 10, "-" * 12)
        for path, times in latency.items():
            row("GET %s under the crowd (ms)" % path, "%.2f" % pct(times, 50), "%.2f" % pct(times, 99), "< 100 ms")
        for label, times in during:
            row("GET /healthz during %s (ms)" % label, "%.2f" % pct(times, 50), "%.2f" % pct(times, 99), "p99 < 1000")
        row("GET /healthz kept alive, no crowd (ms)", "%.2f" % pct(kept, 50), "%.2f" % pct(kept, 99), "p50 < 2 ms")
        row("server RSS under the crowd (MiB)", "%.1f" % (rss_kb / 1024.0), "", "< 64 MiB")
        row("server peak RSS, VmHWM (MiB)", "%.1f" % (hwm_kb / 1024.0), "", "")
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
