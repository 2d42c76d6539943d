#!/usr/bin/python3
"""The README's checked shell examples, run as written against ombrix-sim's demo bus, so
the README cannot drift from the programs.

Which blocks: a fenced ```sh block on the line right after a line that is exactly
    <!-- checked -->
is checked. Every other block is left alone (synopses, output, what needs a real rack).

How they run: all checked blocks in README order, in one bash session with
`set -euo pipefail`, as a reader following the README in one terminal would: variables and
programs put in the background carry over from one block to the next. The programs are
those of --bin; `data/` is the source tree's. The rack the README speaks of is a scratch
folder (REWRITES below): its serial line is a second ombrix-sim on the demo bus, its work
folder holds the demo's options, `rack` and port 8470 are a free loopback port, and the
user and group `ombrix` are the caller's. `sudo` runs the command as the caller; `curl`
fails on an HTTP error. A command put in the background with `&` that names
`--link PATH`, `--control PATH` or `--listen HOST:PORT` is waited for (the path to be
made, the port to answer) before the next line, as a person typing the next line would have. Every process
the blocks started is ended afterwards.
"""
import argparse
import grp
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

MARKER = "<!-- checked -->"


def checked_blocks(readme):
    """(line number, text) of each checked block."""
    lines = open(readme, encoding="utf-8").read().split("\n")
    blocks = []
    i = 0
    while i < len(lines):
        if lines[i].strip() == MARKER:
            if i + 1 >= len(lines) or lines[i + 1].strip() != "```sh":
                raise SystemExit("README line %d: %s is not followed by a ```sh block" % (i + 1, MARKER))
            start = i + 2
            end = start
            while end < len(lines) and lines[end].strip() != "```":
                end += 1
            blocks.append((start + 1, "\n".join(lines[start:end])))
            i = end
        i += 1
    return blocks


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rewrites(scratch, port):
    user = pwd.getpwuid(os.getuid()).pw_name
    group = grp.getgrgid(os.getgid()).gr_name
    return [
        (r"http://rack:8470", "http://127.0.0.1:%d" % port),
        (r"\b(?:127\.0\.0\.1|0\.0\.0\.0):8470\b", "127.0.0.1:%d" % port),
        (r"/etc/ombrix\b", scratch + "/etc/ombrix"),
        (r"/var/lib/ombrix\b", scratch + "/var/lib/ombrix"),
        (r"/dev/ttyUSB0\b", scratch + "/rack-line"),
        (r"(?<![\w.])/tmp/", scratch + "/tmp/"),
        (r"(?<=-g )ombrix\b", group),
        (r"(?<=-o )ombrix\b", user),
    ]


PRELUDE = r"""
# ready_path PID PATH: a path the program in the background makes (anew: an old link may
# still be there). ready_port PID HOST:PORT: its port answers.
ready_path() {
    for _ in $(seq 600); do
        [ -n "$(find "$2" -maxdepth 0 -newer .started 2>/dev/null)" ] && return 0
        kill -0 "$1" 2>/dev/null || { echo "it ended before $2 appeared" >&2; return 1; }
        sleep 0.1
    done
    echo "$2 did not appear" >&2; return 1
}
ready_port() {
    for _ in $(seq 600); do
        (exec 3<>"/dev/tcp/${2%:*}/${2##*:}") 2>/dev/null && return 0
        kill -0 "$1" 2>/dev/null || { echo "it ended before $2 answered" >&2; return 1; }
        sleep 0.1
    done
    echo "nothing answered on $2" >&2; return 1
}
"""


