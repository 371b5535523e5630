"""Control interface: spawn, reset, reply overrides, log, state, CLI."""

import json
import os
import signal
import subprocess
import sys
import tempfile
import time

from .support import API, STANDIN, InstanceTest, http


class Spawn(InstanceTest):
    def test_spawned_instances_are_isolated(self):
        child = self.control("spawn", {})["port"]
        self.addCleanup(self.control, "close", {}, port=child, expect=200)
        self.assertNotEqual(child, self.port)
        self.control("state", {"msg_count": 42}, port=child)
        self.control("fault", {"action": "get_time", "kind": "status",
                               "code": 500}, port=child)
        self.assertEqual(self.control("state", port=child)["msg_count"], 42)
        self.assertEqual(self.state()["msg_count"], 2)
        self.assertEqual(http(self.port, API + "get_time")[0], 200)
        self.assertEqual(http(child, API + "get_time")[0], 500)
        self.assertEqual(len(self.control("received")), 1)
        self.assertEqual(len(self.control("received", port=child)), 1)

    def test_close_answers_then_stops_listening(self):
        child = self.control("spawn", {})["port"]
        self.assertEqual(self.control("close", {}, port=child), {"ok": True})
        deadline = time.monotonic() + 3
        while True:
            try:
                http(child, "/__control/ping")
            except OSError:
                break
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.02)
        self.assertTrue(self.control("ping")["ok"])

    def test_reset_restores_the_seed(self):
        seed = self.state()
        self.state(msg_count=0, notices=[], sq_total=1,
                   accounts=[{"user": "x", "password": "y"}])
        self.call("login_log", {"time": "1", "uid": "1", "action": "login",
                                "pccode": ""})
        self.control("reply", {"action": "get_time", "document": {}})
        self.control("fault", {"action": "get_sq_num", "kind": "garbage"})
        self.control("reset", {})
        after = self.state()
        for key in ("msg_count", "notices", "sq_total", "accounts",
                    "login_logs"):
            self.assertEqual(after[key], seed[key], key)
        # The seeded feed is dated relative to the reset.
        self.assertEqual([(i["province"], i["content"])
                          for i in after["inquiries"]],
                         [(i["province"], i["content"])
                          for i in seed["inquiries"]])
        self.assertEqual(self.control("received"), [])
        self.assertEqual(self.call("get_time")["status"], "1")
        self.assertEqual(self.call("get_sq_num", {"time": "1"})["status"],
                         "1")


