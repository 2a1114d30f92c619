#!/usr/bin/env python3
"""End-to-end tests of the demo, run against a private Xvfb.

Usage: e2e.py CASE   with the environment set by CTest:
  KESTOVAR     path of the demo
  SYNA_RENDER  path of syna-render (for the reference audio)
  ESCAPE_SHIM  path of the LD_PRELOAD helper that queues an Escape key
  E2E_OUT      folder for screenshots and audio captures; E2E_OUT/x/display
               names the fixture's Xvfb (set as DISPLAY for every case)

Each case exits 0 when it passes and prints what failed otherwise.
"""
import os
import re
import subprocess
import sys
import time

KESTOVAR = os.environ["KESTOVAR"]
OUT = os.environ.get("E2E_OUT", "/tmp/kestovar-e2e")
os.makedirs(OUT, exist_ok=True)
with open(os.path.join(OUT, "x", "display")) as _f:
    os.environ["DISPLAY"] = _f.read().strip()

STDOUT_RE = re.compile(rb"\AMeasuring CPU speed\.{80}\nFPS: (\d+)\n\Z")


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def env_with(**kw):
    env = dict(os.environ)
    for k, v in kw.items():
        if v is None:
            env.pop(k, None)
        else:
            env[k] = str(v)
    return env


def run(env, timeout):
    t0 = time.monotonic()
    p = subprocess.run([KESTOVAR], env=env, capture_output=True, timeout=timeout)
    return p, time.monotonic() - t0


def reference_audio():
    path = os.path.join(OUT, "reference.raw")
    if not os.path.exists(path):
        subprocess.run([os.environ["SYNA_RENDER"], "--raw", "-o", path], check=True,
                       capture_output=True)
    with open(path, "rb") as f:
        return f.read()


def check_stdout(p, expect_fps_zero=None):
    m = STDOUT_RE.match(p.stdout)
    if not m:
        fail("standard output was %r" % p.stdout[-200:])
    fps = int(m.group(1))
    if expect_fps_zero is True and fps != 0:
        fail("expected FPS 0, got %d" % fps)
    if expect_fps_zero is False and fps <= 0:
        fail("expected a positive FPS, got %d" % fps)
    return fps


