#!/usr/bin/python3
"""Programs beside a running ombrix-server on its line: ombrix-cli given the same device
sits at the server's seat and gets the same answers; what it changes is on the event
stream naming it; a seat that dies, falls quiet or sends garbage costs little and never
puts half a frame on the wire (ombrix-sim's transcript says so). Real processes on a
pseudo-terminal; each case is labelled, all run, every failure is listed."""
import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from http_front_test import Bench, check, free_port, request, run_cases, wait_until  # noqa: E402

ACK = 0x06
LEASE_CAP_S = 4  # --seat-lease: longer than any one command below takes the line


class SeatBench(Bench):
    """The simulator writes its transcript, the proof of what went on the wire."""

    def sim(self, bus, link):
        self.transcript = os.path.join(self.work, "transcript.txt")
        err = open(self.transcript, "w")
        self.procs.append(subprocess.Popen([self.bin + "/ombrix-sim", "--bus", bus, "--pty", "--link", link,
                                            "--transcript"], cwd=self.work, stdout=subprocess.DEVNULL, stderr=err))
        wait_until(link, lambda: os.path.exists(os.path.join(self.work, link)), 10)

    def cli(self, *args):
        # A fresh work folder each time: the server's files are the server's, and what one
        # run writes (a search's address set) does not steer the next.
        folder = tempfile.mkdtemp(dir=self.work)
        r = subprocess.run([self.bin + "/ombrix-cli", "--workdir", folder, "--device",
                            os.path.join(self.work, "tty")] + list(args), cwd=self.work, capture_output=True, timeout=120)
        return r.returncode, r.stdout.decode(errors="replace"), r.stderr.decode(errors="replace")

    def wire(self):
        """The request frames the simulator took, as byte lists."""
        with open(self.transcript) as f:
            return [[int(x, 16) for x in line[2:].split()] for line in f if line.startswith("> ")]


def frame_whole(b):
    """Nine bytes, start byte, offset, seven offset bytes whose checksum holds."""
    if len(b) != 9 or b[0] != 0x02:
        return False
    plain = [(x - b[1]) & 0xFF for x in b[2:]]
    return sum(plain[:6]) & 0xFF == plain[6]


def api(b, path, timeout=30):
    """GET with the server's token."""
    return request(b.port, "GET", path, headers={"Authorization": "Bearer " + b.token}, timeout=timeout)


def seat_path(b):
    return json.loads(api(b, "/api/v1/line")[2])["socket"]


class RawSeat:
    """A seat spoken to by hand: what a broken or hostile program would send."""

    def __init__(self, path, program="raw-seat"):
        self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.s.settimeout(10)
        self.s.connect(path)
        self.buf = b""
        if program is not None:
            self.send(b"H", json.dumps({"program": program}).encode())
            assert self.recv()[0] == "h", "no welcome"

    def send(self, kind, payload=b""):
        n = len(payload)
        self.s.sendall(kind + bytes([n >> 16 & 0xFF, n >> 8 & 0xFF, n & 0xFF]) + payload)

    def recv(self):
        while len(self.buf) < 4 or len(self.buf) < 4 + int.from_bytes(self.buf[1:4], "big"):
            chunk = self.s.recv(65536)
            if not chunk:
                return ("", b"")
            self.buf += chunk
        n = int.from_bytes(self.buf[1:4], "big")
        m = (chr(self.buf[0]), self.buf[4:4 + n])
        self.buf = self.buf[4 + n:]
        return m

    def recv_kind(self, kinds):
        while True:
            m = self.recv()
            if m[0] in kinds or m[0] == "":
                return m

    def close(self):
        self.s.close()


def server_command_seconds(b):
    """How long the server's own command on projector 1 takes to go through."""
    t0 = time.monotonic()
    status, _, body = api(b, "/api/v1/projectors/1")
    assert status == 200, "the server's own read: %d %s" % (status, body[:200])
    return time.monotonic() - t0


