"""Text cipher and API envelope, as the client speaks them.

Cipher: DES-CBC, zero IV, PKCS#5 padding, key "7460#Rdw", ciphertext as
upper-case hex (either case accepted on input).  The client gives the empty
text for empty input, so encrypt_hex(b"") is "".

Replies: {"status": "<n>", "data": ...} serialised as JSON, encoded in GBK
(the client reads reply texts in code page 936) and enciphered.  Actions
whose client-side reader un-escapes "\\uXXXX" get pure-ASCII JSON instead.
"""

import json
import re

from Cryptodome.Cipher import DES
from Cryptodome.Util.Padding import pad, unpad

KEY = b"7460#Rdw"
IV = bytes(8)

# Readers that pass the decrypted text through the client's \u un-escaper.
ESCAPED_ACTIONS = frozenset(
    ["login", "get_new_msg_count", "get_important_notice", "get_token"])

_HEX_RE = re.compile(r"\A(?:[0-9A-Fa-f]{2})*\Z")


class CipherError(ValueError):
    """Text that is not hex of valid ciphertext."""


def encrypt(plain: bytes) -> bytes:
    if not plain:
        return b""
    return DES.new(KEY, DES.MODE_CBC, iv=IV).encrypt(pad(plain, 8))


def decrypt(cipher: bytes) -> bytes:
    if not cipher or len(cipher) % 8:
        raise CipherError("ciphertext length %d" % len(cipher))
    try:
        return unpad(DES.new(KEY, DES.MODE_CBC, iv=IV).decrypt(cipher), 8)
    except ValueError as exc:
        raise CipherError(str(exc)) from None


def encrypt_hex(plain: bytes) -> str:
    return encrypt(plain).hex().upper()


def decrypt_hex(text) -> bytes:
    if isinstance(text, bytes):
        text = text.decode("latin-1")
    text = text.strip()
    if not _HEX_RE.match(text):
        raise CipherError("not hex")
    return decrypt(bytes.fromhex(text))


# --- replies -------------------------------------------------------------

def reply_plaintext(document, escape: bool) -> bytes:
    if escape:
        return json.dumps(document, ensure_ascii=True).encode("ascii")
    return json.dumps(document, ensure_ascii=False).encode("gbk", "replace")


def reply_body(document, escape: bool) -> bytes:
    return encrypt_hex(reply_plaintext(document, escape)).encode("ascii")


def text_to_bytes(text: str) -> bytes:
    """Plaintext given as text goes out in the client's code page."""
    return text.encode("gbk", "replace")


# --- requests ------------------------------------------------------------

def _plausible(text: str) -> float:
    """Share of characters that look like real text: ASCII, CJK, CJK and
    full-width punctuation.  GBK bytes sometimes happen to be valid UTF-8,
    but then decode to unlikely characters."""
    good = sum(1 for ch in text
               if ch < "\x7f" or "\u4e00" <= ch <= "\u9fff"
               or "\u3000" <= ch <= "\u303f" or "\uff00" <= ch <= "\uffef")
    return good / max(1, len(text))


def _fix_member(value: str) -> str:
    # Undo the latin-1 reading of one member: user-typed members are UTF-8,
    # the rest are in the client's ANSI code page.
    try:
        raw = value.encode("latin-1")
    except UnicodeEncodeError:
        return value  # came through a \u escape already
    if raw.isascii():
        return value
    best = None
    for codec in ("utf-8", "gbk"):
        try:
            text = raw.decode(codec)
        except UnicodeDecodeError:
            continue
        if best is None or _plausible(text) > _plausible(best):
            best = text
    return best if best is not None else raw.decode("gbk", "replace")


def _fix_tree(node):
    if isinstance(node, str):
        return _fix_member(node)
    if isinstance(node, list):
        return [_fix_tree(v) for v in node]
    if isinstance(node, dict):
        return {_fix_member(k): _fix_tree(v) for k, v in node.items()}
    return node


def _whole_text(plain: bytes) -> str:
    try:
        return plain.decode("utf-8")
    except UnicodeDecodeError:
        return plain.decode("gbk", "replace")


def decode_request(plain: bytes):
    """Returns (text, document) of a decrypted request; document is None
    when the text is not JSON.  Members may mix UTF-8 and GBK, so they are
    read one by one."""
    try:
        doc = json.loads(plain.decode("latin-1"), strict=False)
        return _whole_text(plain), _fix_tree(doc)
    except ValueError:
        pass
    # A GBK trail byte of 0x5C reads as a backslash in the member-wise pass.
    for codec in ("utf-8", "gbk"):
        try:
            text = plain.decode(codec)
            return text, json.loads(text, strict=False)
        except ValueError:  # UnicodeDecodeError included
            pass
    return _whole_text(plain), None


def member_bytes(plain: bytes):
    """{name: hex} of the bytes each string member of a decrypted request
    holds once parsed the way the service parses it: every byte outside an
    escape stands for itself, a \\uXXXX escape gives the character's UTF-8.
    None when the text is not a JSON object."""
    # High bytes ride through the parser as lone surrogates and come back
    # as themselves.
    text = "".join(chr(b) if b < 0x80 else chr(0xDC00 + b) for b in plain)
    try:
        doc = json.loads(text, strict=False)
    except ValueError:
        return None
    if not isinstance(doc, dict):
        return None
    out = {}
    for name, value in doc.items():
        if not isinstance(value, str):
            continue
        raw = bytearray()
        for ch in value:
            if 0xDC80 <= ord(ch) <= 0xDCFF:
                raw.append(ord(ch) - 0xDC00)
            else:
                raw += ch.encode("utf-8", "surrogatepass")
        # Names read as the document's members do.
        key = "".join(chr(ord(c) - 0xDC00) if 0xDC80 <= ord(c) <= 0xDCFF
                      else c for c in name)
        out[_fix_member(key)] = raw.hex()
    return out


def _quote_styled(raw: bytes) -> bytes:
    out = bytearray(b'"')
    for b in raw:
        if b == 0x22:
            out += b'\\"'
        elif b == 0x5C:
            out += b"\\\\"
        elif b in b"\b\f\n\r\t":
            out += {8: b"\\b", 12: b"\\f", 10: b"\\n", 13: b"\\r",
                    9: b"\\t"}[b]
        elif b < 0x20:
            out += b"\\u%04X" % b
        else:
            out.append(b)
    out += b'"'
    return bytes(out)


def styled_document(members: dict, encoding: str = "utf-8") -> bytes:
    """A flat object of string members in the client's indented form:
    keys sorted, three-space indent, " : " separator, final line feed."""
    if not members:
        return b"{}\n"
    lines = []
    for key in sorted(members):
        value = members[key]
        if isinstance(value, str):
            value = value.encode(encoding)
        lines.append(b"   " + _quote_styled(key.encode(encoding)) + b" : "
                     + _quote_styled(value))
    return b"{\n" + b",\n".join(lines) + b"\n}\n"


def request_body(members: dict, ver: str = "1.0.0.0",
                 encoding: str = "utf-8") -> bytes:
    sign = encrypt_hex(styled_document(members, encoding))
    return ("sign=%s&ver=%s" % (sign, ver)).encode("ascii")
