#!/usr/bin/env bash
# Runs the Windows build's test suite under Wine in a private Xvfb.
# Usage: scripts/test-windows.sh [BUILD_DIR [ctest arguments...]]   (BUILD_DIR default build-win)
# The Wine prefix lives in the cache (CORVEX_WINDOWS_CACHE, as for build-windows.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${CORVEX_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvex-windows}
build=${1:-build-win}
shift || true
case $build in /*) ;; *) build=$root/$build ;; esac
[ -f "$build/CTestTestfile.cmake" ] || { echo "test-windows: no Windows build in $build" >&2; exit 1; }
source "$root/scripts/wine-env.sh"

fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset +extension GLX +extension RANDR \
    3>"$fdfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
done
[ -s "$fdfile" ] || { echo "test-windows: Xvfb did not start" >&2; kill $xvfb; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"
export LIBGL_ALWAYS_SOFTWARE=1
rm -f "$fdfile"
finish() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
}
trap finish EXIT

# Wine started once before the suite: otherwise every test waits on Wine's services holding its
# output pipe.
wine wineboot </dev/null >/dev/null 2>&1
t0=$SECONDS
set +e
# A case is run a second time only when it fails: now and then Wine ends a freshly started program
# at once with no output; a case that fails twice fails the run.
ctest --test-dir "$build" --output-on-failure -j "${CORVEX_JOBS:-2}" --repeat until-pass:2 "$@" |
    tee "$build/ctest-windows.log"
rc=${PIPESTATUS[0]}
set -e
echo "== Windows tests: $(( SECONDS - t0 )) s"
# A run that reports no tests is not a pass (a 32-bit program under 64-bit Wine prints nothing).
if ! grep -qE '^[0-9]+% tests passed, [0-9]+ tests failed out of [1-9]' "$build/ctest-windows.log"; then
    echo "test-windows: ctest ran no tests" >&2
    exit 1
fi
exit "$rc"
