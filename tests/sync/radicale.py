#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A real CalDAV server for the tests: Debian's radicale on a free loopback
port, htpasswd (plain) users, storage in a temporary folder, and with tls a
self-signed certificate made at run time with openssl.

As a module:

    with Radicale(tls=True, users={"anna": "segreta"}) as server:
        url = server.calendar_url("anna", "compleanni")   # made when missing
        with FaultProxy(server) as proxy:
            proxy.fail(507, methods=("PUT",))              # answers Radicale will not give
            proxy.delay(5)
            proxy.redirect("http://127.0.0.1:1/")

As a command it prints one JSON line (url, fingerprint, cafile, proxy) and
serves until stdin closes. Meanwhile it takes one command a line on stdin and
answers each with one JSON line:

    calendar USER NAME [COMP...] -> {"url": ...} (COMP: VEVENT when none)
    fill USER NAME COUNT        -> the calendar holds COUNT events, evento-0 ... (one request)
    answer STATUS FILE [METHOD...] / answer-once ... -> the proxy answers with FILE's bytes
    fail STATUS [METHOD...]     -> the proxy answers STATUS to those methods (all when none)
    fail-once STATUS [METHOD...]
    delay SECONDS [METHOD...]   -> the proxy waits before passing the request on
    redirect URL [METHOD...]    -> the proxy answers 301 with Location: URL + the path
    clear                       -> the proxy passes everything on again
    stop / start                -> the server goes away / comes back (same port, same storage)

It exits 77 when radicale or openssl is missing, the code the tests skip on.
"""

import argparse
import base64
import hashlib
import http.client
import http.server
import json
import os
import shutil
import socket
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

SKIP = 77


class Missing(Exception):
    """A tool the server needs is not installed."""


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process=None, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def make_certificate(folder):
    """A self-signed certificate for 127.0.0.1 and localhost; gives (cert, key, fingerprint)."""
    openssl = shutil.which("openssl")
    if not openssl:
        raise Missing("openssl")
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run([openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-keyout", key, "-out", cert, "-days", "3", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(cert, encoding="ascii") as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    digest = hashlib.sha256(der).hexdigest().upper()
    fingerprint = ":".join(digest[i:i + 2] for i in range(0, len(digest), 2))
    return cert, key, fingerprint


class Radicale:
    def __init__(self, tls=False, users=None, log_level="warning"):
        self.tls = tls
        self.users = dict(users or {"anna": "segreta"})
        self.log_level = log_level
        self.process = None
        self.port = None
        self.fingerprint = None
        self.cafile = None
        self.keyfile = None
        self.folder = None

    # --- life cycle ---

    def __enter__(self):
        self.setup()
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    def setup(self):
        self.binary = shutil.which("radicale")
        if not self.binary:
            raise Missing("radicale")
        # Radicale syncs every file it writes: on tmpfs that costs a quarter of the time.
        shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
        self.folder = tempfile.mkdtemp(prefix="roradaza-radicale-", dir=shm)
        # Root (CI) and a normal user alike: everything lives in our folder.
        os.chmod(self.folder, 0o700)
        if self.tls:
            self.cafile, self.keyfile, self.fingerprint = make_certificate(self.folder)
        users = os.path.join(self.folder, "users")
        with open(users, "w", encoding="utf-8") as f:
            for name, password in self.users.items():
                f.write(f"{name}:{password}\n")
        os.makedirs(os.path.join(self.folder, "storage"))
        self.port = free_port()

    def _write_config(self):
        config = os.path.join(self.folder, "config")
        with open(config, "w", encoding="utf-8") as f:
            f.write(f"""[server]
hosts = 127.0.0.1:{self.port}
max_connections = 20
max_content_length = 300000000
timeout = 120
ssl = {"True" if self.tls else "False"}
""")
            if self.tls:
                f.write(f"certificate = {self.cafile}\nkey = {self.keyfile}\n")
            f.write(f"""
