#!/usr/bin/python3
"""ombrix-server's measurements: time from start to /healthz, GET /api/v1/projectors
latency while the status reads run, a state change on the simulator to its event on the
stream with 4 and 16 projectors at the shortest and the default interval, wake-ups while
idle, the server's memory with 16 projectors, and with mosquitto present an MQTT command
to its frame on the line and a state change to its retained state.
Usage: server_bench.py BIN_DIR DATA_DIR [--quick]   (--quick: fewer samples)"""
import json
import os
import random
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import http.client

DEFAULT_INTERVAL_S = 60  # options.cfg's check interval out of the box
SHORTEST_INTERVAL_S = 1  # --check-interval 1


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def bus_of(demo, data_dir, count):
    """The demo bus's first projector at addresses 1..count."""
    text = open(demo).read()
    first = text.split("[projector]")[1]
    first = re.sub(r"^description = ", "description = " + data_dir + "/", first, flags=re.M)
    return "".join("[projector]" + re.sub(r"^address = \d+", "address = %d" % a, first, flags=re.M)
                   for a in range(1, count + 1))


def get(port, path, method="GET"):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request(method, path)
    r = c.getresponse()
    body = r.read()
    c.close()
    return r.status, body


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100.0 * (len(v) - 1))))]


def row(*cells):
    print("| %-44s | %21s | %-30s |" % cells)


