#!/usr/bin/env python3
"""Runs the HTTP benchmark: the local server, the Windows program under Wine, and curl.

    http_bench.py PROGRAM      (inside a Wine session: scripts/wine-session exec …)

Starts tests/web/http_test_server.py on a free 127.0.0.1 port, runs PROGRAM with the port
in QL_TEST_SERVER_PORT, then measures curl on the same 64 MiB body. The server stops when
this script ends.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import http_test_server  # noqa: E402

BODY = 64 << 20


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    server = http_test_server.start()
    url = f"http://127.0.0.1:{server.port}/big?bytes={BODY}"
    try:
        env = dict(os.environ, QL_TEST_SERVER_PORT=str(server.port))
        code = subprocess.run(["wine", argv[0]], env=env, timeout=600).returncode
        rates = []
        for _ in range(5):
            out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{size_download} %{speed_download}", url],
                                 capture_output=True, text=True, timeout=120).stdout.split()
            if len(out) == 2 and int(out[0]) == BODY:
                rates.append(float(out[1]) / 1e6)
        rates.sort()
        if rates:
            print(f"{'curl (host), same body':44} median {rates[len(rates) // 2]:7.1f} MB/s, best {rates[-1]:7.1f} MB/s")
        else:
            print("curl: no complete download")
    finally:
        server.shutdown()
        server.server_close()
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
