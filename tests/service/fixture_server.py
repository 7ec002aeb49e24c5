"""A web site of video pages on 127.0.0.1 for the parse service's tests and benchmark.

  /pages/NAME            a page of pages/ (UTF-8 files); {{ORIGIN}} becomes this server's
                         address and {{OTHER}} the same server under another site's name
                         (localhost). The headers each page is sent with, and the file it
                         is made from, are in PAGES.
      ?encoding=gzip|deflate|raw-deflate   the body compressed so
  /media/…/NAME.EXT      a small media file of the extension's type (.m3u8 and .mpd are
                         valid manifests)
  /stream/ID             media without an extension (Content-Type video/mp4)
  /live/ID               an HLS playlist without an extension
  /redirect/N/PATH       N redirects, then PATH
  /loop                  redirects to itself
  /big                   a 20 MiB page: a video at its start, another after 10 MiB
  /bomb                  a gzip body inflating to 20 MiB, a video at its start and its end
  /unclosed              a video, then 8 MiB of tags that never close ("<a<a<a…")
  /slow-iframes          a page whose first iframe is /silent, then another iframe and a video
  /silent                reads the request and never answers
  /drip                  a page with a video at its start, then one byte a second, forever
  /drip-headers          a header line of one byte a second, forever
  /endless-headers       header lines as fast as the client takes them, for 20 seconds
  /hold                  a page with a video, sent once release() is called (wait_held()
                         waits until so many requests are held)
  /whoami                a page that says the Host header it was asked with
  /one-video             a page of one <video> whose src is /media/one-video.mp4 (what a
                         site extractor's reading of any page finds)
  /tls-seen              a page that says the names (SNI) the TLS site was greeted with

start_tls() starts beside it a TLS site on 127.0.0.1 (.tls_port, and in TLS 1.2 .tls12_port)
whose certificate (made with openssl, self-signed, its PEM in .tls_cert) names tls.test; it
records the name each client gives and answers a GET with a page of 100 000 bytes that
starts with the Host header it was sent and the path, and holds a video.

    python3 fixture_server.py [PORT]     serves until interrupted
"""

import gzip
import http.server
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import tools  # noqa: E402

PAGES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pages")

HTML = "text/html; charset=utf-8"
# The Chinese page without a charset label, sent in different ways, some with a label put
# in its <head>.
CLIP = "chinese-clip.html"
# Page → (Content-Type header, encoding of the body[, the file of pages/ it is made from
# when that is not its own[, a line put at the start of its <head>]]).
PAGES = {
    "html5-player.html": (HTML, "utf-8"),
    "opengraph.html": ("text/html", "utf-8"),
    "json-ld.html": (HTML, "utf-8"),
    "script-player.html": (HTML, "utf-8"),
    "flash-player.html": ("text/html", "utf-8"),
    "relative-base.html": (HTML, "utf-8"),
    "gbk-meta.html": ("text/html", "gbk", CLIP, '<meta charset="gbk">'),
    "gbk-http-equiv.html": ("text/html", "gbk", CLIP,
                            '<meta http-equiv="Content-Type" content="text/html; charset=gb2312">'),
    "gbk-header.html": ("text/html; charset=GBK", "gbk", CLIP),
    "gbk-unlabelled.html": ("text/html", "gbk", CLIP),      # nowhere
    "utf8-unlabelled.html": ("text/html", "utf-8", CLIP),
    "iframe-embed.html": (HTML, "utf-8"),
    "embed-player.html": (HTML, "utf-8"),
    "no-media.html": (HTML, "utf-8"),
}

TYPES = {"mp4": "video/mp4", "m4v": "video/x-m4v", "webm": "video/webm", "ogv": "video/ogg", "flv": "video/x-flv",
         "mov": "video/quicktime", "mkv": "video/x-matroska", "mp3": "audio/mpeg", "m4a": "audio/mp4",
         "m3u8": "application/vnd.apple.mpegurl", "mpd": "application/dash+xml", "ogg": "audio/ogg",
         "ts": "video/mp2t"}
M3U8 = (b"#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n"
        b"#EXTINF:10.0,\nseg0.ts\n#EXTINF:10.0,\nseg1.ts\n#EXT-X-ENDLIST\n")
MPD = (b'<?xml version="1.0"?>\n<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" type="static" '
       b'mediaPresentationDuration="PT20S" minBufferTime="PT2S" profiles="urn:mpeg:dash:profile:isoff-on-demand:2011">'
       b'<Period><AdaptationSet mimeType="video/mp4"><Representation id="1" bandwidth="500000" width="640" '
       b'height="360" codecs="avc1.4d401e"><BaseURL>v360.mp4</BaseURL></Representation></AdaptationSet>'
       b'</Period></MPD>\n')
