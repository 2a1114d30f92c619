#!/usr/bin/env python3
"""console_test.py - the demo on a Linux console, end to end in a VM.

    console_test.py show WxH [--escape]
                               one boot with a virtual GPU of that screen
                               size: the frames at three times held on the
                               screen and compared with `kestovar --still`
                               at that size, then a short live show that
                               must draw changing frames, end with the FPS
                               line and status 0 and leave text on the
                               console; keys typed during it must not be
                               waiting on the console's terminal after it.
                               It is started from the serial line (as over
                               SSH) and ended by SIGTERM, a second show is
                               refused meanwhile, a third one is killed by
                               SIGSEGV and a fourth ended by SIGHUP (a
                               closed terminal: status 0 and the FPS line),
                               each leaving text on the console, and the
                               frames are held with no
                               keyboard readable (one line must say so);
                               with --escape it is started on the console
                               itself (tty1 its terminal, whose settings
                               must be the same after it), ended by Escape
                               on the VM's keyboard, and its sound must be
                               the song exactly as syna-render renders it
                               from the first sounding sample on for at
                               least 5 s
    console_test.py errors     one boot without a GPU: the clear error; with
                               VM_ARMHF_ROOT and VM_ARMHF_DEBS (arm64 only)
                               also the armhf packages installed with dpkg
                               in that 32-bit userland on the 64-bit kernel,
                               their syna-render's song byte for byte and
                               their kestovar started

Environment: KESTOVAR (the program the guest runs; with a VM_ROOT other
than / it is copied into the run's folder, which the guest sees as
/mnt/out), or VM_DEBS (a folder of the Debian packages, installed with
dpkg in the guest, whose /usr/bin/kestovar is then run), HOST_KESTOVAR
and SYNA_RENDER (this machine's programs for the stills and the reference
sound), VM_ARCH (x86_64 or arm64), VM_KIT
(kit.sh's folder), VM_ROOT (the guest's root file system), VM_OUT (the
runs' folders).
Exit status 0 when every check held; the measured differences and times
are printed either way.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vm import Vm, VmError  # noqa: E402

TIMES = (5.0, 20.0, 45.0)
RATE = 44100
# Frames of the live show's sound that must match exactly.
SOUND_SECONDS = 5
# The live show ended by Escape goes on until the sound card has played this
# long from its first sounding sample (the guest's time: under instruction
# counting a guest second may take several on the host); the wait for that
# and for two different frames ends after LIVE_LIMIT seconds on the host.
LIVE_SECONDS = SOUND_SECONDS + 1
LIVE_LIMIT = 400
# A held frame may differ from the still in this share of its pixels. The
# guest's software renderer runs on the emulated processor's vector unit
# and fills a few isolated edge pixels differently (measured: at most
# 0.003% at 1024x768, see the README); a wrong viewport, clear or frame
# changes far more.
MAX_SHARE = 0.0005


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def rgb(path, size):
    """A PNG or PPM file as rgb24 bytes of the given size (through ffmpeg)."""
    p = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo",
                        "-pix_fmt", "rgb24", "-"], capture_output=True, check=True)
    if len(p.stdout) != size[0] * size[1] * 3:
        fail("%s is not %dx%d" % (path, size[0], size[1]))
    return p.stdout


def difference(a, b):
    """(share of pixels that differ, largest channel difference)."""
    if a == b:
        return 0.0, 0
    differing, step = 0, 0
    for i in range(0, len(a), 3):
        if a[i:i + 3] != b[i:i + 3]:
            differing += 1
            step = max(step, abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]),
                       abs(a[i + 2] - b[i + 2]))
    return differing / (len(a) // 3), step


def lit(picture):
    """Pixels that are not black."""
    return len(picture) // 3 - picture.count(b"\0\0\0")


def drawing(shot, console):
    """Whether a screen dump shows a frame of the show rather than the
    console before it: a frame lights far more pixels than the console's
    text, so a blinking cursor or a kernel line is no sign of drawing."""
    return lit(shot) > max(2000, 4 * lit(console))


def wav_samples(path):
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(b"data", 12)
    if data[:4] != b"RIFF" or at < 0:
        fail("%s is no WAV file" % path)
    return data[at + 8:]


def sounded(vm):
    """Seconds of sound the VM's card has played from its first sounding
    sample on, so far."""
    try:
        with open(os.path.join(vm.run_dir, "out.wav"), "rb") as f:
            data = f.read()[44:]
    except FileNotFoundError:
        return 0.0
    silent = len(data) - len(data.lstrip(b"\0"))
    return 0.0 if silent == len(data) else (len(data) - silent) / 4 / RATE


def first_sound(pcm):
    """Byte offset of the first frame that is not silent, or None."""
    silent = len(pcm) - len(pcm.lstrip(b"\0"))
    return None if silent == len(pcm) else silent - silent % 4


def check_sound(wav, reference):
    got = wav_samples(wav)
    g, r = first_sound(got), first_sound(reference)
    if g is None:
        fail("the VM's sound card played only silence")
    need = SOUND_SECONDS * RATE * 4
    same = 0
    while g + same < len(got) and r + same < len(reference) and \
            got[g + same] == reference[r + same]:
        same += 1
    print("sound: first sample at %.3f s of the capture; %.3f s equal to syna-render's"
          % (g / 4 / RATE, same / 4 / RATE))
    if same < need:
        fail("the sound differs from syna-render's %.3f s after its first sounding sample"
             % (same / 4 / RATE))


def copy_debs(folder, into):
    """The Debian packages of folder copied into a fresh folder into (the
    guest's view of the run's folder)."""
    shutil.rmtree(into, ignore_errors=True)
    os.makedirs(into)
    for name in os.listdir(folder):
        if name.endswith(".deb"):
            shutil.copy(os.path.join(folder, name), into)


def guest_program(env, run):
    """The path at which the guest finds the program under test, and the
    guest's commands that put it there: with VM_DEBS (a folder of Debian
    packages) they are installed with dpkg, as on a Pi, and the installed
    /usr/bin/kestovar is run; else KESTOVAR as it was built."""
    os.makedirs(os.path.join(run, "vm"), exist_ok=True)
    debs = env.get("VM_DEBS")
    if debs:
        copy_debs(debs, os.path.join(run, "vm", "debs"))
        return "/usr/bin/kestovar", [
            "dpkg -i /mnt/out/debs/*.deb >/tmp/dpkg.log 2>&1",
            "echo \"KESTOVAR-DPKG-RC $?\"", "tail -n 20 /tmp/dpkg.log"]
    if os.path.realpath(env["VM_ROOT"]) == "/":
        return env["KESTOVAR"], []
    shutil.copy(env["KESTOVAR"], os.path.join(run, "vm", "kestovar.bin"))
    return "/mnt/out/kestovar.bin", []


def installed(vm, install):
    """Waits for the packages' installation, if there was one; VmError
    when dpkg failed."""
    if not install:
        return
    rc = vm.wait_for(rb"KESTOVAR-DPKG-RC (\d+)", 300, "packages installed").group(1)
    if rc != b"0":
        raise VmError("dpkg -i of the packages failed (status %s):\n%s"
                      % (rc.decode(), vm.tail(25)))
    print("packages installed with dpkg: %s" % ", ".join(
        sorted(n for n in os.listdir(os.path.join(vm.run_dir, "debs")))))


def wait_go(name):
    """The guest's line that waits for the host's go-NAME."""
    return "while [ ! -e /mnt/out/go-%s ]; do sleep 0.2; done" % name


def show(size, ending, env):
    """One boot: the held frames, then a live show ended by `ending`:
    "escape" (the VM's keyboard; its sound checked) or "sigterm" (no
    keyboard readable while the frames are held)."""
    arch, kit, root = env["VM_ARCH"], env["VM_KIT"], env["VM_ROOT"]
    run = os.path.join(env["VM_OUT"], "%s-%dx%d" % (arch, size[0], size[1]))
    os.makedirs(run, exist_ok=True)
    kestovar, install = guest_program(env, run)
    stills = os.path.join(run, "stills")
    os.makedirs(stills, exist_ok=True)
    args = [env.get("HOST_KESTOVAR", env["KESTOVAR"]), "--size", "%dx%d" % size]
    for i, t in enumerate(TIMES):
        args += ["--still", "%g:%s/still%d.png" % (t, stills, i)]
    subprocess.run(args, check=True, capture_output=True)

    escape = ending == "escape"
    hold = "KESTOVAR_HOLD=%s KESTOVAR_HOLD_GO=/mnt/out/go- %s --display=console" % (
        ",".join("%g" % t for t in TIMES), kestovar)
    cmd = ["cd /tmp"] + install
    if escape:
        # Started on the console itself, as at a Pi's own console: a shell
        # whose terminal is tty1 runs the show; afterwards its terminal's
        # settings must be as before, and keys typed during the show must
        # not be waiting for it to read.
        cmd += [hold, "echo \"KESTOVAR-HOLD-RC $?\"", wait_go("live"),
                "cat >/tmp/on-tty1.sh <<'EOF'",
                "stty -g >/tmp/tty1.before",
                "AUDIODEV=hw:0,0 SDL_AUDIODRIVER=alsa %s" % kestovar,
                "echo \"KESTOVAR-LIVE-RC $?\"",
                "stty -g >/tmp/tty1.after",
                "cmp -s /tmp/tty1.before /tmp/tty1.after && echo KESTOVAR-TTY1-SAME",
                "echo 'the console is back' >/dev/tty1",
                "timeout --foreground 2 cat >/tmp/typed",
                "echo \"KESTOVAR-TYPED $(wc -c </tmp/typed)\"",
                "EOF",
                "echo KESTOVAR-LIVE-START",
                "setsid -c -w sh /tmp/on-tty1.sh </dev/tty1"]
    else:
        # No keyboard to be read: an empty /dev/input over the real one.
        # Then a show started from outside the console (the serial line, as
        # over SSH) while tty1 is held open: keys typed during it must not
        # be waiting there afterwards.
        cmd += ["mount -t tmpfs tmpfs /dev/input", hold, "echo \"KESTOVAR-HOLD-RC $?\"",
                "umount /dev/input", wait_go("live"),
                "exec 3</dev/tty1",
                "echo KESTOVAR-LIVE-START",
                "%s & pid=$!" % kestovar,
                # A second show while the first holds the screen.
                wait_go("second"),
                "%s --display=console; echo \"KESTOVAR-SECOND-RC $?\"" % kestovar,
                wait_go("end"),
                "kill -TERM $pid", "wait $pid", "echo \"KESTOVAR-LIVE-RC $?\"",
                "echo 'the console is back' >/dev/tty1",
                "timeout 2 cat <&3 >/tmp/typed",
                "echo \"KESTOVAR-TYPED $(wc -c </tmp/typed)\""]
    cmd += [wait_go("after")]
    if not escape:
        # A show that crashes, then one whose terminal hangs up: each must
        # give the console back.
        cmd += signalled_show(kestovar, "SEGV") + signalled_show(kestovar, "HUP")
        cmd += [wait_go("done")]
    vm = Vm(arch, kit, root, os.path.join(run, "vm"), gpu=size, sound=escape)
    vm.start("\n".join(cmd) + "\n")
    problems = []
    try:
        installed(vm, install)
        for i, t in enumerate(TIMES):
            vm.wait_for(rb"KESTOVAR-HOLD %d " % i, 400, "held frame %d" % i)
            shot = vm.screendump("hold%d" % i)
            vm.touch("go-%d" % i)
            share, step = difference(rgb(shot, size), rgb("%s/still%d.png" % (stills, i), size))
            print("picture %dx%d at %g s: %.5f%% of the pixels differ, by up to %d"
                  % (size[0], size[1], t, share * 100, step))
            if share > MAX_SHARE:
                problems.append("the frame at %g s differs from the still" % t)
        rc = vm.wait_for(rb"KESTOVAR-HOLD-RC (\d+)", 120, "held frames done").group(1)
        if rc != b"0":
            problems.append("the held frames ended with status %s" % rc.decode())
        held = vm.log()[:vm.log().find(b"KESTOVAR-HOLD-RC")]
        said = b"no keyboard can be read" in held
        if said == escape:
            problems.append("the line about the keyboard was %s"
                            % ("printed with a keyboard there" if said else "missing"))
        problems += live(vm, size, escape)
        if not escape:
            problems += signalled(vm, size, "SEGV", "killed by SIGSEGV", b"139")
            problems += signalled(vm, size, "HUP", "ended by SIGHUP", b"0")
            vm.touch("go-done")
        rc = vm.finish(120)
        if rc != 0:
            problems.append("the guest's command ended with %d" % rc)
        if escape:
            ref = os.path.join(run, "reference.raw")
            subprocess.run([env["SYNA_RENDER"], "--raw", "-o", ref], check=True,
                           capture_output=True)
            with open(ref, "rb") as f:
                check_sound(os.path.join(vm.run_dir, "out.wav"), f.read())
    except VmError as e:
        vm.stop()
        fail(str(e))
    print("times (s from QEMU's start): %s" % vm.marks)
    if problems:
        print(vm.tail(40))
        fail("; ".join(problems))


def live(vm, size, escape):
    """The live show's checks; the problems found."""
    problems = []
    how = "Escape" if escape else "SIGTERM"
    # The console as the held frames left it: no picture of the show.
    console = rgb(vm.screendump("console"), size)
    vm.touch("go-live")
    vm.wait_for(rb"KESTOVAR-LIVE-START\s+Measuring CPU speed\.{80}", 300, "live show starts")
    # Under emulation the first frames take seconds (the software renderer
    # compiles its shaders): dump until two different ones were seen, and
    # long enough for the sound check.
    began = time.monotonic()
    pictures, dumps = set(), 0
    while time.monotonic() - began < LIVE_LIMIT:
        if vm.proc.poll() is not None or b"KESTOVAR-LIVE-RC" in vm.log():
            break
        shot = rgb(vm.screendump("live"), size)
        dumps += 1
        if drawing(shot, console):
            if not pictures:
                for key in ("a", "b", "ret"):
                    vm.send_key(key)
                if not escape:
                    vm.touch("go-second")
            pictures.add(shot)
        if len(pictures) >= 2 and (not escape or sounded(vm) >= LIVE_SECONDS):
            break
        time.sleep(1.5)
    print("live: %d different pictures in %d screen dumps over %.0f s%s"
          % (len(pictures), dumps, time.monotonic() - began,
             ", %.1f s of sound" % sounded(vm) if escape else ""))
    if len(pictures) < 2:
        problems.append("the live show did not draw changing frames")
    if not escape and pictures:
        second = vm.wait_for(rb"KESTOVAR-SECOND-RC (\d+)", 300, "second show refused")
        said = vm.log()[:second.start()].splitlines()[-1]
        print("a second show: %s, status %s" % (said.decode(), second.group(1).decode()))
        if second.group(1) != b"1" or b"held by another program" not in said:
            problems.append("a second show on the held screen was not refused clearly")
        if lit(rgb(vm.screendump("after-second"), size)) == 0:
            problems.append("the first show lost the screen to the refused second one")
    last = rgb(vm.screendump("last"), size)
    if escape:
        vm.send_key("esc")
    else:
        # The signal right after a new frame reached the screen: where
        # frames take over a second (arm64 here), the next one is still
        # being drawn when the grace after the signal runs out, and the
        # show ends without waiting for it.
        for _ in range(20):
            shot = rgb(vm.screendump("last"), size)
            if shot != last:
                last = shot
                break
            time.sleep(0.2)
        vm.touch("go-end")
    rc = vm.wait_for(rb"KESTOVAR-LIVE-RC (\d+)", 120, "live show ended").group(1)
    log = vm.log()
    tail = log[log.find(b"KESTOVAR-LIVE-START"):]
    if rc != b"0":
        problems.append("%s: status %s" % (how, rc.decode()))
    if b"\nFPS: " not in tail:
        problems.append("%s: no FPS line" % how)
    time.sleep(2)
    after = rgb(vm.screendump("after"), size)
    vm.touch("go-after")
    print("after %s: %d lit pixels, %s the last frame"
          % (how, lit(after), "same as" if after == last else "not"))
    if after == last or lit(after) == 0:
        problems.append("the console did not come back after %s" % how)
    typed = vm.wait_for(rb"KESTOVAR-TYPED (\d+)", 60).group(1)
    print("keys typed during the show, found on the console's terminal after it: %s bytes"
          % typed.decode())
    if typed != b"0":
        problems.append("keys typed during the show reached the terminal")
    if escape:
        if b"KESTOVAR-TTY1-SAME" not in vm.log():
            problems.append("the console's terminal settings changed")
    return problems


