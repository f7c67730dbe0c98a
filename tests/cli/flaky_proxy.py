#!/usr/bin/python3
"""A proxy in front of the test's Radicale that fails chosen requests, as a server in trouble would.

flaky_proxy.py PORT TARGET CONTROL [DELAY_MS]: listens on 127.0.0.1:PORT and forwards to TARGET
(http://127.0.0.1:N). Each request whose method and path contain both words of the first line of the file
CONTROL ("PUT memo") is answered 500 without reaching the server; an empty or missing file fails nothing.
With DELAY_MS every request waits that long first, as over a network to a server elsewhere (the
benchmark's case for several connections).
"""
import http.server
import sys
import time
import urllib.error
import urllib.request

PORT, TARGET, CONTROL = int(sys.argv[1]), sys.argv[2].rstrip("/"), sys.argv[3]
DELAY = int(sys.argv[4]) / 1000 if len(sys.argv) > 4 else 0


def failing(method, path):
    try:
        words = open(CONTROL, encoding="utf-8").readline().split()
    except OSError:
        return False
    return len(words) == 2 and words[0] == method and words[1] in path


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0) or 0))
        if DELAY:
            time.sleep(DELAY)
        if failing(self.command, self.path):
            self.reply(500, {"Content-Type": "text/plain"}, b"failing on purpose")
            return
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection", "accept-encoding")}
        request = urllib.request.Request(TARGET + self.path, data=body or None, method=self.command,
                                         headers=headers)
        try:
            with urllib.request.urlopen(request) as r:
                self.reply(r.status, r.headers, r.read())
        except urllib.error.HTTPError as e:
            self.reply(e.code, e.headers, e.read())

    def reply(self, status, headers, body):
        self.send_response(status)
        for k, v in headers.items():
            if k.lower() in ("etag", "content-type", "location"):
                self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_OPTIONS = do_POST = handle_any


http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
