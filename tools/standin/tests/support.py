"""Helpers: one fresh in-process instance per test, and plain clients."""

import json
import os
import socket
import sys
import unittest
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
STANDIN = os.path.dirname(HERE)
if STANDIN not in sys.path:
    sys.path.insert(0, STANDIN)

import envelope  # noqa: E402
import server  # noqa: E402

API = "/rovavoda.php/rovavoda/api/"


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


OPENER = urllib.request.build_opener(NoRedirect)


def http(port, path, data=None, headers=None, method=None):
    """(status, headers, body) of one request; errors are answers too."""
    req = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path),
                                 data=data, headers=headers or {},
                                 method=method)
    try:
        with OPENER.open(req, timeout=10) as resp:
            return resp.status, resp.headers, resp.read()
    except urllib.error.HTTPError as err:
        return err.code, err.headers, err.read()


def raw_exchange(port, request: bytes, timeout=5.0):
    """Sends raw bytes and reads until the peer closes or goes quiet.
    Returns (head_text, body_bytes, closed_by_peer)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(request)
        data, closed = b"", False
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    closed = True
                    break
                data += chunk
                head, sep, body = data.partition(b"\r\n\r\n")
                if sep and b"content-length:" in head.lower():
                    length = int(head.lower().split(b"content-length:")[1]
                                 .split(b"\r\n")[0])
                    if len(body) >= length and b"close" not in head.lower():
                        break
        except socket.timeout:
            pass
    head, _, body = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), body, closed


def header(head_text, name):
    for line in head_text.split("\r\n")[1:]:
        key, _, value = line.partition(":")
        if key.strip().lower() == name.lower():
            return value.strip()
    return None


def api_request(action, members, ver="1.0.0.0"):
    body = envelope.request_body(members, ver)
    return (("POST %s%s HTTP/1.1\r\nHost: standin\r\n"
             "Content-Type: application/x-www-form-urlencoded\r\n"
             "Content-Length: %d\r\nConnection: close\r\n\r\n")
            % (API, action, len(body))).encode("ascii") + body


class InstanceTest(unittest.TestCase):
    """Each test gets its own instance, as the client's tests do."""

    @classmethod
    def setUpClass(cls):
        cls.registry = server.Registry()

    @classmethod
    def tearDownClass(cls):
        cls.registry.close_all()

    def setUp(self):
        self.inst = self.registry.spawn(0)
        self.port = self.inst.port
        self.addCleanup(self.inst.close)

    def http(self, path, data=None, headers=None, method=None, port=None):
        return http(port or self.port, path, data, headers, method)

    def control(self, name, obj=None, port=None, expect=200):
        data = None if obj is None else json.dumps(obj).encode("utf-8")
        status, _, body = self.http("/__control/" + name, data,
                                    {"Content-Type": "application/json"},
                                    method="GET" if obj is None else "POST",
                                    port=port)
        self.assertEqual(status, expect, body)
        return json.loads(body)

    def state(self, **values):
        if values:
            return self.control("state", values)
        return self.control("state")

    def call_raw(self, action, members=None, ver="1.0.0.0"):
        """(status, plaintext bytes) of an enveloped action."""
        if members is None and action == "get_time":
            status, _, body = self.http(API + action)
        else:
            status, _, body = self.http(
                API + action, envelope.request_body(members or {}, ver),
                {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(status, 200, body)
        return envelope.decrypt_hex(body)

    def call(self, action, members=None, **kw):
        """The decoded reply document, read as the client reads it."""
        plain = self.call_raw(action, members, **kw)
        return json.loads(plain.decode("gbk"))