# The 32-bit userland's commands: its packages installed with dpkg, their
# state, the installed syna-render's song, the installed kestovar started.
ARMHF_CMD = r"""r=/mnt/root2
in32() { chroot $r /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
mount --bind /dev $r/dev && mount -t proc proc $r/proc
mkdir -p $r/tmp/debs && cp /mnt/out/debs32/*.deb $r/tmp/debs/
in32 sh -c 'dpkg -i /tmp/debs/*.deb' >/tmp/dpkg32.log 2>&1
echo "KESTOVAR-DPKG32-RC $?"
tail -n 20 /tmp/dpkg32.log
echo "KESTOVAR-KERNEL $(uname -m)"
in32 dpkg-query -W -f='KESTOVAR-PKG32 ${Package} ${Architecture} ${Status}\n' \
  kestovar libsyna1 libsyna-dev
in32 syna-render -o - >/mnt/out/song32.wav 2>/tmp/render32.log
echo "KESTOVAR-RENDER32-RC $?"
in32 kestovar --help >/dev/null
echo "KESTOVAR-HELP32-RC $?"
"""


def armhf_packages(env, run):
    """The guest's commands for the armhf packages (VM_ARMHF_DEBS) in the
    armhf userland (VM_ARMHF_ROOT), or none."""
    debs = env.get("VM_ARMHF_DEBS")
    if not debs:
        return []
    copy_debs(debs, os.path.join(run, "debs32"))
    return [ARMHF_CMD]


