"""The service's data, seeded afresh for every instance and on reset.

Accounts (user / password, uid):
  demo   / demo123   12345  ASCII profile, subscribed to "11,35,"
  zhang  / zhang123  1001   Chinese profile, sent \\u-escaped
  newbie / newbie123 2048   posted_flag "0", no subscription ("-1")
  err2 .. err5       -      always answer -2 .. -5, whatever the password

Login rules, in order: an unknown user name gives -1 (so "err1" or any
other unknown name); an account with a fixed code gives that code; a wrong
password gives -2; otherwise the profile.  Error replies carry status "0"
and data ["<code>"]; every other normal reply carries status "1".

add_sq results: content "__code:N" answers N (any code).  Otherwise, in
order: unknown uid -1, frozen account -13, empty content -4, fewer than 5
characters -2, more than 140 -3, 100 posts today -6, the same content
posted before by the same uid -7; else accepted: the answer is the
account's points total (an inquiry earns one point), always above 0.

get_mysqrss_num counts inquiries of the feed with lasttime < time <= the
request's own "time" (the model clock when absent) whose province is in
the user's list ("0" means every province but 99, abroad; an inquiry
without a province matches any list but "-1").  Bounding by the request's
time makes consecutive polls count each inquiry exactly once; inquiries
added through the control interface default to the model clock + 1 so
that a poll already answered in the current second does not swallow them.
"""

import copy
import secrets
import threading
import time

STATUS_OK = "1"
STATUS_ERROR = "0"

SEED_ACCOUNTS = [
    {"user": "demo", "password": "demo123", "uid": 12345, "id": 6789,
     "title": "Yunfan Demo Travel", "contact_name": "Demo User",
     "nickname": "demo", "department": "Sales", "cert_status": 1,
     "posted_flag": 1, "points": 100, "provinces": "11,35,"},
    {"user": "zhang", "password": "zhang123", "uid": 1001, "id": 2001,
     "title": "云帆国际旅行社", "contact_name": "张三", "nickname": "小张",
     "department": "市场部", "cert_status": 1, "posted_flag": 1,
     "points": 37, "provinces": "11,12,46,"},
    {"user": "newbie", "password": "newbie123", "uid": 2048, "id": 3048,
     "title": "Newbie Tours", "contact_name": "New User",
     "nickname": "newbie", "department": "Front desk", "cert_status": 0,
     "posted_flag": 0, "points": 0, "provinces": "-1"},
] + [
    {"user": "err%d" % n, "password": "err%d" % n, "uid": 90000 + n,
     "id": 90000 + n, "title": "", "contact_name": "", "nickname": "",
     "department": "", "cert_status": 0, "posted_flag": 0, "points": 0,
     "provinces": "-1", "code": -n}
    for n in range(2, 6)
]

PROFILE_MEMBERS = ("uid", "id", "title", "contact_name", "nickname",
                   "department", "cert_status", "posted_flag")

SEED_NOTICES = [
    {"title": "重要通知", "caption": "云帆商务台全新上线",
     "content": "欢迎使用云帆商务台。发布询价前请阅读发布规则，违规信息将被扣除积分。",
     "more": "我知道了"},
]

# (province, seconds before start-up, content)
SEED_FEED = [
    (11, 7200, "求北京五日游地接，30人，下周出发"),
    (35, 5400, "福建厦门鼓浪屿二日游，求报价"),
    (44, 3600, "广州长隆团队票，50张"),
    (31, 1800, "上海迪士尼两日游，求地接报价"),
]

ABROAD = 99


def _int(text, default=0):
    """Leading-digits decimal reading, like the client's."""
    if isinstance(text, int):
        return text
    if not isinstance(text, str):
        return default
    s = text.strip()
    sign = 1
    if s and s[0] in "+-":
        sign = -1 if s[0] == "-" else 1
        s = s[1:]
    digits = ""
    for ch in s:
        if ch not in "0123456789":
            break
        digits += ch
    return sign * int(digits) if digits else default


def parse_provinces(text):
    """None for "-1"/empty, "all" for "0", else a set of codes."""
    text = (text or "").strip()
    if text in ("", "-1"):
        return None
    if text == "0":
        return "all"
    return {_int(p) for p in text.split(",") if p.strip()}


def province_matches(subscribed, province):
    if subscribed is None:
        return False
    if province is None:
        return True
    if subscribed == "all":
        return province != ABROAD
    return province in subscribed


