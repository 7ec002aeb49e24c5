"""The media addresses behind a page address: what the parse service lists.

    media_addresses(address: bytes, allow_private=False) -> list of ASCII bytes

An address that is itself a media file (by its extension, or by the Content-Type the server
gives it) is listed as it is. Otherwise the page is fetched and read, and its media addresses
are listed in document order, each once: the sources of <video> and <audio>, OpenGraph and
Twitter card streams, schema.org VideoObject contentUrl in JSON-LD, <link rel="video_src">,
links and script strings that point at media files, and the same from an <iframe> page of the
same site (one level deep). Relative addresses are resolved against the page and its
<base href>; every address is returned percent-encoded, plain ASCII.

A fetch is refused (nothing is listed) for a scheme other than http and https, for more than
MAX_REDIRECTS redirects, for a local or reserved name (localhost, one label, .test, .local…),
and for any host whose address is loopback, private, link-local, multicast or otherwise not
global, checked after resolving the name at every hop; the
connection then goes to the address that was checked, never to a second lookup. A fetch
reads at most MAX_BODY bytes (after inflating gzip or deflate) within FETCH_SECONDS and
searches what it read. Python standard library only.
"""

import codecs
import html.parser
import http.client
import ipaddress
import json
import re
import socket
import ssl
import threading
import time
import urllib.parse
import zlib

MAX_REDIRECTS = 5
FETCH_SECONDS = 15.0
MAX_BODY = 8 << 20
# Same-site iframes followed from one page (each is a fetch of its own).
MAX_IFRAMES = 4
# Rows of one reply; a page listing more is no video page.
MAX_ADDRESSES = 1000
USER_AGENT = "Mozilla/5.0 (compatible; QinglanParse/1.0)"

MEDIA_EXTENSIONS = ("mp4", "m4v", "webm", "ogv", "flv", "mov", "mkv", "mp3", "m4a", "m3u8", "mpd")
MANIFEST_TYPES = ("application/vnd.apple.mpegurl", "application/x-mpegurl", "audio/mpegurl", "audio/x-mpegurl",
                  "application/dash+xml")
_EXT = "|".join(MEDIA_EXTENSIONS)
MEDIA_PATH = re.compile(r"\.(?:%s)$" % _EXT, re.IGNORECASE)
# Player pages, not media, whatever a meta tag calls them.
PAGE_PATH = re.compile(r"\.(?:swf|s?html?|php|aspx?|jsp)$", re.IGNORECASE)

# Characters that never stand unescaped in an address found in text.
_URL_CHARS = r"[^\s\"'`<>\\{}|^]"
# A run of characters that starts like an absolute (or scheme-relative) address. Runs never
# overlap, so a page is searched in linear time whatever it holds.
URL_RUN = re.compile(r"(?<![\w.:/])(?:https?:)?//%s+" % _URL_CHARS, re.IGNORECASE)
# A media extension ending the path: not "a.mp4/page.html", not "clip.mp4x".
MEDIA_END = re.compile(r"\.(?:%s)(?![\w./-])" % _EXT, re.IGNORECASE)
# A whole quoted string, a candidate for a (relative) address.
QUOTED = re.compile(r"([\"'`])(%s{1,4096})\1" % _URL_CHARS)
# The file name of a quoted address starts with a word character: ".mp4" or "*.mp4" in code
# is no address.
FILE_NAME_START = re.compile(r"[\w%~+()!,-]")

# Attributes whose whole value may be a (relative) address: links, in which a blank may
# stand for %20, and the values players and meta tags carry, in which a blank ends it.
LINK_ATTRIBUTES = ("href", "src", "data")
VALUE_ATTRIBUTES = ("content", "value", "file", "url")

OG_MEDIA = ("og:video", "og:video:url", "og:video:secure_url", "og:audio", "og:audio:url", "og:audio:secure_url")


class Refused(Exception):
    """The address may not be fetched, or its fetch failed."""


# ---------------------------------------------------------------- fetching

