#!/usr/bin/env bash
# Runs the Windows build's test executables under wine.
#   wine-test.sh choose              print the word size the Windows tests run in (32 or 64) and,
#                                    on a second line, one sentence saying which build and why
#   wine-test.sh start PREFIX IDLE   create the prefix once, keep one wineserver and one idle
#                                    wine process (IDLE, an .exe that sleeps) alive
#   wine-test.sh run PREFIX EXE ...  run one executable, passing its exit status on
#   wine-test.sh exec PREFIX CMD ... run a command with the same environment (e.g. a script
#                                    that starts several wine programs)
#   wine-test.sh stop PREFIX         stop the wineserver (and the virtual display)
#
# Word size. The Windows program is a 32-bit program, but not every host runs 32-bit x86
# programs (wine's 32-bit loader then fails with "Exec format error"). On such a host the tests
# run a 64-bit build of the same sources under wine64 instead. The word size of a prefix is the
# word size of the build that owns it: the build writes it into the file "wine-bits" beside the
# prefix. `choose` decides once which build the tests use: KWLINK_WINE_ARCH=32 or =64 forces it,
# otherwise the 32-bit build wherever wine's 32-bit loader starts.
#
# In 64-bit mode every wine program of the run is started by wine64 itself (wineboot and
# regedit included): Debian's wine wrappers prefer the 32-bit loader whenever it is installed.
# A directory with a "wine" that starts the prefix's loader comes first on PATH, so that tests
# that start "wine" get the right one.
#
# Where Xvfb is installed, start also starts a virtual display for the whole run, so that the
# programs' windows are real windows. The prefix uses the OEM code page 850 (de_DE.UTF-8
# locale), has no Mono/Gecko prompts, and its X11 driver is unmanaged (Xvfb has no window
# manager).
set -u
wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64

# Succeeds when this host runs wine's 32-bit loader: the honest probe is to start it.
host_runs_32bit() {
    [ -x "$wine32_loader" ] && "$wine32_loader" --version >/dev/null 2>&1
}

cmd=${1:-}
if [ "$cmd" = choose ]; then
    case "${KWLINK_WINE_ARCH:-}" in
    32) echo 32; echo "Windows tests: 32-bit build under wine; chosen by KWLINK_WINE_ARCH=32" ;;
    64) echo 64; echo "Windows tests: 64-bit build under wine64; chosen by KWLINK_WINE_ARCH=64" ;;
    "")
        if host_runs_32bit; then
            echo 32; echo "Windows tests: 32-bit build under wine; this host runs 32-bit programs"
        else
            echo 64; echo "Windows tests: 64-bit build under wine64; this host cannot run 32-bit programs"
        fi
        ;;
    *) echo 0; echo "Windows tests: KWLINK_WINE_ARCH must be 32 or 64, not '$KWLINK_WINE_ARCH'"; exit 1 ;;
    esac
    exit 0
fi

if [ $# -lt 2 ]; then
    echo "usage: $0 choose | start|run|exec|stop PREFIX [EXE ARGS...]" >&2
    exit 2
fi
export WINEPREFIX=$2
shift 2
state=$(dirname "$WINEPREFIX")
bits=$(cat "$state/wine-bits" 2>/dev/null || echo 32)
if [ "$bits" = 64 ]; then
    export WINEARCH=win64
    loader=$wine64_loader
    export WINELOADER=$loader
else
    export WINEARCH=win32
    loader=$wine32_loader
fi
export WINEDEBUG=${KWLINK_WINEDEBUG:--all}  # e.g. KWLINK_WINEDEBUG=+comm,+file to trace a failing open
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    export LC_ALL=de_DE.UTF-8
fi
mkdir -p "$state/wine-bin"
printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$state/wine-bin/wine"
chmod +x "$state/wine-bin/wine"
export PATH="$state/wine-bin:$PATH"
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
    if [ "$bits" = 32 ] && ! host_runs_32bit; then
        echo "KWLINK_WINE_ARCH=32: this host cannot run 32-bit programs (wine's 32-bit loader $wine32_loader does not start); use KWLINK_WINE_ARCH=64 or leave it unset" >&2
        exit 1
    fi
    if [ ! -x "$loader" ]; then
        echo "wine's $bits-bit loader $loader is not installed" >&2
        exit 1
    fi
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
        "$loader" wineboot.exe -i >"$state/wineboot.log" 2>&1 || { cat "$state/wineboot.log"; exit 1; }
        wineserver -w
        {
            printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n'
            printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
            for n in $(seq 1 20); do
                printf '"COM%d"="%s/com%d"\n' "$n" "$KWLINK_WINE_PORTS" "$n"
            done
        } >"$state/kwlink-wine.reg"
        "$loader" regedit.exe /S "Z:$(echo "$state/kwlink-wine.reg" | tr / '\\')" >/dev/null 2>&1
        wineserver -w
        if ! grep -q '"COM20"=' "$WINEPREFIX/system.reg"; then
            echo "the COM port pins did not reach the prefix's registry" >&2
            exit 1
        fi
    fi
    mkdir -p "$KWLINK_WINE_PORTS"
    for n in $(seq 1 20); do
        ln -sfn "$KWLINK_WINE_PORTS/com$n" "$WINEPREFIX/dosdevices/com$n"
    done
    # One persistent server for the whole run; its output goes to a file so that no pipe of
    # the caller stays open behind it.
    wineserver -p >"$state/wineserver.log" 2>&1 </dev/null
    # Wine's desktop and services quit soon after the last program and inherit the output of
    # the program that started them: keep them up with an idle program whose output goes to a
    # file, so that they never hold a test's output pipe open.
    setsid "$loader" "$1" >"$state/wine-idle.log" 2>&1 </dev/null &
    # Wait (at most 10 s) until the idle program has brought wine's services up.
    for _ in $(seq 1 200); do
        pgrep -f 'system32\\services\.exe' >/dev/null && pgrep -f 'wine-idle' >/dev/null && break
        sleep 0.05
    done
    echo "wine prefix $WINEPREFIX ($bits-bit, loader $loader)"
    exit 0
    ;;
run)
    exec "$loader" "$@"
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
    echo "usage: $0 choose | start|run|exec|stop PREFIX [EXE ARGS...]" >&2
    exit 2
    ;;
esac
