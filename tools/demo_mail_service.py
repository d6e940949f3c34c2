#!/usr/bin/env python3
"""A small temporary-mail service for the loopback interface, so that Quorvane does its
main job on a machine without a network.

    tools/demo_mail_service.py [--port 8025] [--log FILE]

It listens on 127.0.0.1 only (default port 8025, the address a default build of the
program uses) and keeps its mailboxes in memory until it stops (SIGTERM or Ctrl+C).

  GET  /            the mailbox named by the "mailbox" cookie and its letters, or a short
                    page saying that no mailbox has been applied for
  POST /applymail   form body "mail=NAME%40DOMAIN": makes the mailbox, sets the cookie
                    "mailbox" to it (path /) and answers briefly
  POST /deliver     form body "to=NAME%40DOMAIN&from=...&subject=...&text=...": drops a
                    test letter into that mailbox (made when missing); for example
                      curl -d 'to=325931666666666666666666666666666%40demo.test' \
                           -d 'subject=hello' -d 'text=first letter' \
                           http://127.0.0.1:8025/deliver

Every request is logged, one line each, flushed at once, to stdout and to FILE if given:
    METHOD PATH cookie=<Cookie header or -> body=<body as received or ->
Pages are UTF-8 with a charset header.
"""
import argparse
import html
import http.cookies
import http.server
import signal
import sys
import threading
import urllib.parse

COOKIE = "mailbox"


class Store:
    def __init__(self):
        self.lock = threading.Lock()
        self.boxes = {}  # address -> list of letters (dicts)

    def apply(self, address):
        with self.lock:
            self.boxes.setdefault(address, [])

    def deliver(self, address, letter):
        with self.lock:
            self.boxes.setdefault(address, []).append(letter)

    def letters(self, address):
        with self.lock:
            return list(self.boxes.get(address, []))


class Log:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8") if path else None

    def line(self, text):
        with self.lock:
            print(text, flush=True)
            if self.file:
                self.file.write(text + "\n")
                self.file.flush()


def shown(raw):
    """Bytes as the log shows them: printable ASCII as is, every other byte as \\xHH."""
    return "".join(chr(b) if 32 <= b < 127 and b != 0x5C else "\\x%02X" % b for b in raw)


def page(title, body_html):
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title></head>"
            "<body><h1>%s</h1>%s</body></html>\n" % (html.escape(title), html.escape(title),
                                                       body_html)).encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "DemoMail/1.0"
    store = None
    log = None

    def log_message(self, fmt, *args):  # the request log below replaces the default one
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def record(self, body):
        cookie = self.headers.get("Cookie")
        self.log.line("%s %s cookie=%s body=%s" % (self.command, self.path,
                                                    cookie if cookie else "-",
                                                    shown(body) if body else "-"))

    def answer(self, status, content, extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(content)))
        self.send_header("Cache-Control", "no-store")
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(content)

    def mailbox_from_cookie(self):
        jar = http.cookies.SimpleCookie()
        try:
            jar.load(self.headers.get("Cookie") or "")
        except http.cookies.CookieError:
            return ""
        morsel = jar.get(COOKIE)
        return urllib.parse.unquote(morsel.value) if morsel else ""

    def do_GET(self):
        self.record(b"")
        if urllib.parse.urlsplit(self.path).path != "/":
            self.answer(404, page("Not found", "<p>Nothing here.</p>"))
            return
        address = self.mailbox_from_cookie()
        if not address:
            self.answer(200, page("Demo mail", "<p>No mailbox has been applied for yet.</p>"))
            return
        letters = self.store.letters(address)
        items = "".join("<li><b>%s</b> from %s<pre>%s</pre></li>" % (
            html.escape(l["subject"]), html.escape(l["from"]), html.escape(l["text"]))
            for l in letters) or "<li>No letters yet.</li>"
        self.answer(200, page("Mailbox " + address, "<ul>%s</ul>" % items))

    do_HEAD = do_GET

    def do_POST(self):
        body = self.read_body()
        self.record(body)
        path = urllib.parse.urlsplit(self.path).path
        fields = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True,
                                       encoding="latin-1")
        first = lambda name: fields.get(name, [""])[0]
        if path == "/applymail":
            address = first("mail")
            if not address:
                self.answer(400, page("Refused", "<p>No mailbox name given.</p>"))
                return
            self.store.apply(address)
            cookie = "%s=%s; Path=/" % (COOKIE, urllib.parse.quote(address, safe="@.-_"))
            self.answer(200, page("Applied", "<p>Mailbox %s is yours.</p>" % html.escape(address)),
                        [("Set-Cookie", cookie)])
        elif path == "/deliver":
            address = first("to")
            if not address:
                self.answer(400, page("Refused", "<p>No mailbox given (to=).</p>"))
                return
            self.store.deliver(address, {"from": first("from") or "demo@localhost",
                                         "subject": first("subject") or "(no subject)",
                                         "text": first("text")})
            self.answer(200, page("Delivered", "<p>Letter dropped into %s.</p>" % html.escape(address)))
        else:
            self.answer(404, page("Not found", "<p>Nothing here.</p>"))


def main():
    parser = argparse.ArgumentParser(description="Demo temporary-mail service on 127.0.0.1.")
    parser.add_argument("--port", type=int, default=8025)
    parser.add_argument("--log", help="also append the request log to this file")
    args = parser.parse_args()

    Handler.store = Store()
    Handler.log = Log(args.log)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True

    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    print("demo mail service listening on http://127.0.0.1:%d/" % server.server_address[1],
          flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