class Model:
    def __init__(self):
        self.lock = threading.RLock()
        self.reset()

    # --- clock ---------------------------------------------------------
    def now(self):
        with self.lock:
            if self.frozen_at is not None:
                return self.frozen_at
            return int(time.time()) + self.clock_offset

    def set_clock(self, now=None, frozen=None):
        with self.lock:
            if now is None:
                now = self.now()
            if frozen is None:
                frozen = self.frozen_at is not None
            self.clock_offset = int(now) - int(time.time())
            self.frozen_at = int(now) if frozen else None

    # --- seed ----------------------------------------------------------
    def reset(self):
        with self.lock:
            self.clock_offset = 0
            self.frozen_at = None
            start = int(time.time())
            self.accounts = {}
            for acc in SEED_ACCOUNTS:
                self.add_account(copy.deepcopy(acc))
            self.msg_count = 2
            self.msg_counts = {}
            self.notices = copy.deepcopy(SEED_NOTICES)
            self.fixed_token = None
            self.tokens = {}
            self.feed = []
            for prov, ago, content in SEED_FEED:
                self._add_inquiry(prov, start - ago, content)
            self.sq_total = 12873
            self.sq_today = 56
            self.posts = []
            self.login_logs = []
            self.logins = []
            self.card_logins = []
            self.alogins = []
            self.web_sessions = {}
            self.rss_updates = []

    def _add_inquiry(self, province, when, content, uid=None):
        item = {"id": len(self.feed) + 1, "province": province,
                "time": int(when), "content": content, "uid": uid}
        self.feed.append(item)
        return item

    def add_account(self, acc):
        with self.lock:
            acc = dict(acc)
            acc.setdefault("password", "")
            acc.setdefault("uid", 50000 + len(self.accounts))
            acc["uid"] = int(acc["uid"])
            acc.setdefault("id", acc["uid"])
            for key in ("title", "contact_name", "nickname", "department"):
                acc.setdefault(key, "")
            acc.setdefault("cert_status", 1)
            acc.setdefault("posted_flag", 1)
            acc.setdefault("points", 10)
            acc.setdefault("provinces", "-1")
            acc.setdefault("code", None)
            acc.setdefault("frozen", False)
            self.accounts[acc["user"]] = acc
            return acc

    def account_by_uid(self, uid):
        uid = _int(uid, None) if not isinstance(uid, int) else uid
        for acc in self.accounts.values():
            if acc["uid"] == uid:
                return acc
        return None

    # --- actions -------------------------------------------------------
    def handle(self, action, doc):
        """(status, data) of one API action; None for an unknown action."""
        fn = getattr(self, "act_" + action, None)
        if fn is None:
            return None
        with self.lock:
            return fn(doc if isinstance(doc, dict) else {})

    def act_login(self, doc):
        user, password = doc.get("user"), doc.get("pass")
        acc = self.accounts.get(user) if isinstance(user, str) else None
        if acc is None:
            code = -1
        elif acc.get("code") is not None:
            code = int(acc["code"])
        elif password != acc["password"]:
            code = -2
        else:
            code = 0
        self.logins.append({"user": user, "result": code,
                            "time": self.now()})
        if code:
            return STATUS_ERROR, [str(code)]
        return STATUS_OK, {k: str(acc[k]) for k in PROFILE_MEMBERS}

    def act_get_time(self, doc):
        return STATUS_OK, [str(self.now())]

    def act_get_sq_num(self, doc):
        return STATUS_OK, {"total": str(self.sq_total),
                           "today": str(self.sq_today)}

    def act_add_sq(self, doc):
        content = doc.get("content")
        content = content if isinstance(content, str) else ""
        uid = _int(doc.get("uid"), None)
        acc = self.account_by_uid(uid)
        post = {"uid": uid, "content": content, "type": doc.get("type"),
                "param": doc.get("param"), "time": self.now()}
        if content.startswith("__code:"):
            result = _int(content[len("__code:"):])
        else:
            result = self._post_result(acc, uid, content, post)
        post["result"] = result
        self.posts.append(post)
        return STATUS_OK, [str(result)]

    def _post_result(self, acc, uid, content, post):
        if acc is None:
            return -1
        if acc.get("frozen"):
            return -13
        text = content.strip()
        if not text:
            return -4
        if len(text) < 5:
            return -2
        if len(text) > 140:
            return -3
        mine = [p for p in self.posts if p["uid"] == uid and p["result"] > 0]
        if len(mine) >= 100:
            return -6
        if any(p["content"] == content for p in mine):
            return -7
        if _int(post["type"]) == 0:
            acc["points"] += 1
        self.sq_total += 1
        self.sq_today += 1
        return max(1, acc["points"])

    def act_login_log(self, doc):
        self.login_logs.append({"uid": doc.get("uid"),
                                "action": doc.get("action"),
                                "pccode": doc.get("pccode"),
                                "time": doc.get("time"),
                                "received": self.now()})
        return STATUS_OK, ["1"]

    def act_get_new_msg_count(self, doc):
        uid = _int(doc.get("uid"), None)
        n = self.msg_counts.get(uid, self.msg_count)
        return STATUS_OK, [str(n)]

    def act_get_important_notice(self, doc):
        return STATUS_OK, copy.deepcopy(self.notices)

    def act_get_token(self, doc):
        uid = _int(doc.get("uid"), None)
        token = self.fixed_token or secrets.token_hex(16)
        self.tokens[uid] = token
        return STATUS_OK, [token]

    def act_get_sq_rss(self, doc):
        acc = self.account_by_uid(doc.get("uid"))
        return STATUS_OK, [acc["provinces"] if acc else "-1"]

    def act_add_sq_rss(self, doc):
        acc = self.account_by_uid(doc.get("uid"))
        prov = doc.get("prov_list")
        self.rss_updates.append({"uid": doc.get("uid"), "prov_list": prov,
                                 "time": self.now()})
        if acc is None or not isinstance(prov, str):
            return STATUS_ERROR, ["-1"]
        acc["provinces"] = prov
        return STATUS_OK, ["1"]

    def act_get_mysqrss_num(self, doc):
        acc = self.account_by_uid(doc.get("uid"))
        subscribed = parse_provinces(acc["provinces"]) if acc else None
        since = _int(doc.get("lasttime"))
        until = _int(doc.get("time"), None)
        if until is None:
            until = self.now()
        n = sum(1 for item in self.feed
                if since < item["time"] <= until
                and province_matches(subscribed, item["province"]))
        return STATUS_OK, [str(n)]

    # --- control -------------------------------------------------------
    def apply_state(self, st):
        """Sets model values from a control document; unknown keys raise."""
        with self.lock:
            for key, value in st.items():
                setter = getattr(self, "_set_" + key, None)
                if setter is None:
                    raise KeyError(key)
                setter(value, st)

    def _set_now(self, v, st):
        self.set_clock(int(v), st.get("freeze"))

    def _set_freeze(self, v, st):
        if "now" not in st:
            self.set_clock(None, bool(v))

    def _set_msg_count(self, v, st):
        if isinstance(v, dict):
            self.msg_counts.update({int(k): int(n) for k, n in v.items()})
        else:
            self.msg_count = int(v)

    def _set_notices(self, v, st):
        self.notices = v

    def _set_token(self, v, st):
        self.fixed_token = v

    def _set_tokens(self, v, st):
        self.tokens.update({int(k): t for k, t in v.items()})

    def _set_provinces(self, v, st):
        for uid, prov in v.items():
            acc = self.account_by_uid(int(uid))
            if acc is None:
                raise KeyError("uid %s" % uid)
            acc["provinces"] = prov

    def _set_clear_inquiries(self, v, st):
        if v and "inquiries" not in st:
            self.feed = []

    def _set_inquiries(self, v, st):
        if st.get("clear_inquiries"):
            self.feed = []
        for item in v:
            self._add_inquiry(item.get("province"),
                              item.get("time", self.now() + 1),
                              item.get("content", "新询价"), item.get("uid"))

    def _set_accounts(self, v, st):
        for acc in v:
            old = self.accounts.get(acc["user"], {})
            merged = dict(old)
            merged.update(acc)
            self.add_account(merged)

    def _set_remove_accounts(self, v, st):
        for user in v:
            self.accounts.pop(user, None)

    def _set_sq_total(self, v, st):
        self.sq_total = int(v)

    def _set_sq_today(self, v, st):
        self.sq_today = int(v)

    def summary(self):
        with self.lock:
            return {
                "now": self.now(),
                "frozen": self.frozen_at is not None,
                "msg_count": self.msg_count,
                "msg_counts": {str(k): v for k, v in self.msg_counts.items()},
                "notices": self.notices,
                "token": self.fixed_token,
                "tokens": {str(k): v for k, v in self.tokens.items()},
                "accounts": [
                    {k: a[k] for k in ("user", "password", "uid", "code",
                                       "points", "provinces", "posted_flag",
                                       "frozen")}
                    for a in self.accounts.values()],
                "provinces": {str(a["uid"]): a["provinces"]
                              for a in self.accounts.values()},
                "inquiries": self.feed,
                "sq_total": self.sq_total,
                "sq_today": self.sq_today,
                "posts": self.posts,
                "logins": self.logins,
                "login_logs": self.login_logs,
                "rss_updates": self.rss_updates,
                "card_logins": self.card_logins,
                "alogin": self.alogins[-1] if self.alogins else None,
                "alogins": self.alogins,
            }
