#!/bin/sh
# Starts (or stops) the one Xvfb and the one persistent wineserver that a Windows test run shares,
# and prepares the Wine prefix inside the build folder. Usage: wine-session.sh start|stop BUILD_DIR
# The display this run owns is written to BUILD_DIR/wine-display, where wine-run.sh reads it.
set -eu
action="$1"
mkdir -p "$2"
build="$(cd "$2" && pwd)"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"

xvfb_alive() {
    [ -f "$build/xvfb.pid" ] && [ -f "$build/wine-display" ] && kill -0 "$(cat "$build/xvfb.pid")" 2>/dev/null
}

case "$action" in
start)
    # A display named by a socket file proves nothing (an Xvfb that died leaves its socket
    # behind, and Wine then creates no windows at all), so the run starts its own and lets Xvfb
    # pick a free number.
    if ! xvfb_alive; then
        rm -f "$build/wine-display" "$build/xvfb.pid"
        number="$build/xvfb.number"
        rm -f "$number"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" >"$build/xvfb.log" 2>&1 &
        echo $! >"$build/xvfb.pid"
        tries=0
        while [ ! -s "$number" ]; do
            tries=$((tries + 1))
            if [ "$tries" -gt 100 ] || ! kill -0 "$(cat "$build/xvfb.pid")" 2>/dev/null; then
                echo "Xvfb did not start; see $build/xvfb.log" >&2
                exit 1
            fi
            sleep 0.1
        done
        echo ":$(tr -d '\n' <"$number")" >"$build/wine-display"
        rm -f "$number"
    fi
    DISPLAY="$(cat "$build/wine-display")"
    export DISPLAY
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >"$build/wineboot.log" 2>&1
        # A crashing test program ends there and then, instead of waiting on Wine's debugger.
        "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Debugger /t REG_SZ /d "" /f >>"$build/wineboot.log" 2>&1
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
    fi
    rm -f "$build/xvfb.pid" "$build/wine-display"
    ;;
esac
