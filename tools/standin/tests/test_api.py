"""Every action, round trip through a real HTTP client."""

import json
import time

from .support import API, InstanceTest, envelope

PROFILE = ("uid", "id", "title", "contact_name", "nickname", "department",
           "cert_status", "posted_flag")


class Login(InstanceTest):
    def login(self, user, password):
        return self.call("login", {"time": "1", "user": user,
                                   "pass": password})

    def test_demo_profile_is_all_strings(self):
        reply = self.login("demo", "demo123")
        self.assertEqual(reply["status"], "1")
        self.assertEqual(sorted(reply["data"]), sorted(PROFILE))
        self.assertTrue(all(isinstance(v, str)
                            for v in reply["data"].values()))
        self.assertEqual(reply["data"]["uid"], "12345")

    def test_chinese_profile_is_sent_escaped(self):
        plain = self.call_raw("login", {"time": "1", "user": "zhang",
                                        "pass": "zhang123"})
        self.assertTrue(plain.isascii())
        self.assertIn(b"\\u", plain)
        data = json.loads(plain)["data"]
        self.assertEqual((data["uid"], data["title"], data["contact_name"],
                          data["nickname"], data["department"]),
                         ("1001", "云帆国际旅行社", "张三", "小张", "市场部"))

    def test_error_codes(self):
        cases = [("err1", "x", "-1"), ("nobody", "demo123", "-1"),
                 ("demo", "wrong", "-2"), ("zhang", "", "-2"),
                 ("err2", "err2", "-2"), ("err3", "anything", "-3"),
                 ("err4", "err4", "-4"), ("err5", "err5", "-5")]
        for user, password, code in cases:
            with self.subTest(user=user):
                reply = self.login(user, password)
                self.assertEqual(reply["data"], [code])
                # The client drops replies whose status is negative.
                self.assertGreaterEqual(int(reply["status"]), 0)

    def test_added_account_with_chinese_name(self):
        self.state(accounts=[{"user": "李四", "password": "密码1",
                              "uid": 777, "title": "四海旅行社"}])
        reply = self.login("李四", "密码1")
        self.assertEqual(reply["data"]["uid"], "777")
        self.assertEqual(reply["data"]["title"], "四海旅行社")
        self.assertEqual(self.state()["logins"][-1]["user"], "李四")


class Session(InstanceTest):
    def test_get_time_follows_the_model_clock(self):
        before = int(time.time())
        t = int(self.call("get_time")["data"][0])
        self.assertTrue(before <= t <= int(time.time()))
        self.state(now=1500000000, freeze=True)
        self.assertEqual(self.call("get_time")["data"], ["1500000000"])
        self.state(now=1600000000)
        t = int(self.call("get_time")["data"][0])
        self.assertTrue(1600000000 <= t <= 1600000005)   # still running

    def test_get_time_also_answers_a_post(self):
        self.state(now=42, freeze=True)
        self.assertEqual(self.call("get_time", {"time": "1"})["data"],
                         ["42"])

    def test_post_counts(self):
        self.state(sq_total=12, sq_today=3)
        self.assertEqual(self.call("get_sq_num", {"time": "1"})["data"],
                         {"total": "12", "today": "3"})

    def post(self, content, uid="12345", type_="0"):
        reply = self.call("add_sq", {"time": "1", "uid": uid,
                                     "content": content, "type": type_,
                                     "param": "1"})
        return int(reply["data"][0])

    def test_accepted_inquiry_earns_a_point_and_counts(self):
        before = self.call("get_sq_num", {"time": "1"})["data"]
        self.assertEqual(self.post("求北京三日游地接报价"), 101)
        self.assertEqual(self.post("求上海三日游地接报价"), 102)
        self.assertEqual(self.post("推广：厦门特价团", type_="1"), 102)
        after = self.call("get_sq_num", {"time": "1"})["data"]
        self.assertEqual(int(after["total"]), int(before["total"]) + 3)
        self.assertEqual(int(after["today"]), int(before["today"]) + 3)
        posts = self.state()["posts"]
        self.assertEqual([p["content"] for p in posts][0], "求北京三日游地接报价")

    def test_post_result_codes(self):
        self.assertEqual(self.post("__code:-3"), -3)
        self.assertEqual(self.post("__code:0"), 0)
        self.assertEqual(self.post("__code:37"), 37)
        self.assertEqual(self.post("求北京地接", uid="999"), -1)
        self.assertEqual(self.post("   "), -4)
        self.assertEqual(self.post("四个字啊"), -2)
        self.assertEqual(self.post("长" * 141), -3)
        self.assertGreater(self.post("长" * 140), 0)
        self.assertGreater(self.post("求北京五日游"), 0)
        self.assertEqual(self.post("求北京五日游"), -7)
        self.state(accounts=[{"user": "demo", "frozen": True}])
        self.assertEqual(self.post("求广州二日游"), -13)

    def test_daily_limit(self):
        for i in range(100):
            self.assertGreater(self.post("询价第%03d条" % i), 0)
        self.assertEqual(self.post("询价第100条"), -6)

    def test_login_log_is_recorded(self):
        for action in ("startup", "login", "logout", "exit"):
            reply = self.call("login_log", {"time": "9", "uid": "12345",
                                            "action": action,
                                            "pccode": "00163E5A1B2C"})
            self.assertEqual(reply["data"], ["1"])
        logs = self.state()["login_logs"]
        self.assertEqual([l["action"] for l in logs],
                         ["startup", "login", "logout", "exit"])
        self.assertEqual(logs[0]["pccode"], "00163E5A1B2C")