class Bench:
    def __init__(self, bin_dir, data_dir):
        self.bin_dir, self.data_dir = bin_dir, data_dir
        self.procs = []
        self.work = tempfile.mkdtemp(prefix="ombrix-server-bench-")

    def close(self):
        for p in reversed(self.procs):
            self.stop(p)
        shutil.rmtree(self.work, ignore_errors=True)

    def stop(self, p):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(20)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if p in self.procs:
            self.procs.remove(p)

    def bus(self, count, transcript=False):
        """A fresh working folder with a simulated bus of `count` projectors on a pty."""
        folder = tempfile.mkdtemp(dir=self.work)
        open(os.path.join(folder, "bus.cfg"), "w").write(
            bus_of(os.path.join(self.data_dir, "demo-bus.cfg"), self.data_dir, count))
        open(os.path.join(folder, "quicksearch.cfg"), "w").write("quick-search = on\n")
        args = [self.bin_dir + "/ombrix-sim", "--bus", "bus.cfg", "--pty", "--link", "tty", "--control", "ctl"]
        sim = subprocess.Popen(args + (["--transcript"] if transcript else []), cwd=folder,
                               stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE if transcript else subprocess.DEVNULL)
        self.procs.append(sim)
        for _ in range(200):
            if os.path.exists(os.path.join(folder, "ctl")):
                break
            time.sleep(0.05)
        return folder, sim

    def server(self, folder, interval=None, extra=()):
        port = free_port()
        args = [self.bin_dir + "/ombrix-server", "--workdir", folder, "--device", "tty", "--listen",
                "127.0.0.1:%d" % port]
        if interval:
            args += ["--check-interval", str(interval)]
        started = time.monotonic()
        p = subprocess.Popen(args + list(extra), cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(p)
        healthy = None
        while time.monotonic() < started + 60:
            try:
                if get(port, "/healthz")[0] == 200:
                    healthy = time.monotonic()
                    break
            except OSError:
                time.sleep(0.005)
        return p, port, (healthy - started) if healthy else None

    @staticmethod
    def searched(port, limit=600):
        end = time.monotonic() + limit
        while time.monotonic() < end:
            if not json.loads(get(port, "/api/v1/projectors")[1]).get("searching", False):
                return True
            time.sleep(0.2)
        return False


def control(folder, line):
    with open(os.path.join(folder, "ctl"), "w") as f:
        f.write(line + "\n")


def state_change_latency(folder, port, count, samples, limit):
    """Standby switched on the simulator, to its "state change" event on the stream (ms)."""
    out = []
    for i in range(samples):
        address = 1 + (i * 5) % count  # toggled: each sample a change
        got = threading.Event()
        seen = {}

        def listen():
            c = http.client.HTTPConnection("127.0.0.1", port, timeout=limit + 30)
            c.request("GET", "/api/v1/events")
            r = c.getresponse()
            while not got.is_set():
                line = r.fp.readline()
                if not line:
                    return
                line = line.strip()
                if line.startswith(b"data: "):
                    e = json.loads(line[6:])
                    if e.get("event") == "state change" and e.get("address") == address \
                            and e["projector"]["state"] == seen.get("want"):
                        seen["t"] = time.monotonic()
                        got.set()
            c.close()

        t = threading.Thread(target=listen, daemon=True)
        t.start()
        # Anywhere in the round: the change falls at a random moment of it.
        time.sleep(0.5 + random.random() * 2)
        now = [p["state"] for p in json.loads(get(port, "/api/v1/projectors")[1])["projectors"]
               if p["address"] == address]
        on = now != ["StandBy"]
        seen["want"] = "StandBy" if on else "Operating"
        control(folder, "standby %d %s" % (address, "on" if on else "off"))
        changed = time.monotonic()
        got.wait(limit)
        if "t" in seen:
            out.append((seen["t"] - changed) * 1000)
    return out


def switches(pid):
    """Context switches of each thread of pid: {tid: (name, count)}."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            name = open("/proc/%d/task/%s/comm" % (pid, tid)).read().strip()
            n = 0
            for line in open("/proc/%d/task/%s/status" % (pid, tid)):
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    n += int(line.split()[1])
            out[tid] = (name, n)
        except OSError:
            pass
    return out


def idle_wakeups(pid, seconds):
    """Wake-ups per second of the whole process and of its owner thread, over `seconds`."""
    before = switches(pid)
    time.sleep(seconds)
    after = switches(pid)
    total = sum(n - before.get(t, (None, 0))[1] for t, (_, n) in after.items())
    owner = sum(n - before.get(t, (None, 0))[1] for t, (name, n) in after.items() if name == "ombrix-owner")
    return total / seconds, owner / seconds


def mqtt_rows(bench, quick):
    if not shutil.which("mosquitto") or not shutil.which("mosquitto_sub"):
        row("MQTT rows", "skipped", "mosquitto not installed")
        return
    broker_port = free_port()
    conf = os.path.join(bench.work, "mosquitto.conf")
    open(conf, "w").write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n" % broker_port)
    broker = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    bench.procs.append(broker)
    time.sleep(0.5)
    folder, sim = bench.bus(4, transcript=True)
    server, port, _ = bench.server(folder, SHORTEST_INTERVAL_S, ["--mqtt", "127.0.0.1:%d" % broker_port])
    bench.searched(port)
    site = re.sub(r"[/+#]", "_", socket.gethostname())
    base = "ombrix/" + site
    frames = []  # (time, address, command) of each request frame the simulator heard
    states = []  # (time, topic, payload) of each message the broker passed on

    def read_frames():
        for line in sim.stderr:
            b = line.decode(errors="replace").split()
            if len(b) == 10 and b[0] == ">" and b[1] == "02":
                off = int(b[2], 16)
                frames.append((time.monotonic(), (int(b[3], 16) - off) & 0xFF, (int(b[4], 16) - off) & 0xFF))

    sub = subprocess.Popen(["mosquitto_sub", "-p", str(broker_port), "-v", "-t", base + "/projector/+/state"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    bench.procs.append(sub)

    def read_states():
        for line in sub.stdout:
            topic, _, payload = line.decode(errors="replace").strip().partition(" ")
            states.append((time.monotonic(), topic, payload))

    threading.Thread(target=read_frames, daemon=True).start()
    threading.Thread(target=read_states, daemon=True).start()
    time.sleep(2)
    to_frame, to_state = [], []
    for i in range(3 if quick else 8):
        address = 1 + i % 4
        sent = time.monotonic()
        subprocess.run(["mosquitto_pub", "-p", str(broker_port), "-t", "%s/projector/%d/set" % (base, address),
                        "-m", '{"key": 27}'], check=False)
        end = sent + 10
        while time.monotonic() < end:
            hit = [t for (t, a, c) in frames if t >= sent and a == address and c == 27]
            if hit:
                to_frame.append((hit[0] - sent) * 1000)
                break
            time.sleep(0.005)
        on = i % 8 < 4  # each address on, then off again
        changed = time.monotonic()
        control(folder, "standby %d %s" % (address, "on" if on else "off"))
        want = "StandBy" if on else "Operating"
        end = changed + 30
        topic = "%s/projector/%d/state" % (base, address)
        while time.monotonic() < end:
            hit = [t for (t, tp, p) in states if t >= changed and tp == topic and ('"state":"%s"' % want) in p]
            if hit:
                to_state.append((hit[0] - changed) * 1000)
                break
            time.sleep(0.01)
    for label, values in (("MQTT .../set to its frame on the line (ms)", to_frame),
                          ("state change to retained MQTT state (ms)", to_state)):
        if values:
            row(label, "%.0f / %.0f / %.0f" % (min(values), statistics.median(values), max(values)),
                "4 projectors, interval 1 s")
        else:
            row(label, "none", "")
    for p in (server, sub):
        bench.stop(p)


def main():
    bin_dir, data_dir = map(os.path.abspath, sys.argv[1:3])
    quick = "--quick" in sys.argv[3:]
    bench = Bench(bin_dir, data_dir)
    try:
        print("ombrix-server on simulated buses over pseudo-terminals (quick search):")
        print()
        row("measurement", "min / median / max", "target")
        row("-" * 44, "-" * 21, "-" * 30)

        folder, _ = bench.bus(16)
        starts = []
        for _ in range(3):
            server, port, healthy = bench.server(folder, 2)
            if healthy is not None:
                starts.append(healthy * 1000)
            bench.stop(server)
        row("start to /healthz (ms)", "%.0f / %.0f / %.0f" % (min(starts), statistics.median(starts), max(starts))
            if starts else "none", "< 2000 ms, search or not")

        server, port, _ = bench.server(folder, 2)
        bench.searched(port)
        count = len(json.loads(get(port, "/api/v1/projectors")[1])["projectors"])
        times = []
        for _ in range(400):
            t0 = time.perf_counter()
            get(port, "/api/v1/projectors")
            times.append((time.perf_counter() - t0) * 1000)
        row("GET /api/v1/projectors, %d projectors (ms)" % count,
            "%.2f / %.2f / %.2f" % (min(times), pct(times, 50), pct(times, 99)), "p99 < 20 ms (max is p99)")
        rss_kb = 0
        for line in open("/proc/%d/status" % server.pid):
            if line.startswith("VmRSS:"):
                rss_kb = int(line.split()[1])
        row("server RSS, 16 projectors (MiB)", "%.1f" % (rss_kb / 1024.0), "< 40 MiB")
        bench.stop(server)

        for count in (4, 16):
            folder, _ = bench.bus(count)
            for interval in (SHORTEST_INTERVAL_S, DEFAULT_INTERVAL_S):
                server, port, _ = bench.server(folder, interval)
                bench.searched(port)
                # A round reads each projector's status (0.72 s of waits and wire), then waits
                # the interval.
                round_s = count * 0.75 + interval
                samples = 2 if quick else (5 if interval == SHORTEST_INTERVAL_S else 3)
                lat = state_change_latency(folder, port, count, samples, round_s + 30)
                target = "< %.1f s (one round + 100 ms)" % (round_s + 0.1)
                row("state change to SSE, %d proj., every %d s (ms)" % (count, interval),
                    "%.0f / %.0f / %.0f" % (min(lat), statistics.median(lat), max(lat)) if lat else "none", target)
                if count == 4 and interval == DEFAULT_INTERVAL_S:
                    time.sleep(count * 0.75 + 2)  # between rounds now
                    total, owner = idle_wakeups(server.pid, 10)
                    row("wake-ups/s while idle, whole process", "%.1f" % total, "all threads, between rounds")
                    row("wake-ups/s while idle, owner thread", "%.1f" % owner, "0")
                bench.stop(server)

        mqtt_rows(bench, quick)
        return 0
    finally:
        bench.close()


if __name__ == "__main__":
    sys.exit(main())
