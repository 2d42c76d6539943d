#!/bin/sh
# usage: exit_on_signal.sh PROGRAM TERM|INT
# The program, sent the signal once its frame is up, must exit 0 having rewritten options.cfg.
program=$1
sig=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

# The 36 default bytes, dated long ago: only a rewrite gives the file a new date.
printf '\020\000\000\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\001\000\000\000\122\361\000\000\001\377\000\000\000\000\377\377\377\377' > options.cfg
touch -d '2000-01-01 00:00:00' options.cfg

"$program" &
pid=$!
# Generous: a sanitizer build on a busy machine takes a while to show its frame.
sleep "${OMBRIX_START_WAIT:-6}"
kill -"$sig" "$pid"
wait "$pid"
rc=$?
size=$(stat -c %s options.cfg)
year=$(date -r options.cfg +%Y)
echo "exit code $rc, options.cfg $size bytes of $year"
[ "$rc" -eq 0 ] && [ "$size" -eq 36 ] && [ "$year" != 2000 ]
