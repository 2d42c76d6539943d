#!/bin/sh
# usage: exit_on_signal.sh PROGRAM TERM|INT
# The program, sent the signal once its frame is up, must exit 0 having rewritten options.cfg.
program=$1
sig=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

# The 36 default bytes and 4 stray ones: only a rewrite brings the file back to 36.
printf '\020\000\000\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\001\000\000\000\122\361\000\000\001\377\000\000\000\000\377\377\377\377JUNK' > options.cfg

"$program" &
pid=$!
# Generous: a sanitizer build on a busy machine takes a while to show its frame.
sleep "${OMBRIX_START_WAIT:-6}"
kill -"$sig" "$pid"
wait "$pid"
rc=$?
size=$(stat -c %s options.cfg)
echo "exit code $rc, options.cfg $size bytes"
[ "$rc" -eq 0 ] && [ "$size" -eq 36 ]