def check_armhf(env, run, log):
    """The armhf packages' checks on the guest's log; the problems found."""
    problems = []
    if "KESTOVAR-DPKG32-RC 0" not in log:
        return ["dpkg -i of the armhf packages failed"]
    states = [l.split(None, 3)[1:] for l in log.splitlines() if l.startswith("KESTOVAR-PKG32 ")]
    if sorted(states) != [[p, "armhf", "install ok installed"]
                          for p in ("kestovar", "libsyna-dev", "libsyna1")]:
        problems.append("the armhf packages are not all installed: %r" % states)
    ref = os.path.join(run, "reference32.wav")
    subprocess.run([env["SYNA_RENDER"], "-o", ref], check=True, capture_output=True)
    with open(ref, "rb") as a, open(os.path.join(run, "song32.wav"), "rb") as b:
        same = a.read() == b.read()
    print("armhf packages on the %s kernel: installed; the installed syna-render's song is %s"
          % (log.split("KESTOVAR-KERNEL ")[-1].split()[0] if "KESTOVAR-KERNEL " in log else "?",
             "byte-identical to this machine's" if same else "DIFFERENT"))
    if "KESTOVAR-RENDER32-RC 0" not in log or not same:
        problems.append("the installed armhf syna-render does not render the song exactly")
    if "KESTOVAR-HELP32-RC 0" not in log:
        problems.append("the installed armhf kestovar does not start")
    return problems


