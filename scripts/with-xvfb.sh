#!/usr/bin/env bash
# Runs a command against a private Xvfb display (Mesa's llvmpipe renders under it),
# then stops the server. Usage: with-xvfb.sh COMMAND [ARGS...]
set -u
fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset +extension GLX +extension RANDR \
    3>"$fdfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
done
if [ ! -s "$fdfile" ]; then
    echo "with-xvfb: Xvfb did not start" >&2
    kill "$xvfb" 2>/dev/null
    rm -f "$fdfile"
    exit 1
fi
export DISPLAY=":$(head -n1 "$fdfile")"
export LIBGL_ALWAYS_SOFTWARE=1
rm -f "$fdfile"
"$@"
rc=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $rc
