#!/usr/bin/env python3
"""A real HTTP server on 127.0.0.1 for the tests: it records every request and
answers each with the body the test put in its folder.

Usage: report_server.py FOLDER

FOLDER/port      written once the server listens: its port number
FOLDER/reply     the body of every answer, read per request (missing: empty);
                 the body "hang" makes the server take the request and never answer
FOLDER/requests  one line per request, tab-separated: the user agent, the raw
                 request target, then each query pair as a standard server decodes
                 it ("+" is a blank, escapes are bytes), written as hex(key)=hex(value)

It ends when FOLDER/stop appears, when FOLDER goes, or when the process that
started it ends, so a test program that dies leaves nothing running.
"""
import http.server
import os
import sys
import threading
import time
import urllib.parse

FOLDER = sys.argv[1]
PARENT = os.getppid()
LOCK = threading.Lock()
LIFETIME = 3600


def path(name):
    return os.path.join(FOLDER, name)


def ending():
    return os.path.exists(path("stop")) or not os.path.isdir(FOLDER) or os.getppid() != PARENT


def watch():
    started = time.time()
    while not ending() and time.time() - started < LIFETIME:
        time.sleep(0.2)
    os._exit(0)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        query = self.path.split("?", 1)[1] if "?" in self.path else ""
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True, encoding="latin-1")
        fields = [self.headers.get("User-Agent", ""), self.path]
        fields += [k.encode("latin-1").hex() + "=" + v.encode("latin-1").hex() for k, v in pairs]
        with LOCK, open(path("requests"), "ab") as log:
            log.write(("\t".join(fields) + "\n").encode("latin-1", "replace"))
        try:
            with open(path("reply"), "rb") as f:
                body = f.read()
        except OSError:
            body = b""
        if body == b"hang":
            while not ending():
                time.sleep(0.2)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    # Nothing of the test program's console is held open by this process.
    null = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(null, fd)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(path("port.tmp"), "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(path("port.tmp"), path("port"))
    threading.Thread(target=watch, daemon=True).start()
    server.serve_forever()


main()
