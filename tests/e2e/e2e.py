#!/usr/bin/env python3
"""End-to-end tests of the demo, run against a private Xvfb.

Usage: e2e.py CASE   with the environment set by CTest:
  KESTOVAR     path of the demo
  SYNA_RENDER  path of syna-render (for the reference audio)
  ESCAPE_SHIM  path of the LD_PRELOAD helper that queues an Escape key
  CLOSE_WINDOW path of the helper that clicks a window's close button
  NO_MAP_WM    path of a window manager that never maps a window
  XVFB_SH      path of xvfb.sh (for the case that needs a server of its own)
  VALGRIND     path of valgrind, VALGRIND_SUPP its suppressions (valgrind case)
  E2E_OUT      folder for screenshots and audio captures; E2E_OUT/x/display
               names the fixture's Xvfb (set as DISPLAY for every case)

Each case exits 0 when it passes and prints what failed otherwise.
"""
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pictures  # noqa: E402

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


def wait_window(timeout=60, proc=None):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc is not None and proc.poll() is not None:
            fail("the program ended with status %d before its window appeared" % proc.returncode)
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
    return pictures.bar_frame(bar)


def screenshot(name):
    png = os.path.join(OUT, name + ".png")
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True).stdout
    subprocess.run(["convert", "xwd:-", png], input=xwd, check=True)
    return (png,) + pictures.load(png)


