#!/usr/bin/env python3
"""The demo mail service as a client sees it: apply, deliver, read the mailbox, the log."""
import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest
import urllib.request

SERVICE = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "demo_mail_service.py")


class DemoMailServiceTest(unittest.TestCase):
    def setUp(self):
        self.log = tempfile.NamedTemporaryFile(suffix=".log", delete=False).name
        self.process = subprocess.Popen([sys.executable, SERVICE, "--port", "0", "--log", self.log],
                                        stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        self.base = re.search(r"http://127\.0\.0\.1:\d+", line).group(0)

    def tearDown(self):
        self.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.process.wait(timeout=10), 0)
        self.process.stdout.close()
        os.unlink(self.log)

    def request(self, path, body=None, cookie=None):
        req = urllib.request.Request(self.base + path, data=body)
        if cookie:
            req.add_header("Cookie", cookie)
        with urllib.request.urlopen(req, timeout=10) as answer:
            return answer.headers, answer.read().decode(answer.headers.get_content_charset())

    def test_page_without_cookie_says_no_mailbox(self):
        headers, page = self.request("/")
        self.assertIn("charset=utf-8", headers["Content-Type"])
        self.assertIn("No mailbox", page)

    def test_application_sets_the_cookie_and_the_page_shows_delivered_letters(self):
        headers, _ = self.request("/applymail", b"mail=12-34%40demo.test")
        cookie = headers["Set-Cookie"].split(";")[0]
        self.assertEqual(cookie, "mailbox=12-34@demo.test")
        _, page = self.request("/", cookie=cookie)
        self.assertIn("Mailbox 12-34@demo.test", page)
        self.assertIn("No letters yet", page)
        self.request("/deliver", b"to=12-34%40demo.test&subject=Hello&text=first+letter")
        _, page = self.request("/", cookie=cookie)
        self.assertIn("Hello", page)
        self.assertIn("first letter", page)

    def test_every_request_is_logged_with_cookie_and_body(self):
        self.request("/applymail", b"mail=a%26b%40demo.test")
        self.request("/", cookie="mailbox=a%26b@demo.test")
        with open(self.log, encoding="utf-8") as log:
            lines = log.read().splitlines()
        self.assertEqual(lines, ["POST /applymail cookie=- body=mail=a%26b%40demo.test",
                                 "GET / cookie=mailbox=a%26b@demo.test body=-"])


if __name__ == "__main__":
    unittest.main()
