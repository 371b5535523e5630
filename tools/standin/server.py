#!/usr/bin/python3
"""Stand-in for the 云帆 service host: API, web pages and update files,
plus a control interface for tests, all on 127.0.0.1.

    /usr/bin/python3 tools/standin/server.py --port 0 --port-file F

API: POST /rovavoda.php/rovavoda/api/<action>, body "sign=<hex>&ver=..".
An unknown action, or a sign that does not decrypt to JSON, is answered
200 with the enciphered {"status": "-1", "data": ["-1"]}.  "get_time" is
also served as a GET without body.

Control (JSON in and out) under /__control/ on every instance:
  GET  ping                 {"ok", "port"}
  POST spawn                new isolated instance -> {"port"}
  POST close                shut this instance down (closing the first one
                            ends the process)
  POST reset                seed model; clear overrides, faults and log
  POST reply  {"action"|"path", "document"|"plaintext"|"body"|"body_hex",
               "status", "headers", "times", "escape", "encoding"}
              or {"action"|"path", "clear": true}
  POST fault  {"action"|"path", "kind", "times", "code", "ms", "length",
               "location"}
              kind "none" removes the fault
  GET  received [?action=..&path=..]   POST clear
  GET  state                POST state {...}

Overrides and faults are matched by action, then path with query, then
path, then the path "*" (any service request).  A reply override replaces
the model's answer (the action does not run).  Faults "delay", "drop", "bad_length" and "no_length" deliver the
normal reply (the action runs); the other kinds answer without running it.
"""

import argparse
import json
import os
import signal
import socket
import sys
import threading
import time
import traceback
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import envelope  # noqa: E402
import web  # noqa: E402
from model import Model  # noqa: E402

API_PREFIX = "/rovavoda.php/rovavoda/api/"
CONTROL_PREFIX = "/__control/"
FAULT_KINDS = ("status", "delay", "drop", "bad_length", "no_length",
               "nonhex", "garbage", "bad_json", "hang", "redirect",
               "huge", "drip", "cut_headers", "reset")
HUGE_CHUNK = 256 * 1024
ANY_PATH = "*"             # a rule for every service request
PAYLOAD_KEYS = ("document", "plaintext", "body", "body_hex")
MAX_LOG = 20000
VERBOSE = False


class ControlError(ValueError):
    pass


class Rule:
    """A reply override or a fault with a use count (-1: until reset)."""

    def __init__(self, params):
        self.params = params
        self.left = int(params.get("times", -1))

    def take(self):
        if self.left == 0:
            return False
        if self.left > 0:
            self.left -= 1
        return True


def rule_key(params):
    if isinstance(params.get("action"), str):
        return ("action", params["action"])
    if isinstance(params.get("path"), str) and (
            params["path"].startswith("/") or params["path"] == ANY_PATH):
        return ("path", params["path"])
    raise ControlError('needs "action" or "path"')


class Server(ThreadingHTTPServer):
    daemon_threads = True
    # Clients open a connection per request, many at once: with the default
    # backlog of 5 a burst waits a second for every retry.
    request_queue_size = 128

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], OSError):
            return  # peers that hang up, and our own deliberate hang-ups
        super().handle_error(request, client_address)


class Instance:
    """One isolated service: model, site, rules, log and listening socket."""

    def __init__(self, registry):
        self.registry = registry
        self.model = Model()
        self.site = web.Site(self.model)
        self.lock = threading.Lock()
        self.replies = {}
        self.faults = {}
        self.received = []
        self.release = threading.Event()   # wakes "hang" requests
        self.closing = threading.Event()
        self.idle = set()      # connections waiting for their next request
        self.server = None
        self.port = None
        self.closed = False

    def start(self, port=0):
        self.server = Server(("127.0.0.1", port), Handler)
        self.server.instance = self
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever,
                         kwargs={"poll_interval": 0.05},
                         name="standin-%d" % self.port, daemon=True).start()
        return self

    @property
    def base(self):
        return "http://127.0.0.1:%d" % self.port

    def reset(self):
        with self.lock:
            self.replies.clear()
            self.faults.clear()
            self.received.clear()
            old, self.release = self.release, threading.Event()
        old.set()
        self.model.reset()
        self.site.reset()

    def close(self):
        with self.lock:
            if self.closed:
                return
            self.closed = True
        self.closing.set()
        self.release.set()
        self.server.shutdown()
        self.server.server_close()
        # Answers in progress finish; idle keep-alive connections are cut.
        for conn in list(self.idle):
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self.registry.forget(self)

    def find_rule(self, table, keys):
        with self.lock:
            for key in keys:
                rule = table.get(key)
                if rule is not None:
                    if rule.take():
                        return rule.params
                    del table[key]
        return None

    def log(self, entry):
        with self.lock:
            self.received.append(entry)
            del self.received[:-MAX_LOG]