[auth]
type = htpasswd
htpasswd_filename = {os.path.join(self.folder, "users")}
htpasswd_encryption = plain
delay = 0

[rights]
type = owner_only

[storage]
filesystem_folder = {os.path.join(self.folder, "storage")}

[web]
type = none

[logging]
level = {self.log_level}
mask_passwords = True
""")
        return config

    def start(self):
        """Starts the server (again): same port, same storage."""
        if self.process is not None and self.process.poll() is None:
            return
        if self.folder is None:
            self.setup()
        config = self._write_config()
        for attempt in range(5):
            log = open(os.path.join(self.folder, "radicale.log"), "ab")
            self.process = subprocess.Popen([self.binary, "--config", config], stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=log, env=dict(os.environ, HOME=self.folder))
            log.close()
            if wait_for_port(self.port, self.process):
                return
            self.stop()
            if attempt < 4 and self.process.returncode is not None:
                # Someone took the port between our look and radicale's bind.
                self.port = free_port()
                config = self._write_config()
                continue
        raise RuntimeError("radicale did not start: " + self.log())

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        # The port is free again only once nothing listens on it.
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.2):
                    time.sleep(0.05)
            except OSError:
                break

    def close(self):
        self.stop()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None

    def log(self):
        try:
            with open(os.path.join(self.folder, "radicale.log"), encoding="utf-8", errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    # --- addresses and requests ---

    @property
    def url(self):
        return f"{'https' if self.tls else 'http'}://127.0.0.1:{self.port}/"

    def connection(self, timeout=60):
        if self.tls:
            context = ssl.create_default_context(cafile=self.cafile)
            return http.client.HTTPSConnection("127.0.0.1", self.port, timeout=timeout, context=context)
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)

    def request(self, user, method, path, body=None, headers=None):
        """One request as user; gives (status, headers, body)."""
        if isinstance(body, str):
            body = body.encode("utf-8")
        all_headers = {"Authorization": "Basic " + base64.b64encode(
            f"{user}:{self.users[user]}".encode("utf-8")).decode("ascii")}
        all_headers.update(headers or {})
        if path.startswith("http"):
            path = urllib.parse.urlsplit(path).path
        connection = self.connection()
        try:
            connection.request(method, path, body=body, headers=all_headers)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def calendar_url(self, user, name, components=("VEVENT",)):
        """The calendar user/name, made by MKCALENDAR when missing (trailing slash)."""
        path = f"/{urllib.parse.quote(user)}/{urllib.parse.quote(name)}/"
        status, _, _ = self.request(user, "PROPFIND", path, headers={"Depth": "0"})
        if status == 404:
            body = ('<?xml version="1.0" encoding="utf-8"?>'
                    '<C:mkcalendar xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav"><D:set><D:prop>'
                    f'<D:displayname>{name}</D:displayname>'
                    '<C:supported-calendar-component-set>'
                    + "".join(f'<C:comp name="{c}"/>' for c in components) +
                    '</C:supported-calendar-component-set>'
                    '</D:prop></D:set></C:mkcalendar>')
            status, _, answer = self.request(user, "MKCALENDAR", path, body,
                                             {"Content-Type": "application/xml; charset=utf-8"})
            if status not in (201, 405, 409):
                raise RuntimeError(f"MKCALENDAR {path}: {status} {answer[:200]!r}")
        elif status != 207:
            raise RuntimeError(f"PROPFIND {path}: {status}")
        return self.url.rstrip("/") + path

    def put_event(self, user, calendar, uid, body):
        """Adds or replaces one event, as a second client would; gives the status."""
        path = urllib.parse.urlsplit(self.calendar_url(user, calendar)).path + urllib.parse.quote(uid) + ".ics"
        status, _, _ = self.request(user, "PUT", path, body, {"Content-Type": "text/calendar; charset=utf-8"})
        return status


    def fill(self, user, name, count):
        """Replaces the calendar with count yearly all-day events in one request
        (UIDs evento-0 ...); far faster than an event a request."""
        path = urllib.parse.urlsplit(self.calendar_url(user, name)).path
        parts = ["BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Roradaza tests//IT\r\n"]
        for i in range(count):
            month, day = i % 12 + 1, i % 28 + 1
            parts.append(f"BEGIN:VEVENT\r\nUID:evento-{i}\r\nDTSTAMP:20260101T000000Z\r\n"
                         f"DTSTART;VALUE=DATE:2026{month:02}{day:02}\r\nRRULE:FREQ=YEARLY\r\n"
                         f"SUMMARY:Evento numero {i}\r\nEND:VEVENT\r\n")
        parts.append("END:VCALENDAR\r\n")
        status, _, answer = self.request(user, "PUT", path, "".join(parts),
                                         {"Content-Type": "text/calendar; charset=utf-8"})
        if status not in (200, 201, 204):
            raise RuntimeError(f"PUT {path}: {status} {answer[:200]!r}")
        # A whole-collection PUT drops the collection's properties: say again what it holds.
        body = ('<?xml version="1.0" encoding="utf-8"?>'
                '<D:propertyupdate xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav"><D:set><D:prop>'
                f'<D:displayname>{name}</D:displayname>'
                '<C:supported-calendar-component-set><C:comp name="VEVENT"/></C:supported-calendar-component-set>'
                '</D:prop></D:set></D:propertyupdate>')
        self.request(user, "PROPPATCH", path, body, {"Content-Type": "application/xml; charset=utf-8"})
        return status


class FaultProxy:
    """A small HTTP(S) proxy in front of a Radicale (same scheme, same
    certificate) that gives the answers a real server rarely does."""

    def __init__(self, server):
        self.server = server
        self.lock = threading.Lock()
        self._rules = []
        self.port = None
        self.httpd = None
        self.thread = None
        self.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- knobs ---

    def fail(self, status=507, methods=("PUT",), times=None):
        self._add({"kind": "fail", "status": status, "methods": methods, "times": times})

    def delay(self, seconds, methods=None, times=None):
        self._add({"kind": "delay", "seconds": seconds, "methods": methods, "times": times})

    def redirect(self, target=None, methods=None, times=None, status=301):
        """Answers with a redirect to target (default: the server's own address over http) plus the path."""
        target = target or f"http://127.0.0.1:{self.server.port}/"
        self._add({"kind": "redirect", "target": target, "status": status, "methods": methods, "times": times})

    def answer(self, status, body=b"", methods=None, times=None, content_type="application/xml; charset=utf-8"):
        """Answers with a recorded body instead of the server's (another server's spelling)."""
        self._add({"kind": "answer", "status": status, "body": body, "content_type": content_type,
                   "methods": methods, "times": times})

    def clear(self):
        with self.lock:
            self._rules = []

    def _add(self, rule):
        if rule["methods"] is not None:
            rule["methods"] = tuple(m.upper() for m in rule["methods"])
        with self.lock:
            self._rules.append(rule)

    def _rule_for(self, method):
        with self.lock:
            for rule in self._rules:
                if rule["methods"] is None or method in rule["methods"]:
                    if rule["times"] is not None:
                        rule["times"] -= 1
                        if rule["times"] <= 0:
                            self._rules.remove(rule)
                    return dict(rule)
        return None

    # --- serving ---

    @property
    def url(self):
        return f"{'https' if self.server.tls else 'http'}://127.0.0.1:{self.port}/"

    def start(self):
        """Serves (the constructor already did)."""
        if self.httpd:
            return
        proxy = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def handle_any(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else None
                rule = proxy._rule_for(self.command)
                if rule and rule["kind"] == "delay":
                    time.sleep(rule["seconds"])
                    rule = None
                if rule and rule["kind"] == "fail":
                    return self.answer(rule["status"], {"Content-Type": "text/plain"},
                                       f"{rule['status']} made by the test proxy\n".encode())
                if rule and rule["kind"] == "answer":
                    return self.answer(rule["status"], {"Content-Type": rule["content_type"]}, rule["body"])
                if rule and rule["kind"] == "redirect":
                    location = rule["target"].rstrip("/") + self.path
                    return self.answer(rule["status"], {"Location": location}, b"")
                headers = {k: v for k, v in self.headers.items()
                           if k.lower() not in ("host", "connection", "keep-alive", "proxy-connection")}
                try:
                    upstream = proxy.server.connection(timeout=300)
                    upstream.request(self.command, self.path, body=body, headers=headers)
                    response = upstream.getresponse()
                    data = response.read()
                    answer = {k: v for k, v in response.getheaders()
                              if k.lower() not in ("connection", "keep-alive", "transfer-encoding",
                                                   "content-length")}
                    upstream.close()
                except OSError:
                    # The server is gone: so is the connection, as it would be without a proxy.
                    self.close_connection = True
                    return
                self.answer(response.status, answer, data)

            def answer(self, status, headers, data):
                self.send_response(status)
                for k, v in headers.items():
                    self.send_header(k, v)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                if self.command != "HEAD":
                    self.wfile.write(data)

            def __getattr__(self, name):
                if name.startswith("do_"):
                    return self.handle_any
                raise AttributeError(name)

        class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
            daemon_threads = True
            allow_reuse_address = True

            def get_request(self):
                sock, address = super().get_request()
                if proxy.server.tls:
                    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                    context.load_cert_chain(proxy.server.cafile, proxy.server.keyfile)
                    # The handshake happens on the handler's thread: a client that stalls or
                    # refuses the certificate holds up no one else.
                    sock = context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
                return sock, address

            def handle_error(self, request, client_address):
                pass

        self.httpd = Server(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        if self.httpd:
            self.httpd.shutdown()
            self.httpd.server_close()
            self.httpd = None


def serve(args):
    users = {}
    for pair in args.user or ["anna:segreta"]:
        name, _, password = pair.partition(":")
        users[name] = password
    try:
        server = Radicale(tls=args.tls, users=users)
        server.setup()
    except Missing as e:
        print(f"{e} is not installed", file=sys.stderr)
        return SKIP
    try:
        server.start()
        proxy = FaultProxy(server)
        print(json.dumps({"url": server.url, "fingerprint": server.fingerprint, "cafile": server.cafile,
                          "proxy": proxy.url, "folder": server.folder}), flush=True)
        for line in sys.stdin:
            words = line.split()
            if not words:
                continue
            answer = {"ok": True}
            try:
                command, rest = words[0], words[1:]
                if command == "calendar":
                    answer["url"] = server.calendar_url(rest[0], rest[1], tuple(rest[2:]) or ("VEVENT",))
                elif command == "fill":
                    server.fill(rest[0], rest[1], int(rest[2]))
                elif command in ("answer", "answer-once"):
                    with open(rest[1], "rb") as f:
                        proxy.answer(int(rest[0]), f.read(), methods=rest[2:] or None,
                                     times=1 if command == "answer-once" else None)
                elif command in ("fail", "fail-once"):
                    proxy.fail(int(rest[0]), methods=rest[1:] or None, times=1 if command == "fail-once" else None)
                elif command == "delay":
                    proxy.delay(float(rest[0]), methods=rest[1:] or None)
                elif command == "redirect":
                    proxy.redirect(rest[0] if rest else None, methods=rest[1:] or None)
                elif command == "clear":
                    proxy.clear()
                elif command == "stop":
                    server.stop()
                elif command == "start":
                    server.start()
                else:
                    answer = {"ok": False, "error": f"unknown command {command}"}
            except Exception as e:  # the test sees it as an answer, the server keeps serving
                answer = {"ok": False, "error": str(e)}
            print(json.dumps(answer), flush=True)
        proxy.close()
    finally:
        server.close()
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tls", action="store_true", help="https with a self-signed certificate")
    parser.add_argument("--user", action="append", help="NAME:PASSWORD (more than once for more users)")
    return serve(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
