#!/usr/bin/env python3
"""MusicBrainz (/ws/2/discid/<id>) and gnudb (/~cddb/cddb.cgi?cmd=cddb+query|read...)
on 127.0.0.1 for the lookup tests: lookup_server.py REPLIES_DIR SCENARIO LOG [COVERS]
prints its port, then serves the scenario's recorded replies ("@DISCID@" becomes the id
asked for) and logs each request as "<path and query>\t<User-Agent>". With COVERS it
plays the Cover Art Archive too: /release/<mbid> is COVERS/<mbid>.json ("@SERVER@"
becomes this server's address) and /covers/<name> is COVERS/<name>."""
import http.server
import sys
import time
import urllib.parse

REPLIES, SCENARIO, LOG = sys.argv[1], sys.argv[2], sys.argv[3]
COVERS = sys.argv[4] if len(sys.argv) > 4 else None
NOT_FOUND = b'<?xml version="1.0"?><error><text>Not Found</text></error>'
NO_MATCH = b"202 No match found.\r\n"


def reply(name):
    with open(f"{REPLIES}/{name}", "rb") as f:
        return f.read()


def two_hundred_tracks():
    tracks = b"".join(b"<track><title>T%d</title></track>" % n for n in range(200))
    return (b"<metadata><disc><release-list><release><title>Big</title><medium-list><medium>"
            b"<track-list>" + tracks + b"</track-list></medium></medium-list></release></release-list>"
            b"</disc></metadata>")


# Per scenario: (status, body, seconds to wait first) for MusicBrainz, the
# gnudb query and the gnudb read.
SCENARIOS = {
    "one": {"mb": (200, reply("mb_one.xml"), 0)},
    "several": {"mb": (200, reply("mb_several.xml"), 0)},
    "gnudb": {"mb": (404, NOT_FOUND, 0), "query": (200, reply("gnudb_query.txt"), 0),
              "read": (200, reply("gnudb_read.txt"), 0)},
    "none": {"mb": (404, NOT_FOUND, 0), "query": (200, NO_MATCH, 0)},
    "slow": {"mb": (200, reply("mb_one.xml"), 30)},
    "malformed": {"mb": (200, reply("mb_one.xml")[:700], 0), "query": (200, NO_MATCH, 0)},
    "busy": {"mb": (503, b"busy", 0), "query": (500, b"oops", 0)},
    "huge": {"mb": (200, b"<metadata>" + b" " * (3 << 20), 0), "query": (200, NO_MATCH, 0)},
    "hostile": {"mb": (200, two_hundred_tracks(), 0),
                "query": (200, b"200 misc 0a0b0c03 ../.. / ..\r\n", 0),
                "read": (200, reply("gnudb_hostile.txt") + b"TTITLE2=" + b"A" * 100000 + b"\r\n.\r\n", 0)},
}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(LOG, "a") as log:
            log.write(f"{self.path}\t{self.headers.get('User-Agent')}\n")
        url = urllib.parse.urlsplit(self.path)
        discid = ""
        if COVERS and (url.path.startswith("/release/") or url.path.startswith("/covers/")):
            self.cover(url.path)
            return
        if url.path.startswith("/ws/2/discid/"):
            discid = url.path.rsplit("/", 1)[1]
            entry = SCENARIOS[SCENARIO].get("mb")
        else:
            command = urllib.parse.parse_qs(url.query).get("cmd", [""])[0].split()
            entry = SCENARIOS[SCENARIO].get(command[1] if len(command) > 1 else "")
        status, body, delay = entry or (404, b"", 0)
        time.sleep(delay)
        body = body.replace(b"@DISCID@", discid.encode())
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def cover(self, path):
        name = path.rsplit("/", 1)[1]
        name = name + ".json" if path.startswith("/release/") else name
        try:
            with open(f"{COVERS}/{name}", "rb") as f:
                body = f.read().replace(b"@SERVER@", f"http://127.0.0.1:{self.server.server_address[1]}".encode())
            status = 200
        except OSError:
            status, body = 404, b"Not Found"
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
