"""Web paths: avatar, card-page login, single sign-on, pages, updates."""

import hashlib
import json
import re
import struct
import zlib
from urllib.parse import quote_from_bytes

from .support import InstanceTest, envelope

FORM = {"Content-Type": "application/x-www-form-urlencoded"}


def read_png(data):
    """(width, height, raw scanlines) after checking every chunk CRC."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, size = 8, b"", None
    while pos < len(data):
        length, tag = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        assert zlib.crc32(tag + chunk) & 0xFFFFFFFF == crc, tag
        if tag == b"IHDR":
            size = struct.unpack(">II", chunk[:8])
        elif tag == b"IDAT":
            idat += chunk
        pos += 12 + length
    return size[0], size[1], zlib.decompress(idat)


class Avatar(InstanceTest):
    def test_folder_is_uid_rounded_up_to_thousands(self):
        self.state(accounts=[{"user": "a", "uid": 1000},
                             {"user": "b", "uid": 1},
                             {"user": "c", "uid": 0}])
        for folder, uid in ((1, 1000), (2, 1001), (1, 1), (0, 0),
                            (13, 12345)):
            with self.subTest(uid=uid):
                status, headers, body = self.http(
                    "/uploads/photos/%d/s_%d.png" % (folder, uid))
                self.assertEqual(status, 200)
                self.assertEqual(headers["Content-Type"], "image/png")
                width, height, raw = read_png(body)
                self.assertEqual(len(raw), height * (1 + 3 * width))

    def test_wrong_folder_or_unknown_uid_is_404(self):
        for path in ("/uploads/photos/12/s_12345.png",
                     "/uploads/photos/1/s_999.png",
                     "/uploads/photos/13/12345.png",
                     "/uploads/photos/x/s_y.png"):
            with self.subTest(path=path):
                self.assertEqual(self.http(path)[0], 404)


class CardPageLogin(InstanceTest):
    TAIL = b"&submit_btn=%B5%C7+%C2%BC&action=login&forward="

    def login(self, user: bytes, password: bytes):
        body = b"username=" + user + b"&password=" + password + self.TAIL
        return self.http("/login/cardpage/dologin", body,
                         dict(FORM, Connection="Keep-Alive"))

    def test_success_sets_cookie_and_is_recorded(self):
        status, headers, body = self.login(b"demo", b"demo123")
        self.assertEqual(status, 200)
        self.assertRegex(headers["Set-Cookie"], r"^tavo_web=\w+; Path=/")
        self.assertIn("登录成功", body.decode("gbk"))
        rec = self.state()["card_logins"][-1]
        self.assertEqual((rec["username"], rec["ok"], rec["submit_btn"],
                          rec["action"]), ("demo", True, "登 录", "login"))

    def test_gbk_percent_encoded_credentials(self):
        self.state(accounts=[{"user": "张三&=", "password": "密 码",
                              "uid": 55}])
        user = quote_from_bytes("张三&=".encode("gbk"))
        password = quote_from_bytes("密 码".encode("gbk"))
        status, headers, _ = self.login(user.encode(), password.encode())
        self.assertIsNotNone(headers["Set-Cookie"])
        rec = self.state()["card_logins"][-1]
        self.assertEqual((rec["username"], rec["password"], rec["ok"]),
                         ("张三&=", "密 码", True))

    def test_failure_is_a_200_page_without_cookie(self):
        for user, password in ((b"demo", b"nope"), (b"ghost", b"x"),
                               (b"err3", b"err3")):
            status, headers, body = self.login(user, password)
            self.assertEqual(status, 200)
            self.assertIsNone(headers["Set-Cookie"])
            self.assertIn("失败", body.decode("gbk"))
        self.assertEqual([r["ok"] for r in self.state()["card_logins"]],
                         [False] * 3)


class SingleSignOn(InstanceTest):
    PCCODE = "00163E5A1B2C"

    def token(self, uid="12345"):
        return self.call("get_token", {"time": "1", "uid": uid,
                                       "pccode": self.PCCODE})["data"][0]

    def alogin(self, token, uid="12345", t="1700000000",
               url="http://127.0.0.1/notice", digest=None):
        if digest is None:
            digest = hashlib.md5((token + t + self.PCCODE + uid)
                                 .encode()).hexdigest()
        doc = envelope.styled_document(
            {"token": digest, "time": t, "uid": uid, "pccode": self.PCCODE,
             "defaulturl": url}, "gbk")
        return self.http("/alogin?sign=%s&ver=1.0.0.3"
                         % envelope.encrypt_hex(doc))

    def test_valid_digest_redirects(self):
        status, headers, _ = self.alogin(self.token())
        self.assertEqual(status, 302)
        self.assertEqual(headers["Location"], "http://127.0.0.1/notice")
        self.assertIn("tavo_web=", headers["Set-Cookie"])
        last = self.state()["alogin"]
        self.assertTrue(last["ok"])
        self.assertEqual((last["uid"], last["ver"]), ("12345", "1.0.0.3"))

    def test_only_the_last_issued_token_counts(self):
        old = self.token()
        self.token()
        self.assertEqual(self.alogin(old)[0], 403)
        self.assertEqual(self.state()["alogin"]["reason"], "digest mismatch")

    def test_refusals(self):
        token = self.token()
        self.assertEqual(self.alogin(token, digest=token)[0], 403)
        self.assertEqual(self.alogin(token, uid="1001")[0], 403)
        self.assertEqual(self.state()["alogin"]["reason"],
                         "no token issued to uid")
        self.assertEqual(self.http("/alogin?sign=ZZ&ver=1")[0], 403)
        self.assertEqual(len(self.state()["alogins"]), 3)

    def test_chinese_target_is_percent_encoded_as_gbk(self):
        status, headers, _ = self.alogin(self.token(),
                                         url="http://127.0.0.1/搜索?q=北京")
        self.assertEqual(status, 302)
        self.assertEqual(self.state()["alogin"]["defaulturl_hex"],
                         "http://127.0.0.1/搜索?q=北京".encode("gbk").hex())
        self.assertEqual(headers["Location"], "http://127.0.0.1/%CB%D1%CB%F7"
                                              "?q=%B1%B1%BE%A9")


class Pages(InstanceTest):
    def text(self, path, **kw):
        status, headers, body = self.http(path, **kw)
        self.assertEqual(status, 200, path)
        return body.decode("gbk")

    def test_list_pages_carry_the_client_elements(self):
        for sub in ("", "/mysq", "/my_sq_rss", "?sq_type=1", "?sq_type=2"):
            with self.subTest(sub=sub):
                html = self.text("/rovavoda.php/rovavoda/sq" + sub,
                                 data=b"from_tavo_soft=1700000000",
                                 headers=FORM)
                for element in ("web_login", "post_new", "rss_config"):
                    self.assertIn('id="%s"' % element, html)

    def test_list_pages_follow_the_web_session(self):
        self.call("add_sq", {"time": "1", "uid": "12345", "type": "0",
                             "param": "1", "content": "求西藏七日游报价"})
        self.assertIn("求西藏七日游报价",
                      self.text("/rovavoda.php/rovavoda/sq"))
        self.assertIn("请先登录", self.text("/rovavoda.php/rovavoda/sq/mysq"))
        _, headers, _ = self.http("/login/cardpage/dologin",
                                  b"username=demo&password=demo123", FORM)
        cookie = {"Cookie": headers["Set-Cookie"].split(";")[0]}
        mine = self.text("/rovavoda.php/rovavoda/sq/mysq", headers=cookie)
        self.assertIn("求西藏七日游报价", mine)
        rss = self.text("/rovavoda.php/rovavoda/sq/my_sq_rss", headers=cookie)
        self.assertIn("[福建]", rss)          # demo subscribes to 11 and 35
        self.assertNotIn("[广东]", rss)

    def test_other_pages(self):
        for path in ("/", "/?soft", "/notice", "/intro?from_soft",
                     "/reg/getback_pass", "/blog/lb_info/3761",
                     "/guestbook/?soft", "/soft/sq?soft", "/12345"):
            with self.subTest(path=path):
                self.text(path)
        self.assertEqual(self.http("/424242")[0], 404)
        self.assertEqual(self.http("/no/such/page")[0], 404)


class UpdateFiles(InstanceTest):
    BASE = "/soft/sq/update/"

    def get(self, sub):
        return self.http(self.BASE + sub)

    def test_seeded_files(self):
        status, _, body = self.get("update_app/update_exe_version.htm")
        self.assertEqual((status, body), (200, b"lastVersion=1.0.0.1"))
        lines = self.get("version_lastest.htm")[2].decode().split("\n")
        self.assertIn("lastVersion=1.0.1.0", lines)
        cfg = json.loads(self.get("update_notice/1.0.1.0/notice_config")[2]
                         .decode("gbk"))
        self.assertEqual(cfg["general"]["on"], "true")
        self.assertIn("specialoff", cfg)
        status, _, layout = self.get("update_notice/1.0.1.0/notice_info/"
                                     + cfg["general"]["file"])
        self.assertEqual(status, 200)
        text = layout.decode("utf-8")
        self.assertTrue(text.lstrip("\ufeff").startswith("<?xml"))
        for name in ("BtnExit", "BtnOK", "CloseNotice", "LinkMore"):
            self.assertIn('name="%s"' % name, text)
        self.assertEqual(self.get("update_notice/9.9.9.9/notice_config")[0],
                         404)

    def test_carriage_return_in_version_is_tolerated(self):
        self.assertEqual(
            self.get("update_notice/1.0.1.0%0D/notice_config")[0], 200)

    def test_files_set_through_state(self):
        self.state(updater_version="1.0.0.5", update_exe_hex="4d5a0001",
                   latest_version="2.1",
                   notice_config={"2.1": {"general": {"on": "True"}},
                                  "1.0.1.0": None},
                   notice_info={"2.1/n.xml": "<Window/>"})
        self.assertEqual(self.get("update_app/update_exe_version.htm")[2],
                         b"lastVersion=1.0.0.5")
        status, headers, body = self.get("update_app/update.exe")
        self.assertEqual((status, body), (200, b"MZ\x00\x01"))
        self.assertEqual(headers["Content-Length"], "4")
        self.assertIn(b"lastVersion=2.1\n", self.get("version_lastest.htm")[2])
        self.assertEqual(self.get("update_notice/2.1/notice_config")[2],
                         b'{"general": {"on": "True"}}')
        self.assertEqual(self.get("update_notice/1.0.1.0/notice_config")[0],
                         404)
        self.assertEqual(self.get("update_notice/2.1/notice_info/n.xml")[2],
                         b"<Window/>")
        self.state(version_page="lastVersion=3.0\r\n")
        self.assertEqual(self.get("version_lastest.htm")[2],
                         b"lastVersion=3.0\r\n")
        self.assertTrue(re.match(r"\d+\.\d+",
                                 self.state()["site"]["latest_version"]))
