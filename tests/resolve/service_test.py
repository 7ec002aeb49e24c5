"""The bundled service, over real HTTP on 127.0.0.1: the program relies on its
reply format byte for byte (the markers and the CR LF lines of the hidden field)."""

import os
import sys
import threading
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "service"))
import qinglan_service  # noqa: E402

START = (b'<form action="get_m3u.php" method="post" name="m3uForm">\r\n'
         b'<input type="hidden" name="inf" value="')
END = b'"/>\r'


def field(page: bytes) -> bytes:
    """The hidden field's value as the program cuts it."""
    p = page.index(START) + len(START)
    return page[p:page.index(END, p)]


class ServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = qinglan_service.Server(("127.0.0.1", 0), qinglan_service.Handler)
        cls.server.quiet = True
        cls.base = "http://127.0.0.1:%d" % cls.server.server_address[1]
        cls.thread = threading.Thread(target=cls.server.serve_forever, daemon=True)
        cls.thread.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()

    def get(self, path):
        try:
            with urllib.request.urlopen(self.base + path, timeout=10) as r:
                return r.status, r.headers, r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read()

    def test_reply_format(self):
        self.assertEqual(len(START), 97)
        cases = [
            # (kw as the program sends it, lines of the field)
            ("http://v.example.test/v_show/id_XMTIz.html",
             [self.base + "/media/XMTIz/part%d.mp4" % n for n in (1, 2, 3)]),
            ("v.example.test/v_show/id_a-b_c.html%23t%3D1",
             [self.base + "/media/a-b_c/part%d.mp4" % n for n in (1, 2, 3)]),
            ("http://v.example.test/v_show/id_XNDA1MjE4ODQw.html?from=y1.2-1%26x=2",
             [self.base + "/media/XNDA1MjE4ODQw/part%d.mp4" % n for n in (1, 2, 3)]),
            ("http://v.example.test/v_show/id_XMTIzNDU2Nzg5Mg==.html",
             [self.base + "/media/XMTIzNDU2Nzg5Mg==/part%d.mp4" % n for n in (1, 2, 3)]),
            ("", ["**/"]),
            ("http://v.example.test/", ["**/"]),
            ("http://v.example.test/v_show/id_.html", ["**/"]),
            ("http://v.example.test/x/v_show/id_a.html", ["**/"]),
            ("http://v.example.test/v_show/id_a%20b.html", ["**/"]),
            ("%CA%D3%C6%B5", ["**/"]),
        ]
        for kw, lines in cases:
            with self.subTest(kw=kw):
                status, headers, page = self.get("/parse.php?kw=" + kw)
                self.assertEqual(status, 200)
                self.assertIn("charset=gbk", headers["Content-Type"])
                self.assertEqual(field(page), "\r\n".join(lines).encode("ascii"))

    def test_media_addresses_are_served(self):
        _, _, page = self.get("/parse.php?kw=http://v.example.test/v_show/id_XMTIzNDU2Nzg5Mg==.html")
        bodies = set()
        for address in field(page).decode("ascii").split("\r\n"):
            status, headers, body = self.get(address[len(self.base):])
            self.assertEqual(status, 200, address)
            self.assertEqual(headers["Content-Type"], "video/mp4")
            self.assertIn("attachment", headers["Content-Disposition"])
            self.assertGreater(len(body), 1000)
            bodies.add(body)
        self.assertEqual(len(bodies), 3)
        self.assertEqual(self.get("/media/XMTIz/part4.mp4")[0], 404)

    def test_pages(self):
        for path, marker in [("/my-show-id-soft.html", "青岚综合视频下载精灵"),
                             ("/index.php?s=gb-show.html", "留言"),
                             ("/", "v_show/id_")]:
            with self.subTest(path=path):
                status, headers, body = self.get(path)
                self.assertEqual(status, 200)
                self.assertEqual(headers["Content-Type"], "text/html; charset=gbk")
                self.assertIn(marker, body.decode("gbk"))
        self.assertEqual(self.get("/nothing")[0], 404)
        self.assertEqual(self.get("/index.php?s=other")[0], 404)


if __name__ == "__main__":
    unittest.main()
