#!/usr/bin/python3
"""The README's checked shell examples, run as written against ombrix-sim's demo bus, so
the README cannot drift from the programs.

Which blocks: a fenced ```sh block on the line right after a line that is exactly
    <!-- checked -->
is checked. Every other block is left alone (synopses, output, what needs a real rack).

How they run: all checked blocks in README order, in one bash session with
`set -euo pipefail`, as a reader following the README in one terminal would: variables and
programs put in the background carry over from one block to the next. They run as written
from a folder that stands for the checkout (its `data/` is the source tree's), with the
programs of --bin first on the path. Two things are moved so that runs side by side never
meet: what the blocks put in /tmp goes to a scratch folder, and port 8470 is a free
loopback port. `curl` fails on an HTTP error. Every process the blocks started is ended
afterwards.
"""
import argparse
import os
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
    return [
        (r"\b127\.0\.0\.1:8470\b", "127.0.0.1:%d" % port),
        (r"(?<![\w.])/tmp/", scratch + "/tmp/"),
    ]


def script_of(blocks, table):
    # One pass, so that what one rule puts in is never rewritten by another. The patterns
    # have no groups of their own and the replacements are plain text.
    combined = re.compile("|".join("(%s)" % p for p, _ in table))

    def rewrite(m):
        for i, (_, replacement) in enumerate(table):
            if m.group(i + 1) is not None:
                return replacement
        return m.group(0)

    out = []
    for line_no, text in blocks:
        out.append("echo '== README line %d' >&2" % line_no)
        for line in text.split("\n"):
            line = combined.sub(rewrite, line)
            out.append(line)
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
    session = None
    try:
        for d in ("tmp", "shims"):
            os.makedirs(os.path.join(scratch, d))
        os.symlink(os.path.abspath(args.data), os.path.join(scratch, "data"))
        shims = os.path.join(scratch, "shims")
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
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
