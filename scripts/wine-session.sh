#!/bin/sh
# Starts (or stops) the one Xvfb and the one persistent wineserver that a Windows test run shares,
# and prepares the Wine prefix inside the build folder. Usage: wine-session.sh start|stop BUILD_DIR
set -eu
action="$1"
build="$(cd "$2" && pwd)"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY="${WRENFOLD_DISPLAY:-:99}"
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
case "$action" in
start)
    if [ ! -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then
        Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$build/xvfb.log" 2>&1 &
        echo $! >"$build/xvfb.pid"
        sleep 1
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >"$build/wineboot.log" 2>&1
        "$wineserver" -w  # let the server that set the prefix up go first
    fi
    # Stays up for the whole run; an earlier session's persistent server is just as good.
    "$wineserver" -p || true
    # The first program starts Wine's background services, which would inherit and hold the
    # output pipes of whatever ran it (CTest would then wait for ever): start them here.
    "$wine" cmd.exe /c exit >/dev/null 2>&1 </dev/null
    ;;
stop)
    "$wineserver" -k 2>/dev/null || true
    if [ -f "$build/xvfb.pid" ]; then
        kill "$(cat "$build/xvfb.pid")" 2>/dev/null || true
        rm -f "$build/xvfb.pid"
    fi
    ;;
esac
