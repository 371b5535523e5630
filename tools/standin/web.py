"""Plain web paths of the service host: pages, avatar, card-page login,
single sign-on and the update files.

Pages are GBK HTML.  The list pages under /rovavoda.php/rovavoda/sq carry
the elements "web_login", "post_new" and "rss_config" that the client's
embedded browser reacts to.  A card-page login or a verified /alogin sets
the cookie "tavo_web", which the list pages use to show the user's own
inquiries.
"""

import hashlib
import html
import json
import secrets
import struct
import threading
import zlib
from urllib.parse import quote, unquote, unquote_to_bytes

import envelope
from model import parse_provinces, province_matches

COOKIE = "tavo_web"
LIST_BASE = "/rovavoda.php/rovavoda/sq"
UPDATE_BASE = "/soft/sq/update"

PROVINCES = {
    11: "北京", 12: "天津", 13: "河北", 14: "山西", 15: "内蒙古", 21: "辽宁",
    22: "吉林", 23: "黑龙江", 31: "上海", 32: "江苏", 33: "浙江", 34: "安徽",
    35: "福建", 36: "江西", 37: "山东", 41: "河南", 42: "湖北", 43: "湖南",
    44: "广东", 45: "广西", 46: "海南", 50: "重庆", 51: "四川", 52: "贵州",
    53: "云南", 54: "西藏", 61: "陕西", 62: "甘肃", 63: "青海", 64: "宁夏",
    65: "新疆", 99: "海外", 100: "港澳台", 101: "其他",
}

DEFAULT_UPDATER_VERSION = "1.0.0.1"
DEFAULT_LATEST_VERSION = "1.0.1.0"
DEFAULT_UPDATE_EXE = b"standin updater placeholder: not a program\r\n"
DEFAULT_NOTICE_FILE = "notice.xml"

# The client's layouts use the skin markup; only the root element, its size
# and caption, and the control names the notice window reacts to are fixed.
DEFAULT_NOTICE_LAYOUT = """\
<?xml version="1.0" encoding="UTF-8"?>
<Window size="271,173" caption="0,0,0,173" textcolor="#FF202124">
  <Font name="微软雅黑" size="12" default="true"/>
  <Font name="微软雅黑" size="13" bold="true"/>
  <VerticalLayout bkcolor="#FFFFFFFF" bordercolor="#FF1A5FBF" bordersize="1">
    <HorizontalLayout height="28" bkcolor="#FF1E6FD9" inset="10,0,0,0">
      <Label name="LabelTitle" text="更新提示" font="1" textcolor="#FFFFFFFF"/>
      <Button name="BtnExit" align="center" width="28" text="×" tooltip="关闭" textcolor="#FFFFFFFF" hotbkcolor="#FFE81123"/>
    </HorizontalLayout>
    <Label name="LabelContent" padding="12,10,12,0" multiline="true" valign="top"
           text="云帆商务台 {ver} 已发布，新版本改进了询价提醒和订阅功能。"/>
    <HorizontalLayout height="42" inset="12,6,12,10" childpadding="8">
      <Button name="LinkMore" text="了解详情" width="56" textcolor="#FF1E6FD9" hottextcolor="#FF0B57D0" handcursor="true"/>
      <Control/>
      <Button name="CloseNotice" align="center" text="不再提示" width="68" bkcolor="#FFF1F3F4" hotbkcolor="#FFE2E6EA"/>
      <Button name="BtnOK" align="center" text="我知道了" width="68" bkcolor="#FF1E6FD9" hotbkcolor="#FF1A5FBF" textcolor="#FFFFFFFF"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>
"""


class Reply:
    def __init__(self, status=200, body=b"", headers=None,
                 content_type="text/html; charset=GBK"):
        self.status = status
        self.body = body
        self.headers = [("Content-Type", content_type)]
        self.headers += list(headers or [])


def page(title, body_html, status=200, headers=None):
    doc = ("<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" "
           "content=\"text/html; charset=gbk\"><title>%s</title></head>\n"
           "<body>\n<h1>%s</h1>\n%s\n</body></html>\n"
           % (html.escape(title), html.escape(title), body_html))
    return Reply(status, doc.encode("gbk", "replace"), headers)


def not_found(path):
    return page("页面不存在", "<p>%s</p>" % html.escape(path), 404)


def parse_form(raw: bytes) -> dict:
    """Form fields of an 8-bit body.  The client writes its ANSI code page
    (GBK), percent-encoded or not; UTF-8 is accepted when GBK fails."""
    out = {}
    for part in raw.split(b"&"):
        if not part:
            continue
        key, _, value = part.partition(b"=")
        out[_form_text(key)] = _form_text(value)
    return out


