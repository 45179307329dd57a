#!/usr/bin/env bash
# Runs the example under a private Xvfb, saves a screenshot of its window, then presses Escape
# and checks that the program ends with exit code 0.
# Usage: examples/draw2d/screenshot.sh PROGRAM OUTPUT.png
set -u
program=$1
output=$2
fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp +extension GLX +extension RANDR 3>"$fdfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$fdfile")" LIBGL_ALWAYS_SOFTWARE=1
rm -f "$fdfile"
"$program" &
app=$!
sleep 3
import -window root -crop 640x480+32+32 +repage "$output"   # the window's client area sits at (32, 32)
xdotool windowfocus "$(xdotool search --class Corvex | head -n1)" 2>/dev/null
xdotool keydown Escape
sleep 0.3
xdotool keyup Escape
rc=1
for _ in $(seq 1 50); do
    if ! kill -0 "$app" 2>/dev/null; then
        wait "$app"
        rc=$?
        break
    fi
    sleep 0.1
done
kill "$app" 2>/dev/null
kill "$xvfb" 2>/dev/null
echo "exit code $rc"
exit "$rc"