def signalled_show(kestovar, sig):
    """The guest's commands for a show ended by signal sig once the host
    saw it draw, then a line written to the console."""
    return [wait_go(sig + "-start"), "echo KESTOVAR-%s-START" % sig,
            "%s & pid=$!" % kestovar, wait_go(sig), "kill -%s $pid" % sig, "wait $pid",
            "echo \"KESTOVAR-%s-RC $?\"" % sig, wait_go(sig + "-marker"),
            "echo 'KESTOVAR: the console after SIG%s' >/dev/tty1" % sig,
            "echo KESTOVAR-%s-MARKED" % sig]


def signalled(vm, size, sig, how, status):
    """The host's side of signalled_show: the show must end with status
    and, unless killed (139), the FPS line; the console must show text
    again: the line written to it afterwards must change the picture (in
    graphics mode the kernel draws nothing). The problems found."""
    console = rgb(vm.screendump(sig + "-console"), size)
    vm.touch("go-%s-start" % sig)
    began = time.monotonic()
    while time.monotonic() - began < LIVE_LIMIT:
        frame = rgb(vm.screendump(sig + "-show"), size)
        if drawing(frame, console):
            break
        time.sleep(1.5)
    else:
        return ["the show to be %s did not draw" % how]
    vm.touch("go-" + sig)
    ended = vm.wait_for(rb"KESTOVAR-%s-RC (\d+)" % sig.encode(), 120, how)
    rc = ended.group(1)
    log = vm.log()
    said_fps = b"\nFPS: " in log[log.rfind(b"KESTOVAR-%s-START" % sig.encode()):ended.start()]
    time.sleep(2)
    before = rgb(vm.screendump(sig + "-ended"), size)
    vm.touch("go-%s-marker" % sig)
    vm.wait_for(rb"KESTOVAR-%s-MARKED" % sig.encode(), 60)
    time.sleep(2)
    marked = rgb(vm.screendump(sig + "-marked"), size)
    print("a show %s: status %s%s; a line written after it %s the console"
          % (how, rc.decode(), ", the FPS line" if said_fps else "",
             "changed" if marked != before else "did not change"))
    problems = []
    if rc != status:
        problems.append("the show %s ended with status %s, not %s"
                        % (how, rc.decode(), status.decode()))
    if status != b"139" and not said_fps:
        problems.append("the show %s printed no FPS line" % how)
    if marked == before or marked == frame:
        problems.append("the console did not come back after the show %s" % how)
    return problems


