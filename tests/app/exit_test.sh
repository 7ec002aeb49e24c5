#!/usr/bin/env bash
# The real program's exit paths, driven as a user would: closing the window with Alt+F4, and
# (in the probe build) a handler that ends the program explicitly. Each must end the process
# with exit code 0 and run the end-of-program routine exactly once. The routine's one trace is
# a debug line, which Wine prints on its "seh" warning channel when asked to. The programs'
# output stays in QL_BUILD_DIR/tests/app/exit-test.cp<code page>/.
#
#   exit_test.sh PROGRAM PROBE READY-PROBE   (inside a wine-session: WINEPREFIX, DISPLAY, LC_ALL set)
#
# READY-PROBE is a probe program whose command "ready" says when the main window takes input.
set -uo pipefail
program=$1
probe=$2
ready_probe=$3
work=${QL_BUILD_DIR:-/tmp}/tests/app/exit-test.cp${QL_WINE_CODEPAGE:-1252}
rm -rf "$work"
mkdir -p "$work"
failures=0

# xdotool runs in C.UTF-8: the Chinese locale that Wine is given is not generated on the host.
x() { LC_ALL=C.UTF-8 "$@"; }
title='青岚综合视频下载精灵 v1.0'

# The program's visible window: xdotool's --name cannot match the Chinese part of a title
# (it compares the X property's raw bytes), so it finds candidates by the ASCII end and
# compares the whole title as getwindowname gives it.
find_window() {
    local id
    for id in $(x xdotool search --onlyvisible --name 'v1\.0$' 2>/dev/null); do
        if [ "$(x xdotool getwindowname "$id" 2>/dev/null)" = "$title" ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# wait_window SECONDS — the window's id once it is there.
wait_window() {
    local i
    for i in $(seq 1 $(($1 * 10))); do
        find_window && return 0
        sleep 0.1
    done
    return 1
}

fail() {
    echo "FAIL $1: $2"
    failures=$((failures + 1))
}

# check NAME EXE ACTION — starts EXE, waits for its window, runs ACTION with the window's
# id and origin, waits (at most 20 s) for the process to end, then checks what it left.
check() {
    local name=$1 exe=$2 action=$3 before=$failures
    local log=$work/$action.log
    WINEDEBUG=warn+seh wine "$exe" 2>"$log" &
    local pid=$!
    local id
    id=$(wait_window 30)
    if [ -z "$id" ]; then
        fail "$name" "no window titled $title appeared"
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        return
    fi
    # The window is hidden and shown once more while its skin is set up: input that arrives
    # in between is lost. The probe says when that is over (shown, shaped, answering).
    local i ready=
    for i in $(seq 1 300); do
        ready=$(wine "$ready_probe" ready 2>/dev/null | tr -d '\r')
        [ "$ready" = ready ] && break
        sleep 0.1
    done
    if [ "$ready" != ready ]; then
        fail "$name" "the window did not become ready for input"
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        return
    fi
    id=$(wait_window 10)
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(x xdotool getwindowgeometry --shell "$id")"
    "$action" "$X" "$Y"
    (sleep 20 && kill "$pid" 2>/dev/null) &
    local watchdog=$!
    wait "$pid"
    local rc=$?
    kill "$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
    [ "$rc" -eq 0 ] || fail "$name" "exit code $rc, expected 0"
    local runs
    runs=$(grep -c 'OutputDebugStringA "qinglan: end of program' "$log")
    [ "$runs" -eq 1 ] || fail "$name" "end-of-program routine ran $runs times, expected once"
    if find_window >/dev/null; then
        fail "$name" "the window is still there"
    fi
    [ "$failures" -eq "$before" ] && echo "ok   $name (exit code $rc, end-of-program routine ran once)"
}

# A click on the window's empty top strip makes it the active window (there is no window
# manager to do that), then Alt+F4 closes it.
close_with_alt_f4() {
    x xdotool mousemove $(($1 + 200)) $(($2 + 10)) click 1
    sleep 0.3
    x xdotool key alt+F4
}

# The probe's button (at 334, 128 in the window, 80 x 80) ends the program from its handler.
press_the_button() {
    x xdotool mousemove $(($1 + 374)) $(($2 + 168)) click 1
}

check "close with Alt+F4" "$program" close_with_alt_f4
check "explicit exit from a handler" "$probe" press_the_button

exit $((failures > 0))
