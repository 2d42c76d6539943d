#!/usr/bin/python3
"""ombrix-server's HTTP front from outside, as an attacker, an integrator and a busy control
room meet it: real sockets and curl against the real program on ombrix-sim's
pseudo-terminal. Each case is labelled; all run, and every failure is listed.
--lint-metrics runs `promtool check metrics` instead (exit 77, skipped, without promtool)."""
import argparse
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
DEEP = 100000


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
        except OSError:
            pass
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


class Bench:
    """ombrix-sim on a pseudo-terminal in a scratch folder, and servers on it."""

    def __init__(self, bin_dir, bus):
        self.bin = bin_dir
        self.work = tempfile.mkdtemp(prefix="ombrix-http-")
        self.procs = []
        with open(os.path.join(self.work, "quicksearch.cfg"), "w") as f:
            f.write("quick-search = on\n")
        self.sim(bus, "tty")

    def sim(self, bus, link):
        self.procs.append(subprocess.Popen([self.bin + "/ombrix-sim", "--bus", bus, "--pty", "--link", link],
                                           cwd=self.work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_until(link, lambda: os.path.exists(os.path.join(self.work, link)), 10)

    def server(self, port, *extra, log="server.out", tty="tty"):
        out = open(os.path.join(self.work, log), "w")
        p = subprocess.Popen([self.bin + "/ombrix-server", "--workdir", self.work, "--device", tty, "--listen",
                              "127.0.0.1:%d" % port, "--check-interval", "3"] + list(extra),
                             cwd=self.work, stdout=out, stderr=subprocess.STDOUT)
        self.procs.append(p)
        return p

    def log(self, name="server.out"):
        with open(os.path.join(self.work, name), errors="replace") as f:
            return f.read()

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(20)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def request(port, method, path, body=None, headers=None, timeout=30):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    h = dict(headers or {})
    if body is not None:
        h.setdefault("Content-Type", "application/json")
    c.request(method, path, body=body, headers=h)
    r = c.getresponse()
    data = r.read()
    c.close()
    return r.status, dict(r.getheaders()), data


def raw(port, data, timeout=10, half_close=False):
    """Sends bytes, returns all the server answers until it closes or falls quiet."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    s.sendall(data)
    if half_close:
        s.shutdown(socket.SHUT_WR)
    out = b""
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            out += chunk
            if b"\r\n\r\n" in out and b"Content-Length: " in out:
                head, _, rest = out.partition(b"\r\n\r\n")
                length = int(head.split(b"Content-Length: ")[1].split(b"\r\n")[0])
                if len(rest) >= length:
                    break
    except socket.timeout:
        pass
    s.close()
    return out


def until_closed(port, data, limit=3, source="127.0.0.1"):
    """Sends bytes; all the server answers, and whether it closed within the limit."""
    s = socket.create_connection(("127.0.0.1", port), timeout=limit, source_address=(source, 0))
    s.sendall(data)
    out, end = b"", time.monotonic() + limit
    try:
        while time.monotonic() < end:
            chunk = s.recv(65536)
            if not chunk:
                return out, True
            out += chunk
    except OSError:
        pass
    finally:
        s.close()
    return out, False


def healthz_seconds(port):
    start = time.monotonic()
    st, _, _ = request(port, "GET", "/healthz", timeout=10)
    check(st == 200, "/healthz: %d" % st)
    return time.monotonic() - start


def status_of(reply):
    return int(reply.split(b" ", 2)[1]) if reply.startswith(b"HTTP/1.1 ") else None


def vm_hwm_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def deep_schedule():
    return '[{"name": "x", "days": %s%s, "time": "08:00", "target": "all", "action": {"power": true}}]' % (
        "[" * DEEP, "]" * DEEP)


def check(cond, what):
    if not cond:
        raise AssertionError(what)


class Slow:
    """Connections that never finish their header (one byte a second) and event streams
    that are never read, each on its own socket."""

    def __init__(self, port, slow, streams):
        self.socks = []
        self.stop = threading.Event()
        for _ in range(streams):
            s = socket.create_connection(("127.0.0.1", port))
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            self.socks.append(s)
        self.slow = [socket.create_connection(("127.0.0.1", port)) for _ in range(slow)]
        self.thread = threading.Thread(target=self.drip, daemon=True)
        self.thread.start()

    def drip(self):
        while not self.stop.wait(1.0):
            for s in self.slow:
                try:
                    s.send(b"X")
                except OSError:
                    pass

    def close(self):
        self.stop.set()
        self.thread.join()
        for s in self.socks + self.slow:
            s.close()


def cases(b, port, server):
    """(label, function) of every check against the running server."""

    def deep_body_refused():
        st, _, body = request(port, "PUT", "/api/v1/schedules", deep_schedule())
        check(st == 400, "status %d" % st)
        check(b"nested" in body and len(body) < 200, body[:200])
        check(request(port, "GET", "/healthz")[0] == 200, "the server stopped answering")

    def deep_file_refused_at_start():
        log = b.log()
        check("schedules:" in log and "nested more than 64 levels deep" in log, "no refusal in the log")
        st, _, body = request(port, "GET", "/api/v1/schedules")
        check(st == 200 and json.loads(body) == [], body[:100])

    def wrong_method_is_405():
        for method, path, allow in [("POST", "/healthz", "GET, HEAD"), ("GET", "/api/v1/projectors/1/power", "POST"),
                                    ("DELETE", "/api/v1/schedules", "GET, HEAD, PUT")]:
            st, h, body = request(port, method, path)
            check(st == 405 and h.get("Allow") == allow, "%s %s: %d %s" % (method, path, st, h.get("Allow")))
            check("error" in json.loads(body), body)

    def bad_path_is_400_and_logged_escaped():
        st, _, _ = request(port, "GET", "/%FF%FE")
        check(st == 400, "invalid UTF-8: %d" % st)
        st, _, _ = request(port, "GET", "/x%0Aforged%20line")
        check(st == 404, "a path with a line feed: %d" % st)
        # The log is written by a thread of its own, a moment later.
        wait_until("the line feed shown escaped in the log", lambda: "/x\\nforged line" in b.log(), 10)
        check(not any(line.startswith("forged") for line in b.log().splitlines()), "the log has a forged line")

    def body_rules():
        put = b"PUT /api/v1/schedules HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        for label, data, want in [
            ("no length", put + b"\r\n", 411),
            ("too long", put + b"Content-Length: 2000000\r\n\r\n", 413),
            ("compressed", put + b"Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\n[]", 415),
            ("length and chunked", put + b"Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n", 400),
            ("a GET with a body", b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello", 400),
            ("a header over 16 KiB", b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
             b"".join(b"X-%d: %s\r\n" % (i, b"y" * 100) for i in range(200)) + b"\r\n", 431),
        ]:
            reply = raw(port, data, timeout=4)
            check(status_of(reply) == want, "%s: %r" % (label, reply[:60]))

    def chunked_limit():
        # 1 MiB and a bit, chunked, to a route that takes a body: refused as too large.
        chunk = b"1000\r\n" + b" " * 0x1000 + b"\r\n"
        data = (b"PUT /api/v1/schedules HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                b"Transfer-Encoding: chunked\r\n\r\n" + chunk * 300 + b"0\r\n\r\n")
        reply = raw(port, data)
        check(status_of(reply) == 413, repr(reply[:80]))

    def huge_chunked_body_costs_no_memory():
        before = vm_hwm_kb(server.pid)
        for expect in ["Expect: 100-continue", "Expect:"]:
            feed = subprocess.Popen(["head", "-c", str(64 << 20), "/dev/zero"], stdout=subprocess.PIPE)
            r = subprocess.run(["curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", "-X", "POST",
                                "-H", "Transfer-Encoding: chunked", "-H", expect, "--data-binary", "@-",
                                "http://127.0.0.1:%d/healthz" % port], stdin=feed.stdout, capture_output=True,
                               text=True, timeout=60)
            feed.stdout.close()
            feed.kill()
            feed.wait()
            check(r.stdout in ("405", "000"), "%s: curl said %s %s" % (expect, r.stdout, r.stderr.strip()))
        grown = vm_hwm_kb(server.pid) - before
        check(grown < 16 * 1024, "peak memory grew by %d KiB" % grown)

    def host_and_origin():
        key = '{"on": false}'
        # Whichever projector the search found (a quick search on a loaded machine may miss one).
        listed = json.loads(request(port, "GET", "/api/v1/projectors")[2])["projectors"]
        check(listed, "the search found no projector")
        target = "/api/v1/projectors/%d/text" % listed[0]["address"]
        for label, headers, want in [
            ("loopback address", {"Host": "127.0.0.1:%d" % port}, 200),
            ("localhost", {"Host": "localhost:%d" % port}, 200),
            ("allowed name", {"Host": "console.example"}, 200),
            ("rebound name", {"Host": "rebind.example"}, 421),
            ("rebound name, its own origin", {"Host": "rebind.example:%d" % port,
                                              "Origin": "http://rebind.example:%d" % port}, 421),
            ("https behind a proxy", {"Host": "console.example", "Origin": "https://console.example"}, 200),
            ("another origin", {"Host": "127.0.0.1:%d" % port, "Origin": "http://evil.example"}, 403),
        ]:
            before = request(port, "GET", "/api/v1/projectors")[2]
            st, _, body = request(port, "POST", target, key, headers)
            check(st == want, "%s: %d %s" % (label, st, body[:80]))
            if want != 200:
                check(request(port, "GET", "/api/v1/projectors")[2] == before, label + ": something changed")
                check("error" in json.loads(body), body)

    def keep_alive():
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        for _ in range(3):
            c.request("GET", "/healthz")
            r = c.getresponse()
            r.read()
            check(r.status == 200, "status %d" % r.status)
        c.close()
        reply = raw(port, b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", half_close=True)
        check(status_of(reply) == 200, "a client that closed its side after the request: %r" % reply[:40])

    def streams_capped_and_slow_clients_harmless():
        # More streams than --max-streams (4) that never read, and connections that send
        # one header byte a second: the rest of the server answers all the same.
        crowd = Slow(port, slow=100, streams=100)
        try:
            time.sleep(1.5)
            for path in ["/healthz", "/api/v1/projectors"]:
                start = time.monotonic()
                st, _, _ = request(port, "GET", path, timeout=10)
                took = time.monotonic() - start
                check(st == 200 and took < 5, "%s: %d after %.2f s" % (path, st, took))
            st, h, _ = request(port, "GET", "/api/v1/events")
            check(st == 503 and "Retry-After" in h, "one stream too many: %d" % st)
            # A connection that never finishes its header is closed.
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(b"GET /healthz HTTP/1.1\r\n")
            s.settimeout(30)
            check(s.recv(100) == b"", "a half-sent header kept its connection")
            s.close()
        finally:
            crowd.close()

    def hostile_clients():
        """Each row: an attack under way, /healthz from another client meanwhile (within 1 s
        every time), and how much the server's peak memory may grow."""
        listed = json.loads(request(port, "GET", "/api/v1/projectors")[2])["projectors"]
        check(listed, "the search found no projector")
        address = listed[0]["address"]
        size = len(request(port, "GET", "/app.js")[2])

        def many_ranges():
            spec = "bytes=" + ",".join(["0-"] * 2700)
            results = []
            threads = [threading.Thread(target=lambda: results.append(
                request(port, "GET", "/app.js", headers={"Range": spec}))) for _ in range(12)]
            return threads, lambda: check(sorted(set((st, len(body)) for st, _, body in results)) == [(200, size)],
                                          "replies: %s" % sorted(set((st, len(b)) for st, _, b in results)))

        def trickled_bodies():
            socks = []
            for _ in range(40):
                s = socket.create_connection(("127.0.0.1", port))
                s.sendall(b"PUT /api/v1/schedules HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                          b"Content-Length: 100\r\n\r\n")
                socks.append(s)

            def drip():
                for _ in range(20):
                    for s in socks:
                        s.send(b" ")
                    time.sleep(0.1)
                for s in socks:
                    s.close()
            return [threading.Thread(target=drip)], lambda: None

        def streams_from_one_address():
            crowd = Slow(port, slow=0, streams=70)
            other = []

            def elsewhere():
                # Another address of the loopback: a console elsewhere still gets its stream.
                reply, _ = until_closed(port, b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", limit=2,
                                        source="127.0.0.2")
                other.append(reply)
                crowd.close()
            return [threading.Thread(target=elsewhere)], lambda: check(
                status_of(other[0]) == 200 and b"data: " in other[0], repr(other[0][:80]))

        def parallel_blocks():
            results = []
            threads = [threading.Thread(target=lambda: results.append(
                request(port, "GET", "/api/v1/projectors/%d/blocks" % address, timeout=60)[0])) for _ in range(24)]
            return threads, lambda: check(set(results) <= {200, 503} and 503 in results and 200 in results,
                                          "statuses: %s" % sorted(results))

        failures = []
        for label, attack, grow_mb in [
            ("12 requests with 2,700 ranges each", many_ranges, 50),
            ("40 bodies trickling in", trickled_bodies, 16),
            ("70 event streams from one address", streams_from_one_address, 16),
            ("24 parallel block listings", parallel_blocks, 64),
        ]:
            before = vm_hwm_kb(server.pid)
            threads, verify = attack()
            for t in threads:
                t.start()
            slowest = 0
            while any(t.is_alive() for t in threads):
                slowest = max(slowest, healthz_seconds(port))
                time.sleep(0.05)
            for t in threads:
                t.join()
            grown = (vm_hwm_kb(server.pid) - before) / 1024
            try:
                verify()
                check(slowest < 1, "/healthz took %.2f s" % slowest)
                check(grown < grow_mb, "peak memory grew by %.0f MB" % grown)
            except AssertionError as e:
                failures.append("%s: %s" % (label, e))
        check(not failures, "; ".join(failures))

    def framing():
        """Each row: bytes that two parsers could read differently, or a broken request: one
        reply, its length true, and the connection closed."""
        host = b"Host: 127.0.0.1\r\n"
        post = b"POST /api/v1/search HTTP/1.1\r\n" + host
        for label, data, want in [
            ("two different Content-Length", post + b"Content-Length: 0\r\nContent-Length: 40\r\n\r\n", 400),
            ("chunked, then identity", post + b"Transfer-Encoding: chunked\r\nTransfer-Encoding: identity\r\n\r\n", 400),
            ("two Host headers", b"GET /healthz HTTP/1.1\r\n" + host + b"Host: evil.example\r\n\r\n", 400),
            ("white space before a colon", post + b"Content-Length : 5\r\n\r\nhello", 400),
            ("a request line with a fourth part", b"GET /healthz HTTP/1.1 x\r\n" + host + b"\r\n", 400),
            ("a request line of one word", b"GARBAGE\r\n\r\n", None),
            ("a header over 16 KiB", b"GET /healthz HTTP/1.1\r\n" + host +
             b"".join(b"X-%d: %s\r\n" % (i, b"y" * 100) for i in range(200)) + b"\r\n", 431),
        ]:
            reply, closed = until_closed(port, data)
            check(closed and reply.count(b"HTTP/1.1 ") <= 1, "%s: %d replies, closed: %s" % (
                label, reply.count(b"HTTP/1.1 "), closed))
            if want is None:
                continue
            head, _, body = reply.partition(b"\r\n\r\n")
            check(status_of(reply) == want, "%s: %r" % (label, reply[:60]))
            length = [int(l.split(b":")[1]) for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")]
            check(length == [len(body)], "%s: Content-Length %s, %d bytes sent" % (label, length, len(body)))

        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        start = time.monotonic()
        s.sendall(b"PUT /api/v1/schedules HTTP/1.1\r\n" + host + b"Content-Type: application/json\r\n"
                  b"Content-Length: 2\r\nExpect: 100-continue\r\n\r\n")
        interim = s.recv(100)
        took = time.monotonic() - start
        s.close()
        check(interim.startswith(b"HTTP/1.1 100") and took < 1, "Expect: %r after %.2f s" % (interim[:30], took))

        listed = json.loads(request(port, "GET", "/api/v1/projectors")[2])["projectors"]
        for path in ["/api/v1/projectors/%d/snapshot" % listed[0]["address"], "/api/v1/groups/all/snapshot",
                     "/api/v1/history/1/restore"]:
            before = vm_hwm_kb(server.pid)
            st, _, body = request(port, "POST", path, "[" * 400000 + "]" * 400000)
            grown = vm_hwm_kb(server.pid) - before
            check(st == 400 and b"nested" in body and grown < 16 * 1024, "%s: %d %s, %d KiB" % (path, st, body[:80], grown))

        # As the README's curl sends it: no body, no length.
        reply, _ = until_closed(port, post + b"Connection: close\r\n\r\n")
        check(status_of(reply) == 202, "a search without a body: %r" % reply[:60])
        wait_until("the search", lambda: not json.loads(request(port, "GET", "/api/v1/projectors", timeout=5)[2])
                   ["searching"], 120)

    def log_reader_stalled():
        # Its log into a pipe nobody reads: the pipe fills after some hundred lines, and the
        # server answers on.
        b.sim(os.path.join(b.work, "bus.cfg"), "tty3")
        other = free_port()
        p = subprocess.Popen([b.bin + "/ombrix-server", "--workdir", b.work, "--device", "tty3", "--listen",
                              "127.0.0.1:%d" % other], cwd=b.work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        b.procs.append(p)
        wait_until("the server", lambda: request(other, "GET", "/healthz", timeout=2)[0] == 200, 60)
        c = http.client.HTTPConnection("127.0.0.1", other, timeout=5)
        answered = 0
        try:
            for _ in range(5000):
                c.request("GET", "/healthz")
                r = c.getresponse()
                r.read()
                answered += r.status == 200
        except OSError as e:
            raise AssertionError("%d answered, then %s" % (answered, e))
        finally:
            c.close()
        check(answered == 5000, "%d of 5000 answered" % answered)
        p.send_signal(signal.SIGTERM)
        check(p.wait(10) == 0, "exit %d" % p.returncode)

    def second_server_refused():
        token = os.path.join(b.work, "token")
        with open(token, "w") as f:
            f.write("secret\n")
        os.chmod(token, 0o644)
        b.sim(os.path.join(b.work, "bus.cfg"), "tty2")
        p = b.server(port, "--token-file", token, log="second.out", tty="tty2")
        try:
            p.wait(60)
        except subprocess.TimeoutExpired:
            raise AssertionError("a second server on the same port kept running")
        log = b.log("second.out")
        check(p.returncode == 2 and "in use" in log, "exit %d: %s" % (p.returncode, log[-300:]))
        check("install -m 0640 -o root -g ombrix" in log, "no warning about the token file: " + log[-300:])

    def sigterm_with_slow_client():
        slow = socket.create_connection(("127.0.0.1", port))
        slow.sendall(b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n")
        stream = socket.create_connection(("127.0.0.1", port))
        stream.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        time.sleep(0.5)
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(5)
        except subprocess.TimeoutExpired:
            raise AssertionError("still running 5 s after SIGTERM")
        check(server.returncode == 0, "exit %d" % server.returncode)
        check("line closed, files saved" in b.log(), b.log()[-300:])
        slow.close()
        stream.close()

    return [
        ("a 100,000-deep body is refused and the server carries on", deep_body_refused),
        ("a 100,000-deep schedules.json is refused at start, the server runs", deep_file_refused_at_start),
        ("a known path with a wrong method: 405 with Allow", wrong_method_is_405),
        ("a path that is not UTF-8: 400; a line feed in a path is escaped in the log", bad_path_is_400_and_logged_escaped),
        ("bodies and headers outside the rules are refused before reading", body_rules),
        ("the 1 MiB limit holds for a chunked body", chunked_limit),
        ("a chunked 64 MiB body to /healthz is refused without being kept", huge_chunked_body_costs_no_memory),
        ("Host and Origin", host_and_origin),
        ("keep-alive: several requests on one connection; a half-closed one is answered", keep_alive),
        ("streams capped; never-reading streams and slow headers block nothing", streams_capped_and_slow_clients_harmless),
        ("hostile clients: the server still answers, memory bounded", hostile_clients),
        ("framing: one reading of every request, or one refusal and close", framing),
        ("a server whose log nobody reads answers 5,000 requests", log_reader_stalled),
        ("a second server on the same port refuses to start", second_server_refused),
        ("SIGTERM with a slow client and a stream open ends the server", sigterm_with_slow_client),
    ]


def lint_metrics(b, port):
    promtool = shutil.which("promtool")
    if not promtool:
        print("SKIPPED: promtool is not installed (apt-get install prometheus)")
        return SKIP
    _, _, metrics = request(port, "GET", "/metrics")
    r = subprocess.run([promtool, "check", "metrics"], input=metrics, capture_output=True)
    problems = [line for line in (r.stdout + r.stderr).decode().splitlines() if line.strip()]
    if problems:
        print("promtool: " + "\n".join(problems))
        return 1
    if b"ombrix_projector_running_seconds{" not in metrics or b"ombrix_exchange_seconds_sum " not in metrics:
        print("missing metrics:\n" + metrics.decode())
        return 1
    print("ok: promtool check metrics")
    return 0


def run_cases(b, labelled):
    """Runs every (label, case); lists each failure, then the server's log. The exit code."""
    failed = 0
    for label, run in labelled:
        try:
            run()
            print("ok: " + label)
        except Exception as e:  # every case runs; each failure is listed
            failed += 1
            print("FAIL: %s: %s" % (label, e))
    if failed:
        print(b.log()[-3000:])
    return 1 if failed else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--bus", required=True)
    ap.add_argument("--lint-metrics", action="store_true")
    args = ap.parse_args()
    bus = os.path.abspath(args.bus)
    b = Bench(os.path.abspath(args.bin), bus)
    try:
        data = os.path.dirname(bus)
        with open(bus) as f:
            text = f.read().replace("description = ", "description = " + data + "/")
        with open(os.path.join(b.work, "bus.cfg"), "w") as f:
            f.write(text)
        # The block routes read the projectors' types from the work folder.
        for name in os.listdir(data):
            if name.endswith(".dsc"):
                shutil.copy(os.path.join(data, name), b.work)
        if not args.lint_metrics:
            with open(os.path.join(b.work, "schedules.json"), "w") as f:
                f.write(deep_schedule())
        port = free_port()
        server = b.server(port, "--allow-host", "console.example", "--max-streams", "4")
        wait_until("the server", lambda: server.poll() is None and request(port, "GET", "/healthz", timeout=2)[0] == 200,
                   120)
        # It serves from the start; the cases want the search done.
        wait_until("the search", lambda: not json.loads(request(port, "GET", "/api/v1/projectors", timeout=5)[2])
                   ["searching"], 120)
        if args.lint_metrics:
            return lint_metrics(b, port)
        return run_cases(b, cases(b, port, server))
    finally:
        b.close()


if __name__ == "__main__":
    sys.exit(main())