class MessageCentre(InstanceTest):
    def test_message_count(self):
        self.state(msg_count=5)
        self.assertEqual(self.call("get_new_msg_count",
                                   {"time": "1", "uid": "12345"})["data"],
                         ["5"])
        self.state(msg_count={"1001": 9})
        self.assertEqual(self.call("get_new_msg_count",
                                   {"time": "1", "uid": "1001"})["data"],
                         ["9"])
        self.assertEqual(self.call("get_new_msg_count",
                                   {"time": "1", "uid": "12345"})["data"],
                         ["5"])

    def test_seeded_notices_are_escaped_chinese(self):
        plain = self.call_raw("get_important_notice",
                              {"time": "1", "uid": "12345"})
        self.assertTrue(plain.isascii())
        notices = json.loads(plain)["data"]
        self.assertGreaterEqual(len(notices), 1)
        for n in notices:
            self.assertEqual(sorted(n), ["caption", "content", "more",
                                         "title"])
        self.assertEqual(notices[0]["title"], "重要通知")

    def test_notices_of_any_shape(self):
        odd = ["skip me", {"title": 3, "caption": "c", "content": "正文"}]
        self.state(notices=odd)
        self.assertEqual(self.call("get_important_notice",
                                   {"time": "1", "uid": "1"})["data"], odd)

    def test_token_is_fresh_and_remembered_per_uid(self):
        first = self.call("get_token", {"time": "1", "uid": "12345",
                                        "pccode": "AA"})["data"][0]
        second = self.call("get_token", {"time": "1", "uid": "12345",
                                         "pccode": "AA"})["data"][0]
        other = self.call("get_token", {"time": "1", "uid": "1001",
                                        "pccode": "AA"})["data"][0]
        self.assertNotEqual(first, second)
        self.assertEqual(self.state()["tokens"],
                         {"12345": second, "1001": other})
        self.state(token="fixed-token")
        self.assertEqual(self.call("get_token", {"time": "1", "uid": "7",
                                                 "pccode": "AA"})["data"],
                         ["fixed-token"])


