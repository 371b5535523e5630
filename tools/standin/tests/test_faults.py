"""Each fault kind as a socket on the client's side sees it."""

import json
import socket
import threading
import time

from .support import (API, InstanceTest, api_request, envelope, header,
                      raw_exchange)

TIME_REQ = (b"GET /rovavoda.php/rovavoda/api/get_time HTTP/1.1\r\n"
            b"Host: standin\r\nConnection: close\r\n\r\n")


class Faults(InstanceTest):
    def fault(self, kind, action="get_time", **extra):
        self.control("fault", dict(action=action, kind=kind, **extra))

    def assert_normal_time_reply(self, body):
        doc = json.loads(envelope.decrypt_hex(body))
        self.assertEqual(doc["status"], "1")
        int(doc["data"][0])

    def test_status(self):
        self.fault("status", code=503)
        head, body, _ = raw_exchange(self.port, TIME_REQ)
        self.assertTrue(head.startswith("HTTP/1.1 503"), head)
        self.assertEqual(int(header(head, "Content-Length")), len(body))

    def test_delay_then_normal_reply(self):
        self.fault("delay", ms=300)
        start = time.monotonic()
        head, body, _ = raw_exchange(self.port, TIME_REQ)
        self.assertGreaterEqual(time.monotonic() - start, 0.3)
        self.assertIn(" 200 ", head)
        self.assert_normal_time_reply(body)

    def test_drop_announces_more_than_it_sends(self):
        self.fault("drop")
        head, body, closed = raw_exchange(self.port, TIME_REQ)
        announced = int(header(head, "Content-Length"))
        self.assertTrue(closed)
        self.assertGreater(announced, 0)
        self.assertEqual(len(body), announced // 2)

    def test_bad_length(self):
        self.fault("bad_length", length=5)
        head, body, closed = raw_exchange(self.port, TIME_REQ)
        self.assertEqual(header(head, "Content-Length"), "5")
        self.assertGreater(len(body), 5)
        self.assertTrue(closed)
        self.fault("bad_length")
        head, body, closed = raw_exchange(self.port, TIME_REQ)
        self.assertEqual(int(header(head, "Content-Length")), len(body) + 16)
        self.assertTrue(closed)

    def test_no_length_body_ends_at_close(self):
        self.fault("no_length")
        head, body, closed = raw_exchange(self.port, TIME_REQ)
        self.assertIsNone(header(head, "Content-Length"))
        self.assertIsNone(header(head, "Transfer-Encoding"))
        self.assertTrue(closed)
        self.assert_normal_time_reply(body)

    def test_bodies_that_do_not_decrypt(self):
        for kind in ("nonhex", "garbage"):
            with self.subTest(kind=kind):
                self.fault(kind)
                head, body, _ = raw_exchange(self.port, TIME_REQ)
                self.assertIn(" 200 ", head)
                self.assertEqual(int(header(head, "Content-Length")),
                                 len(body))
                with self.assertRaises(envelope.CipherError):
                    envelope.decrypt_hex(body)

    def test_bad_json_deciphers_to_invalid_json(self):
        self.fault("bad_json")
        head, body, _ = raw_exchange(self.port, TIME_REQ)
        plain = envelope.decrypt_hex(body)
        with self.assertRaises(ValueError):
            json.loads(plain)

    def test_times_then_normal(self):
        self.fault("status", code=500, times=2)
        for expected in ("500", "500", "200", "200"):
            head, _, _ = raw_exchange(self.port, TIME_REQ)
            self.assertEqual(head.split()[1], expected)

    def test_fault_by_path_leaves_other_paths_alone(self):
        self.control("fault", {"path": "/soft/sq/update/version_lastest.htm",
                               "kind": "status", "code": 404})
        head, _, _ = raw_exchange(
            self.port, b"GET /soft/sq/update/version_lastest.htm HTTP/1.1\r\n"
                       b"Host: h\r\nConnection: close\r\n\r\n")
        self.assertIn(" 404 ", head)
        head, _, _ = raw_exchange(self.port, TIME_REQ)
        self.assertIn(" 200 ", head)

    def test_redirect_points_to_itself_unless_told(self):
        self.fault("redirect")
        head, _, _ = raw_exchange(self.port, TIME_REQ)
        self.assertIn(" 302 ", head)
        self.assertEqual(header(head, "Location"), API + "get_time")
        self.fault("redirect", code=301, location="/elsewhere")
        head, _, _ = raw_exchange(self.port, TIME_REQ)
        self.assertIn(" 301 ", head)
        self.assertEqual(header(head, "Location"), "/elsewhere")

    def test_fault_removed_by_kind_none(self):
        self.fault("status", code=500)
        self.fault("none")
        head, _, _ = raw_exchange(self.port, TIME_REQ)
        self.assertIn(" 200 ", head)

    def test_faulted_requests_are_still_logged(self):
        self.fault("garbage", action="login")
        raw_exchange(self.port, api_request("login", {"time": "1",
                                                      "user": "demo",
                                                      "pass": "x"}))
        self.assertEqual(self.control("received?action=login")[0]
                         ["document"]["user"], "demo")


class Hang(InstanceTest):
    def start_hanging_request(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        s.sendall(TIME_REQ)
        self.addCleanup(s.close)
        return s

    def wait_logged(self, n):
        deadline = time.monotonic() + 3
        while len(self.control("received")) < n:
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.01)

    def test_hang_blocks_only_its_own_request_until_reset(self):
        self.control("fault", {"action": "get_time", "kind": "hang"})
        s = self.start_hanging_request()
        self.wait_logged(1)
        s.settimeout(0.3)
        with self.assertRaises(socket.timeout):
            s.recv(1)
        # Other requests, and the control interface, go on meanwhile.
        self.assertEqual(self.call("get_sq_num", {"time": "1"})["status"],
                         "1")
        self.control("reset", {})
        s.settimeout(3)
        self.assertEqual(s.recv(1), b"")    # closed without an answer
        self.assertIn(" 200 ", raw_exchange(self.port, TIME_REQ)[0])

    def test_close_releases_hanging_requests(self):
        self.control("fault", {"action": "get_time", "kind": "hang"})
        s = self.start_hanging_request()
        self.wait_logged(1)
        done = threading.Event()
        threading.Thread(target=lambda: (self.inst.close(), done.set()),
                         daemon=True).start()
        self.assertTrue(done.wait(3))
        s.settimeout(3)
        self.assertEqual(s.recv(1), b"")
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", self.port), timeout=1)