class Registry:
    def __init__(self):
        self.lock = threading.Lock()
        self.instances = {}
        self.primary = None
        self.stop = threading.Event()

    def spawn(self, port=0):
        inst = Instance(self).start(port)
        with self.lock:
            self.instances[inst.port] = inst
            if self.primary is None:
                self.primary = inst
        return inst

    def forget(self, inst):
        with self.lock:
            self.instances.pop(inst.port, None)

    def close_all(self):
        with self.lock:
            instances = list(self.instances.values())
        threads = [threading.Thread(target=i.close) for i in instances]
        for t in threads:
            t.start()
        for t in threads:
            t.join(5)


# --- request records ------------------------------------------------------

def decrypt_sign(sign):
    """(plaintext, document, member bytes) of a sign field, or Nones."""
    if sign is None:
        return None, None, None
    try:
        plain = envelope.decrypt_hex(sign)
    except envelope.CipherError:
        return None, None, None
    text, document = envelope.decode_request(plain)
    return text, document, envelope.member_bytes(plain)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 300          # idle keep-alive connections
    server_version = "standin/1.0"
    # Headers and body go out in two writes; without this the body waits
    # for the peer's delayed acknowledgement.
    disable_nagle_algorithm = True

    @property
    def instance(self):
        return self.server.instance

    def handle_one_request(self):
        inst = self.instance
        inst.idle.add(self.connection)
        try:
            if inst.closed:
                self.close_connection = True
                return
            super().handle_one_request()
        finally:
            inst.idle.discard(self.connection)

    def parse_request(self):
        self.instance.idle.discard(self.connection)
        return super().parse_request()

    def log_message(self, fmt, *args):
        if VERBOSE:
            sys.stderr.write("[%d] %s\n" % (self.instance.port, fmt % args))

    def do_GET(self):
        self.dispatch()

    do_POST = do_PUT = do_DELETE = do_HEAD = do_GET

    # --- plumbing ------------------------------------------------------
    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            data = bytearray()
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip(), 16)
                if size == 0:
                    while self.rfile.readline().strip():
                        pass
                    return bytes(data)
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def write(self, status, body, headers=(), length=None, close=False):
        self.send_response(status)
        names = set()
        for name, value in headers:
            names.add(name.lower())
            self.send_header(name, value)
        if length != "none" and "content-length" not in names:
            self.send_header("Content-Length",
                             str(len(body) if length is None else length))
        if close or length == "none":
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.wfile.flush()

    def hang_up(self):
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def send_huge(self, fault):
        """'bytes' of filler (default 100 MB) under a Content-Length of
        'length' (default the same count); ends early when the peer goes."""
        count = int(fault.get("bytes", 100 * 1024 * 1024))
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(int(fault.get("length", count))))
        self.end_headers()
        chunk = b"0" * HUGE_CHUNK
        sent = 0
        try:
            while sent < count and not self.instance.closing.is_set():
                part = chunk[:min(HUGE_CHUNK, count - sent)]
                self.wfile.write(part)
                sent += len(part)
        except OSError:
            pass
        self.hang_up()

    def send_drip(self, fault):
        """'bytes' of filler (default 64), one every 'ms' (default 200)."""
        count = int(fault.get("bytes", 64))
        pause = int(fault.get("ms", 200)) / 1000.0
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(count))
        self.end_headers()
        try:
            for _ in range(count):
                self.wfile.write(b"0")
                self.wfile.flush()
                if self.instance.closing.wait(pause):
                    break
        except OSError:
            pass
        self.hang_up()

    def send_json(self, obj, status=200):
        body = json.dumps(obj, ensure_ascii=True).encode("ascii")
        self.write(status, body,
                   [("Content-Type", "application/json; charset=utf-8")])

    # --- dispatch ------------------------------------------------------
    def dispatch(self):
        url = urlsplit(self.path)
        path, query = url.path or "/", url.query
        body = self.read_body()
        try:
            if path.startswith(CONTROL_PREFIX):
                self.control(path[len(CONTROL_PREFIX):], query, body)
            else:
                self.service(path, query, body)
        except ControlError as exc:
            self.send_json({"error": str(exc)}, 400)
        except (ConnectionError, socket.timeout):
            self.close_connection = True
        except Exception:
            traceback.print_exc()
            self.write(500, traceback.format_exc().encode("utf-8", "replace"),
                       [("Content-Type", "text/plain; charset=utf-8")],
                       close=True)

    def service(self, path, query, body):
        inst = self.instance
        action = path[len(API_PREFIX):].strip("/") \
            if path.startswith(API_PREFIX) else None
        form = web.parse_form(body) if body else {}
        args = web.parse_form(query.encode("latin-1", "replace")) \
            if query else {}
        plaintext, document, member_hex = decrypt_sign(
            form.get("sign", args.get("sign")))
        inst.log({
            "method": self.command, "path": path, "query": query,
            "action": action,
            "headers": {k: v for k, v in self.headers.items()},
            "body": body.decode("latin-1"), "body_hex": body.hex(),
            "form": form or None, "args": args or None,
            "document": document, "plaintext": plaintext,
            "member_hex": member_hex,
            "time": time.time(),
        })
        keys = []
        if action is not None:
            keys.append(("action", action))
        if query:
            keys.append(("path", path + "?" + query))
        keys.append(("path", path))
        keys.append(("path", ANY_PATH))
        fault = inst.find_rule(inst.faults, keys)
        kind = fault["kind"] if fault else None

        if kind == "hang":
            inst.release.wait()
            self.hang_up()
            return
        if kind == "status":
            code = int(fault.get("code", 500))
            self.write(code, b"<html><body>error %d</body></html>" % code,
                       [("Content-Type", "text/html")])
            return
        if kind == "redirect":
            # By default to the very same address: a client that follows
            # redirects without a bound never gets out.
            code = int(fault.get("code", 302))
            target = fault.get("location") or (
                path + ("?" + query if query else ""))
            self.write(code, b"<html><body>moved</body></html>",
                       [("Content-Type", "text/html"),
                        ("Location", target)])
            return
        if kind == "nonhex":
            self.write(200, b"<html><body>Service temporarily unavailable"
                       b"</body></html>", [("Content-Type", "text/html")])
            return
        if kind == "garbage":
            noise = b"\xff" + os.urandom(int(fault.get("size", 63)))
            self.write(200, noise,
                       [("Content-Type", "application/octet-stream")])
            return
        if kind == "reset":
            self.hang_up()
            return
        if kind == "cut_headers":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Ty")
            self.hang_up()
            return
        if kind == "huge":
            self.send_huge(fault)
            return
        if kind == "drip":
            self.send_drip(fault)
            return
        if kind == "bad_json":
            self.write(200, envelope.encrypt_hex(
                b'{"status": "1", "data": [').encode("ascii"),
                [("Content-Type", "text/html")])
            return
        if kind == "delay":
            if inst.closing.wait(int(fault.get("ms", 1000)) / 1000.0):
                self.hang_up()
                return

        reply = self.compute(path, query, body, action, keys, document)
        if kind == "drop":
            self.send_response(reply.status)
            for name, value in reply.headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(reply.body)))
            self.end_headers()
            self.wfile.write(reply.body[:len(reply.body) // 2])
            self.hang_up()
        elif kind == "bad_length":
            self.write(reply.status, reply.body, reply.headers,
                       length=int(fault.get("length", len(reply.body) + 16)),
                       close=True)
            self.hang_up()
        elif kind == "no_length":
            self.write(reply.status, reply.body, reply.headers,
                       length="none")
            self.hang_up()
        else:
            self.write(reply.status, reply.body, reply.headers)

    def compute(self, path, query, body, action, keys, document):
        inst = self.instance
        override = inst.find_rule(inst.replies, keys)
        if override is not None:
            return override_reply(override, action)
        if action is not None:
            result = None
            if document is not None or action == "get_time":
                result = inst.model.handle(action, document)
            if result is None:
                doc = {"status": "-1", "data": ["-1"]}
            else:
                doc = {"status": result[0], "data": result[1]}
            return web.Reply(200, envelope.reply_body(
                doc, action in envelope.ESCAPED_ACTIONS))
        return inst.site.serve(self.command, path, query, body,
                               self.headers)

    # --- control -------------------------------------------------------
    def control(self, name, query, body):
        inst = self.instance
        params = {}
        if body.strip():
            # UTF-8 normally; a test written in the ANSI code page sends GBK.
            for codec in ("utf-8", "gbk"):
                try:
                    params = json.loads(body.decode(codec))
                    break
                except ValueError as exc:  # UnicodeDecodeError included
                    error = exc
            else:
                raise ControlError("body is not JSON: %s" % error)
        if not isinstance(params, dict):
            raise ControlError("body must be a JSON object")
        name = name.strip("/")
        get = self.command == "GET"

        if name in ("", "ping"):
            self.send_json({"ok": True, "port": inst.port})
        elif name == "spawn" and not get:
            child = inst.registry.spawn(0)
            self.send_json({"port": child.port})
        elif name == "close" and not get:
            self.send_json({"ok": True})
            self.close_connection = True
            registry = inst.registry
            if inst is registry.primary:
                registry.stop.set()
            else:
                threading.Thread(target=inst.close, daemon=True).start()
        elif name == "reset" and not get:
            inst.reset()
            self.send_json({"ok": True})
        elif name == "reply" and not get:
            key = rule_key(params)
            if params.get("clear"):
                with inst.lock:
                    inst.replies.pop(key, None)
            else:
                given = [k for k in PAYLOAD_KEYS if k in params]
                if len(given) != 1:
                    raise ControlError("give exactly one of %s"
                                       % ", ".join(PAYLOAD_KEYS))
                override_reply(params, params.get("action"))  # validate now
                with inst.lock:
                    inst.replies[key] = Rule(params)
            self.send_json({"ok": True})
        elif name == "fault" and not get:
            key = rule_key(params)
            kind = params.get("kind")
            if kind == "none":
                with inst.lock:
                    inst.faults.pop(key, None)
            elif kind in FAULT_KINDS:
                with inst.lock:
                    inst.faults[key] = Rule(params)
            else:
                raise ControlError("kind must be one of %s"
                                   % ", ".join(FAULT_KINDS + ("none",)))
            self.send_json({"ok": True})
        elif name == "received" and get:
            want = {k: v[-1] for k, v in parse_qs(query).items()}
            with inst.lock:
                entries = [e for e in inst.received
                           if all(e.get(k) == v for k, v in want.items())]
            self.send_json(entries)
        elif name == "clear" and not get:
            with inst.lock:
                inst.received.clear()
            self.send_json({"ok": True})
        elif name == "state" and get:
            state = inst.model.summary()
            state["site"] = inst.site.summary()
            state["port"] = inst.port
            self.send_json(state)
        elif name == "state":
            site = {k: v for k, v in params.items()
                    if k in web.Site.STATE_KEYS}
            rest = {k: v for k, v in params.items() if k not in site}
            try:
                for k, v in site.items():
                    inst.site.apply_state(k, v)
                inst.model.apply_state(rest)
            except KeyError as exc:
                raise ControlError("unknown state key %s" % exc)
            except (TypeError, ValueError, AttributeError) as exc:
                raise ControlError("bad state value: %s" % exc)
            self.send_json({"ok": True})
        else:
            self.send_json({"error": "no control %s %s"
                            % (self.command, name)}, 404)


def override_reply(params, action):
    status = int(params.get("status", 200))
    headers = list((params.get("headers") or {}).items())
    try:
        if "document" in params:
            escape = params.get("escape",
                              action in envelope.ESCAPED_ACTIONS)
            body = envelope.reply_body(params["document"], bool(escape))
        elif "plaintext" in params:
            body = envelope.encrypt_hex(envelope.text_to_bytes(
                params["plaintext"])).encode("ascii")
        elif "body" in params:
            body = params["body"].encode(params.get("encoding", "utf-8"))
        else:
            body = bytes.fromhex(params["body_hex"])
    except (AttributeError, LookupError, TypeError, ValueError) as exc:
        raise ControlError("bad reply payload: %s" % exc)
    reply = web.Reply(status, body)
    if headers:
        given = {n.lower() for n, _ in headers}
        reply.headers = [h for h in reply.headers
                         if h[0].lower() not in given] + headers
    return reply


def main(argv=None):
    global VERBOSE
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--verbose", action="store_true")
    opts = parser.parse_args(argv)
    VERBOSE = opts.verbose

    registry = Registry()
    inst = registry.spawn(opts.port)
    if opts.port_file:
        tmp = opts.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % inst.port)
        os.replace(tmp, opts.port_file)

    def stop(signum, frame):
        registry.stop.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("standin listening on 127.0.0.1:%d" % inst.port, flush=True)
    while not registry.stop.wait(0.2):
        pass
    registry.close_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())
