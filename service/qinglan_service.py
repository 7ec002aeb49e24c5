#!/usr/bin/env python3
"""The video-address parse service and the product web site that come with the program.

The program asks a parse service which media addresses lie behind a video page; this small
server (python3 standard library only) is that service, answering in its reply format on
127.0.0.1, port 47615 by default:

  GET /parse.php?kw=ADDRESS
      ADDRESS (percent-decoded) is fetched and the media addresses in it are listed in the
      reply's hidden field "inf", separated by CR LF (see page_media.py for what is found
      and the limits of a fetch); when none is found, or the address cannot be fetched, the
      field holds the refusal line "**/". Addresses on loopback, private, link-local or
      multicast hosts are refused unless the service runs with --allow-private.
      The sample addresses http://v.example.test/v_show/id_ID.html ("http://" optional, ID
      being letters, digits, "_", "-" or "=") answer offline with three media addresses on
      this server, http://127.0.0.1:PORT/media/ID/part1.mp4 ... part3.mp4.
  GET /media/ID/partN.mp4      a small sample file (placeholder bytes, sent as a download)
  GET /my-show-id-soft.html    the product page
  GET /index.php?s=gb-show.html  the guestbook page
  GET /                        a home page with sample addresses to try
  GET /update-notice.html      the update notice (UTF-8): "版本:20130415;" (the version the
                               program is built as, so it answers that it is the newest) and
                               "地址:" this server's /qlw_sp.rar
  GET /qlw_sp.rar              a small placeholder archive

Pages are GBK, as the real service's are, and say so in their Content-Type header.

Requests are served in parallel: a slow page does not hold up another request.

  python3 service/qinglan_service.py [--port N] [--bind ADDRESS] [--allow-private] [--quiet]
"""

import argparse
import hashlib
import http.server
import re
import socket
import sys
import urllib.parse

import page_media

HOST = "127.0.0.1"
DEFAULT_PORT = 47615

# The reply's form and hidden field, byte for byte: the program cuts the value out between
# the form's first line + CR LF + the field up to its opening quote, and the closing
# quote + "/>" + CR.
REPLY_START = (b'<form action="get_m3u.php" method="post" name="m3uForm">\r\n'
               b'<input type="hidden" name="inf" value="')
REPLY_END = b'"/>\r'
REFUSAL_LINE = b"**/"
PARTS = 3

# The sample pages: a host under the reserved .test name, which no real site can have.
VIDEO_PAGE = re.compile(rb"^(?:[A-Za-z][A-Za-z0-9+.-]*://)?(?i:v\.example\.test)(?::[0-9]+)?"
                        rb"/v_show/id_([A-Za-z0-9_=-]+)\.html(?:[?#].*)?$", re.DOTALL)

SAMPLE_IDS = ["XMTIzNDU2Nzg5Mg==", "XNDA1MjE4ODQw", "qinglan_demo"]


def video_id(address: bytes):
    """The id of a sample video page address, or None."""
    m = VIDEO_PAGE.match(address)
    return m.group(1).decode("ascii") if m else None


def media_addresses(base: str, vid: str):
    # Ids hold only letters, digits, "_", "-" and "=", all of which may stand in a path as they are.
    return ["%s/media/%s/part%d.mp4" % (base, vid, n) for n in range(1, PARTS + 1)]


def reply_page(lines) -> bytes:
    """The parse reply: a GBK page whose m3uForm carries `lines` (bytes) in its field inf."""
    head = ("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
            "<title>视频地址解析</title></head><body>\r\n").encode("gbk")
    tail = ("\n<input type=\"submit\" value=\"下载列表\"/>\r\n</form></body></html>\r\n").encode("gbk")
    return head + REPLY_START + b"\r\n".join(lines) + REPLY_END + tail


def parse_reply(raw_query: str, base: str, allow_private=False, log=None) -> bytes:
    # The kw value exactly as the program typed it: percent-decoded to bytes, "+" kept as
    # "+" (the program encodes a typed "+" as %2B and a space as %20).
    kw = b""
    for pair in raw_query.split("&"):
        name, _, value = pair.partition("=")
        if name == "kw":
            kw = urllib.parse.unquote_to_bytes(value)
            break
    vid = video_id(kw)
    if vid is not None:
        return reply_page([a.encode("ascii") for a in media_addresses(base, vid)])
    try:
        found = page_media.media_addresses(kw, allow_private)
    except page_media.Refused as e:
        found = []
        if log:
            log("%r refused: %s" % (kw, e))
    except Exception as e:  # noqa: BLE001 - whatever goes wrong, the reply says "nothing here"
        found = []
        if log:
            log("%r failed: %r" % (kw, e))
    return reply_page(found or [REFUSAL_LINE])


def sample_media(vid: str, part: int) -> bytes:
    """Deterministic placeholder bytes for one media part (about 4 KiB)."""
    seed = hashlib.sha256(("%s/%d" % (vid, part)).encode("utf-8")).digest()
    header = b"\x00\x00\x00\x18ftypmp42\x00\x00\x00\x00mp42isom"
    note = ("青岚 sample media %s part %d\n" % (vid, part)).encode("utf-8")
    return header + note + seed * 128


