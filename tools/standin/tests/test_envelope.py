import json
import os
import unittest

from .support import envelope

VECTORS = os.path.join(os.path.dirname(__file__), "..", "..", "..", "tests",
                       "api", "envelope_vectors.json")


def gbk_char_with_backslash_trail():
    for code in range(0x4E00, 0x9FA6):
        raw = chr(code).encode("gbk", "ignore")
        if len(raw) == 2 and raw[1] == 0x5C:
            return chr(code)
    raise AssertionError("no such character")


class SharedVectors(unittest.TestCase):
    """The file the client's tests read must agree with this cipher."""

    @classmethod
    def setUpClass(cls):
        with open(VECTORS, encoding="utf-8") as f:
            cls.vectors = json.load(f)

    def test_every_vector_enciphers_and_deciphers(self):
        for v in self.vectors:
            plain = bytes.fromhex(v["plaintext_hex"])
            with self.subTest(v.get("name")):
                self.assertEqual(envelope.encrypt_hex(plain), v["cipher_hex"])
                if plain:
                    self.assertEqual(envelope.decrypt_hex(v["cipher_hex"]),
                                     plain)
                    self.assertEqual(
                        envelope.decrypt_hex(v["cipher_hex"].lower()), plain)

    def test_vectors_cover_the_agreed_cases(self):
        plains = [bytes.fromhex(v["plaintext_hex"]) for v in self.vectors]
        by_len = {len(p): v for p, v in zip(plains, self.vectors)}
        self.assertEqual(by_len[0]["cipher_hex"], "")
        self.assertEqual(len(by_len[7]["cipher_hex"]), 16)
        self.assertEqual(len(by_len[8]["cipher_hex"]), 32)
        self.assertIn(b"0123456789ABCDEF", plains)
        self.assertEqual(len(by_len[16]["cipher_hex"]), 48)
        login = [p for p in plains if p.startswith(b"{\n   ")]
        self.assertTrue(login and b'"user" : "demo"' in login[0])
        self.assertTrue(any(p == "云帆商务台：北京五日游询价".encode("gbk")
                            for p in plains))
        for v in self.vectors:
            self.assertEqual(v["cipher_hex"], v["cipher_hex"].upper())


class Cipher(unittest.TestCase):
    def test_rejects_what_is_not_ciphertext(self):
        good = envelope.encrypt_hex(b"hello")
        for bad in ("", "ABC", "ZZ" * 8, good[:-2], "00" * 8,
                    "<html>error</html>"):
            with self.subTest(bad=bad):
                with self.assertRaises(envelope.CipherError):
                    envelope.decrypt_hex(bad)


class StyledDocument(unittest.TestCase):
    def test_indented_form_with_sorted_keys(self):
        text = envelope.styled_document({"user": "a", "time": "1",
                                         "pass": 'q"\\\n'})
        self.assertEqual(text, b'{\n   "pass" : "q\\"\\\\\\n",\n'
                               b'   "time" : "1",\n   "user" : "a"\n}\n')
        self.assertEqual(envelope.styled_document({}), b"{}\n")


class RequestDecoding(unittest.TestCase):
    def test_utf8_document(self):
        plain = envelope.styled_document({"user": "张三", "pass": "密码"})
        doc = envelope.decode_request(plain)[1]
        self.assertEqual(doc, {"user": "张三", "pass": "密码"})

    def test_gbk_document(self):
        plain = envelope.styled_document({"defaulturl": "http://h/通知"},
                                         "gbk")
        self.assertEqual(envelope.decode_request(plain)[1]["defaulturl"],
                         "http://h/通知")

    def test_members_in_mixed_code_pages(self):
        plain = (b'{\n   "content" : "' + "北京".encode("utf-8")
                 + b'",\n   "prov_list" : "' + "上海".encode("gbk")
                 + b'"\n}\n')
        doc = envelope.decode_request(plain)[1]
        self.assertEqual(doc, {"content": "北京", "prov_list": "上海"})

    def test_gbk_trail_byte_that_reads_as_backslash(self):
        ch = gbk_char_with_backslash_trail()
        plain = b'{"a" : "' + ch.encode("gbk") + b'", "b" : "x"}'
        doc = envelope.decode_request(plain)[1]
        self.assertEqual(doc, {"a": ch, "b": "x"})

    def test_escaped_members(self):
        doc = envelope.decode_request(b'{"user" : "\\u5f20\\u4e09"}')[1]
        self.assertEqual(doc["user"], "张三")

    def test_not_json(self):
        text, doc = envelope.decode_request(b"not json")
        self.assertEqual((text, doc), ("not json", None))



class MemberBytes(unittest.TestCase):
    """What each member holds once the service has parsed the document."""

    def test_raw_bytes_stand_for_themselves(self):
        ch = gbk_char_with_backslash_trail()
        gbk = ("张三" + ch + '"x').encode("gbk")
        # A trail byte 0x5C goes out escaped, as every backslash does.
        quoted = gbk.replace(b"\\", b"\\\\").replace(b'"', b'\\"')
        plain = b'{\n   "defaulturl" : "' + quoted + b'",\n   "n" : "1"\n}\n'
        self.assertEqual(envelope.member_bytes(plain),
                         {"defaulturl": gbk.hex(), "n": "31"})

    def test_escapes_give_utf8(self):
        plain = b'{"user" : "\\u5f20\\u00d5", "raw" : "\xd5\xc5"}'
        self.assertEqual(envelope.member_bytes(plain),
                         {"user": "张Õ".encode("utf-8").hex(),
                          "raw": "d5c5"})

    def test_unescaped_trail_byte_is_not_the_same_member(self):
        ch = gbk_char_with_backslash_trail()
        plain = b'{"a" : "' + ch.encode("gbk") + b'x"}'
        self.assertNotEqual(envelope.member_bytes(plain),
                            {"a": (ch + "x").encode("gbk").hex()})

    def test_not_an_object(self):
        self.assertIsNone(envelope.member_bytes(b"[1]"))
        self.assertIsNone(envelope.member_bytes(b"not json"))


if __name__ == "__main__":
    unittest.main()
