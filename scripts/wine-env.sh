# Sourced by build-windows.sh and test-windows.sh: a 64-bit Wine prefix of our own in the cache,
# made once. Needs $cache. Exports WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, WINEARCH.
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET or Gecko installers on first start: they would download and ask.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if [ ! -f "$WINEPREFIX/.corvex-ready" ]; then
    echo "== Preparing the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager each window close would wait for one; unmanaged windows do not.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.corvex-ready"
fi
