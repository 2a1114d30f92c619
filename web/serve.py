#!/usr/bin/env python3
"""Serves the built page on 127.0.0.1 and prints its address.

Usage: serve.py SITE_DIR [PORT]   (the first free port from PORT, 8000 by
default). WebAssembly needs http rather than file://, with its own type.
"""
import functools
import http.server
import socketserver
import sys

site = sys.argv[1]
first = int(sys.argv[2]) if len(sys.argv) > 2 else 8000


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}


for port in range(first, first + 100):
    try:
        server = socketserver.ThreadingTCPServer(
            ("127.0.0.1", port), functools.partial(Handler, directory=site))
        break
    except OSError:
        continue
else:
    sys.exit(f"serve.py: no free port from {first} to {first + 99}")
print(f"http://127.0.0.1:{port}/", flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