def script_of(blocks, table):
    # One pass, so that what one rule puts in is never rewritten by another. The patterns
    # have no groups of their own and the replacements are plain text.
    combined = re.compile("|".join("(%s)" % p for p, _ in table))

    def rewrite(m):
        for i, (_, replacement) in enumerate(table):
            if m.group(i + 1) is not None:
                return replacement
        return m.group(0)

    out = [PRELUDE]
    for line_no, text in blocks:
        out.append("echo '== README line %d' >&2" % line_no)
        for line in text.split("\n"):
            line = combined.sub(rewrite, line)
            code = line.split(" #")[0].rstrip()
            background = code.endswith("&") and not code.endswith("&&")
            if background:
                out.append("touch .started")
            out.append(line)
            if background:
                for path in re.findall(r"--(?:link|control)\s+(\S+)", code):
                    out.append("ready_path $! %s" % path)
                for address in re.findall(r"--listen\s+(\S+)", code):
                    out.append("ready_port $! %s" % address.replace("0.0.0.0", "127.0.0.1"))
    return "\n".join(out) + "\n"


def write_shim(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + text)
    os.chmod(path, 0o755)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--readme", required=True)
    ap.add_argument("--data", required=True)
    args = ap.parse_args()

    blocks = checked_blocks(args.readme)
    if not blocks:
        print("no block of %s is marked %s" % (args.readme, MARKER))
        return 1

    scratch = tempfile.mkdtemp(prefix="ombrix-readme-")
    os.chmod(scratch, 0o755)
    sim = None
    session = None
    try:
        for d in ("tmp", "etc", "var/lib/ombrix", "shims"):
            os.makedirs(os.path.join(scratch, d))
        os.symlink(os.path.abspath(args.data), os.path.join(scratch, "data"))
        # The rack's work folder searches the demo bus's addresses, as the demo does.
        for f in ("options.cfg", "user_addr.cfg"):
            shutil.copy(os.path.join(args.data, "demo", f), os.path.join(scratch, "var/lib/ombrix", f))
        sim = subprocess.Popen([os.path.join(args.bin, "ombrix-sim"), "--bus", os.path.join(args.data, "demo-bus.cfg"),
                                "--pty", "--link", os.path.join(scratch, "rack-line")],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 60
        while not os.path.exists(os.path.join(scratch, "rack-line")):
            if time.monotonic() > end or sim.poll() is not None:
                print("the rack's simulator did not start")
                return 1
            time.sleep(0.05)

        shims = os.path.join(scratch, "shims")
        write_shim(shims, "sudo", 'while [ $# -gt 0 ]; do case $1 in -u|-g) shift 2;; -*) shift;; *) break;; esac; done\n'
                                  'exec "$@"\n')
        write_shim(shims, "curl", 'exec /usr/bin/curl --fail-with-body --silent --show-error "$@"\n')
        script = script_of(blocks, rewrites(scratch, free_port()))
        with open(os.path.join(scratch, "examples.sh"), "w") as f:
            f.write(script)
        env = dict(os.environ, PATH=shims + os.pathsep + os.path.abspath(args.bin) + os.pathsep + os.environ["PATH"])
        # A file, not a pipe: the programs left in the background hold their output open.
        log_path = os.path.join(scratch, "examples.log")
        with open(log_path, "w") as log:
            session = subprocess.Popen(["bash", "-euo", "pipefail", "examples.sh"], cwd=scratch, env=env,
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                       start_new_session=True)
        try:
            session.wait(timeout=240)
        except subprocess.TimeoutExpired:
            print(open(log_path, errors="replace").read())
            print("FAIL: the examples did not finish within 240 s")
            return 1
        text = open(log_path, errors="replace").read()
        print(text)
        if session.returncode != 0:
            where = re.findall(r"== README line (\d+)", text)
            print("FAIL: the checked block at README line %s exited %d" % (where[-1] if where else "?",
                                                                             session.returncode))
            return 1
        print("OK: %d checked blocks ran" % len(blocks))
        return 0
    finally:
        if session:
            try:
                os.killpg(session.pid, signal.SIGTERM)  # what the blocks left running
                time.sleep(0.5)
                os.killpg(session.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if sim:
            sim.terminate()
            sim.wait(10)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
