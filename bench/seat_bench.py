#!/usr/bin/python3
"""A program beside ombrix-server on its line: one ombrix-cli command through the server's
seat against the same command on the free line (min / median / max of whole runs), and
the server's round of status reads alone against the same round with a program polling
through a seat beside it. The line is the simulator behind ombrix-pace at 9600 baud, so
the wire and the protocol's waits count as on a real line.
Usage: seat_bench.py BIN_DIR DATA_DIR [RUNS]"""
import json
import os
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(pred, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            if pred():
                return True
        except OSError:
            pass
        time.sleep(0.1)
    raise TimeoutError("seat_bench: timed out")


def get(port, path):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request("GET", path)
    body = c.getresponse().read()
    c.close()
    return body


def check_seconds(port):
    m = re.search(rb"^ombrix_background_check_seconds ([0-9.e+-]+)$", get(port, "/metrics"), re.M)
    return float(m.group(1)) if m else None


def main():
    bin_dir, data = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    work = tempfile.mkdtemp(prefix="ombrix-seat-bench-")
    procs = []
    try:
        bus = os.path.join(work, "bus.cfg")
        with open(os.path.join(data, "demo-bus.cfg")) as f, open(bus, "w") as out:
            out.write(f.read().replace("description = ", "description = " + data + "/"))
        procs.append(subprocess.Popen([bin_dir + "/ombrix-sim", "--bus", bus, "--pty", "--link", work + "/sim-tty"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: os.path.exists(work + "/sim-tty"), 10)
        procs.append(subprocess.Popen([bin_dir + "/ombrix-pace", "--device", work + "/sim-tty", "--link",
                                       work + "/tty", "--baud", "9600"], stdout=subprocess.DEVNULL))
        wait_for(lambda: os.path.exists(work + "/tty"), 10)
        os.mkdir(work + "/wd")
        with open(work + "/wd/quicksearch.cfg", "w") as f:
            f.write("quick-search = on\n")

        def timed(args):
            t0 = time.monotonic()
            subprocess.run([bin_dir + "/ombrix-cli", "--workdir", work + "/wd", "--device", work + "/tty"] + args,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            return time.monotonic() - t0

        commands = [("status", ["status", "1"]), ("read-param", ["read-param", "1", "48", "0"])]
        direct = {name: [timed(a) for _ in range(runs)] for name, a in commands}

        port = free_port()
        log = open(work + "/server.out", "w")  # noqa: SIM115 (the server's, until it ends)
        procs.append(subprocess.Popen([bin_dir + "/ombrix-server", "--workdir", work + "/wd", "--device",
                                       work + "/tty", "--listen", "127.0.0.1:%d" % port, "--check-interval", "1"],
                                      stdout=log, stderr=subprocess.STDOUT))
        wait_for(lambda: not json.loads(get(port, "/api/v1/projectors"))["searching"], 300)
        seat = {name: [timed(a) for _ in range(runs)] for name, a in commands}

        print("| %-34s | %22s | %22s | %6s |" % ("command (whole ombrix-cli run)", "free line min/med/max s",
                                                "through a seat", "ratio"))
        print("| %s | %s | %s | %s |" % ("-" * 34, "-" * 22, "-" * 22, "-" * 6))
        for name, _ in commands:
            d, s = direct[name], seat[name]
            fmt = lambda v: "%.3f/%.3f/%.3f" % (min(v), statistics.median(v), max(v))  # noqa: E731
            print("| %-34s | %22s | %22s | %6.2f |" % (name, fmt(d), fmt(s), statistics.median(s) /
                                                        statistics.median(d)))

        # The server's round of status reads (four projectors), alone and with a program
        # polling status through a seat all the while.
        def rounds(n):
            seen = []
            last = check_seconds(port)
            end = time.monotonic() + 60
            while len(seen) < n and time.monotonic() < end:
                time.sleep(0.2)
                v = check_seconds(port)
                if v is not None and v != last:
                    seen.append(v)
                    last = v
            return seen

        alone = rounds(3)
        stop = threading.Event()

        def poll():
            while not stop.is_set():
                timed(["status", "4"])

        t = threading.Thread(target=poll)
        t.start()
        beside = rounds(3)
        stop.set()
        t.join()
        if alone and beside:
            print("| %-34s | %22.3f | %22.3f | %6.2f |" % ("server's status round (s)", statistics.median(alone),
                                                            statistics.median(beside),
                                                            statistics.median(beside) / statistics.median(alone)))
        return 0
    except TimeoutError as e:
        print(e, file=sys.stderr)
        if os.path.exists(work + "/server.out"):
            print(open(work + "/server.out").read()[-2000:], file=sys.stderr)
        return 1
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