class Subscription(InstanceTest):
    def rss_num(self, lasttime, now, uid="12345"):
        reply = self.call("get_mysqrss_num", {"time": str(now), "uid": uid,
                                              "lasttime": str(lasttime)})
        return int(reply["data"][0])

    def test_province_list_round_trip(self):
        self.assertEqual(self.call("get_sq_rss", {"time": "1",
                                                  "uid": "12345"})["data"],
                         ["11,35,"])
        self.assertEqual(self.call("get_sq_rss", {"time": "1",
                                                  "uid": "2048"})["data"],
                         ["-1"])
        self.assertEqual(self.call("get_sq_rss", {"time": "1",
                                                  "uid": "424242"})["data"],
                         ["-1"])
        self.call("add_sq_rss", {"time": "1", "uid": "12345",
                                 "prov_list": "44,"})
        self.assertEqual(self.call("get_sq_rss", {"time": "1",
                                                  "uid": "12345"})["data"],
                         ["44,"])
        self.assertEqual(self.state()["rss_updates"][-1]["prov_list"], "44,")

    def test_counts_each_inquiry_once_across_polls(self):
        self.state(clear_inquiries=True, inquiries=[
            {"province": 11, "time": 1000}, {"province": 35, "time": 1005},
            {"province": 44, "time": 1005}, {"province": 11, "time": 1010}])
        self.assertEqual(self.rss_num(999, 1004), 1)
        self.assertEqual(self.rss_num(1004, 1005), 1)   # 44 not subscribed
        self.assertEqual(self.rss_num(1005, 1009), 0)
        self.assertEqual(self.rss_num(1009, 2000), 1)
        self.assertEqual(self.rss_num(0, 2000), 3)

    def test_whole_country_and_nothing(self):
        self.state(clear_inquiries=True, inquiries=[
            {"province": 11, "time": 10}, {"province": 99, "time": 10},
            {"province": 101, "time": 10}, {"time": 10}])
        self.state(provinces={"12345": "0"})
        self.assertEqual(self.rss_num(0, 20), 3)        # abroad left out
        self.state(provinces={"12345": "-1"})
        self.assertEqual(self.rss_num(0, 20), 0)
        self.state(provinces={"12345": "99,"})
        self.assertEqual(self.rss_num(0, 20), 2)        # 99 and any-province

    def test_added_inquiry_reaches_the_next_poll(self):
        self.state(now=5000, freeze=True, clear_inquiries=True)
        self.state(inquiries=[{"province": 35}])
        # A poll built in the current second has already been answered.
        self.assertEqual(self.rss_num(4990, 5000), 0)
        self.assertEqual(self.rss_num(5000, 5010), 1)
        self.assertEqual(self.rss_num(5010, 5020), 0)


class Envelope(InstanceTest):
    def test_unknown_action_and_bad_signs(self):
        minus = {"status": "-1", "data": ["-1"]}
        self.assertEqual(self.call("no_such_action", {"time": "1"}), minus)
        form = {"Content-Type": "application/x-www-form-urlencoded"}
        for body in (b"sign=&ver=1.0.0.0", b"sign=XYZ&ver=1",
                     b"sign=%s&ver=1" % envelope.encrypt_hex(b"oops")
                     .encode(), b"", b"ver=1"):
            with self.subTest(body=body):
                status, _, reply = self.http(API + "login", body, form,
                                             method="POST")
                self.assertEqual(status, 200)
                self.assertEqual(json.loads(envelope.decrypt_hex(reply)),
                                 minus)

    def test_lower_case_sign_and_received_record(self):
        sign = envelope.encrypt_hex(envelope.styled_document(
            {"time": "1", "user": "demo", "pass": "demo123"})).lower()
        status, headers, body = self.http(
            API + "login", ("sign=%s&ver=2.0.1.7" % sign).encode(),
            {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(status, 200)
        self.assertEqual(body, body.upper())
        self.assertEqual(int(headers["Content-Length"]), len(body))
        rec = self.control("received")[-1]
        self.assertEqual(rec["action"], "login")
        self.assertEqual(rec["form"]["ver"], "2.0.1.7")
        self.assertEqual(rec["document"]["user"], "demo")
        self.assertEqual(rec["headers"]["Content-Type"],
                         "application/x-www-form-urlencoded")

    def test_ansi_members_are_read(self):
        body = envelope.request_body({"time": "1", "uid": "12345",
                                      "prov_list": "11,"}, encoding="gbk")
        self.http(API + "add_sq_rss", body)
        raw = (b'{\n   "content" : "' + "求北京地接报价".encode("gbk")
               + b'",\n   "param" : "1",\n   "time" : "1",\n'
               b'   "type" : "0",\n   "uid" : "12345"\n}\n')
        body = b"sign=" + envelope.encrypt_hex(raw).encode() + b"&ver=1"
        status, _, reply = self.http(API + "add_sq", body)
        self.assertGreater(int(json.loads(envelope.decrypt_hex(reply))
                               ["data"][0]), 0)
        self.assertEqual(self.state()["posts"][-1]["content"], "求北京地接报价")