def address_allowed(ip: str, allow_private: bool) -> bool:
    if allow_private:
        return True
    addr = ipaddress.ip_address(ip.split("%", 1)[0])
    if addr.version == 6 and addr.ipv4_mapped:
        addr = addr.ipv4_mapped
    return addr.is_global and not addr.is_multicast


# Names that are never a public site's: a single label (found through the local search list)
# and the reserved and local-use top-level names. Refused without a lookup, so no query
# about them leaves the machine.
LOCAL_NAMES = ("localhost", "test", "example", "invalid", "local", "internal", "home.arpa")


def is_local_name(host: str) -> bool:
    host = host.rstrip(".").lower()
    try:
        ipaddress.ip_address(host)
        return False
    except ValueError:
        pass
    return "." not in host or any(host == n or host.endswith("." + n) for n in LOCAL_NAMES)


def _lookup(host: str, port: int, deadline: float):
    """getaddrinfo bounded by the fetch's deadline (the system resolver has its own timeouts)."""
    result = {}

    def run():
        try:
            result["infos"] = socket.getaddrinfo(host, port, type=socket.SOCK_STREAM)
        except OSError as e:
            result["error"] = e

    t = threading.Thread(target=run, daemon=True)
    t.start()
    t.join(max(0.0, deadline - time.monotonic()))
    if "infos" not in result:
        raise Refused("cannot resolve %s: %s" % (host, result.get("error", "timed out")))
    return result["infos"]


def _checked_addresses(host: str, port: int, deadline: float, allow_private: bool):
    if not allow_private and is_local_name(host):
        raise Refused("%s is a local name" % host)
    infos = _lookup(host, port, deadline)
    allowed = [(family, sockaddr) for family, _, _, _, sockaddr in infos if address_allowed(sockaddr[0], allow_private)]
    if not allowed:
        raise Refused("%s resolves only to addresses that are not public: %s"
                      % (host, ", ".join(sorted({info[4][0] for info in infos}))))
    return allowed


def _connect(addresses, timeout: float) -> socket.socket:
    error = None
    for family, sockaddr in addresses:
        sock = socket.socket(family, socket.SOCK_STREAM)
        try:
            sock.settimeout(timeout)
            sock.connect(sockaddr)
            return sock
        except OSError as e:
            sock.close()
            error = e
    raise Refused("cannot connect: %s" % error)


class _PinnedHTTP(http.client.HTTPConnection):
    """Connects to an address checked beforehand; Host names the host as the address did."""

    def __init__(self, host, port, addresses, timeout):
        super().__init__(host, port, timeout=timeout)
        self.addresses = addresses

    def connect(self):
        self.sock = _connect(self.addresses, self.timeout)


class _PinnedHTTPS(http.client.HTTPSConnection):
    """As _PinnedHTTP, with TLS on top: SNI and the certificate check use the host's name."""

    def __init__(self, host, port, addresses, timeout):
        self.tls = ssl.create_default_context()
        super().__init__(host, port, timeout=timeout, context=self.tls)
        self.addresses = addresses

    def connect(self):
        self.sock = self.tls.wrap_socket(_connect(self.addresses, self.timeout), server_hostname=self.host)


class Fetched:
    def __init__(self, url, content_type, charset, body):
        self.url = url                    # after redirects
        self.content_type = content_type  # lower case, without parameters
        self.charset = charset            # from the header, or None
        self.body = body


def is_media_type(content_type: str) -> bool:
    return content_type.startswith(("video/", "audio/")) or content_type in MANIFEST_TYPES


