"""The bundled service on real pages: fixture pages of a local site (fixture_server.py) asked
for through the service's own HTTP interface, both on 127.0.0.1 (the service with
--allow-private, as a test must). Faults guarded against: a media address missed, out of
order, listed twice or not as plain ASCII; a player page or a subtitle listed as media; a
limit that does not hold (redirects, size, time, private hosts); one slow page blocking
another request; a second name lookup between the check and the connection."""

import http.server
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.parse
import urllib.request
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "..", "service")]
import fixture_server  # noqa: E402
import page_media  # noqa: E402
import qinglan_service  # noqa: E402

REFUSED = ["**/"]
CDN = "https://cdn.example.test"
HTML5 = ["{O}/media/ep12-1080p.mp4", "{O}/media/ep12-720p.webm", CDN + "/audio/ep12-commentary.mp3",
         "{O}/media/ep12-theme.m4a", "{O}/media/ep12-theme.ogg"]
# 视频/片段一 in the path as UTF-8; 片段一 and 高清 in the query in the page's charset.
CLIP_PATH = "{O}/media/%E8%A7%86%E9%A2%91/%E7%89%87%E6%AE%B5%E4%B8%80.mp4"
GBK_PAGE = [CLIP_PATH, "{O}/media/clip.mp4?title=%C6%AC%B6%CE%D2%BB&q=%B8%DF%C7%E5"]

PAGES = [
    # (address below the fixture site, the field's lines)
    ("/pages/html5-player.html", HTML5),
    ("/pages/html5-player.html?encoding=gzip", HTML5),
    ("/pages/html5-player.html?encoding=deflate", HTML5),
    ("/pages/html5-player.html?encoding=raw-deflate", HTML5),
    ("/pages/opengraph.html", ["{O}/stream/sunset-720", "http://cdn.example.test/clips/sunset/720.mp4",
                               CDN + "/clips/sunset/720.mp4", CDN + "/clips/sunset/ambient.mp3",
                               CDN + "/clips/sunset/twitter-480.mp4"]),
    ("/pages/json-ld.html", [CDN + "/recipes/hongshaorou/1080.mp4", "{O}/media/hsr/steps.m3u8", "{O}/stream/hsr-prep",
                             CDN + "/recipes/hongshaorou/prep-480.mp4"]),
    ("/pages/script-player.html", ["{O}/media/night-market/index.m3u8", "{O}/media/night-market-720.mp4",
                                   CDN + "/v/4411/h264_1080.mp4?token=a1b2&expires=1710000000",
                                   CDN + "/v/4411/manifest.mpd", CDN + "/v/4411/fallback_480.mp4"]),
    ("/pages/flash-player.html", ["{O}/media/interview.flv", "{O}/media/interview-hq.mov",
                                  "{O}/media/interview.mkv?dl=1"]),
    ("/pages/relative-base.html", ["{O}/media/2024/lecture-01.m4v", "{O}/media/2024/lecture-01.ogv",
                                   "{O}/media/2023/lecture-00.mp4?lang=zh&t=30",
                                   "{O}/media/2024/%E7%AC%AC1%E8%AE%B2%20%E7%B2%BE%E8%AE%B2.mp4",
                                   "http://cdn.example.test/lectures/01.webm"]),
    ("/pages/gbk-meta.html", GBK_PAGE),
    ("/pages/gbk-http-equiv.html", GBK_PAGE),
    ("/pages/gbk-header.html", GBK_PAGE),
    ("/pages/gbk-unlabelled.html", GBK_PAGE),
    ("/pages/utf8-unlabelled.html",
     [CLIP_PATH, "{O}/media/clip.mp4?title=%E7%89%87%E6%AE%B5%E4%B8%80&q=%E9%AB%98%E6%B8%85"]),
    # The same-site iframe in its place; the other sites' iframes and the iframe's own iframe not followed.
    ("/pages/iframe-embed.html", ["{O}/media/news-intro.mp4", "{O}/media/embed-77.mp4",
                                  "{O}/media/embed-77/playlist.m3u8", "{O}/media/news-outro.mp4"]),
    ("/pages/no-media.html", REFUSED),
    # A media address is listed as it is: by its extension (not even fetched: this one does
    # not exist), or by its Content-Type.
    ("/media/nowhere/clip.MP4#t=10", ["{O}/media/nowhere/clip.MP4#t=10"]),
    ("/stream/42", ["{O}/stream/42"]),
    ("/live/7", ["{O}/live/7"]),
    ("/redirect/2/stream/42", ["{O}/redirect/2/stream/42"]),
]

