#!/usr/bin/env python3
"""Smoke test of what `make run` starts, driven from outside as a user would: the shipped
program alone (the bundled service's address compiled in), which serves that address itself
when nothing else does. Only X input and the X clipboard are used:
type a video page address, click "获取下载", right-click the first row, choose "复制", and
read the clipboard.

  smoke_make_run.py --program EXE
"""

import argparse
import fcntl
import os
import signal
import subprocess
import sys
import time

TITLE = "青岚综合视频下载精灵 v1.0"
ADDRESS = "http://v.example.test/v_show/id_XNDA1MjE4ODQw.html"
EXPECTED = "http://127.0.0.1:47615/media/XNDA1MjE4ODQw/part1.mp4"
# Places on the window a user aims at (form coordinates): the address box, the button,
# and the first row of the list (below its header).
ADDRESS_BOX = (70 + 130, 170 + 15)
BUTTON = (8 + 326 + 40, 120 + 8 + 40)
FIRST_ROW = (19 + 80, 212 + 34)


def xdotool(*args, timeout=15):
    return subprocess.run(["xdotool"] + [str(a) for a in args], timeout=timeout, check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode("utf-8", "replace")


def x_clipboard():
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], timeout=10, stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL)
    return r.stdout.decode("utf-8", "replace")


def find_window(deadline):
    # Searched by the title's ASCII tail, then compared whole: how the window's name property
    # is encoded for a regex search depends on the locale.
    while time.monotonic() < deadline:
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", r"v1\.0$"], timeout=10,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        for window in r.stdout.decode().split():
            if xdotool("getwindowname", window).rstrip("\n") == TITLE:
                return window
        time.sleep(0.2)
    return None


def ready(probe, deadline):
    """Whether the probe finds the main window ready for input (shown, shaped, answering)."""
    while time.monotonic() < deadline:
        r = subprocess.run(["wine", probe, "ready"], timeout=30, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if r.stdout.decode("ascii", "replace").strip() == "ready":
            return True
        time.sleep(0.1)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True, help="a probe program whose command 'ready' says when the "
                        "main window takes input")
    args = parser.parse_args()

    # The bundled service has one fixed port: smoke runs of several build folders take turns.
    lock = open("/tmp/qinglan-service-47615.lock", "w")
    deadline = time.monotonic() + 150
    while True:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            break
        except BlockingIOError:
            if time.monotonic() > deadline:
                print("FAIL  another smoke run holds the service port")
                return 1
            time.sleep(0.5)

    # A process group of its own, so that nothing of it can outlive a failed run.
    run = subprocess.Popen(["wine", args.program],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    ok = False
    try:
        window = find_window(time.monotonic() + 30)
        if not window:
            print("FAIL  the main window did not appear")
            return 1
        # The skin's set-up hides the window and shows it again once: a click in between is lost.
        if not ready(args.probe, time.monotonic() + 30):
            print("FAIL  the main window did not become ready for input")
            return 1
        geometry = dict(line.strip().split(": ", 1) for line in xdotool("getwindowgeometry", window).splitlines()[1:])
        left, top = map(int, geometry["Position"].split(" ")[0].split(","))

        def at(point):
            return left + point[0], top + point[1]

        xdotool("mousemove", *at(ADDRESS_BOX), "click", "1")
        xdotool("type", "--delay", "10", ADDRESS)
        xdotool("mousemove", *at(BUTTON), "click", "1")
        # The rows arrive when the service has answered; until then the copy finds no row.
        got = ""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            time.sleep(1.0)
            xdotool("mousemove", *at(FIRST_ROW), "click", "3")
            time.sleep(0.5)
            xdotool("key", "Down", "Down", "Return")  # "下载" above "复制"
            time.sleep(0.5)
            got = x_clipboard()
            if got == EXPECTED:
                ok = True
                break
        print(("ok    " if ok else "FAIL  ") + "the clipboard holds the first media address (%r)" % got)
        xdotool("key", "alt+F4")
        try:
            run.wait(timeout=15)
        except subprocess.TimeoutExpired:
            print("FAIL  the program did not end on Alt+F4")
            ok = False
    finally:
        if run.poll() is None:
            os.killpg(run.pid, signal.SIGKILL)
            run.wait(timeout=15)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