def html_page(title: str, body: str) -> bytes:
    return ("<!DOCTYPE html><html><head><meta charset=\"gbk\"><title>%s</title></head>"
            "<body><h1>%s</h1>%s</body></html>\n" % (title, title, body)).encode("gbk")


def home_page(base: str) -> bytes:
    items = "".join("<li>http://v.example.test/v_show/id_%s.html</li>" % vid for vid in SAMPLE_IDS)
    return html_page("青岚视频解析服务（本地）",
                     "<p>把下面任意一个地址粘贴到程序的地址框，按“获取下载”。</p><ul>%s</ul>"
                     "<p><a href=\"/my-show-id-soft.html\">软件介绍</a> | "
                     "<a href=\"/index.php?s=gb-show.html\">留言本</a></p>" % items)


PRODUCT_PAGE = html_page("青岚综合视频下载精灵 v1.0",
                         "<p>粘贴视频页面地址，按“获取下载”，即可列出其中的媒体地址；"
                         "在列表上单击右键可“复制”或“下载”。</p><p>青岚网络</p>")
GUESTBOOK_PAGE = html_page("青岚网络 留言本", "<p>欢迎留言交流使用心得。</p><p>（本地示例页面）</p>")


UPDATE_VERSION = "20130415"


def update_reply(path: str, base: str):
    """(body, content type) for the update notice and its archive, or None for other paths."""
    if path == "/update-notice.html":
        body = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>青岚综合视频下载精灵 更新</title>"
                "</head><body><p>最新版本 版本:%s; 下载 地址:%s/qlw_sp.rar;</p></body></html>\n"
                % (UPDATE_VERSION, base)).encode("utf-8")
        return body, "text/html; charset=utf-8"
    if path == "/qlw_sp.rar":
        return b"Rar!\x1a\x07\x00" + ("青岚 placeholder archive %s\n" % UPDATE_VERSION).encode("utf-8"), \
            "application/octet-stream"
    return None


def base_address(server) -> str:
    """This server's own address, as its sample media addresses name it."""
    host, port = server.server_address[:2]
    if host in ("0.0.0.0", "::"):
        host = HOST
    return "http://%s:%d" % ("[%s]" % host if ":" in host else host, port)


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "QinglanLocalService/1.0"
    protocol_version = "HTTP/1.1"

    def base(self) -> str:
        return base_address(self.server)

    def send(self, status: int, body: bytes, content_type: str, extra=(), head_only=False):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def route(self, head_only=False):
        path, _, query = self.path.partition("?")
        html = "text/html; charset=gbk"
        if path == "/parse.php":
            reply = parse_reply(query, self.base(), self.server.allow_private, self.note)
            return self.send(200, reply, html, head_only=head_only)
        if path == "/my-show-id-soft.html":
            return self.send(200, PRODUCT_PAGE, html, head_only=head_only)
        if path == "/index.php" and query == "s=gb-show.html":
            return self.send(200, GUESTBOOK_PAGE, html, head_only=head_only)
        if path in ("/", "/index.html"):
            return self.send(200, home_page(self.base()), html, head_only=head_only)
        update = update_reply(path, self.base())
        if update:
            return self.send(200, update[0], update[1], head_only=head_only)
        m = re.fullmatch(r"/media/([^/]+)/part([1-9][0-9]*)\.mp4", path)
        if m and 1 <= int(m.group(2)) <= PARTS:
            vid = m.group(1)
            name = "%s_part%s.mp4" % (re.sub(r"[^A-Za-z0-9_-]", "_", vid), m.group(2))
            return self.send(200, sample_media(vid, int(m.group(2))), "video/mp4",
                             [("Content-Disposition", "attachment; filename=\"%s\"" % name)], head_only)
        return self.send(404, html_page("404", "<p>没有这个页面。</p>"), html, head_only=head_only)

    def do_GET(self):
        self.route()

    def do_HEAD(self):
        self.route(head_only=True)

    def log_message(self, fmt, *args):
        self.note(fmt % args)

    def note(self, text):
        if not self.server.quiet:
            sys.stderr.write("qinglan-service: %s\n" % text)


class Server(http.server.ThreadingHTTPServer):
    """One thread per connection, so one slow page does not hold up another request."""
    daemon_threads = True
    allow_reuse_address = True
    quiet = False
    allow_private = False

    def __init__(self, address, handler):
        if ":" in address[0]:
            self.address_family = socket.AF_INET6
        super().__init__(address, handler)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description="The parse service and the product site")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT)
    parser.add_argument("--bind", default=HOST, help="address to listen on (default %s)" % HOST)
    parser.add_argument("--allow-private", action="store_true",
                        help="also fetch pages on loopback, private, link-local and multicast addresses")
    parser.add_argument("--quiet", action="store_true", help="do not log requests")
    args = parser.parse_args(argv)
    try:
        server = Server((args.bind, args.port), Handler)
    except OSError as e:
        sys.stderr.write("qinglan-service: cannot listen on %s:%d: %s\n" % (args.bind, args.port, e))
        return 1
    server.quiet = args.quiet
    server.allow_private = args.allow_private
    if not args.quiet:
        sys.stderr.write("qinglan-service: listening on %s/\n" % base_address(server))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
