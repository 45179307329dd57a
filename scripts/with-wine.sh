#!/usr/bin/env bash
# Runs a command that starts Windows programs under Wine: Wine is started once first (inside the
# current display, so its desktop process draws there) and stopped afterwards. Wine's settings
# (WINEPREFIX, WINEDEBUG, ...) come from the environment, as scripts/wine-env.sh sets them.
# Usage (inside a display): with-wine.sh COMMAND [ARGS...]
set -u
wine wineboot </dev/null >/dev/null 2>&1
"$@"
rc=$?
wineserver -k 2>/dev/null
exit $rc