def cases(b, direct):
    # Each command's output through the seat against the same command on the free line.
    def same_output_as_direct():
        for args, (code, out, err) in direct.items():
            got = b.cli(*args)
            check(got == (code, out, err), "%s: direct %r, through the seat %r" % (" ".join(args), (code, out, err),
                                                                                  got))

    def change_is_published_naming_the_seat():
        events = []
        done = threading.Event()

        def listen():
            import http.client
            c = http.client.HTTPConnection("127.0.0.1", b.port, timeout=20)
            c.request("GET", "/api/v1/events", headers={"Authorization": "Bearer " + b.token})
            r = c.getresponse()
            while not done.is_set():
                line = r.fp.readline()
                if not line:
                    break
                if line.startswith(b"data: "):
                    events.append(json.loads(line[6:]))
            c.close()

        t = threading.Thread(target=listen, daemon=True)
        t.start()
        time.sleep(0.5)
        code, _, err = b.cli("write-param", "1", "0x10", "0x01", "0x05")
        check(code == 0, "write-param through the seat: %d %s" % (code, err))
        wait_until("the seat's change on the stream", lambda: any(
            e.get("event") == "command" and e.get("seat", {}).get("program") == "ombrix-cli" and e.get("address") == 1
            and e.get("parameters", [])[:3] == [16, 1, 5] for e in events), 10)
        done.set()

    def killed_watch_frees_the_line():
        p = subprocess.Popen([b.bin + "/ombrix-cli", "--device", "tty", "watch", "--interval", "1"], cwd=b.work,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until("the watch at its seat", lambda: json.loads(api(b, "/api/v1/line")[2])["seats"], 20)
        time.sleep(1.5)
        p.send_signal(signal.SIGKILL)
        p.wait()
        check(server_command_seconds(b) < 10, "the server's command waited on a killed seat")
        # One that dies while it holds the line.
        s = RawSeat(seat_path(b))
        s.send(b"L")
        check(s.recv_kind("le")[0] == "l", "no lease")
        s.close()
        check(server_command_seconds(b) < 10, "the server's command waited on a seat that died holding the line")

    def quiet_lease_ends_and_line_comes_back():
        s = RawSeat(seat_path(b))
        s.send(b"L")
        check(s.recv_kind("le")[0] == "l", "no lease")
        t0 = time.monotonic()
        m = s.recv_kind("e")
        check(m[0] == "e" and b"quiet" in m[1], "the lease did not end on silence: %r" % (m,))
        check(time.monotonic() - t0 < 10, "a quiet seat kept the line %.1f s" % (time.monotonic() - t0))
        check(server_command_seconds(b) < 10, "the server's command after a quiet seat")
        s.close()

    def endless_lease_ends_at_the_cap():
        s = RawSeat(seat_path(b))
        s.send(b"L")
        check(s.recv_kind("le")[0] == "l", "no lease")
        t0 = time.monotonic()
        stop = threading.Event()

        def ping():  # never silent, never done
            while not stop.wait(0.5):
                s.send(b"P")

        t = threading.Thread(target=ping, daemon=True)
        t.start()
        m = s.recv_kind("e")
        stop.set()
        check(m[0] == "e" and b"cap" in m[1], "the lease did not end at the cap: %r" % (m,))
        check(time.monotonic() - t0 < LEASE_CAP_S + 2, "held %.1f s" % (time.monotonic() - t0))
        check(server_command_seconds(b) < 10, "the server's command after a lease at its cap")
        s.close()

    def lines_lists_the_seat():
        s = RawSeat(seat_path(b), program="lister")
        line = json.loads(api(b, "/api/v1/line")[2])
        check([x["program"] for x in line["seats"]] == ["lister"], "seats: %r" % line["seats"])
        check(line["seats"][0]["pid"] == os.getpid(), "the seat's process is the system's word: %r" % line["seats"])
        s.close()

    def garbage_never_reaches_the_wire():
        before = len(b.wire())
        s = RawSeat(seat_path(b))
        s.send(b"W", bytes([0x02, 0x01, 0x4B]))  # outside a lease
        check(s.recv_kind("wkx")[0] == "w", "a write outside a lease was taken")
        s.send(b"L")
        check(s.recv_kind("le")[0] == "l", "no lease")
        for junk in (b"\x02\x01\x4b", bytes(9), b"hello there"):  # half a frame, zeros, text
            s.send(b"W", junk)
            check(s.recv_kind("wkx")[0] == "w", "%r was written" % junk)
        s.send(b"R")
        s.send(b"W", b"x" * 10)
        s.send(b"\xff", b"")  # no such message: the seat is closed
        check(s.recv_kind("x")[0] == "x", "an unknown message did not close the seat")
        s.close()
        s = RawSeat(seat_path(b))
        s.s.sendall(b"W\xff\xff\xff")  # longer than any message
        check(s.recv() == ("", b""), "an endless message did not close the seat")
        s.close()
        s = RawSeat(seat_path(b), program=None)
        s.send(b"W", b"\x02" * 9)  # no greeting first
        check(s.recv_kind("x")[0] == "x", "a seat without a greeting was served")
        s.close()
        time.sleep(1)
        bad = [f for f in b.wire()[before:] if not frame_whole(f)]
        check(not bad, "on the wire: %r" % bad)

    def two_seats_and_polling_never_interleave():
        before = len(b.wire())
        procs = [subprocess.Popen([b.bin + "/ombrix-cli", "--device", "tty", cmd, a], cwd=b.work,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                 for cmd, a in [("status", "1"), ("identity", "4"), ("status", "4"), ("identity", "1")] * 3]
        for p in procs:
            check(p.wait(120) == 0, "a command beside others failed")
        frames = b.wire()[before:]
        check(len(frames) >= 12, "too few frames on the wire: %d" % len(frames))
        bad = [f for f in frames if not frame_whole(f)]
        check(not bad, "interleaved on the wire: %r" % bad)

    def network_seat_needs_the_token():
        url = "ombrix://127.0.0.1:%d" % b.seat_port
        env = dict(os.environ, OMBRIX_TOKEN=b.token)
        for label, environ, want in [("with the token", env, direct[("identity", "1")]),
                                     ("without it", dict(os.environ, OMBRIX_TOKEN=""), None),
                                     ("with another", dict(os.environ, OMBRIX_TOKEN="x" + b.token), None)]:
            r = subprocess.run([b.bin + "/ombrix-cli", "--server", url, "identity", "1"], cwd=b.work, env=environ,
                               capture_output=True, timeout=60)
            got = (r.returncode, r.stdout.decode(), r.stderr.decode())
            if want is not None:
                check(got == want, "%s: %r, on the free line %r" % (label, got, want))
            else:
                check(r.returncode != 0 and "token" in got[2], "%s: %r" % (label, got))

    def second_server_is_refused_as_busy():
        port = free_port()
        p = b.server(port, log="second.out")
        p.wait(30)
        check(p.returncode != 0 and "busy" in b.log("second.out"), "a second server: %r" % b.log("second.out"))

    return [
        ("each command through the seat prints what it prints on the free line", same_output_as_direct),
        ("a parameter written at a seat is on the event stream, naming the seat", change_is_published_naming_the_seat),
        ("a seat killed while it watches does not keep the line", killed_watch_frees_the_line),
        ("a seat that falls quiet with the line loses it", quiet_lease_ends_and_line_comes_back),
        ("a seat that never lets go loses the line at the server's cap", endless_lease_ends_at_the_cap),
        ("GET /api/v1/line lists the seats with the system's process id", lines_lists_the_seat),
        ("garbage, half frames and endless messages never reach the wire", garbage_never_reaches_the_wire),
        ("seats and the server's reads never interleave a frame", two_seats_and_polling_never_interleave),
        ("a seat over the network answers as the line does, and only with the token", network_seat_needs_the_token),
        ("a second server on the line is refused as busy", second_server_is_refused_as_busy),
    ]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--bus", required=True)
    args = ap.parse_args()
    bus = os.path.abspath(args.bus)
    b = SeatBench(os.path.abspath(args.bin), bus)
    try:
        # What each command prints on the line while no server holds it.
        commands = [("status", "1"), ("identity", "1"), ("read-param", "1", "0x10", "0x01"), ("serial", "4"),
                    ("location", "1"), ("--json", "identity", "4"), ("status", "99"), ("search", "--quick")]
        direct = {c: b.cli(*c) for c in commands}
        b.port, b.seat_port = free_port(), free_port()
        b.token = "seat-test-token"
        with open(os.path.join(b.work, "token"), "w") as f:
            f.write(b.token + "\n")
        os.chmod(os.path.join(b.work, "token"), 0o600)
        server = b.server(b.port, "--check-interval", "1", "--seat-lease", str(LEASE_CAP_S), "--token-file", os.path.join(b.work, "token"),
                          "--seat-listen", "127.0.0.1:%d" % b.seat_port)
        wait_until("the search", lambda: server.poll() is None and not json.loads(
            api(b, "/api/v1/projectors", timeout=5)[2])["searching"], 120)
        return run_cases(b, cases(b, direct))
    finally:
        b.close()


if __name__ == "__main__":
    sys.exit(main())
