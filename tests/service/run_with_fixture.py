#!/usr/bin/env python3
"""Runs a Windows test program under Wine with the fixture site beside it.

    run_with_fixture.py [--timeout S] PROGRAM [ARGS…]

Starts fixture_server on a free 127.0.0.1 port and its TLS site, and a stand-in for the
user's system proxy (upstream_proxy.py, its port in QL_UPSTREAM_PROXY_PORT); passes the ports in
QL_FIXTURE_PORT and QL_FIXTURE_TLS_PORT (the latter, QL_FIXTURE_TLS12_PORT of the same site
in TLS 1.2 and its certificate in QL_FIXTURE_TLS_CERT only when the TLS site runs), runs
`wine PROGRAM ARGS…` inside the caller's Wine session, and fails when the program fails,
outlives the timeout, or the site saw a request whose path starts "/must-not-arrive" (a fetch
that the address filter should have stopped before any byte left).
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]
import fixture_server  # noqa: E402
import tools  # noqa: E402
from upstream_proxy import UpstreamProxy  # noqa: E402


def main(argv):
    arguments = tools.wrapper_arguments(argv, __doc__)
    if arguments is None:
        return 2
    timeout, argv = arguments
    server = fixture_server.start()
    env = dict(os.environ, QL_FIXTURE_PORT=str(server.server_address[1]))
    if server.start_tls():
        env["QL_FIXTURE_TLS_PORT"] = str(server.tls_port)
        env["QL_FIXTURE_TLS12_PORT"] = str(server.tls12_port)
        env["QL_FIXTURE_TLS_CERT"] = server.tls_cert
    upstream = UpstreamProxy()
    env["QL_UPSTREAM_PROXY_PORT"] = str(upstream.server_address[1])
    code = tools.run_wine(argv, env, timeout, "run_with_fixture")
    upstream.stop()
    server.stop()
    leaked = [path for path, _ in server.seen if path.startswith("/must-not-arrive")]
    if leaked:
        print("run_with_fixture: refused fetches reached the site: %s" % leaked, file=sys.stderr)
        code = code or 1
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