def _read_body(response, deadline: float) -> bytes:
    """At most MAX_BODY bytes of the body, inflated; stops at the deadline with what arrived."""
    coding = (response.getheader("Content-Encoding") or "").strip().lower()
    inflater = None
    out = bytearray()
    raw = 0
    while raw < MAX_BODY and len(out) < MAX_BODY and time.monotonic() < deadline:
        try:
            chunk = response.read1(65536)
        except (OSError, http.client.HTTPException):
            break
        if not chunk:
            break
        raw += len(chunk)
        if coding in ("gzip", "x-gzip", "deflate"):
            if inflater is None:
                # "deflate" is meant to be zlib-wrapped; some servers send the raw stream.
                zlib_header = len(chunk) >= 2 and chunk[0] & 0x0F == 8 and (chunk[0] << 8 | chunk[1]) % 31 == 0
                inflater = zlib.decompressobj(31 if coding != "deflate" else (15 if zlib_header else -15))
            try:
                data = inflater.decompress(chunk, MAX_BODY - len(out))
            except zlib.error:
                break
            out += data
            if inflater.unconsumed_tail:
                break
        else:
            out += chunk[:MAX_BODY - len(out)]
    return bytes(out)


def fetch(url: str, allow_private: bool) -> Fetched:
    """GET of url, following up to MAX_REDIRECTS redirects; the body is read only when it is
    not media."""
    deadline = time.monotonic() + FETCH_SECONDS
    for _ in range(MAX_REDIRECTS + 1):
        parts = urllib.parse.urlsplit(url)
        if parts.scheme not in ("http", "https") or not parts.hostname:
            raise Refused("not an http or https address: %s" % url)
        try:
            port = parts.port or (443 if parts.scheme == "https" else 80)
        except ValueError:
            raise Refused("bad port: %s" % url)
        addresses = _checked_addresses(parts.hostname, port, deadline, allow_private)
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise Refused("timed out")
        kind = _PinnedHTTPS if parts.scheme == "https" else _PinnedHTTP
        conn = kind(parts.hostname, port, addresses, remaining)

        # However the server trickles its bytes, the connection is cut at the deadline.
        def cut(conn=conn):
            sock = conn.sock
            if sock is not None:
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

        watchdog = threading.Timer(remaining, cut)
        watchdog.daemon = True
        watchdog.start()
        try:
            target = urllib.parse.urlunsplit(("", "", parts.path or "/", parts.query, ""))
            conn.request("GET", target, headers={
                "User-Agent": USER_AGENT,
                "Accept": "text/html,application/xhtml+xml,*/*;q=0.8",
                "Accept-Encoding": "gzip, deflate",
                "Accept-Language": "zh-CN,zh;q=0.9,en;q=0.5",
            })
            response = conn.getresponse()
            if response.status in (301, 302, 303, 307, 308) and response.getheader("Location"):
                location = response.getheader("Location")
                try:  # header values arrive as Latin-1; a Location in UTF-8 is common
                    location = location.encode("latin-1").decode("utf-8")
                except UnicodeError:
                    pass
                url = absolute_address(location, url)
                if url is None:
                    raise Refused("redirect to a non-http address: %r" % location)
                continue
            if response.status >= 400:
                raise Refused("HTTP %d from %s" % (response.status, url))
            content_type, params = _split_type(response.getheader("Content-Type") or "")
            body = b"" if is_media_type(content_type) else _read_body(response, deadline)
            return Fetched(url, content_type, params.get("charset"), body)
        except (OSError, http.client.HTTPException, ValueError) as e:
            raise Refused("fetch of %s failed: %s" % (url, e))
        finally:
            watchdog.cancel()
            conn.close()
    raise Refused("more than %d redirects" % MAX_REDIRECTS)


def _split_type(header: str):
    main, *rest = header.split(";")
    params = {}
    for p in rest:
        name, _, value = p.partition("=")
        params[name.strip().lower()] = value.strip().strip("\"'")
    return main.strip().lower(), params


# ---------------------------------------------------------------- text

_CHARSET_ALIASES = {"gb2312": "gb18030", "gbk": "gb18030", "x-gbk": "gb18030", "gb_2312-80": "gb18030",
                    "cp936": "gb18030", "iso-8859-1": "cp1252", "latin1": "cp1252", "us-ascii": "cp1252",
                    "ascii": "cp1252"}
META_CHARSET = re.compile(rb"<meta[^>]+?charset\s*=\s*[\"']?\s*([A-Za-z0-9_.:-]+)", re.IGNORECASE)


