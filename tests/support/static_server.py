#!/usr/bin/env python3
"""A static HTTP server on 127.0.0.1 for the AccurateRip stand-in: static_server.py
ROOT [LOG] prints its port, then serves the files under ROOT (404 for the rest) and
appends each request's path to LOG."""
import functools
import http.server
import sys

ROOT = sys.argv[1]
LOG = sys.argv[2] if len(sys.argv) > 2 else None


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if LOG:
            with open(LOG, "a") as log:
                log.write(self.path + "\n")
        super().do_GET()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=ROOT))
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
