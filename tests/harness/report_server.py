#!/usr/bin/env python3
"""The tests' stand-in for the state-report endpoint: an HTTPS server on
127.0.0.1 that answers every GET with "ok" and appends one line per request
to a record file: the path with its query, a tab, the user agent. Requests
for the HELD states (comma-separated) are recorded when they arrive but
answered only once the file RELEASE exists, as a slow endpoint would.

usage: report_server.py PORT CERT KEY RECORD [HELD RELEASE]
Prints "ready" once it listens; stops on SIGTERM.
"""
import http.server
import os
import ssl
import sys
import time
import urllib.parse


def main():
    port, cert, key, record = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    held = set(filter(None, sys.argv[5].split(","))) if len(sys.argv) > 6 else set()
    release = sys.argv[6] if len(sys.argv) > 6 else ""

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            with open(record, "a", encoding="utf-8") as out:
                out.write(f"{self.path}\t{self.headers.get('User-Agent', '')}\n")
            state = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query).get("state", [""])[0]
            while state in held and not os.path.exists(release):
                time.sleep(0.05)
            self.send_response(200)
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"ok")

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