class ReplyOverride(InstanceTest):
    def test_document_is_enciphered_with_the_action_escaping(self):
        self.control("reply", {"action": "login",
                               "document": {"status": "1",
                                            "data": {"nickname": "小张"}}})
        self.assertIn(b"\\u5c0f", self.call_raw("login", {"time": "1"}))
        self.control("reply", {"action": "get_sq_rss",
                               "document": {"status": "1", "data": ["北京"]}})
        self.assertEqual(self.call_raw("get_sq_rss", {"time": "1"}),
                         '{"status": "1", "data": ["北京"]}'.encode("gbk"))

    def test_plaintext_body_and_hex(self):
        self.control("reply", {"action": "get_time",
                               "plaintext": "{ not json"})
        self.assertEqual(self.call_raw("get_time"), b"{ not json")
        self.control("reply", {"path": "/notice", "body": "<p>hi</p>",
                               "status": 201,
                               "headers": {"Content-Type": "text/plain",
                                           "X-Test": "1"}})
        status, headers, body = self.http("/notice")
        self.assertEqual((status, body), (201, b"<p>hi</p>"))
        self.assertEqual(headers["Content-Type"], "text/plain")
        self.assertEqual(headers["X-Test"], "1")
        self.control("reply", {"path": "/notice", "body_hex": "00ff10"})
        self.assertEqual(self.http("/notice")[2], b"\x00\xff\x10")

    def test_times_and_clear(self):
        self.control("reply", {"action": "get_time", "times": 1,
                               "document": {"status": "1", "data": ["7"]}})
        self.assertEqual(self.call("get_time")["data"], ["7"])
        self.assertNotEqual(self.call("get_time")["data"], ["7"])
        self.control("reply", {"path": "/", "body": "override"})
        self.assertEqual(self.http("/")[2], b"override")
        self.control("reply", {"path": "/", "clear": True})
        self.assertNotEqual(self.http("/")[2], b"override")

    def test_path_with_query_is_matched_before_path(self):
        self.control("reply", {"path": "/soft/sq?soft", "body": "q"})
        self.control("reply", {"path": "/soft/sq", "body": "p"})
        self.assertEqual(self.http("/soft/sq?soft")[2], b"q")
        self.assertEqual(self.http("/soft/sq")[2], b"p")

    def test_control_body_in_the_ansi_code_page(self):
        body = '{"accounts": [{"user": "王五", "password": "x"}]}'
        status, _, _ = self.http("/__control/state", body.encode("gbk"))
        self.assertEqual(status, 200)
        self.assertIn("王五", [a["user"] for a in self.state()["accounts"]])

    def test_bad_control_input(self):
        for name, obj in (("reply", {"action": "x"}),
                          ("reply", {"document": {}}),
                          ("reply", {"action": "x", "body": "a",
                                     "body_hex": "00"}),
                          ("reply", {"action": "x", "body_hex": "0g"}),
                          ("fault", {"action": "x", "kind": "explode"}),
                          ("state", {"no_such_key": 1})):
            with self.subTest(name=name, obj=obj):
                self.assertIn("error", self.control(name, obj, expect=400))


class Received(InstanceTest):
    def test_record_fields_and_filters(self):
        self.call("get_sq_num", {"time": "11"})
        self.http("/rovavoda.php/rovavoda/sq?sq_type=1",
                  b"from_tavo_soft=1700000000",
                  {"Content-Type": "application/x-www-form-urlencoded"})
        log = self.control("received")
        self.assertEqual(len(log), 2)
        api, page = log
        self.assertEqual(api["method"], "POST")
        self.assertEqual(api["path"], API + "get_sq_num")
        self.assertEqual(api["document"], {"time": "11"})
        self.assertEqual(api["member_hex"], {"time": "3131"})
        self.assertIn('"time" : "11"', api["plaintext"])
        self.assertEqual(bytes.fromhex(api["body_hex"]),
                         api["body"].encode("latin-1"))
        self.assertEqual(page["query"], "sq_type=1")
        self.assertEqual(page["form"], {"from_tavo_soft": "1700000000"})
        self.assertIsNone(page["document"])
        self.assertLessEqual(abs(page["time"] - time.time()), 5)
        only = self.control("received?action=get_sq_num")
        self.assertEqual([e["action"] for e in only], ["get_sq_num"])
        self.control("clear", {})
        self.assertEqual(self.control("received"), [])

    def test_control_requests_are_not_logged(self):
        self.control("state")
        self.assertEqual(self.control("received"), [])


class CommandLine(InstanceTest):
    def test_port_file_banner_and_sigterm(self):
        with tempfile.TemporaryDirectory() as tmp:
            port_file = os.path.join(tmp, "port")
            proc = subprocess.Popen(
                [sys.executable, os.path.join(STANDIN, "server.py"),
                 "--port", "0", "--port-file", port_file],
                stdout=subprocess.PIPE, text=True)
            try:
                line = proc.stdout.readline().strip()
                with open(port_file) as f:
                    port = int(f.read())
                self.assertEqual(line,
                                 "standin listening on 127.0.0.1:%d" % port)
                child = json.loads(http(port, "/__control/spawn",
                                        b"{}")[2])["port"]
                self.assertEqual(http(child, "/__control/ping")[0], 200)
                proc.send_signal(signal.SIGTERM)
                self.assertEqual(proc.wait(5), 0)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
                proc.stdout.close()