def _codec(label):
    if not label:
        return None
    label = label.strip().lower()
    label = _CHARSET_ALIASES.get(label, label)
    try:
        return codecs.lookup(label).name
    except LookupError:
        return None


def decode_page(body: bytes, header_charset):
    """The page's text and its charset: from the header, else <meta charset> or <meta
    http-equiv>, else UTF-8 when the bytes are valid UTF-8, else GBK."""
    if body.startswith(b"\xef\xbb\xbf"):
        return body[3:].decode("utf-8", "replace"), "utf-8"
    m = META_CHARSET.search(body[:16384])
    for label in (header_charset, m and m.group(1).decode("ascii")):
        codec = _codec(label)
        if codec:
            return body.decode(codec, "replace"), codec
    try:
        return body.decode("utf-8"), "utf-8"
    except UnicodeDecodeError:
        return body.decode("gb18030", "replace"), "gb18030"


# ---------------------------------------------------------------- addresses

_PATH_SAFE = "/%:@!$&'()*+,;=-._~"
_QUERY_SAFE = _PATH_SAFE + "?"


def absolute_address(ref: str, base: str, charset="utf-8"):
    """ref resolved against base, percent-encoded to plain ASCII (the path as UTF-8, the query
    in the page's charset, as browsers do); None for anything but an http or https address."""
    ref = re.sub(r"[\t\n\r]", "", ref).strip(" \x00\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c\x0e\x0f\x10\x11\x12"
                                               "\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f")
    if not ref:
        return None
    try:
        parts = urllib.parse.urlsplit(urllib.parse.urljoin(base, ref))
        if parts.scheme not in ("http", "https") or not parts.hostname:
            return None
        netloc = parts.netloc
        if not netloc.isascii():
            host = parts.hostname.encode("idna").decode("ascii")
            netloc = host + (":%d" % parts.port if parts.port else "")
        netloc = urllib.parse.quote(netloc, safe=":@[]%!$&'()*+,;=-._~")
        try:
            query = urllib.parse.quote(parts.query, safe=_QUERY_SAFE, encoding=charset)
        except (UnicodeEncodeError, LookupError):
            query = urllib.parse.quote(parts.query, safe=_QUERY_SAFE)
        return urllib.parse.urlunsplit((parts.scheme, netloc, urllib.parse.quote(parts.path or "/", safe=_PATH_SAFE),
                                        query, urllib.parse.quote(parts.fragment, safe=_QUERY_SAFE)))
    except (ValueError, UnicodeError):
        return None


def has_media_extension(address: str) -> bool:
    return bool(MEDIA_PATH.search(urllib.parse.urlsplit(address).path))


def same_site(a: str, b: str) -> bool:
    """Whether two addresses belong to the same site: the same host, or hosts under the same
    registrable name (the last two labels, three under a generic second level as in .com.cn)."""
    def site(url):
        host = (urllib.parse.urlsplit(url).hostname or "").rstrip(".")
        labels = host.split(".")
        if re.fullmatch(r"[0-9.]+|.*:.*", host) or len(labels) < 3:
            return host
        keep = 3 if labels[-2] in ("com", "net", "org", "gov", "edu", "co", "ac", "ne", "or") else 2
        return ".".join(labels[-keep:])
    return site(a) == site(b)


def unescape_script(text: str) -> str:
    """Undoes the escapes scripts put in addresses: \\/ and \\u002F, \\u0026 and the like."""
    text = re.sub(r"\\u00([0-9A-Fa-f]{2})|\\x([0-9A-Fa-f]{2})",
                  lambda m: chr(int(m.group(1) or m.group(2), 16)), text)
    return text.replace("\\/", "/")


def _media_in_run(run: str):
    """The media address a URL_RUN starts with, or None: up to the media extension, with the
    query and fragment that follow it; what follows otherwise ("&autostart=1") is not part
    of it."""
    stop = min([i for i in (run.find("?"), run.find("#")) if i >= 0] or [len(run)])
    m = MEDIA_END.search(run, 0, stop)
    if not m:
        return None
    return run if m.end() < len(run) and run[m.end()] in "?#" else run[:m.end()]


