#!/usr/bin/env python3
"""End-to-end tests of kestovar --capture and --still. They run with no X
display at all (DISPLAY is removed) and look at the files with ffprobe,
ffmpeg and ImageMagick.

Usage: capture.py CASE   with the environment set by CTest:
  KESTOVAR     path of the demo
  SYNA_RENDER  path of syna-render (for the reference audio)
  E2E_OUT      folder for the files made

Each case exits 0 when it passes and prints what failed otherwise.
"""
import hashlib
import json
import math
import os
import signal
import stat
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pictures  # noqa: E402

KESTOVAR = os.environ["KESTOVAR"]
OUT = os.path.join(os.environ.get("E2E_OUT", "/tmp/kestovar-e2e"), "capture")
os.makedirs(OUT, exist_ok=True)
os.environ.pop("DISPLAY", None)  # a capture needs no X server
RATE = 44100


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def path(name):
    return os.path.join(OUT, name)


def kestovar(*args, expect=0):
    p = subprocess.run([KESTOVAR, *args], capture_output=True, timeout=600)
    if expect is not None and p.returncode != expect:
        fail("kestovar %s: exit status %d (wanted %d), stderr %r"
             % (" ".join(args), p.returncode, expect, p.stderr[-400:]))
    return p


def probe(name):
    r = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                        "stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate,"
                        "channels,nb_read_frames,duration", "-of", "json", path(name)],
                       capture_output=True, check=True)
    return {s["codec_type"]: s for s in json.loads(r.stdout)["streams"]}


def decoded_audio(name):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path(name), "-map", "0:a", "-f",
                           "s16le", "-ac", "2", "-ar", str(RATE), "-"],
                          capture_output=True, check=True).stdout


def frame_hashes(name):
    """MD5 of every decoded video frame."""
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path(name), "-map", "0:v", "-f",
                        "framemd5", "-"], capture_output=True, check=True)
    return [line.split(b",")[-1].strip() for line in r.stdout.splitlines()
            if line and not line.startswith(b"#")]


def reference_audio():
    ref = path("reference.raw")
    if not os.path.exists(ref):
        subprocess.run([os.environ["SYNA_RENDER"], "--raw", "-o", ref], check=True,
                       capture_output=True)
    with open(ref, "rb") as f:
        return f.read()


def level_db(raw):
    """RMS level of 16-bit stereo bytes, in dB below full scale."""
    n = len(raw) // 2
    values = struct.unpack("<%dh" % n, raw[:2 * n])
    rms = math.sqrt(sum(v * v for v in values) / max(n, 1))
    return 20 * math.log10(max(rms, 1e-9) / 32768)


def pixels(name):
    return pictures.load(path(name))


