#!/usr/bin/env python3
"""Serves the built page on 127.0.0.1 and prints its address.

Usage: serve.py SITE_DIR [PORT]   (the first free port from PORT, 8000 by
default; 0 takes any free port). WebAssembly needs http rather than file://,
with its own type. Ctrl-C ends it, even while a browser keeps a connection
open; a restart gets the same port back at once.
"""
import functools
import http.server
import os
import sys

USAGE = "usage: serve.py SITE_DIR [PORT]"
TRIES = 100  # ports tried from PORT up
IDLE_S = 30  # a connection that sends nothing for this long is dropped


def refuse(message):
    print(f"serve.py: {message}", file=sys.stderr)
    sys.exit(2)


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}
    timeout = IDLE_S


class Server(http.server.ThreadingHTTPServer):
    # Connection threads do not hold the process when it is told to end,
    # and a restart may take the port back while old connections of it
    # linger in the kernel.
    daemon_threads = True
    allow_reuse_address = True


def parse(args):
    if not 1 <= len(args) <= 2:
        refuse(USAGE)
    site = args[0]
    if not os.path.isdir(site):
        refuse(f"{site!r} is not a folder (build the page first: scripts/build-web.sh)")
    text = args[1] if len(args) > 1 else "8000"
    try:
        first = int(text)
    except ValueError:
        refuse(f"the port {text[:40]!r} is not a number")
    if not 0 <= first <= 65535:
        refuse(f"the port {first} is not within 0 to 65535")
    return site, first


def listen(site, first):
    handler = functools.partial(Handler, directory=site)
    ports = [0] if first == 0 else range(first, min(first + TRIES, 65536))
    for port in ports:
        try:
            return Server(("127.0.0.1", port), handler)
        except OSError:
            continue
    refuse(f"no free port from {first} to {ports[-1]}")


def main():
    site, first = parse(sys.argv[1:])
    server = listen(site, first)
    print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