def case_screenshots():
    """Screenshots of the live show at chosen bars, taken when the audio
    handed to a disk device reaches them: the trace is there before bar 48
    and gone after it, and nothing is drawn outside the viewport. The
    background and the lighting glide frame by frame, so how far they have
    come depends on the frame rate: the stills of the capture tests hold
    them to their values instead."""
    raw = os.path.join(OUT, "shots.raw")
    if os.path.exists(raw):
        os.remove(raw)
    ref = reference_audio()
    first_ref = next(i for i, b in enumerate(ref) if b)
    proc = subprocess.Popen([KESTOVAR], env=env_with(SDL_AUDIODRIVER="disk",
                                                     SDL_DISKAUDIOFILE=raw,
                                                     SDL_DISKAUDIODELAY=60),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    shots = {}
    try:
        lead = None
        deadline = time.monotonic() + 240
        for bar in pictures.EXPECT:
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
            shots[bar] = screenshot("bar%04.1f" % bar)
        out, err = proc.communicate(timeout=240)
    finally:
        if proc.poll() is None:
            proc.kill()
    if proc.returncode != 0:
        fail("exit status %d, stderr %r" % (proc.returncode, err))
    bad = []
    for bar, (png, w, h, rgb) in shots.items():
        m = pictures.measure(w, h, rgb)
        print(png, m)
        bad += pictures.check(png, m, pictures.EXPECT[bar], glide=False)
    if bad:
        fail("; ".join(bad))


def start_show(*args, **env):
    """A live show in a session of its own (so that whatever it leaves
    running can be found), silent on SDL's dummy audio device."""
    return subprocess.Popen([KESTOVAR, *args], env=env_with(SDL_AUDIODRIVER="dummy", **env),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            start_new_session=True)


def finish(proc, timeout=30):
    try:
        out, err = proc.communicate(timeout=timeout)
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    return subprocess.CompletedProcess([], proc.returncode, out, err)


def xwininfo(win):
    r = subprocess.run(["xwininfo", "-id", win], capture_output=True, text=True, check=True)
    return {k.strip(): v.strip() for k, v in
            (line.split(":", 1) for line in r.stdout.splitlines() if ":" in line)}


def wm_state(win):
    return subprocess.run(["xprop", "-id", win, "_NET_WM_STATE"], capture_output=True,
                          text=True, check=True).stdout


def escape(win):
    subprocess.run(["xdotool", "key", "--window", win, "Escape"], check=True,
                   capture_output=True)


def ended_like_escape(p, what):
    if p.returncode != 0:
        fail("%s: exit status %d, stderr %r" % (what, p.returncode, p.stderr))
    check_stdout(p)


def case_fullscreen():
    """The window asks for the EWMH full-screen state and covers the screen."""
    proc = start_show()
    try:
        win = wait_window()
        state = wm_state(win)
        info = xwininfo(win)
        escape(win)
    finally:
        p = finish(proc)
    ended_like_escape(p, "full screen")
    if "_NET_WM_STATE_FULLSCREEN" not in state:
        fail("the window's state is %r" % state)
    if (info["Width"], info["Height"]) != ("1280", "720"):
        fail("the full-screen window is %sx%s on a 1280x720 screen" % (info["Width"],
                                                                        info["Height"]))
    print("full screen:", state.strip())


def case_window():
    """--window 800x600: an ordinary window of that size, not full-screen,
    with the picture letterboxed inside it."""
    proc = start_show("--window", "800x600")
    try:
        win = wait_window()
        state = wm_state(win)
        info = xwininfo(win)
        x0, y0 = int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"])
        # The window is black until the first frame is presented.
        deadline = time.monotonic() + 60
        while True:
            png, w, h, rgb = screenshot("window")
            inside = [rgb[(y * w + x) * 3] for y in range(y0, y0 + 600, 9)
                      for x in range(x0, x0 + 800, 9)]
            if max(inside) > 0:
                break
            if time.monotonic() > deadline:
                fail("nothing was drawn in the window (%s)" % png)
            time.sleep(0.2)
        escape(win)
    finally:
        p = finish(proc)
    ended_like_escape(p, "window")
    if "FULLSCREEN" in state:
        fail("a --window run asked for full screen: %r" % state)
    if (info["Width"], info["Height"]) != ("800", "600"):
        fail("--window 800x600 gave %sx%s" % (info["Width"], info["Height"]))
    print("window: 800x600 at %d,%d, state %r" % (x0, y0, state.strip()))


def case_signals():
    """SIGTERM and SIGINT end a live run like Escape: the frame-rate line,
    status 0, within a second, and nothing of it left running."""
    for sig in (signal.SIGTERM, signal.SIGINT):
        proc = start_show()
        try:
            win = wait_window()
            time.sleep(1.0)
            proc.send_signal(sig)
            t0 = time.monotonic()
            proc.wait(timeout=30)
            took = time.monotonic() - t0
        finally:
            p = finish(proc)
        ended_like_escape(p, sig.name)
        if took > 1.0:
            fail("%s: the show took %.2f s to end" % (sig.name, took))
        try:
            os.killpg(proc.pid, 0)
            fail("%s: processes of the show are still running" % sig.name)
        except ProcessLookupError:
            pass
        print("%s: ended in %.3f s, %r" % (sig.name, took, p.stdout[-10:]))
        del win


def case_signal_prerender():
    """A signal while the song is still being rendered, before SDL is up,
    ends the program cleanly too: the dots, the FPS line, status 0."""
    for sig in (signal.SIGTERM, signal.SIGINT):
        proc = start_show()
        try:
            # The first dot: the handler is in place and the render runs.
            # Read from the pipe itself: communicate() below does too.
            first = b""
            while len(first) < len(b"Measuring CPU speed.") and proc.poll() is None:
                first += os.read(proc.stdout.fileno(), len(b"Measuring CPU speed.") - len(first))
            proc.send_signal(sig)
            out, err = proc.communicate(timeout=60)
        finally:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGKILL)
        p = subprocess.CompletedProcess([], proc.returncode, first + out, err)
        ended_like_escape(p, sig.name + " while rendering")
        print("%s while rendering: %r" % (sig.name, p.stdout[-10:]))


def case_quiet_alsa():
    """With SDL left to pick its audio driver, ALSA's own error lines stay
    off the terminal; without a sound card one line of ours says so."""
    p, _ = run(env_with(SDL_AUDIODRIVER=None, LD_PRELOAD=os.environ["ESCAPE_SHIM"]),
               timeout=120)
    if p.returncode != 0:
        fail("exit status %d, stderr %r" % (p.returncode, p.stderr))
    lines = p.stderr.decode(errors="replace").splitlines()
    if any("ALSA lib" in line for line in lines) or len(lines) > 1:
        fail("standard error holds more than our line: %r" % lines)
    if lines and "silently" not in lines[0]:
        fail("unexpected message %r" % lines[0])
    print("quiet ALSA:", lines or "a sound card answered")


def case_close_button():
    """The window's close button ends the show like Escape."""
    proc = start_show()
    try:
        win = wait_window()
        time.sleep(0.5)
        subprocess.run([os.environ["CLOSE_WINDOW"], win], check=True)
        p = finish(proc)
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
    ended_like_escape(p, "close button")
    print("close button: ended with", p.stdout[-10:])


