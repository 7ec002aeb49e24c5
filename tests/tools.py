"""What the test drivers that run a Windows program beside a local server have in common.

  free_port()          a TCP port on 127.0.0.1 that nothing listens on now
  wait_port()          waits until something accepts on a 127.0.0.1 port (or the program ends)
  start_service()      qinglan_service.exe under Wine on a port, once it accepts connections
  exchange()           raw bytes to a 127.0.0.1 port, the answer read to its end and split
  run_wine()           runs `wine PROGRAM ARGS…` to its end under a time limit (the wrappers
                       that put a test server beside a test program)
  tls_contexts()       server contexts of a fresh self-signed certificate (made with openssl)

Everything runs inside the caller's Wine session and stays on 127.0.0.1.
"""

import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, proc=None, timeout=60.0):
    """True once a connection to 127.0.0.1:port is accepted; False when `proc` ends first or
    the time runs out."""
    end = time.monotonic() + timeout
    while time.monotonic() < end and (proc is None or proc.poll() is None):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.1)
    return False


def start_service(exe, port, *flags, stderr=None):
    """qinglan_service.exe listening on 127.0.0.1:port (flags such as --allow-private, --quiet);
    stops the run with the service's own words when it does not start."""
    proc = subprocess.Popen(["wine", exe, "--port", str(port)] + list(flags), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE if stderr is None else stderr)
    if wait_port(port, proc):
        return proc
    proc.kill()
    said = proc.stderr.read().decode(errors="replace") if stderr is None else ""
    proc.wait()
    raise SystemExit("qinglan_service.exe did not start on port %d: %s" % (port, said))


def exchange(port, raw, timeout=20.0):
    """Sends raw bytes to 127.0.0.1:port and reads until the other side closes: (status,
    headers, body, all bytes); status 0 when the answer is no HTTP answer. OSError when the
    connection fails or a read waits past `timeout`."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(raw)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    status = int(lines[0].split()[1]) if lines and lines[0].startswith(b"HTTP/") else 0
    headers = dict(line.decode("latin-1").split(": ", 1) for line in lines[1:] if b": " in line)
    return status, headers, body, data


def stop(proc):
    if proc.poll() is None:
        proc.kill()
    proc.wait()


def run_wine(argv, env, timeout, who):
    """Runs `wine ARGV…` with `env` and returns its exit code; 124 (and a line on stderr from
    `who`) when it outlives `timeout` seconds and is killed."""
    proc = subprocess.Popen(["wine"] + argv, env=env)
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        stop(proc)
        print("%s: %s still running after %.0f s; killed" % (who, argv[0], timeout), file=sys.stderr)
        return 124


def wrapper_arguments(argv, doc):
    """(timeout, the program's argv) of a wrapper's command line `[--timeout S] PROGRAM [ARGS…]`;
    None (after printing `doc`) when no program is named."""
    timeout = 150.0
    if len(argv) >= 2 and argv[0] == "--timeout":
        timeout, argv = float(argv[1]), argv[2:]
    if not argv:
        print(doc, file=sys.stderr)
        return None
    return timeout, argv


def tls_contexts(name, alt_name, versions=(None,)):
    """(server contexts, one a maximum TLS version of `versions` (None: any), the certificate's
    PEM) of a fresh self-signed certificate for `name` ("/CN=name", subjectAltName `alt_name`,
    e.g. "DNS:tls.test"); None without openssl."""
    if not shutil.which("openssl"):
        return None
    work = tempfile.mkdtemp()
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    try:
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=" + name, "-addext", "subjectAltName=" + alt_name],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        contexts = []
        for version in versions:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(cert, key)
            if version is not None:
                context.maximum_version = version
            contexts.append(context)
        with open(cert) as f:
            return contexts, f.read()
    finally:
        shutil.rmtree(work)


def service_pids(port):
    """The Unix processes of qinglan_service.exe serving `port` (Wine gives a process the
    command line of its Windows program)."""
    pids = []
    for name in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                args = [a for a in f.read().split(b"\0") if a]
        except OSError:
            continue
        if args and args[0].lower().endswith(b"qinglan_service.exe") and b"--port" in args[:-1] and \
                args[args.index(b"--port") + 1] == b"%d" % port:
            pids.append(int(name))
    return pids


def peak_kib(pid):
    """The peak resident memory of a process (VmHWM of its /proc status), in KiB."""
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))


# The rows the stand-in extractor (tests/service/fetch/stand_in_extractor_win.cpp) prints for
# an address whose path is /rows.
STAND_IN_ROWS = ["http://media.example/a/1.mp4", "http://media.example/a/2.mp4", "https://media.example/a/3.m3u8"]