def _is_media_reference(ref: str) -> bool:
    path = re.split(r"[?#]", ref, maxsplit=1)[0]
    return bool(MEDIA_PATH.search(path)) and bool(FILE_NAME_START.match(path.rsplit("/", 1)[-1]))


def media_in_text(text: str):
    """Addresses of media files in script text or an attribute, in order of appearance:
    quoted strings that are such an address, relative or not, and absolute addresses
    anywhere."""
    text = unescape_script(text)
    found = [(m.start(2), m.group(2)) for m in QUOTED.finditer(text) if _is_media_reference(m.group(2))]
    for m in URL_RUN.finditer(text):
        ref = _media_in_run(m.group())
        if ref:
            found.append((m.start(), ref))
    return [ref for _, ref in sorted(found)]


def _types(node):
    t = node.get("@type")
    for name in (t if isinstance(t, list) else [t]):
        if isinstance(name, str):
            yield name.rsplit("/", 1)[-1].rsplit(":", 1)[-1]


def json_ld_media(node, out):
    """contentUrl of every VideoObject (and AudioObject) in a JSON-LD value, nested ones,
    arrays and @graph included."""
    if isinstance(node, list):
        for item in node:
            json_ld_media(item, out)
    elif isinstance(node, dict):
        if any(t in ("VideoObject", "AudioObject") for t in _types(node)):
            urls = node.get("contentUrl")
            for url in (urls if isinstance(urls, list) else [urls]):
                if isinstance(url, str):
                    out.append(url)
        for value in node.values():
            if isinstance(value, (list, dict)):
                json_ld_media(value, out)


# A "<" that no ">" closes before the next "<". The standard parser rescans the rest of the
# page for each of them; on a page made of thousands of them ("<a<a<a…") reading would take
# hours, so past a few they are read as text.
STRAY_LT = re.compile(r"<(?![^<>]*>)")
MAX_STRAY_LT = 100