def errors(env):
    run = os.path.join(env["VM_OUT"], "%s-nogpu" % env["VM_ARCH"])
    k, install = guest_program(env, run)
    run = os.path.join(run, "vm")
    # Forced and left to choose; the terminal's settings before and after.
    cmd = ("cd /tmp\n" + "".join(c + "\n" for c in install) + "stty -g >tty.before\n"
           "%s --display=console; echo \"KESTOVAR-FORCED-RC $?\"\n"
           "%s; echo \"KESTOVAR-AUTO-RC $?\"\n"
           "stty -g >tty.after\ncmp -s tty.before tty.after && echo KESTOVAR-TTY-SAME\n"
           % (k, k))
    armhf = armhf_packages(env, run)
    cmd += "".join(armhf)
    vm = Vm(env["VM_ARCH"], env["VM_KIT"], env["VM_ROOT"], run, gpu=None, sound=False,
            root2=env["VM_ARMHF_ROOT"] if armhf else None)
    vm.start(cmd)
    try:
        installed(vm, install)
        vm.finish(600)
    except VmError as e:
        vm.stop()
        fail(str(e))
    log = vm.log().decode("utf-8", "replace")
    print(log[log.find("VM-CMD-START"):])
    for case in ("FORCED", "AUTO"):
        if "KESTOVAR-%s-RC 1" % case not in log:
            fail("%s: the status is not 1" % case.lower())
    # The sound card is missing too: that has its own line.
    lines = [l for l in log.splitlines()
             if l.startswith("kestovar:") and "audio" not in l]
    if len(lines) != 2 or not all("no DRM device" in l for l in lines):
        fail("expected one line naming the missing DRM device per run, got %r" % lines)
    if "KESTOVAR-TTY-SAME" not in log:
        fail("the terminal's settings changed")
    if armhf:
        problems = check_armhf(env, run, log)
        if problems:
            fail("; ".join(problems))
    print("times (s from QEMU's start): %s" % vm.marks)


def main():
    env = dict(os.environ)
    if len(sys.argv) >= 2 and sys.argv[1] == "errors":
        errors(env)
    elif len(sys.argv) >= 3 and sys.argv[1] == "show":
        w, h = sys.argv[2].split("x")
        show((int(w), int(h)), "escape" if "--escape" in sys.argv[3:] else "sigterm", env)
    else:
        sys.exit(__doc__)
    print("ok")


if __name__ == "__main__":
    main()
