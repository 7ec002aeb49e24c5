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
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]
import http_test_server  # noqa: E402
import tools  # noqa: E402


def main(argv):
    arguments = tools.wrapper_arguments(argv, __doc__)
    if arguments is None:
        return 2
    timeout, argv = arguments
    server = http_test_server.start()
    env = dict(os.environ, QL_TEST_SERVER_PORT=str(server.port))
    code = tools.run_wine(argv, env, timeout, "run_with_server")
    if code != 0:
        print("run_with_server: requests seen by the server:", file=sys.stderr)
        for line in server.stats.log:
            print("   ", line[:200], file=sys.stderr)
    server.shutdown()
    server.server_close()
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
