#!/usr/bin/env bash
# Runs the Windows build's test executables under wine.
#   wine-test.sh start PREFIX IDLE   create the prefix once, keep one wineserver and one idle
#                                    wine process (IDLE, an .exe that sleeps) alive
#   wine-test.sh run PREFIX EXE ...  run one executable, passing its exit status on
#   wine-test.sh exec PREFIX CMD ... run a command with the same environment (e.g. a script
#                                    that starts several wine programs)
#   wine-test.sh stop PREFIX         stop the wineserver (and the virtual display)
# Where Xvfb is installed, start also starts a virtual display for the whole run, so that the
# programs' windows are real windows.
# The prefix is 32-bit, OEM code page 850 (de_DE.UTF-8 locale), without the Mono/Gecko
# prompts, and with the X11 driver unmanaged (Xvfb has no window manager).
set -u
cmd=$1
export WINEPREFIX=$2
shift 2
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    export LC_ALL=de_DE.UTF-8
fi
state=$(dirname "$WINEPREFIX")
# COM1 to COM20 of the prefix are pinned (registry and dosdevices) to $KWLINK_WINE_PORTS/com<n>:
# a test points a port at its simulated scale by making that path a link to the scale's
# terminal. The pins are written once, when the prefix is made, before any wine program runs:
# wine's mount manager rewrites dosdevices/com<n> from the registry whenever it starts, also in
# the middle of a run.
export KWLINK_WINE_PORTS="$state/ports"
if [ -s "$state/xvfb.display" ] && [ "$cmd" != start ]; then
    export DISPLAY=":$(head -n1 "$state/xvfb.display")"
fi

case "$cmd" in
start)
    mkdir -p "$state"
    rm -f "$state/xvfb.display"
    if command -v Xvfb >/dev/null 2>&1; then
        Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$state/xvfb.display" \
            >"$state/xvfb.log" 2>&1 </dev/null &
        echo $! >"$state/xvfb.pid"
        for _ in $(seq 1 200); do
            [ -s "$state/xvfb.display" ] && break
            sleep 0.05
        done
        [ -s "$state/xvfb.display" ] && export DISPLAY=":$(head -n1 "$state/xvfb.display")"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >"$WINEPREFIX/../wineboot.log" 2>&1 || { cat "$WINEPREFIX/../wineboot.log"; exit 1; }
        wineserver -w
        {
            printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n'
            printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
            for n in $(seq 1 20); do
                printf '"COM%d"="%s/com%d"\n' "$n" "$KWLINK_WINE_PORTS" "$n"
            done
        } >"$WINEPREFIX/../kwlink-wine.reg"
        wine regedit /S "$(winepath -w "$WINEPREFIX/../kwlink-wine.reg")" >/dev/null 2>&1
        wineserver -w
    fi
    mkdir -p "$KWLINK_WINE_PORTS"
    for n in $(seq 1 20); do
        ln -sfn "$KWLINK_WINE_PORTS/com$n" "$WINEPREFIX/dosdevices/com$n"
    done
    # One persistent server for the whole run; its output goes to a file so that no pipe of
    # the caller stays open behind it.
    wineserver -p >"$WINEPREFIX/../wineserver.log" 2>&1 </dev/null
    # Wine's desktop and services quit soon after the last program and inherit the output of
    # the program that started them: keep them up with an idle program whose output goes to a
    # file, so that they never hold a test's output pipe open.
    setsid wine "$1" >"$WINEPREFIX/../wine-idle.log" 2>&1 </dev/null &
    # Wait (at most 10 s) until the idle program has brought wine's services up.
    for _ in $(seq 1 200); do
        pgrep -f 'system32\\services\.exe' >/dev/null && pgrep -f 'wine-idle' >/dev/null && break
        sleep 0.05
    done
    exit 0
    ;;
run)
    exec wine "$@"
    ;;
exec)
    exec "$@"
    ;;
stop)
    wineserver -k >/dev/null 2>&1
    if [ -s "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
        rm -f "$state/xvfb.pid" "$state/xvfb.display"
    fi
    exit 0
    ;;
*)
    echo "usage: $0 start|run|stop PREFIX [EXE ARGS...]" >&2
    exit 2
    ;;
esac