MP4 = b"\x00\x00\x00\x18ftypmp42\x00\x00\x00\x00mp42isom" + b"\x00" * 1000


def read_head(conn):
    """A request's bytes up to its blank line (at most 64 KiB of them, and what came with them);
    None when the client closes first."""
    head = b""
    while b"\r\n\r\n" not in head and len(head) < 65536:
        piece = conn.recv(4096)
        if not piece:
            return None
        head += piece
    return head


def page_body(name: str, origin: str, other: str):
    content_type, encoding, *rest = PAGES[name]
    source, head_line = (rest + [name, None][len(rest):])
    with open(os.path.join(PAGES_DIR, source), encoding="utf-8") as f:
        text = f.read()
    if head_line:
        text = text.replace("<head>\n", "<head>\n" + head_line + "\n", 1)
    text = text.replace("{{ORIGIN}}", origin).replace("{{OTHER}}", other)
    return content_type, text.encode(encoding)


def compress(body: bytes, encoding: str) -> bytes:
    if encoding == "gzip":
        return gzip.compress(body)
    if encoding == "deflate":
        return zlib.compress(body)
    c = zlib.compressobj(wbits=-15)  # the raw stream some servers send as "deflate"
    return c.compress(body) + c.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def send(self, status, body=b"", content_type="text/html", headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        server = self.server
        with server.lock:
            server.seen.append((self.path, self.headers.get("Host")))
        origin = "http://127.0.0.1:%d" % server.server_address[1]
        other = "http://localhost:%d" % server.server_address[1]
        parts = urllib.parse.urlsplit(self.path)
        path, query = parts.path, urllib.parse.parse_qs(parts.query)
        segments = path.strip("/").split("/")
        if segments[0] == "pages" and len(segments) == 2 and segments[1] in PAGES:
            content_type, body = page_body(segments[1], origin, other)
            encoding = query.get("encoding", [""])[0]
            if encoding:
                return self.send(200, compress(body, encoding), content_type,
                                 [("Content-Encoding", "deflate" if encoding == "raw-deflate" else encoding)])
            return self.send(200, body, content_type)
        ext = path.rsplit(".", 1)[-1].lower() if "." in segments[-1] else ""
        # A path that was decoded in the wrong charset names no file here.
        if segments[0] == "media" and ext in TYPES and "\ufffd" not in urllib.parse.unquote(path, errors="replace"):
            return self.send(200, {"m3u8": M3U8, "mpd": MPD}.get(ext, MP4), TYPES[ext])
        if segments[0] == "stream":
            return self.send(200, MP4, "video/mp4")
        if segments[0] == "live":
            return self.send(200, M3U8, "application/x-mpegURL")
        if segments[0] == "redirect" and len(segments) >= 3:
            n = int(segments[1])
            target = "/" + "/".join(segments[2:]) if n <= 1 else "/redirect/%d/%s" % (n - 1, "/".join(segments[2:]))
            return self.send(302, b"", headers=[("Location", target)])
        if path == "/loop":
            return self.send(301, b"", headers=[("Location", "/loop")])
        if path == "/big":
            return self.big()
        if path == "/bomb":
            body = b'<video src="/media/first.mp4"></video>' + b" " * (20 << 20) + b'<video src="/media/last.mp4">'
            return self.send(200, gzip.compress(body), "text/html", [("Content-Encoding", "gzip")])
        if path == "/unclosed":
            return self.send(200, b'<video src="/media/first.mp4"></video>' + b"<a" * (4 << 20), "text/html")
        if path == "/slow-iframes":
            return self.send(200, b'<iframe src="/silent"></iframe><iframe src="/pages/embed-player.html"></iframe>'
                                  b'<video src="/media/after.mp4"></video>', "text/html")
        if path == "/silent":
            server.released.wait(60)
            return
        if path == "/drip":
            return self.drip()
        if path == "/drip-headers":
            return self.drip(headers_too=True)
        if path == "/endless-headers":
            return self.endless_headers()
        if path == "/hold":
            with server.lock:
                server.holding += 1
                server.held.notify_all()
            server.hold_released.wait(60)
            return self.send(200, b'<video src="/media/held.mp4"></video>', "text/html")
        if path == "/tls-seen":
            with server.lock:
                names = " ".join(server.tls_names)
            return self.send(200, b"<p>SNI: %s</p>" % names.encode("ascii", "replace"))
        if path == "/one-video":
            return self.send(200, b'<html><head><title>One video</title></head><body>'
                                  b'<video controls src="/media/one-video.mp4"></video></body></html>')
        if path == "/whoami":
            return self.send(200, b"<p>Host: %s</p>" % (self.headers.get("Host") or "").encode("latin-1"))
        return self.send(404, b"not here")

    def big(self):
        size = 20 << 20
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        head = b'<html><body><video src="/media/first.mp4"></video>'
        late = b'<video src="/media/late.mp4"></video>'
        chunk = b"<p>" + b"x" * 65529 + b"</p>"
        sent = 0
        try:
            self.wfile.write(head)
            sent = len(head)
            while sent < size:
                piece = late if (10 << 20) <= sent < (10 << 20) + len(chunk) else chunk
                piece = piece[:size - sent]
                self.wfile.write(piece)
                sent += len(piece)
        except OSError:
            pass  # the reader stopped early, as it should
        self.close_connection = True

    def drip(self, headers_too=False):
        try:
            if headers_too:
                self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Padding: ")
            else:
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.end_headers()
                self.wfile.write(b'<html><body><video src="/media/dripped.mp4"></video>')
            self.wfile.flush()
            while not self.server.released.wait(1):
                self.wfile.write(b"x" if headers_too else b" ")
                self.wfile.flush()
        except OSError:
            pass
        self.close_connection = True

    def endless_headers(self):
        line = b"X-Padding: " + b"x" * 1000 + b"\r\n"
        until = time.monotonic() + 20
        try:
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n")
            while time.monotonic() < until and not self.server.released.is_set():
                self.wfile.write(line * 64)
        except OSError:
            pass
        self.close_connection = True

    def log_message(self, *args):
        pass


class FixtureServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port=0):
        super().__init__(("127.0.0.1", port), Handler)
        self.lock = threading.Lock()
        self.seen = []
        self.holding = 0  # requests of /hold so far
        self.tls_names = []  # the names clients of the TLS site gave, "-" for none
        self.tls_port = 0
        self.tls_cert = ""  # the TLS site's certificate, PEM
        self.held = threading.Condition(self.lock)
        self.released = threading.Event()
        self.hold_released = threading.Event()
        self.origin = "http://127.0.0.1:%d" % self.server_address[1]
        self.other = "http://localhost:%d" % self.server_address[1]

    def wait_held(self, count, timeout=60):
        """True once `count` requests of /hold have arrived in all."""
        with self.lock:
            return self.held.wait_for(lambda: self.holding >= count, timeout)

    def release(self):
        """Sends /hold's page."""
        self.hold_released.set()

    def start_tls(self):
        """Starts the TLS site (see the top); False when openssl cannot make its certificate."""
        # The same site once more in TLS 1.2 without session tickets, whose server sends its
        # last handshake records (the switch to the new keys, then Finished) in a flight of their own.
        made = tools.tls_contexts("tls.test", "DNS:tls.test", (None, ssl.TLSVersion.TLSv1_2))
        if made is None:
            return False
        (context, context12), self.tls_cert = made
        context12.options |= ssl.OP_NO_TICKET

        def greeted(sock, name, ctx):
            with self.lock:
                self.tls_names.append(name or "-")

        context.sni_callback = greeted
        context12.sni_callback = greeted
        self.tls_listeners = [socket.create_server(("127.0.0.1", 0)) for _ in range(2)]
        self.tls_port = self.tls_listeners[0].getsockname()[1]
        self.tls12_port = self.tls_listeners[1].getsockname()[1]

        def serve(conn, context):
            conn.settimeout(20)
            try:
                with context.wrap_socket(conn, server_side=True) as tls:
                    head = read_head(tls)
                    if head is None:
                        return
                    lines = head.split(b"\r\n")
                    host = [line[6:] for line in lines if line.lower().startswith(b"host: ")]
                    body = b"<p>Host: %s, path: %s</p><video src=\"/media/tls.mp4\"></video>" % (
                        b",".join(host), lines[0].split(b" ")[1] if b" " in lines[0] else b"")
                    body += b"<!--" + b"x" * (100000 - len(body) - 7) + b"-->"
                    tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                                b"Connection: close\r\n\r\n%s" % (len(body), body))
            except (OSError, ssl.SSLError):
                pass  # the client turned the certificate down, as it should
            finally:
                conn.close()

        def accept(listener, context):
            while True:
                try:
                    conn, _ = listener.accept()
                except OSError:
                    return
                threading.Thread(target=serve, args=(conn, context), daemon=True).start()

        for listener, c in zip(self.tls_listeners, (context, context12)):
            threading.Thread(target=accept, args=(listener, c), daemon=True).start()
        return True

    def stop(self):
        for listener in getattr(self, "tls_listeners", []):
            listener.close()
        self.released.set()
        self.hold_released.set()
        self.shutdown()
        self.server_close()


def start(port=0) -> FixtureServer:
    server = FixtureServer(port)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


if __name__ == "__main__":
    s = start(int(sys.argv[1]) if len(sys.argv) > 1 else 0)
    print(s.origin, flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        s.stop()