def case_length():
    """Two seconds from 20 s: 120 H.264 frames at 60 fps, two seconds of AAC
    at 44.1 kHz stereo; in PCM, exactly the song's 88200 frames from 20 s."""
    kestovar("--capture", path("two.mp4"), "--from", "20", "--to", "22", "--size", "320x180")
    s = probe("two.mp4")
    v, a = s.get("video"), s.get("audio")
    if not v or v["codec_name"] != "h264" or (v["width"], v["height"]) != (320, 180):
        fail("video stream %r" % v)
    if v["r_frame_rate"] != "60/1" or int(v["nb_read_frames"]) != 120:
        fail("video: %s frames at %s, wanted 120 at 60/1" % (v["nb_read_frames"],
                                                            v["r_frame_rate"]))
    if not a or a["codec_name"] != "aac" or int(a["sample_rate"]) != RATE or a["channels"] != 2:
        fail("audio stream %r" % a)
    if abs(float(a["duration"]) - 2.0) > 0.001:
        fail("audio lasts %s s, wanted 2" % a["duration"])
    # AAC decodes in whole 1024-frame packets: the last one is padded.
    got = len(decoded_audio("two.mp4")) // 4
    if not 88200 <= got < 88200 + 1024:
        fail("AAC decodes to %d frames, wanted 88200 (+ padding below 1024)" % got)

    kestovar("--capture", path("two.mkv"), "--from", "20", "--to", "22", "--size", "320x180",
             "--audio", "pcm")
    if int(probe("two.mkv")["video"]["nb_read_frames"]) != 120:
        fail("PCM capture: not 120 video frames")
    pcm = decoded_audio("two.mkv")
    ref = reference_audio()[20 * RATE * 4:22 * RATE * 4]
    if len(pcm) != len(ref):
        fail("PCM track holds %d frames, wanted %d" % (len(pcm) // 4, len(ref) // 4))
    if pcm != ref:
        first = next(i for i in range(len(pcm)) if pcm[i] != ref[i])
        fail("PCM track differs from the song at frame %d" % (first // 4))
    print("two seconds: 120 frames, AAC %d frames, PCM exact" % got)


def case_levels():
    """The AAC track of bars 10 to 14 is the song: its level per bar is
    within 1 dB of the rendered song's."""
    start, end = pictures.bar_seconds(10), pictures.bar_seconds(14)
    kestovar("--capture", path("bars.mp4"), "--from", "%.3f" % start, "--to", "%.3f" % end,
             "--size", "96x54")
    aac = decoded_audio("bars.mp4")
    ref = reference_audio()
    first = round(start * 60) * RATE // 60
    bar = int(4 * 0.48 * RATE)
    for k in range(4):
        got = level_db(aac[4 * k * bar:4 * (k + 1) * bar])
        want = level_db(ref[4 * (first + k * bar):4 * (first + (k + 1) * bar)])
        print("bar %d: %.2f dB, song %.2f dB" % (10 + k, got, want))
        if abs(got - want) > 1.0:
            fail("bar %d: AAC level %.2f dB, song %.2f dB" % (10 + k, got, want))


def case_identical():
    """Two captures of the same range decode to identical frames and sound."""
    for name in ("same1.mp4", "same2.mp4"):
        kestovar("--capture", path(name), "--from", "40", "--to", "41", "--size", "160x90")
    a, b = frame_hashes("same1.mp4"), frame_hashes("same2.mp4")
    if len(a) != 60 or a != b:
        fail("frames differ: %d and %d frames, first difference at %s"
             % (len(a), len(b), next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), "-")))
    if decoded_audio("same1.mp4") != decoded_audio("same2.mp4"):
        fail("the sound tracks differ")
    print("identical: 60 frames alike")


def case_stills():
    """Stills at chosen bars show the scene expected there, and a still is
    the very frame a capture from the start draws at that moment."""
    args = []
    for bar in pictures.EXPECT:
        args += ["--still", "%.3f:%s" % (pictures.bar_seconds(bar), path("bar%04.1f.png" % bar))]
    kestovar("--size", "640x360", *args)
    bad = []
    for bar, e in pictures.EXPECT.items():
        name = "bar%04.1f.png" % bar
        m = pictures.measure(*pixels(name))
        print(name, m)
        bad += pictures.check(name, m, e)
    if bad:
        fail("; ".join(bad))

    # Frame 90 drawn within a capture (every frame before it drawn too) and
    # alone (every frame before it stepped through without drawing).
    kestovar("--capture", path("head.mkv"), "--to", "2", "--size", "320x180", "--still",
             "1.5:" + path("in_capture.png"))
    kestovar("--size", "320x180", "--still", "1.5:" + path("alone.png"))
    if pixels("in_capture.png") != pixels("alone.png"):
        fail("the still at 1.5 s differs from the same frame of a capture")
    # Several stills in one run, and one alone.
    kestovar("--size", "320x180", "--still", "30:" + path("many30.png"), "--still",
             "100:" + path("many100.png"))
    kestovar("--size", "320x180", "--still", "100:" + path("one100.png"))
    if pixels("many100.png") != pixels("one100.png"):
        fail("the still at 100 s depends on the other stills taken in the same run")
    print("stills: as expected; a still equals the frame of a capture")


def case_end():
    """The capture stops with the show's last frame (bar 59); stills past
    it are refused as a wrong command line."""
    p = kestovar("--capture", path("end.mp4"), "--from", "112", "--size", "96x54")
    frames = int(probe("end.mp4")["video"]["nb_read_frames"])
    if frames != 6800 - 6720:
        fail("capture from 112 s to the end has %d frames, wanted 80" % frames)
    if b"80 frames" not in p.stdout:
        fail("standard output %r" % p.stdout)
    kestovar("--size", "96x54", "--still", "113.3:" + path("last.png"))
    p = kestovar("--size", "96x54", "--still", "113.4:" + path("past.png"), expect=2)
    if b"113.4" not in p.stderr or os.path.exists(path("past.png")):
        fail("a still past the end: %r" % p.stderr)
    print("end: 80 frames from 112 s; past the end refused")


def case_errors():
    """A wrong command line, or one the capture cannot take: a message and
    status 2; a capture that cannot be made: a message and status 1; --help
    and --version: status 0."""
    p = kestovar("--help")
    if not p.stdout.startswith(b"Usage: kestovar") or b"--capture FILE" not in p.stdout:
        fail("--help printed %r" % p.stdout[:200])
    p = kestovar("--version")
    if not p.stdout.startswith(b"kestovar "):
        fail("--version printed %r" % p.stdout)
    # Which command lines are wrong is the unit tests' business (Options.*).
    p = kestovar("--bogus", expect=2)
    if not p.stderr.startswith(b"kestovar: ") or b"--bogus" not in p.stderr or p.stdout:
        fail("--bogus: stdout %r, stderr %r" % (p.stdout, p.stderr))
    p = kestovar("--capture", path("odd.mp4"), "--size", "321x181", "--to", "1", expect=2)
    if b"321x181" not in p.stderr or os.path.exists(path("odd.mp4")):
        fail("an odd size: %r" % p.stderr)
    for args, word in ((["--capture", path("pcm.mp4"), "--audio", "pcm", "--to", "1"], b"PCM"),
                       (["--capture", "/no/such/folder/x.mp4", "--to", "1"], b"/no/such"),
                       (["--still", "5:/no/such/folder/x.png", "--size", "96x54"], b"/no/such")):
        p = kestovar(*args, expect=1)
        if word not in p.stderr:
            fail("%s: the message %r does not say what is wrong" % (args, p.stderr))
    print("errors: status 2 for the command line, 1 for the capture")


def fresh(name):
    """An empty folder of its own in OUT, for counting what is left in it."""
    folder = path(name)
    subprocess.run(["rm", "-rf", folder], check=True)
    os.makedirs(folder)
    return folder


def hidden(folder):
    return [n for n in os.listdir(folder) if n.startswith(".k")]


def wait_for_frames(proc, folder):
    """Waits until the capture's hidden file holds pictures; its name."""
    deadline = time.monotonic() + 120
    while True:
        for n in hidden(folder):
            if os.path.getsize(os.path.join(folder, n)) > 4096:
                return n
        if time.monotonic() > deadline or proc.poll() is not None:
            fail("the capture wrote nothing")
        time.sleep(0.05)


def case_stop():
    """SIGINT or SIGHUP (a closed terminal) stops a whole-show capture: the
    file is finished, renamed into place and plays. Stopped before the first
    frame, no file is made; killed, only the hidden file is left and an
    earlier file of that name is as it was."""
    folder = fresh("stop")
    name = os.path.join(folder, "stopped.mp4")
    for sig in (signal.SIGINT, signal.SIGHUP):
        proc = subprocess.Popen([KESTOVAR, "--capture", name, "--size", "96x54"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            wait_for_frames(proc, folder)
            proc.send_signal(sig)
            out, err = proc.communicate(timeout=60)
        finally:
            if proc.poll() is None:
                proc.kill()
        if proc.returncode != 128 + sig:
            fail("exit status %d after signal %d, stderr %r" % (proc.returncode, sig, err))
        frames = int(probe("stop/stopped.mp4")["video"]["nb_read_frames"])
        if not 0 < frames < 6800 or hidden(folder):
            fail("the stopped capture holds %d frames; left %r" % (frames, os.listdir(folder)))
        print("stop: status %d, %d frames in a file that plays" % (proc.returncode, frames))

    # A stop that comes before the first frame (it waits blocked until the
    # program takes it, just after its handlers are in place).
    def stop_at_once():
        signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGINT])
        os.kill(os.getpid(), signal.SIGINT)
    os.remove(name)
    p = subprocess.run([KESTOVAR, "--capture", name, "--size", "96x54"], capture_output=True,
                       timeout=600, preexec_fn=stop_at_once)
    if p.returncode != 130 or os.listdir(folder):
        fail("stopped before the first frame: status %d, left %r, stderr %r"
             % (p.returncode, os.listdir(folder), p.stderr))

    with open(name, "w") as f:
        f.write("the earlier capture")
    proc = subprocess.Popen([KESTOVAR, "--capture", name, "--size", "96x54"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        temp = wait_for_frames(proc, folder)
    finally:
        proc.kill()
        proc.wait()
    with open(name) as f:
        if f.read() != "the earlier capture":
            fail("a killed capture changed the file of its name")
    if sorted(os.listdir(folder)) != sorted(["stopped.mp4", temp]):
        fail("a killed capture left %r" % os.listdir(folder))
    print("stop: nothing made before the first frame; killed, only %s is left" % temp)


def case_files():
    """No output path is destroyed or left broken: a container refused
    after its name was taken, a full disk, a failing device; two outputs in
    one file and the program's own file are refused before any work."""
    folder = fresh("files")

    def at(name):
        return os.path.join(folder, name)

    def keeps(name, text, args, status, word):
        with open(at(name), "w") as f:
            f.write(text)
        p = kestovar(*args, expect=status)
        with open(at(name)) as f:
            if f.read() != text:
                fail("%s: %s was changed" % (args, name))
        if word.encode() not in p.stderr:
            fail("%s: the message %r does not say %r" % (args, p.stderr, word))
        if hidden(folder):
            fail("%s: left %r" % (args, hidden(folder)))

    keeps("a.wav", "a song", ["--capture", at("a.wav"), "--size", "64x64", "--to", "0.5"], 1,
          "cannot hold H.264")
    keeps("x.mkv", "old", ["--capture", at("x.mkv"), "--size", "64x64", "--to", "0.5",
                           "--still", "0.2:" + folder + "/./x.mkv"], 2, "same file")
    keeps("y.png", "old", ["--size", "64x64", "--still", "1:" + at("y.png"),
                           "--still", "2:" + at("y.png")], 2, "same file")
    before = os.stat(KESTOVAR)
    kestovar("--size", "64x64", "--still", "1:" + KESTOVAR, expect=2)
    after = os.stat(KESTOVAR)
    if (before.st_ino, before.st_mtime_ns) != (after.st_ino, after.st_mtime_ns):
        fail("a still was written over the program itself")

    # A device node of our own that fails every write, like /dev/full.
    full = at("full.mkv")
    try:
        os.mknod(full, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
    except OSError as e:
        print("no device node test: %s" % e)
    else:
        for args in (["--still", "1:" + full], ["--capture", full, "--to", "0.5"]):
            p = kestovar("--size", "64x64", *args, expect=1)
            if b"No space left" not in p.stderr and b"ENOSPC" not in p.stderr:
                fail("%s: %r" % (args, p.stderr))
            if not os.path.exists(full) or not stat.S_ISCHR(os.stat(full).st_mode):
                fail("%s: the device node is gone" % args)
        os.remove(full)

    # A full disk: a small file system of its own (needs root, as CI has).
    disk = at("disk")
    os.makedirs(disk)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", disk],
                      capture_output=True).returncode != 0:
        print("no full-disk test: cannot mount a tmpfs here")
    else:
        try:
            with open(os.path.join(disk, "old.mp4"), "w") as f:
                f.write("old")
            p = kestovar("--capture", os.path.join(disk, "old.mp4"), "--size", "640x360",
                         "--to", "5", expect=1)
            with open(os.path.join(disk, "old.mp4")) as f:
                kept = f.read()
            if kept != "old" or os.listdir(disk) != ["old.mp4"] or b"No space" not in p.stderr:
                fail("full disk: kept %r, left %r, said %r" % (kept, os.listdir(disk), p.stderr))
        finally:
            subprocess.run(["umount", disk])
    print("files: nothing destroyed, nothing half-written, no two outputs in one file")


def case_limits():
    """Numbers the capture cannot take end the run before the song renders,
    with status 2 and a short message; messages name the real reason, come
    before any of FFmpeg's own lines, and are never cut short."""
    folder = fresh("limits")
    # One of each kind; which values are refused is the unit tests' business.
    for args in (["--still", "1e300:" + path("x.png")],
                 ["--capture", path("x.mp4"), "--from", "2e17"],
                 ["--capture", path("x.mp4"), "--size", "8192x8192"],
                 ["--capture", path("x.mp4"), "--fps", "241"]):
        p = kestovar(*args, expect=2)
        if not p.stderr.startswith(b"kestovar: ") or len(p.stderr) > 300:
            fail("%s: %r" % (args, p.stderr))

    # Long names in a folder that is not there: the reason comes whole
    # after them.
    long_name = os.path.join(folder, "d" * 255, "n" * 251 + ".mp4")
    for args in (["--capture", long_name, "--to", "0.2"], ["--still", "0:" + long_name]):
        p = kestovar("--size", "64x64", *args, expect=1)
        if not p.stderr.rstrip().endswith(b"No such file or directory"):
            fail("%s: the reason is cut off: %r" % (args[0], p.stderr[-100:]))
    long_ok = os.path.join(folder, "n" * 251 + ".mkv")
    kestovar("--size", "64x64", "--to", "0.2", "--capture", long_ok)
    if os.listdir(folder) != [os.path.basename(long_ok)]:
        fail("a name of 255 characters: %r" % os.listdir(folder))

    for name, word in (("x.ts", b"does not tell"), ("x.foo", b"cannot tell a video format")):
        p = kestovar("--size", "64x64", "--to", "0.2", "--capture", path(name), expect=1)
        lines = p.stderr.splitlines()
        if len(lines) != 1 or not lines[0].startswith(b"kestovar: ") or word not in lines[0]:
            fail("%s: %r" % (name, p.stderr))
        if b"AAC" in p.stderr:
            fail("%s: blames the sound: %r" % (name, p.stderr))
    print("limits: status 2 before any work; whole messages of our own")


CASES = {
    "length": case_length,
    "levels": case_levels,
    "identical": case_identical,
    "stills": case_stills,
    "end": case_end,
    "errors": case_errors,
    "stop": case_stop,
    "files": case_files,
    "limits": case_limits,
}

if __name__ == "__main__":
    CASES[sys.argv[1]]()
