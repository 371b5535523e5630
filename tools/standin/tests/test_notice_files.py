"""Update-notice files set per test: version page, configurations, layouts."""

import json

from .support import InstanceTest

BASE = "/soft/sq/update/"


class NoticeFiles(InstanceTest):
    def get(self, sub):
        return self.http(BASE + sub)

    def test_exact_bytes_of_every_file(self):
        bom_layout = b"\xef\xbb\xbf<Window/>"
        self.state(version_page_hex=b"lastVersion=2.1\r\n".hex(),
                   notice_config_hex={"2.1": "7b7d"},
                   notice_info_hex={"2.1/n.xml": bom_layout.hex()})
        self.assertEqual(self.get("version_lastest.htm")[2],
                         b"lastVersion=2.1\r\n")
        self.assertEqual(self.state()["site"]["version_page"],
                         "lastVersion=2.1\r\n")
        status, headers, body = self.get("update_notice/2.1/notice_config")
        self.assertEqual((status, body), (200, b"{}"))
        self.assertEqual(headers["Content-Length"], "2")
        self.assertEqual(self.get("update_notice/2.1/notice_info/n.xml")[2],
                         bom_layout)

    def test_configuration_text_goes_out_in_the_local_code_page(self):
        cfg = {"general": {"on": "true", "file": "通知.xml", "freq": 3},
               "specialoff": {}}
        self.state(notice_config={"2.1": cfg})
        body = self.get("update_notice/2.1/notice_config")[2]
        self.assertEqual(json.loads(body.decode("gbk")), cfg)
        self.assertIn("通知".encode("gbk"), body)

    def test_files_removed_and_reset(self):
        self.state(notice_config_hex={"1.0.1.0": None},
                   notice_info_hex={"1.0.1.0/notice.xml": None})
        self.assertEqual(self.get("update_notice/1.0.1.0/notice_config")[0],
                         404)
        self.assertEqual(
            self.get("update_notice/1.0.1.0/notice_info/notice.xml")[0], 404)
        self.state(version_page_hex="00ff")
        self.control("reset", {})
        self.assertEqual(self.get("update_notice/1.0.1.0/notice_config")[0],
                         200)
        self.assertIn(b"lastVersion=1.0.1.0\n",
                      self.get("version_lastest.htm")[2])
        self.state(version_page_hex="00ff")
        self.state(version_page_hex=None)
        self.assertIn(b"lastVersion=1.0.1.0\n",
                      self.get("version_lastest.htm")[2])

    def test_each_instance_publishes_its_own(self):
        other = self.control("spawn", {})["port"]
        try:
            self.state(notice_info={"1.0.1.0/notice.xml": "<Window>a</Window>"})
            status, _, body = self.http(
                BASE + "update_notice/1.0.1.0/notice_info/notice.xml",
                port=other)
            self.assertEqual(status, 200)
            self.assertNotEqual(body, b"<Window>a</Window>")
        finally:
            self.control("close", {}, port=other)