LIMITS = [
    ("/redirect/5/pages/gbk-header.html", GBK_PAGE),
    ("/redirect/6/pages/gbk-header.html", REFUSED),
    ("/loop", REFUSED),
    ("/missing.html", REFUSED),
    # Reading stops after 8 MiB (inflated, for the compressed one) and searches what it read.
    ("/big", ["{O}/media/first.mp4"]),
    ("/bomb", ["{O}/media/first.mp4"]),
    # Read in linear time, however malformed (the standard parser alone takes hours on it).
    ("/unclosed", ["{O}/media/first.mp4"]),
    # At the deadline the connection is cut: a page still trickling keeps what arrived.
    ("/drip", ["{O}/media/dripped.mp4"]),
    ("/drip-headers", REFUSED),
    ("/silent", REFUSED),
    # Once an iframe has used up the time of a fetch, the rest are not followed.
    ("/slow-iframes", ["{O}/media/after.mp4"]),
]


class PageMediaTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = fixture_server.start()
        cls.service = qinglan_service.Server(("127.0.0.1", 0), qinglan_service.Handler)
        cls.service.quiet = True
        cls.service.allow_private = True
        threading.Thread(target=cls.service.serve_forever, daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.service.shutdown()
        cls.service.server_close()
        cls.site.stop()

    def setUp(self):
        self.service.allow_private = True

    def resolve(self, address: str):
        """The lines of the reply's field for `address`, sent as the program sends it."""
        url = "http://127.0.0.1:%d/parse.php?kw=%s" % (self.service.server_address[1],
                                                      urllib.parse.quote(address, safe=":/?&='"))
        with urllib.request.urlopen(url, timeout=120) as r:
            page = r.read()
        start = page.index(qinglan_service.REPLY_START) + len(qinglan_service.REPLY_START)
        value = page[start:page.index(qinglan_service.REPLY_END, start)]
        return value.decode("ascii").split("\r\n")

    def check_table(self, table):
        for path, lines in table:
            with self.subTest(path=path):
                expected = [line.replace("{O}", self.site.origin) for line in lines]
                self.assertEqual(self.resolve(self.site.origin + path), expected)

    def test_pages(self):
        self.check_table(PAGES)

    def test_address_without_scheme(self):
        self.assertEqual(self.resolve(self.site.origin[len("http://"):] + "/stream/42"),
                         [self.site.origin + "/stream/42"])

    def test_limits(self):
        with mock.patch.object(page_media, "FETCH_SECONDS", 3.0):
            self.check_table(LIMITS)

    def test_private_targets_are_refused_without_the_flag(self):
        self.service.allow_private = False
        port = self.site.server_address[1]
        before = len(self.site.seen)
        for address in ["%s/pages/html5-player.html" % self.site.origin,
                        "http://localhost:%d/pages/html5-player.html" % port,
                        "http://[::ffff:127.0.0.1]:%d/pages/html5-player.html" % port,
                        "http://0.0.0.0:%d/pages/html5-player.html" % port,
                        "http://10.1.2.3/", "http://192.168.1.1/", "http://169.254.169.254/latest/meta-data/",
                        "http://224.0.0.251/", "http://[fe80::1]/", "http://[::1]/",
                        "ftp://127.0.0.1:%d/pages/html5-player.html" % port, "file:///etc/passwd", "about:blank"]:
            with self.subTest(address=address):
                self.assertEqual(self.resolve(address), REFUSED)
        self.assertEqual(len(self.site.seen), before, "a refused target was still asked")
        # Local and reserved names are refused without a query leaving the machine.
        looked_up = []
        real_lookup = socket.getaddrinfo

        def lookup(host, *args, **kwargs):
            looked_up.append(host)
            return real_lookup("127.0.0.1", *args, **kwargs)

        with mock.patch.object(socket, "getaddrinfo", lookup):
            for address in ["http://intranet/watch", "http://nas.local/v.html", "http://v.example.test/"]:
                with self.subTest(address=address):
                    self.assertEqual(self.resolve(address), REFUSED)
        self.assertEqual([h for h in looked_up if h != "127.0.0.1"], [])

        # Checked again at a redirect: the site counts as public for the first request only.
        real = page_media.address_allowed
        calls = []

        def first_public(ip, allow_private):
            calls.append(ip)
            return len(calls) == 1 or real(ip, allow_private)

        with mock.patch.object(page_media, "address_allowed", first_public):
            self.assertEqual(self.resolve(self.site.origin + "/redirect/1/pages/html5-player.html"), REFUSED)
        self.assertEqual([p for p, _ in self.site.seen[before:]], ["/redirect/1/pages/html5-player.html"])

    def test_connection_goes_to_the_checked_address(self):
        # A name that answers a public-looking lookup first and another address afterwards
        # (DNS rebinding): the page must come from the first, with the name in Host.
        real = socket.getaddrinfo
        lookups = []

        def rebinding(host, *args, **kwargs):
            if host != "rebind.test":
                return real(host, *args, **kwargs)
            lookups.append(host)
            return real("127.0.0.1" if len(lookups) == 1 else "127.0.0.3", *args, **kwargs)

        port = self.site.server_address[1]
        origin = "http://rebind.test:%d" % port
        with mock.patch.object(socket, "getaddrinfo", rebinding):
            lines = self.resolve(origin + "/pages/html5-player.html")
        self.assertEqual(lines, [line.replace("{O}", origin) for line in HTML5])
        self.assertIn(("/pages/html5-player.html", "rebind.test:%d" % port), self.site.seen)

    @unittest.skipUnless(shutil.which("openssl"), "needs openssl to make a certificate")
    def test_https_names_the_host_to_the_checked_address(self):
        # A TLS site on 127.0.0.1 whose certificate names tls.test: the service connects to
        # the checked address and gives the name in SNI and Host, and checks the certificate
        # against the name.
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=tls.test", "-addext", "subjectAltName=DNS:tls.test"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        seen = {}

        class Page(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                seen["host"] = self.headers["Host"]
                body = b'<video src="/v.mp4"></video>'
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(cert, key)
        tls.sni_callback = lambda sock, name, context: seen.update(sni=name)
        server.socket = tls.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        port = server.server_address[1]

        real_lookup, real_context = socket.getaddrinfo, ssl.create_default_context

        def lookup(host, *args, **kwargs):
            return real_lookup("127.0.0.1" if host == "tls.test" else host, *args, **kwargs)

        with mock.patch.object(socket, "getaddrinfo", lookup), \
             mock.patch.object(ssl, "create_default_context", lambda *a, **k: real_context(cafile=cert)):
            self.assertEqual(self.resolve("https://tls.test:%d/watch" % port), ["https://tls.test:%d/v.mp4" % port])
            self.assertEqual(seen, {"sni": "tls.test", "host": "tls.test:%d" % port})
            # The same server by its address: the certificate does not name it.
            self.assertEqual(self.resolve("https://127.0.0.1:%d/watch" % port), REFUSED)

    def test_a_slow_page_does_not_hold_up_another(self):
        held = {}
        t = threading.Thread(target=lambda: held.setdefault("lines", self.resolve(self.site.origin + "/hold")))
        t.start()
        self.assertTrue(self.site.wait_held(1), "the held page was not asked for")
        self.assertEqual(self.resolve(self.site.origin + "/pages/gbk-meta.html"),
                         [line.replace("{O}", self.site.origin) for line in GBK_PAGE])
        self.assertNotIn("lines", held)  # still waiting for its page
        self.site.release()
        t.join(60)
        self.assertEqual(held.get("lines"), [self.site.origin + "/media/held.mp4"])


if __name__ == "__main__":
    unittest.main()
