"""https servers on 127.0.0.1 that break the TLS handshake, each in its own way, and one that
completes it with a certificate nobody trusts.

  BEHAVIOURS            the names, in the order the tests list them
  BrokenTlsServers()    starts one listener per behaviour: .port[name], .connections[name]
                        (how many connections each was asked for), .stop()

Each server answers every connection the same way, on a thread of its own, and gives up on a
client after 20 seconds. Everything stays on 127.0.0.1.
"""

import os
import socket
import ssl
import struct
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import tools  # noqa: E402

# What each server does once a client has connected.
BEHAVIOURS = [
    "closes at once",           # closes before reading anything
    "resets",                   # a TCP reset before reading anything
    "sends bytes that are not TLS",
    "answers in plain HTTP",    # an http server on an https address: https://host:80/
    "cuts its handshake short",  # the head of a ServerHello record, then closes
    "closes after a pause",     # reads the greeting, waits, closes
    "untrusted certificate",    # a whole handshake, with a self-signed certificate
]

GUARD = 20.0


def _greeting(conn):
    """Reads what the client sends first (its TLS greeting), as far as one read goes."""
    try:
        return conn.recv(65536)
    except OSError:
        return b""


class BrokenTlsServers:
    def __init__(self):
        self.port = {}
        self.connections = {name: 0 for name in BEHAVIOURS}
        self._lock = threading.Lock()
        self._stopped = threading.Event()
        self._listeners = []
        made = tools.tls_contexts("127.0.0.1", "IP:127.0.0.1")
        self._context = made[0][0] if made else None
        for name in BEHAVIOURS:
            if name == "untrusted certificate" and self._context is None:
                continue
            listener = socket.create_server(("127.0.0.1", 0))
            self._listeners.append(listener)
            self.port[name] = listener.getsockname()[1]
            threading.Thread(target=self._accept, args=(listener, name), daemon=True).start()

    def _accept(self, listener, name):
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            with self._lock:
                self.connections[name] += 1
            threading.Thread(target=self._serve, args=(conn, name), daemon=True).start()

    def _serve(self, conn, name):
        conn.settimeout(GUARD)
        try:
            if name == "resets":
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            elif name == "sends bytes that are not TLS":
                _greeting(conn)
                conn.sendall(b"\x00\x01garbage that no TLS peer sends\r\n" * 8)
                _greeting(conn)
            elif name == "answers in plain HTTP":
                _greeting(conn)
                conn.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Type: text/html\r\nContent-Length: 25\r\n"
                             b"Connection: close\r\n\r\n<html>plain http</html>\r\n")
            elif name == "cuts its handshake short":
                _greeting(conn)
                # A handshake record announcing 4000 bytes of ServerHello, 40 of them sent.
                conn.sendall(b"\x16\x03\x03\x0f\xa0" + b"\x02\x00\x0f\x9c\x03\x03" + b"\x5a" * 34)
            elif name == "closes after a pause":
                _greeting(conn)
                self._stopped.wait(2.0)
            elif name == "untrusted certificate":
                with self._context.wrap_socket(conn, server_side=True) as tls:
                    tls.recv(4096)
        except (OSError, ssl.SSLError):
            pass  # the client gave up, as it should
        finally:
            conn.close()

    def stop(self):
        self._stopped.set()
        for listener in self._listeners:
            listener.close()
