#!/usr/bin/env python3
"""Runs a Windows test program under Wine with the local HTTP test server beside it.

    run_with_server.py [--timeout S] PROGRAM [ARGS…]

Starts http_test_server on a free 127.0.0.1 port, passes the port to the program in the
environment variable QL_TEST_SERVER_PORT, runs `wine PROGRAM ARGS…` (inside the Wine
session that the caller set up), and exits with the program's exit code. A program still
running after the timeout is killed and the run fails. On failure the first lines of every
request the server saw are printed. The server stops when this script ends.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import http_test_server  # noqa: E402


def main(argv):
    timeout = 150.0
    if len(argv) >= 2 and argv[0] == "--timeout":
        timeout = float(argv[1])
        argv = argv[2:]
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    server = http_test_server.start()
    env = dict(os.environ, QL_TEST_SERVER_PORT=str(server.port))
    proc = subprocess.Popen(["wine"] + argv, env=env)
    try:
        code = proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        print(f"run_with_server: {argv[0]} still running after {timeout:.0f} s; killed", file=sys.stderr)
        code = 124
    if code != 0:
        print("run_with_server: requests seen by the server:", file=sys.stderr)
        for line in server.stats.log:
            print("   ", line[:200], file=sys.stderr)
    server.shutdown()
    server.server_close()
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
