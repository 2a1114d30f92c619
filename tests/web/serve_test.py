#!/usr/bin/env python3
"""web/serve.py as a viewer runs it: bad ports, port 0, Ctrl-C with a
browser's idle connection open, and a restart on the same port. Everything
on 127.0.0.1."""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.request

SERVE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "web", "serve.py")
DEADLINE_S = 10  # generous: only "does not hang" is asked


def free_port():
    """A port free a moment ago (serve.py moves up from it if it is not)."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Served:
    """serve.py running on `port`, with the address it printed."""

    def __init__(self, site, port):
        self.proc = subprocess.Popen([sys.executable, SERVE, site, str(port)],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.url = self.proc.stdout.readline().strip()
        self.port = int(self.url.rsplit(":", 1)[1].strip("/")) if self.url else None

    def interrupt(self):
        self.proc.send_signal(signal.SIGINT)
        try:
            return self.proc.wait(timeout=DEADLINE_S)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()


class ServeTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.site = self.dir.name
        with open(os.path.join(self.site, "kestovar.wasm"), "wb") as f:
            f.write(b"\0asm\1\0\0\0")

    def tearDown(self):
        self.dir.cleanup()

    def serve(self, port):
        s = Served(self.site, port)
        self.addCleanup(s.stop)
        return s

    def test_wrong_command_lines_give_one_clear_line(self):
        cases = {("abc",): "the port 'abc' is not a number",
                 ("8x0",): "the port '8x0' is not a number",
                 ("",): "the port '' is not a number",
                 ("-1",): "the port -1 is not within 0 to 65535",
                 ("65536",): "the port 65536 is not within 0 to 65535",
                 ("99999999999999999999",): "the port 99999999999999999999 is not within 0 to 65535",
                 ("8000", "extra"): "usage: serve.py SITE_DIR [PORT]"}
        for args, reason in cases.items():
            with self.subTest(args=args):
                p = subprocess.run([sys.executable, SERVE, self.site, *args], capture_output=True,
                                   text=True, timeout=DEADLINE_S)
                self.assertEqual(p.returncode, 2)
                self.assertEqual(p.stdout, "")
                self.assertEqual(p.stderr, f"serve.py: {reason}\n")
        p = subprocess.run([sys.executable, SERVE, os.path.join(self.site, "none")],
                           capture_output=True, text=True, timeout=DEADLINE_S)
        self.assertEqual(p.returncode, 2)
        self.assertEqual(len(p.stderr.splitlines()), 1, p.stderr)
        self.assertIn("is not a folder", p.stderr)

    def test_port_0_prints_the_port_really_used(self):
        s = self.serve(0)
        self.assertIsNotNone(s.port, s.proc.stderr.read() if s.proc.poll() is not None else "")
        self.assertGreater(s.port, 0)
        with urllib.request.urlopen(f"http://127.0.0.1:{s.port}/kestovar.wasm",
                                    timeout=DEADLINE_S) as r:
            self.assertEqual(r.headers["Content-Type"], "application/wasm")
            self.assertEqual(r.read(), b"\0asm\1\0\0\0")

    def test_ctrl_c_ends_it_while_connections_idle(self):
        s = self.serve(free_port())
        # A browser's spare connection that never sends, and one that
        # stopped halfway through its request.
        idle = socket.create_connection(("127.0.0.1", s.port), timeout=DEADLINE_S)
        half = socket.create_connection(("127.0.0.1", s.port), timeout=DEADLINE_S)
        half.sendall(b"GET /kestovar.wasm HTTP/1.1\r\nHost: 127")
        # The server has taken both (its answer to a third request proves it).
        with urllib.request.urlopen(s.url, timeout=DEADLINE_S) as r:
            r.read()
        self.assertEqual(s.interrupt(), 0, "serve.py still runs 10 s after Ctrl-C")
        self.assertNotIn("Traceback", s.proc.stderr.read())
        idle.close()
        half.close()

    def test_a_restart_gets_its_port_back(self):
        s = self.serve(free_port())
        port = s.port
        # Served and closed by the server: the port lingers in TIME_WAIT.
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/kestovar.wasm",
                                    timeout=DEADLINE_S) as r:
            r.read()
        self.assertEqual(s.interrupt(), 0)
        again = self.serve(port)
        self.assertEqual(again.port, port)


if __name__ == "__main__":
    unittest.main()