def case_stopped_server():
    """An X server that accepts connections but never answers (stopped with
    SIGSTOP): a clear message and status 1 instead of a hang."""
    xdir = os.path.join(OUT, "xstop")
    subprocess.run([os.environ["XVFB_SH"], "start", xdir, "640x480"], check=True)
    with open(os.path.join(xdir, "pid")) as f:
        xpid = int(f.read())
    with open(os.path.join(xdir, "display")) as f:
        display = f.read().strip()
    os.kill(xpid, signal.SIGSTOP)
    try:
        p, secs = run(env_with(DISPLAY=display, SDL_AUDIODRIVER="dummy"), timeout=120)
    finally:
        os.kill(xpid, signal.SIGCONT)
        subprocess.run([os.environ["XVFB_SH"], "stop", xdir])
    if p.returncode != 1:
        fail("exit status %d, stderr %r" % (p.returncode, p.stderr))
    if b"does not answer" not in p.stderr or display.encode() not in p.stderr:
        fail("the message does not say the server does not answer: %r" % p.stderr)
    if p.stdout != b"Measuring CPU speed" + b"." * 80:
        fail("stdout %r" % p.stdout[-100:])
    print("stopped server: status 1 after %.1f s with %r" % (secs, p.stderr.decode().strip()))


def die_with_us():
    """For a helper process: SIGTERM when this script dies (a test timeout
    kills it, and no server or window manager may outlive it)."""
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def own_xvfb(size="640x480", reset=True):
    """An Xvfb of the case's own on a free display, as a kiosk starts it:
    with reset=True it resets whenever its last client leaves. Returns the
    process and the display name."""
    r, w = os.pipe()
    args = ["Xvfb", "-screen", "0", size + "x24", "-nolisten", "tcp", "-displayfd", str(w)]
    if not reset:
        args.append("-noreset")
    proc = subprocess.Popen(args, pass_fds=(w,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True,
                            preexec_fn=die_with_us)
    os.close(w)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([r], [], [], 1.0)
        if ready:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
    os.close(r)
    if not number.strip().isdigit():
        proc.kill()
        fail("Xvfb did not start")
    return proc, ":" + number.decode().strip()


def end_xvfb(proc):
    try:
        os.kill(proc.pid, signal.SIGCONT)
        proc.terminate()
        proc.wait(timeout=20)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        proc.kill()
        proc.wait()


def case_lone_server():
    """Twenty starts in a row on an Xvfb that resets whenever its last client
    leaves and has no other client: every one opens the display (an Escape
    queued at the first frame ends each), none is refused."""
    server, display = own_xvfb(reset=True)
    try:
        for i in range(20):
            p, _ = run(env_with(DISPLAY=display, SDL_AUDIODRIVER="dummy",
                                LD_PRELOAD=os.environ["ESCAPE_SHIM"]), timeout=120)
            if p.returncode != 0:
                fail("start %d of 20: exit status %d, stderr %r" % (i + 1, p.returncode,
                                                                     p.stderr))
            check_stdout(p, expect_fps_zero=True)
    finally:
        end_xvfb(server)
    print("lone server: 20 starts of 20 opened", display)


def free_display_number():
    for n in range(150, 200):
        if not (os.path.exists("/tmp/.X%d-lock" % n) or
                os.path.exists("/tmp/.X11-unix/X%d" % n)):
            return n
    fail("no free display number in :150 to :199")


def case_xinit():
    """A kiosk's start: xinit runs a bare server with the demo as its only
    client, three times in a row."""
    client = ["/usr/bin/env", "LD_PRELOAD=" + os.environ["ESCAPE_SHIM"],
              "SDL_AUDIODRIVER=dummy", KESTOVAR]
    for i in range(3):
        for attempt in range(3):
            n = free_display_number()
            p = subprocess.run(["xinit", *client, "--", shutil.which("Xvfb"), ":%d" % n,
                                "-screen", "0", "640x480x24", "-nolisten", "tcp"],
                               capture_output=True, timeout=120, start_new_session=True)
            # Another server may have taken the number meanwhile.
            if p.stdout:
                break
        if not STDOUT_RE.match(p.stdout):
            fail("xinit start %d: stdout %r, stderr %r" % (i + 1, p.stdout[-100:],
                                                          p.stderr[-300:]))
    print("xinit: 3 starts of 3 ran")


def wait_window_on(display, proc, timeout=60):
    """The show's window on `display`, mapped; xdotool itself is bounded in
    time, as a grabbed server would hold it."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc.poll() is not None:
            fail("the program ended with status %d before its window appeared" % proc.returncode)
        try:
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Kestovar$"],
                               capture_output=True, timeout=5, env=env_with(DISPLAY=display))
            ids = r.stdout.split()
            if ids:
                return ids[0].decode()
        except subprocess.TimeoutExpired:
            pass
        time.sleep(0.1)
    fail("no window named Kestovar was shown on %s" % display)


def signal_and_wait(proc, sig, what):
    """Sends sig to the show (None: nothing) and waits for it to end; the
    seconds that took. Fails if it still runs a minute later."""
    t0 = time.monotonic()
    if sig is not None:
        proc.send_signal(sig)
    try:
        proc.wait(timeout=60)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        fail("%s: the show still ran a minute later" % what)
    return time.monotonic() - t0


def case_stopped_midshow():
    """An X server stopped in the middle of the show: SIGTERM and SIGINT
    still end it within a second or two with the frame-rate line and status
    0; with no signal it ends with a message and status 1 about ten seconds
    later."""
    for sig in (signal.SIGTERM, signal.SIGINT, None):
        server, display = own_xvfb(reset=False)
        try:
            proc = start_show(DISPLAY=display)
            try:
                wait_window_on(display, proc)
                time.sleep(1.0)
                os.kill(server.pid, signal.SIGSTOP)
                time.sleep(0.5)
                took = signal_and_wait(proc, sig, sig.name if sig else "silence")
            finally:
                if proc.poll() is None:
                    os.killpg(proc.pid, signal.SIGKILL)
                p = finish(proc)
        finally:
            end_xvfb(server)
        if sig is not None:
            ended_like_escape(p, sig.name + " with the server stopped")
            # The watchdog gives the display a second; a loaded machine may
            # add some.
            if took > 5:
                fail("%s: the show took %.1f s to end" % (sig.name, took))
            print("%s with the server stopped: ended in %.2f s, %r" % (sig.name, took,
                                                                       p.stdout[-10:]))
        else:
            if p.returncode != 1:
                fail("silent server: exit status %d, stderr %r" % (p.returncode, p.stderr))
            if b"stopped answering" not in p.stderr or display.encode() not in p.stderr:
                fail("silent server: the message does not say so: %r" % p.stderr)
            if not p.stdout.startswith(b"Measuring CPU speed" + b"." * 80):
                fail("silent server: stdout %r" % p.stdout[-100:])
            print("silent server: status 1 after %.1f s with %r" % (
                took, p.stderr.decode().strip()))


TWMRC = """TitleFont "fixed"
ResizeFont "fixed"
MenuFont "fixed"
IconFont "fixed"
IconManagerFont "fixed"
"""


def case_twm():
    """Under twm, a window manager that places new windows by hand (it grabs
    the server until someone clicks): the show's window is shown at once,
    full-screen and --window alike, and Escape and SIGTERM end the show."""
    rc = os.path.join(OUT, "twmrc")
    with open(rc, "w") as f:
        f.write(TWMRC)  # the server's own font: no font packages needed
    server, display = own_xvfb("1280x720", reset=False)
    wm = subprocess.Popen(["twm", "-f", rc], env=env_with(DISPLAY=display),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          start_new_session=True, preexec_fn=die_with_us)
    try:
        time.sleep(1.0)
        if wm.poll() is not None:
            fail("twm ended with status %d" % wm.returncode)
        for args, how in (((), "escape"), (("--window", "800x600"), "escape"),
                          ((), signal.SIGTERM)):
            proc = start_show(*args, DISPLAY=display)
            try:
                win = wait_window_on(display, proc, timeout=30)
                time.sleep(0.5)
                if how == "escape":
                    subprocess.run(["xdotool", "key", "--window", win, "Escape"], check=True,
                                   capture_output=True, timeout=10,
                                   env=env_with(DISPLAY=display))
                else:
                    proc.send_signal(how)
                p = finish(proc, timeout=20)
            except BaseException:
                if proc.poll() is None:
                    os.killpg(proc.pid, signal.SIGKILL)
                raise
            ended_like_escape(p, "twm %s %s" % (" ".join(args) or "full screen", how))
            print("twm, %s, %s: %r" % (" ".join(args) or "full screen", how, p.stdout[-10:]))
    finally:
        wm.terminate()
        try:
            wm.wait(timeout=5)
        except subprocess.TimeoutExpired:
            wm.kill()
            wm.wait()
        end_xvfb(server)


def case_unmapped():
    """A window manager that never maps the window holds the show in its
    start-up, on a server that answers: SIGTERM and SIGINT still end it
    within a second or two, with the frame-rate line and status 0."""
    for sig in (signal.SIGTERM, signal.SIGINT):
        server, display = own_xvfb(reset=False)
        wm = subprocess.Popen([os.environ["NO_MAP_WM"]], env=env_with(DISPLAY=display),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              start_new_session=True, preexec_fn=die_with_us)
        try:
            if wm.stdout.readline() != b"ready\n":
                fail("the window manager did not start")
            proc = start_show(DISPLAY=display)
            try:
                # Its window exists, unmapped, once the start-up waits for it.
                end = time.monotonic() + 60
                while True:
                    r = subprocess.run(["xdotool", "search", "--class", "^kestovar$"],
                                       capture_output=True, timeout=10,
                                       env=env_with(DISPLAY=display))
                    if r.stdout.split() and proc.poll() is None:
                        break
                    if proc.poll() is not None or time.monotonic() > end:
                        fail("%s: no window waiting to be shown (status %s)" % (
                            sig.name, proc.poll()))
                    time.sleep(0.1)
                time.sleep(1.0)
                if proc.poll() is not None:
                    fail("%s: the show ended by itself with status %d" % (sig.name,
                                                                           proc.returncode))
                took = signal_and_wait(proc, sig, sig.name)
            finally:
                if proc.poll() is None:
                    os.killpg(proc.pid, signal.SIGKILL)
                p = finish(proc)
        finally:
            wm.kill()
            wm.wait()
            end_xvfb(server)
        if p.returncode != 0 or p.stdout != b"Measuring CPU speed" + b"." * 80 + b"\nFPS: 0\n":
            fail("%s: status %d, stdout %r, stderr %r" % (sig.name, p.returncode,
                                                          p.stdout[-30:], p.stderr))
        if took > 5:
            fail("%s: the show took %.1f s to end" % (sig.name, took))
        print("%s with the window never shown: ended in %.2f s" % (sig.name, took))


def case_valgrind():
    """A short live show under valgrind's memcheck, ended by Escape once
    frames are on the screen: no invalid read or write, no use of
    uninitialised memory (the suppressions cover Mesa and SDL only)."""
    log = os.path.join(OUT, "valgrind.log")
    cmd = [os.environ["VALGRIND"], "--error-exitcode=99", "--errors-for-leak-kinds=none",
           "--num-callers=40",
           "--suppressions=" + os.environ["VALGRIND_SUPP"], "--log-file=" + log, KESTOVAR]
    proc = subprocess.Popen(cmd, env=env_with(SDL_AUDIODRIVER="dummy"), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)
    try:
        win = wait_window(timeout=150, proc=proc)
        # The screen stays black until the first frame is presented; the
        # first frames clear to a dark grey (7 of 255).
        deadline = time.monotonic() + 120
        while True:
            png, w, h, rgb = screenshot("valgrind")
            if max(rgb) > 0:
                break
            if time.monotonic() > deadline:
                fail("no frame reached the screen under valgrind")
            time.sleep(1)
        escape(win)
        p = finish(proc, timeout=120)
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
    with open(log) as f:
        text = f.read()
    summary = re.search(r"ERROR SUMMARY: (\d+) errors", text)
    if p.returncode != 0 or not summary or summary.group(1) != "0":
        fail("exit status %d, valgrind says %s; see %s" % (
            p.returncode, summary.group(0) if summary else "nothing", log))
    check_stdout(p)
    print("valgrind:", summary.group(0))


CASES = {
    "full_run": case_full_run,
    "escape_queued": case_escape_queued,
    "escape_mid": case_escape_mid,
    "no_display": case_no_display,
    "no_audio": case_no_audio,
    "screenshots": case_screenshots,
    "fullscreen": case_fullscreen,
    "window": case_window,
    "signals": case_signals,
    "close_button": case_close_button,
    "signal_prerender": case_signal_prerender,
    "quiet_alsa": case_quiet_alsa,
    "stopped_server": case_stopped_server,
    "valgrind": case_valgrind,
    "lone_server": case_lone_server,
    "xinit": case_xinit,
    "stopped_midshow": case_stopped_midshow,
    "twm": case_twm,
    "unmapped": case_unmapped,
}

if __name__ == "__main__":
    CASES[sys.argv[1]]()