class PageReader(html.parser.HTMLParser):
    """Collects, in document order, ("media", ref) and ("iframe", ref) with refs as written,
    and the first <base href>. Attribute values arrive with their entities decoded."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.items = []
        self.base = None
        self.media_depth = 0
        self.script = None   # (type, [text…]) inside <script>
        self.og_group = []   # the items of the latest og:video / og:audio structure

    def add(self, ref, kind="media"):
        if ref and ref.strip():
            item = [kind, ref.strip()]
            self.items.append(item)
            return item
        return None

    def handle_starttag(self, tag, attrs):
        a = {}
        for name, value in attrs:
            a.setdefault(name, value or "")
        if tag == "base" and self.base is None and a.get("href"):
            self.base = a["href"]
        elif tag in ("video", "audio"):
            self.media_depth += 1
            self.add(a.get("src"))
        elif tag == "source" and self.media_depth:
            self.add(a.get("src"))
        elif tag == "meta":
            self.meta((a.get("property") or a.get("name") or "").strip().lower(), a.get("content", ""))
        elif tag == "link" and "video_src" in a.get("rel", "").lower().split():
            self.add(a.get("href"))
        elif tag == "iframe":
            self.add(a.get("src"), "iframe")
        elif tag == "script":
            self.script = (a.get("type", "").strip().lower(), [])
        for name, value in attrs:
            if not value:
                continue
            value = value.strip()
            if (name in LINK_ATTRIBUTES or ((name in VALUE_ATTRIBUTES or name.startswith("data-"))
                                             and not re.search(r"\s", value))) and has_media_extension(value):
                self.add(value)
            else:
                for ref in media_in_text(value):
                    if ref.startswith(("http:", "https:", "//")):
                        self.add(ref)

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag in ("video", "audio"):
            self.handle_endtag(tag)

    def meta(self, prop, content):
        if prop in OG_MEDIA:
            if prop in ("og:video", "og:audio"):
                self.og_group = []
            item = self.add(content)
            if item:
                if PAGE_PATH.search(urllib.parse.urlsplit(item[1]).path):
                    item[0] = "dropped"
                self.og_group.append(item)
        elif prop in ("og:video:type", "og:audio:type"):
            # A player page or a Flash object announced as the video is not media.
            if not is_media_type(content.strip().lower()):
                for item in self.og_group:
                    item[0] = "dropped"
        elif prop == "twitter:player:stream":
            self.add(content)

    def handle_endtag(self, tag):
        if tag in ("video", "audio") and self.media_depth:
            self.media_depth -= 1
        elif tag == "script" and self.script is not None:
            kind, parts = self.script
            self.script = None
            text = "".join(parts)
            if kind == "application/ld+json":
                found = []
                try:
                    json_ld_media(json.loads(text, strict=False), found)
                except ValueError:
                    pass
                for ref in found:
                    self.add(ref)
            for ref in media_in_text(text):
                self.add(ref)

    def handle_data(self, data):
        if self.script is not None:
            self.script[1].append(data)


def page_media(page: Fetched, allow_private: bool, depth=0, iframes_until=None):
    """The media addresses of a fetched page, each once, at most MAX_ADDRESSES; iframes of
    the same site followed while depth is 0 and until the monotonic time iframes_until (a
    reply waits for at most one iframe fetch beyond that)."""
    if not page.body:
        return []
    text, charset = decode_page(page.body, page.charset)
    if "html" in page.content_type or "xml" in page.content_type or not page.content_type:
        reader = PageReader()
        if len(STRAY_LT.findall(text)) > MAX_STRAY_LT:
            text = STRAY_LT.sub("&lt;", text)
        try:
            reader.feed(text)
            reader.close()
        except Exception:  # noqa: BLE001 - a page the parser chokes on keeps what was read
            pass
        items = reader.items
        base = absolute_address(reader.base, page.url, charset) if reader.base else None
        base = base or page.url
    elif page.content_type.startswith("text/") or "json" in page.content_type or "javascript" in page.content_type:
        items = [["media", ref] for ref in media_in_text(text)]
        base = page.url
    else:
        return []
    found = {}  # insertion-ordered, each address once
    iframes = 0
    for kind, ref in items:
        if len(found) >= MAX_ADDRESSES:
            break
        address = absolute_address(ref, base, charset)
        if not address:
            continue
        if kind == "media":
            found.setdefault(address)
        elif kind == "iframe" and depth == 0 and iframes < MAX_IFRAMES and same_site(address, page.url) \
                and (iframes_until is None or time.monotonic() < iframes_until):
            iframes += 1
            if has_media_extension(address):
                found.setdefault(address)
                continue
            try:
                inner = fetch(address, allow_private)
            except Refused:
                continue
            if is_media_type(inner.content_type):
                found.setdefault(address)
            else:
                for a in page_media(inner, allow_private, depth + 1):
                    found.setdefault(a)
    return list(found)[:MAX_ADDRESSES]


def _typed_address(address: bytes):
    """The typed address as text (UTF-8, else GBK as the program sends it), http:// in front
    when it has no scheme."""
    try:
        text = address.decode("utf-8")
    except UnicodeDecodeError:
        text = address.decode("gb18030", "replace")
    text = text.strip()
    if not text:
        return None
    if not re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", text) or re.match(r"^[^:/]+:\d+(?:[/?#]|$)", text):
        text = "http://" + text
    return absolute_address(text, text)


def media_addresses(address: bytes, allow_private=False):
    """The media addresses for a typed address, each as ASCII bytes, without duplicates;
    raises Refused when the address cannot be fetched."""
    url = _typed_address(address)
    if url is None:
        raise Refused("not an http or https address")
    if has_media_extension(url):
        return [url.encode("ascii")]
    # Iframes are followed only while the whole answer is within about one fetch's time.
    iframes_until = time.monotonic() + FETCH_SECONDS
    page = fetch(url, allow_private)
    if is_media_type(page.content_type):
        return [url.encode("ascii")]
    return [a.encode("ascii") for a in page_media(page, allow_private, iframes_until=iframes_until)]