def _form_text(raw: bytes) -> str:
    data = unquote_to_bytes(raw.replace(b"+", b" "))
    for codec in ("gbk", "utf-8"):
        try:
            return data.decode(codec)
        except UnicodeDecodeError:
            pass
    return data.decode("gbk", "replace")


def make_png(width, height, rgb):
    """A small truecolour PNG: a border in rgb around a lighter field."""
    light = tuple(min(255, c + 90) for c in rgb)
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter: none
        for x in range(width):
            edge = x < 3 or y < 3 or x >= width - 3 or y >= height - 3
            rows += bytes(rgb if edge or (x + y) % 12 == 0 else light)

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(rows)))
            + chunk(b"IEND", b""))


def avatar_png(uid):
    h = hashlib.md5(str(uid).encode()).digest()
    return make_png(48, 48, (h[0] // 2, h[1] // 2, 80 + h[2] // 2))


def alogin_digest(token, time_text, pccode, uid_text):
    raw = (token + time_text + pccode + uid_text).encode("gbk", "replace")
    # The client hashes at most 259 bytes of the concatenation.
    return hashlib.md5(raw[:259]).hexdigest()


def location_header(url: str) -> str:
    # defaulturl arrives in the client's ANSI code page.
    return quote(url.encode("gbk", "replace"), safe="!#$%&'()*+,-./:;=?@[]~_")


class Site:
    """Published files and per-instance web state."""

    STATE_KEYS = ("updater_version", "update_exe_hex", "latest_version",
                  "version_page", "notice_config", "notice_info",
                  "version_page_hex", "notice_config_hex", "notice_info_hex")

    def __init__(self, model):
        self.model = model
        self.lock = threading.RLock()
        self.reset()

    def reset(self):
        with self.lock:
            self.updater_version = DEFAULT_UPDATER_VERSION
            self.update_exe = DEFAULT_UPDATE_EXE
            self.latest_version = DEFAULT_LATEST_VERSION
            self.version_page = None
            cfg = {"general": {"on": "true", "file": DEFAULT_NOTICE_FILE,
                               "freq": "3"},
                   "specialoff": {}}
            self.notice_configs = {
                DEFAULT_LATEST_VERSION: json.dumps(cfg).encode("gbk")}
            self.notice_infos = {
                (DEFAULT_LATEST_VERSION, DEFAULT_NOTICE_FILE):
                DEFAULT_NOTICE_LAYOUT.format(
                    ver=DEFAULT_LATEST_VERSION).encode("utf-8")}

    def apply_state(self, key, value):
        with self.lock:
            if key == "updater_version":
                self.updater_version = value
            elif key == "update_exe_hex":
                self.update_exe = bytes.fromhex(value)
            elif key == "latest_version":
                self.latest_version = value
            elif key == "version_page":
                self.version_page = value
            elif key == "notice_config":
                for ver, cfg in value.items():
                    if cfg is None:
                        self.notice_configs.pop(ver, None)
                    else:
                        text = cfg if isinstance(cfg, str) else json.dumps(
                            cfg, ensure_ascii=False)
                        self.notice_configs[ver] = text.encode("gbk",
                                                               "replace")
            elif key == "notice_info":
                for name, text in value.items():
                    ver, _, file = name.partition("/")
                    if text is None:
                        self.notice_infos.pop((ver, file), None)
                    else:
                        self.notice_infos[(ver, file)] = text.encode("utf-8")
            # The same files as exact bytes: other code pages, byte-order
            # marks, bytes that are no text at all.
            elif key == "version_page_hex":
                self.version_page = (None if value is None
                                     else bytes.fromhex(value))
            elif key == "notice_config_hex":
                for ver, hexed in value.items():
                    if hexed is None:
                        self.notice_configs.pop(ver, None)
                    else:
                        self.notice_configs[ver] = bytes.fromhex(hexed)
            elif key == "notice_info_hex":
                for name, hexed in value.items():
                    ver, _, file = name.partition("/")
                    if hexed is None:
                        self.notice_infos.pop((ver, file), None)
                    else:
                        self.notice_infos[(ver, file)] = bytes.fromhex(hexed)

    def summary(self):
        with self.lock:
            return {"updater_version": self.updater_version,
                    "update_exe_size": len(self.update_exe),
                    "latest_version": self.latest_version,
                    "version_page": (
                        self.version_page.decode("gbk", "replace")
                        if isinstance(self.version_page, bytes)
                        else self.version_page),
                    "notice_configs": sorted(self.notice_configs),
                    "notice_infos": sorted("%s/%s" % k
                                           for k in self.notice_infos)}

    # --- dispatch ------------------------------------------------------
    def serve(self, method, path, query, body, headers):
        if path != "/":
            path = path.rstrip("/")
        if path.startswith(UPDATE_BASE + "/"):
            return self.update_file(path[len(UPDATE_BASE):])
        if path == LIST_BASE or path.startswith(LIST_BASE + "/"):
            return self.list_page(path[len(LIST_BASE):], query, headers)
        if path.startswith("/uploads/photos/"):
            return self.avatar(path)
        if path == "/login/cardpage/dologin":
            return self.card_login(method, body)
        if path == "/alogin":
            return self.alogin(query)
        return self.simple_page(path, query, headers)

    def web_user(self, headers):
        cookie = headers.get("Cookie", "")
        for part in cookie.split(";"):
            name, _, value = part.strip().partition("=")
            if name == COOKIE:
                with self.model.lock:
                    uid = self.model.web_sessions.get(value)
                    return self.model.account_by_uid(uid)
        return None

    def new_session(self, uid):
        sid = secrets.token_hex(12)
        with self.model.lock:
            self.model.web_sessions[sid] = uid
        return ("Set-Cookie", "%s=%s; Path=/; HttpOnly" % (COOKIE, sid))

    # --- list pages ----------------------------------------------------
    def list_page(self, sub, query, headers):
        user = self.web_user(headers)
        m = self.model
        with m.lock:
            feed = [dict(i) for i in m.feed]
            posts = [p for p in m.posts if p.get("result", 0) > 0]
        if sub == "":
            title, rows = "询价首页", self._rows(feed, posts)
        elif sub == "/mysq":
            title = "我发布的询价"
            rows = (self._rows([], [p for p in posts if p["uid"] == user["uid"]])
                    if user else None)
        elif sub == "/my_sq_rss":
            title = "我订阅的询价"
            rows = None
            if user:
                subscribed = parse_provinces(user["provinces"])
                rows = self._rows([i for i in feed if province_matches(
                    subscribed, i["province"])], [])
        else:
            return not_found(LIST_BASE + sub)
        if user:
            who = "<p>欢迎您，%s <a id=\"web_login\" href=\"#\">刷新</a></p>" % (
                html.escape(user["title"] or user["user"]))
        else:
            who = "<p>您还没有登录 <a id=\"web_login\" href=\"#\">登录</a></p>"
        tools = ("<p><a id=\"post_new\" href=\"#\">发布询价</a> "
                 "<a id=\"rss_config\" href=\"#\">订阅设置</a></p>")
        if rows is None:
            listing = "<p>请先登录后查看。</p>"
        elif not rows:
            listing = "<p>暂无询价信息。</p>"
        else:
            listing = "<ul class=\"sq-list\">\n%s\n</ul>" % "\n".join(rows)
        return page(title, who + tools + listing)

    def _rows(self, feed, posts):
        items = [(i["time"], PROVINCES.get(i["province"], "全国"),
                  i["content"]) for i in feed]
        items += [(p["time"], "同行", p["content"]) for p in posts]
        items.sort(key=lambda t: -t[0])
        return ["<li>[%s] %s</li>" % (html.escape(prov), html.escape(text))
                for _, prov, text in items]

    # --- other pages ---------------------------------------------------
    def simple_page(self, path, query, headers):
        fixed = {
            "/": "云帆商务台",
            "/notice": "消息中心",
            "/intro": "注册云帆商务台",
            "/reg/getback_pass": "找回密码",
            "/blog/lb_info/3761": "询价发布规则",
            "/guestbook": "意见反馈",
            "/soft/sq": "云帆商务台下载",
        }
        if path in fixed:
            user = self.web_user(headers)
            note = ("<p>当前登录：%s</p>" % html.escape(user["user"])
                    if user else "<p>未登录</p>")
            return page(fixed[path], note + "<p>%s</p>" % html.escape(
                query or ""))
        digits = path[1:]
        if digits.isascii() and digits.isdigit():
            acc = self.model.account_by_uid(int(digits))
            if acc is None:
                return not_found(path)
            return page("%s的主页" % (acc["title"] or acc["user"]),
                        "<p>联系人：%s</p>" % html.escape(acc["contact_name"]))
        return not_found(path)

    def avatar(self, path):
        parts = path.split("/")  # '', uploads, photos, <dir>, s_<uid>.png
        if len(parts) == 5 and parts[4].startswith("s_") \
                and parts[4].endswith(".png"):
            try:
                folder, uid = int(parts[3]), int(parts[4][2:-4])
            except ValueError:
                return not_found(path)
            if folder == (uid + 999) // 1000 \
                    and self.model.account_by_uid(uid) is not None:
                return Reply(200, avatar_png(uid), content_type="image/png")
        return not_found(path)

    # --- card-page login -----------------------------------------------
    def card_login(self, method, body):
        if method != "POST":
            return page("登录", "<p>请使用表单登录。</p>", 405)
        form = parse_form(body)
        user, password = form.get("username"), form.get("password")
        m = self.model
        with m.lock:
            acc = m.accounts.get(user)
            ok = (acc is not None and acc.get("code") is None
                  and acc["password"] == password)
            m.card_logins.append({
                "username": user, "password": password, "ok": ok,
                "submit_btn": form.get("submit_btn"),
                "action": form.get("action"), "time": m.now()})
        if not ok:
            return page("登录失败", "<p id=\"login_result\">用户名或密码错误</p>")
        return page("登录成功", "<p id=\"login_result\">登录成功</p>",
                    headers=[self.new_session(acc["uid"])])

    # --- single sign-on ------------------------------------------------
    def alogin(self, query):
        args = parse_form(query.encode("latin-1", "replace"))
        result = {"ok": False, "reason": "", "ver": args.get("ver"),
                  "uid": None, "time": None, "pccode": None,
                  "defaulturl": None, "defaulturl_hex": None,
                  "token": None, "expected": None}
        m = self.model
        try:
            plain = envelope.decrypt_hex(args.get("sign", ""))
            text, doc = envelope.decode_request(plain)
            members = envelope.member_bytes(plain) or {}
            result["defaulturl_hex"] = members.get("defaulturl")
        except envelope.CipherError:
            doc = None
            result["reason"] = "sign does not decrypt"
        if doc is not None and not isinstance(doc, dict):
            doc = None
            result["reason"] = "sign is not a JSON object"
        if doc is not None:
            fields = {k: doc.get(k) for k in
                      ("token", "time", "uid", "pccode", "defaulturl")}
            result.update(fields)
            if not all(isinstance(v, str) for v in fields.values()):
                result["reason"] = "missing member"
            else:
                with m.lock:
                    uid_text = fields["uid"]
                    uid = (int(uid_text) if uid_text.isascii()
                           and uid_text.isdigit() else None)
                    issued = m.tokens.get(uid)
                if issued is None:
                    result["reason"] = "no token issued to uid"
                else:
                    expected = alogin_digest(issued, fields["time"],
                                             fields["pccode"], fields["uid"])
                    result["expected"] = expected
                    if expected == fields["token"]:
                        result["ok"] = True
                    else:
                        result["reason"] = "digest mismatch"
        with m.lock:
            result["received"] = m.now()
            m.alogins.append(result)
        if not result["ok"]:
            return page("登录验证失败", "<p>%s</p>"
                        % html.escape(result["reason"]), 403)
        reply = page("正在跳转", "<p><a href=\"%s\">继续</a></p>"
                     % html.escape(result["defaulturl"]), 302,
                     headers=[("Location",
                               location_header(result["defaulturl"])),
                              self.new_session(int(result["uid"]))])
        return reply

    # --- update files --------------------------------------------------
    def update_file(self, sub):
        with self.lock:
            if sub == "/update_app/update_exe_version.htm":
                return Reply(200, ("lastVersion=" + self.updater_version)
                             .encode("gbk", "replace"),
                             content_type="text/html")
            if sub == "/update_app/update.exe":
                return Reply(200, self.update_exe,
                             content_type="application/octet-stream")
            if sub == "/version_lastest.htm":
                text = self.version_page
                if text is None:
                    text = ("product=yunfan\nlastVersion=%s\n"
                            % self.latest_version)
                if isinstance(text, str):
                    text = text.encode("gbk", "replace")
                return Reply(200, text, content_type="text/html")
            parts = sub.split("/")  # '', update_notice, ver, ...
            if len(parts) >= 4 and parts[1] == "update_notice":
                # A version page with CRLF lines leaves a CR in the version.
                ver = unquote(parts[2]).strip()
                if len(parts) == 4 and parts[3] == "notice_config":
                    body = self.notice_configs.get(ver)
                    if body is not None:
                        return Reply(200, body, content_type="text/plain")
                if len(parts) == 5 and parts[3] == "notice_info":
                    body = self.notice_infos.get((ver, unquote(parts[4])))
                    if body is not None:
                        return Reply(200, body,
                                     content_type="text/xml; charset=utf-8")
        return not_found(UPDATE_BASE + sub)
