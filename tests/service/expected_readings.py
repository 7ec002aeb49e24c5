#!/usr/bin/env python3
"""The page reading (the service_read_page tool) over every fixture page of fixture_server.py
and a set of tricky pages, each reply page byte for byte as recorded in expected/readings/
(one file per page; the fixture site's origin written {{ORIGIN}}).

    python3 tests/service/expected_readings.py BUILD_DIR/tests/service/service_read_page

Same-site iframes are fetched from the fixture site on 127.0.0.1. Prints one line per page
and a summary; exits 1 when any reply differs."""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fixture_server  # noqa: E402

EXPECTED = os.path.join(HERE, "expected", "readings")
REPLY_START = b'name="inf" value="'
REPLY_END = b'"/>\r'

# Pages beyond the fixture site's: (name, Content-Type header, body).
TRICKY = [
    ("entities", "text/html", b'<a href="/v/a.mp4?x=1&amp;y=2">a</a><a href="b&#46;mp4">b</a><a href="&lt;c.mp4">'),
    ("og-dropped", "text/html", b'<meta property="og:video" content="/p/player.swf"><meta property="og:video" '
                                b'content="/v/1.mp4"><meta property="og:video:type" content="text/html">'
                                b'<meta property="og:audio" content="/a/1.mp3"><meta property="og:audio:type" '
                                b'content="audio/mpeg">'),
    ("relative", "text/html", b'<base href="../x/"><video src="./a/../b.mp4"><source src="c d.webm"></video>'
                              b'<a href="?q=1">q</a><a href="//cdn.example.test/e.m3u8#t=1">e</a>'),
    ("scripts", "text/html", b'<script>var a = "http:\\/\\/cdn.example.test\\/v\\/1.mp4", b = \'rel/2.flv\';'
                             b' c = "\\u002F\\u002Fcdn.example.test/3.mpd?x=1"; d = ".mp4"; e = "x.mp4x";'
                             b' f = "https://a.example.test/4.mp4&autostart=1"</script>'),
    ("json-ld-broken", "text/html", b'<script type="application/ld+json">{"@type":"VideoObject","contentUrl":</script>'
                                    b'<script type="application/ld+json">{"@graph":[{"@type":["Thing","VideoObject"],'
                                    b'"contentUrl":["/g/1.mp4", 3, "/g/2.mp4"]}]}</script>'),
    ("idna-host", "text/html; charset=utf-8", '<a href="http://例子.测试/视频.mp4?标题=一">'.encode("utf-8")),
    ("gbk-query", "text/html; charset=gbk", '<a href="/片段.mp4?t=片段">'.encode("gbk")),
    ("unclosed-comment", "text/html", b'<video src="/first.mp4"></video><!--x>' + b'<a href="/hidden.mp4">' * 3),
    ("cdata-unclosed", "text/html", b'<![CDATA[><video src="/first.mp4"></video>'),
    ("attributes", "text/html", b'<div data-src="/d/1.mp4" data-x="see /d/2.mp4" flashvars="file=http://f.example.test/3.flv'
                                b'&amp;b=1" value=\'//v.example.net/4.mov\' title="http://t.example.test/5.m4a and more">'),
    ("plain-text", "text/plain", b'see http://cdn.example.test/t/1.mp4 and "rel/2.mp4"'),
    ("json-body", "application/json", b'{"file":"https:\\/\\/cdn.example.test\\/j\\/1.m3u8"}'),
    ("image", "image/png", b'\x89PNG http://cdn.example.test/i/1.mp4'),
    ("meta-charset-late", "text/html", b'<html><head><meta name="x" charset="gbk"></head><a href="/\xc6\xac.mp4?\xc6\xac">'),
    ("self-closing", "text/html", b'<video src="/s/1.mp4"/><source src="/s/2.mp4"><audio><source src="/s/3.mp3"></audio>'),
    ("link-rel", "text/html", b'<link rel="alternate video_src" href="/l/1.flv"><link rel="video_src_x" href="/l/2.mp4">'),
]


def split_type(header):
    """The media type (lower case) and the charset parameter of a Content-Type header."""
    media, *params = header.split(";")
    charset = ""
    for param in params:
        name, _, value = param.strip().partition("=")
        if name.lower() == "charset":
            charset = value.strip().strip('"')
    return media.strip().lower(), charset


def read(tool, url, header, body):
    content_type, charset = split_type(header)
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(body)
    try:
        args = [tool, f.name, url, content_type] + ([charset] if charset else [])
        return subprocess.run(args, check=True, stdout=subprocess.PIPE, timeout=60).stdout
    finally:
        os.unlink(f.name)


def rows(reply):
    start = reply.find(REPLY_START)
    if start < 0:
        return 0
    start += len(REPLY_START)
    return reply[start:reply.find(REPLY_END, start)].count(b"\r\n") + 1


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    tool = sys.argv[1]
    site = fixture_server.start()
    try:
        pages = []
        for name in sorted(fixture_server.PAGES):
            header, body = fixture_server.page_body(name, site.origin, site.other)
            pages.append((name, site.origin + "/pages/" + name, header, body))
        for name, header, body in TRICKY:
            pages.append(("tricky-" + name, site.origin + "/tricky/" + name + ".html", header, body))
        same = 0
        for name, url, header, body in pages:
            with open(os.path.join(EXPECTED, name), "rb") as f:
                expected = f.read().replace(b"{{ORIGIN}}", site.origin.encode())
            actual = read(tool, url, header, body)
            if expected == actual:
                same += 1
                print("identical  %-28s %5d bytes, %d rows" % (name, len(actual), rows(actual)))
            else:
                at = first_difference(expected, actual)
                print("DIFFERENT  %-28s at byte %d:\n  expected: %r\n  got:      %r"
                      % (name, at, expected[max(0, at - 60):at + 120], actual[max(0, at - 60):at + 120]))
        print("%d pages compared, %d identical, %d different" % (len(pages), same, len(pages) - same))
        return 0 if same == len(pages) else 1
    finally:
        site.stop()


if __name__ == "__main__":
    sys.exit(main())