def case_full_run():
    """A whole show on a fast disk audio driver: exact stdout, exit 0, the
    audio handed over is the start of the rendered song, and the show ended
    at bar 59 of that audio."""
    raw = os.path.join(OUT, "full.raw")
    p, secs = run(env_with(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw,
                           SDL_DISKAUDIODELAY=10), timeout=300)
    if p.returncode != 0:
        fail("exit status %d, stderr %r" % (p.returncode, p.stderr))
    check_stdout(p, expect_fps_zero=False)
    with open(raw, "rb") as f:
        played = f.read()
    ref = reference_audio()
    # While the device is open but still paused SDL plays whole buffers of
    # silence; the song starts after them.
    first_played = next((i for i, b in enumerate(played) if b), None)
    first_ref = next(i for i, b in enumerate(ref) if b)
    if first_played is None:
        fail("the audio device received only silence")
    lead = first_played - first_ref
    if lead < 0 or lead % 32768:
        fail("the song does not start on a buffer boundary (lead-in %d bytes)" % lead)
    song = played[lead:]
    if len(song) < 4 * bar_frame(59):
        fail("only %d frames were played before the end" % (len(song) // 4))
    n = min(len(song), len(ref))
    if song[:n] != ref[:n]:
        first = next(i for i in range(n) if song[i] != ref[i])
        fail("audio differs from the rendered song at byte %d" % first)
    if len(song) > len(ref) and any(song[len(ref):]):
        fail("audio past the end of the song is not silence")
    played = song
    print("full run: %.1f s, %d frames played, %s" % (secs, len(played) // 4, p.stdout[-12:]))


def case_escape_queued():
    """An Escape already queued when the loop starts ends it before the first
    frame: FPS 0, exit 0."""
    p, secs = run(env_with(SDL_AUDIODRIVER="dummy", LD_PRELOAD=os.environ["ESCAPE_SHIM"]),
                  timeout=120)
    if p.returncode != 0:
        fail("exit status %d, stderr %r" % (p.returncode, p.stderr))
    check_stdout(p, expect_fps_zero=True)
    print("escape queued: ended after %.1f s" % secs)


def wait_window(timeout=60):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        r = subprocess.run(["xdotool", "search", "--name", "^Kestovar$"], capture_output=True)
        ids = r.stdout.split()
        if ids:
            return ids[0].decode()
        time.sleep(0.1)
    fail("no window named Kestovar appeared")


def case_escape_mid():
    """Escape pressed in the middle of the show ends it at once."""
    proc = subprocess.Popen([KESTOVAR], env=env_with(SDL_AUDIODRIVER="dummy"),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        win = wait_window()
        time.sleep(3)
        subprocess.run(["xdotool", "key", "--window", win, "Escape"], check=True)
        t0 = time.monotonic()
        out, err = proc.communicate(timeout=20)
    finally:
        if proc.poll() is None:
            proc.kill()
    if proc.returncode != 0:
        fail("exit status %d, stderr %r" % (proc.returncode, err))
    p = subprocess.CompletedProcess([], proc.returncode, out, err)
    fps = check_stdout(p, expect_fps_zero=False)
    print("escape mid-show: ended %.2f s after the key, FPS %d" % (time.monotonic() - t0, fps))


def case_no_display():
    """No X display: a clear message and status 1, no crash, stdout untouched."""
    for disp in (None, ":59"):
        p, _ = run(env_with(DISPLAY=disp, SDL_AUDIODRIVER="dummy"), timeout=120)
        if p.returncode != 1:
            fail("DISPLAY=%s: exit status %d, stderr %r" % (disp, p.returncode, p.stderr))
        if p.stdout != b"Measuring CPU speed" + b"." * 80:
            fail("DISPLAY=%s: stdout %r" % (disp, p.stdout[-100:]))
        if b"display" not in p.stderr.lower():
            fail("DISPLAY=%s: message does not name the display: %r" % (disp, p.stderr))
    print("no display: status 1 with", p.stderr.decode().strip())


def case_no_audio():
    """No audio device: a warning, and the show still runs and ends at bar 59
    on the wall clock (about 113 s)."""
    p, secs = run(env_with(SDL_AUDIODRIVER="none-such"), timeout=240)
    if p.returncode != 0:
        fail("exit status %d, stderr %r" % (p.returncode, p.stderr))
    check_stdout(p, expect_fps_zero=False)
    if b"audio" not in p.stderr.lower():
        fail("no warning about audio: %r" % p.stderr)
    if not 110 < secs < 200:
        fail("silent show took %.1f s" % secs)
    print("no audio: show took %.1f s, warning %r" % (secs, p.stderr.decode().strip()))


def bar_frame(bar):
    """Audio frame at which the scene reaches a (fractional) bar: bar n
    begins 0.3 beat after the song's bar line, at 125 bpm."""
    return int((4 * bar + 0.3) * 0.48 * 44100)


def screenshot(name):
    png = os.path.join(OUT, name + ".png")
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True).stdout
    subprocess.run(["convert", "xwd:-", png], input=xwd, check=True)
    rgb = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True,
                          check=True).stdout.split()
    return png, int(size[0]), int(size[1]), rgb


def case_screenshots():
    """Screenshots at chosen bars, taken when the audio handed to a disk
    device reaches them, show what the scene must show there."""
    raw = os.path.join(OUT, "shots.raw")
    if os.path.exists(raw):
        os.remove(raw)
    ref = reference_audio()
    first_ref = next(i for i, b in enumerate(ref) if b)
    moments = [("bar05", 5.5), ("bar20", 20.5), ("bar43", 43.5), ("bar50", 50.5)]
    proc = subprocess.Popen([KESTOVAR], env=env_with(SDL_AUDIODRIVER="disk",
                                                     SDL_DISKAUDIOFILE=raw,
                                                     SDL_DISKAUDIODELAY=60),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    shots = {}
    try:
        lead = None
        deadline = time.monotonic() + 120
        for name, bar in moments:
            target = bar_frame(bar)
            while True:
                if time.monotonic() > deadline or proc.poll() is not None:
                    fail("the show did not reach bar %s" % bar)
                size = os.path.getsize(raw) if os.path.exists(raw) else 0
                if lead is None and size > first_ref:
                    with open(raw, "rb") as f:
                        data = f.read()
                    nz = next((i for i, b in enumerate(data) if b), None)
                    if nz is not None:
                        lead = nz - first_ref
                if lead is not None and (size - lead) // 4 >= target:
                    break
                time.sleep(0.01)
            # Let the frame for this position reach the screen.
            time.sleep(0.05)
            shots[name] = screenshot(name)
        out, err = proc.communicate(timeout=120)
    finally:
        if proc.poll() is None:
            proc.kill()
    if proc.returncode != 0:
        fail("exit status %d, stderr %r" % (proc.returncode, err))
    # What each moment must show: the background grey,
    # petals (black while unlit, blue-tinted once lit), and the scope trace,
    # the only neutral mid-grey in the picture.
    expect = {
        "bar05": dict(bg=229, lit=False, scope=True),
        "bar20": dict(bg=249, lit=True, scope=True),
        "bar43": dict(bg=0, lit=True, scope=True),
        "bar50": dict(bg=249, lit=True, scope=False),
    }
    for name, (png, w, h, rgb) in shots.items():
        m = measure(w, h, rgb)
        e = expect[name]
        print(name, png, m)
        if abs(m["background"] - e["bg"]) > 6:
            fail("%s: background %.1f, expected grey %d" % (name, m["background"], e["bg"]))
        if e["lit"] and m["tinted"] < 0.05:
            fail("%s: no lit petals (%.4f of the viewport tinted)" % (name, m["tinted"]))
        if not e["lit"] and (m["tinted"] > 0.001 or m["dark"] < 0.2):
            fail("%s: petals are not black (tinted %.4f, dark %.3f)" % (name, m["tinted"], m["dark"]))
        if e["scope"] and m["neutral"] < 100:
            fail("%s: no scope trace (%d neutral grey pixels)" % (name, m["neutral"]))
        if not e["scope"] and m["neutral"] > 20:
            fail("%s: a scope trace where none belongs (%d pixels)" % (name, m["neutral"]))


def measure(w, h, rgb):
    """Statistics of the 640x480-shaped viewport centred on the screen."""
    vw = min(w, h * 4 // 3)
    x0, x1 = (w - vw) // 2, (w + vw) // 2

    def px(x, y):
        i = (y * w + x) * 3
        return rgb[i], rgb[i + 1], rgb[i + 2]

    # The background is the median grey of the viewport's four corners; a
    # trace or petal crossing one of them does not move it.
    corner = []
    for cx, cy in ((x0 + 5, 5), (x1 - 25, 5), (x0 + 5, h - 25), (x1 - 25, h - 25)):
        corner += [sum(px(cx + a, cy + b)) / 3 for a in range(20) for b in range(20)]
    background = sorted(corner)[len(corner) // 2]
    dark = tinted = neutral = n = 0
    for y in range(0, h, 2):
        for x in range(x0, x1, 2):
            r, g, b = px(x, y)
            v = (r + g + b) / 3
            n += 1
            dark += v < 40
            tinted += b - r >= 10
            neutral += 40 < v < 200 and max(r, g, b) - min(r, g, b) <= 4
    return dict(background=background, dark=dark / n, tinted=tinted / n, neutral=neutral)


CASES = {
    "full_run": case_full_run,
    "escape_queued": case_escape_queued,
    "escape_mid": case_escape_mid,
    "no_display": case_no_display,
    "no_audio": case_no_audio,
    "screenshots": case_screenshots,
}

if __name__ == "__main__":
    CASES[sys.argv[1]]()
