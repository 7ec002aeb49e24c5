#!/usr/bin/env python3
"""Runs the update download benchmark: the local server, then the Windows program under Wine.

    update_bench.py PROGRAM      (inside a Wine session: scripts/wine-session exec …)

Starts tests/web/http_test_server.py on a free 127.0.0.1 port and runs PROGRAM with the port
in QL_TEST_SERVER_PORT. The server stops when this script ends.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import http_test_server  # noqa: E402


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    server = http_test_server.start()
    try:
        env = dict(os.environ, QL_TEST_SERVER_PORT=str(server.port))
        return subprocess.run(["wine", argv[0]], env=env, timeout=900).returncode
    finally:
        server.shutdown()
        server.server_close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
