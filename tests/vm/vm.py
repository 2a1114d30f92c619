"""vm.py - one virtual machine run of the console test, under QEMU.

A VM boots the kit's kernel and initramfs (kit.sh) with ROOT shared
read-only as its root file system, runs RUN_DIR/cmd.sh there and powers
off. The host side follows the serial console (RUN_DIR/console.log),
takes screen dumps over QMP, sends keys, and reads the sound card's output
from RUN_DIR/out.wav (QEMU's wav audio back end behind an Intel HDA card,
with the three settings that keep the samples exact: no mixer, no timer,
the guest writing straight to hw:0,0).

    vm = Vm("x86_64", kit, "/", run_dir, gpu=(1024, 768), sound=True)
    vm.start(cmd_text)
    vm.wait_for(rb"KESTOVAR-HOLD 0", 300)
    vm.screendump("hold0")      # RUN_DIR/hold0.ppm
    vm.touch("go-0")
    rc = vm.finish(120)         # the command's exit status

root2, if given, is a second userland (another architecture's) that the
guest sees writable at /mnt/root2, through an overlay of its own.

Plain emulation (TCG) on one virtual CPU: /dev/kvm is not used, so the
same run works wherever QEMU does. --arch picks the machine: q35 with its
PS/2 keyboard for x86_64, virt with a Cortex-A72 and a virtio keyboard for
arm64.
"""
import json
import os
import re
import socket
import subprocess
import time


class VmError(Exception):
    pass


def machine(arch, kit, root, run_dir, gpu, sound, root2):
    """QEMU's command line."""
    if arch == "x86_64":
        cmd = ["qemu-system-x86_64", "-M", "q35", "-cpu", "max",
               "-kernel", os.path.join(kit, "vmlinux"), "-append",
               "console=ttyS0 loglevel=4 panic=-1"]
    elif arch == "arm64":
        cmd = ["qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a72",
               "-kernel", os.path.join(kit, "Image"), "-append",
               "console=ttyAMA0 loglevel=4 panic=-1",
               "-device", "virtio-keyboard-pci"]
    else:
        raise VmError("unknown architecture " + arch)
    # Instruction counting: the guest's clock, and with it the sound
    # card's, advances by the instructions run, not the host's time, so a
    # busy host slows the guest down instead of starving its sound.
    cmd += ["-icount", os.environ.get("VM_ICOUNT", "shift=4,sleep=on")]
    cmd += ["-accel", "tcg", "-m", "1024", "-smp", "1", "-nodefaults", "-no-user-config",
            "-no-reboot", "-display", "none",
            "-initrd", os.path.join(kit, "initramfs.gz"),
            "-qmp", "unix:%s,server=on,wait=off" % os.path.join(run_dir, "qmp.sock"),
            "-virtfs", "local,path=%s,mount_tag=root,security_model=none,readonly=on,"
                       "multidevs=remap" % root,
            "-virtfs", "local,path=%s,mount_tag=out,security_model=none,multidevs=remap"
                       % run_dir,
            "-serial", "file:" + os.path.join(run_dir, "console.log")]
    if root2 is not None:
        cmd += ["-virtfs", "local,path=%s,mount_tag=root2,security_model=none,readonly=on,"
                           "multidevs=remap" % root2]
    if gpu is not None:
        cmd += ["-device", "virtio-gpu-pci,xres=%d,yres=%d" % gpu]
    if sound:
        cmd += ["-audiodev", "wav,id=snd0,path=" + os.path.join(run_dir, "out.wav"),
                "-device", "intel-hda",
                "-device", "hda-duplex,audiodev=snd0,mixer=off,use-timer=off"]
    return cmd


class Vm:
    def __init__(self, arch, kit, root, run_dir, gpu=None, sound=False, root2=None):
        self.arch, self.kit, self.root = arch, kit, root
        self.run_dir = os.path.abspath(run_dir)
        self.gpu, self.sound, self.root2 = gpu, sound, root2
        self.proc = None
        self.qmp = None
        self.started = None
        self.marks = {}

    def start(self, cmd_text):
        os.makedirs(self.run_dir, exist_ok=True)
        # What an earlier run left; files put there for the guest stay.
        for name in os.listdir(self.run_dir):
            if name in ("cmd.sh", "console.log", "qemu.log", "out.wav", "rc", "qmp.sock") or \
                    name.endswith(".ppm") or name.startswith("go-"):
                os.unlink(os.path.join(self.run_dir, name))
        with open(os.path.join(self.run_dir, "cmd.sh"), "w") as f:
            f.write(cmd_text)
        self.started = time.monotonic()
        with open(os.path.join(self.run_dir, "qemu.log"), "wb") as log:
            self.proc = subprocess.Popen(
                machine(self.arch, self.kit, self.root, self.run_dir, self.gpu, self.sound,
                        self.root2),
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)

    def seconds(self):
        return time.monotonic() - self.started

    def log(self):
        try:
            with open(os.path.join(self.run_dir, "console.log"), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def wait_for(self, pattern, timeout, label=None):
        """The first match of pattern in the serial log (its time noted as
        label); VmError when the VM stops or the time runs out first."""
        deadline = time.monotonic() + timeout
        while True:
            m = re.search(pattern, self.log())
            if m:
                if label:
                    self.marks[label] = round(self.seconds(), 1)
                return m
            if self.proc.poll() is not None:
                raise VmError("the VM stopped before %r; its console:\n%s"
                              % (pattern, self.tail()))
            if time.monotonic() > deadline:
                raise VmError("no %r within %d s; the console:\n%s"
                              % (pattern, timeout, self.tail()))
            time.sleep(0.1)

    def tail(self, lines=25):
        return b"\n".join(self.log().splitlines()[-lines:]).decode("utf-8", "replace")

    def _qmp(self, command, **arguments):
        if self.qmp is None:
            deadline = time.monotonic() + 30
            while True:
                try:
                    s = socket.socket(socket.AF_UNIX)
                    s.connect(os.path.join(self.run_dir, "qmp.sock"))
                    break
                except OSError:
                    s.close()
                    if time.monotonic() > deadline:
                        raise VmError("QEMU's QMP socket does not answer")
                    time.sleep(0.1)
            self.qmp = s.makefile("rwb")
            self.qmp.readline()  # greeting
            self._qmp("qmp_capabilities")
        self.qmp.write(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        self.qmp.flush()
        while True:
            line = self.qmp.readline()
            if not line:
                raise VmError("QMP closed during " + command)
            reply = json.loads(line)
            if "error" in reply:
                raise VmError("QMP %s: %s" % (command, reply["error"]))
            if "return" in reply:
                return reply["return"]

    def screendump(self, name):
        """The screen as RUN_DIR/name.ppm; its path."""
        path = os.path.join(self.run_dir, name + ".ppm")
        self._qmp("screendump", filename=path)
        return path

    def send_key(self, key):
        self._qmp("send-key", keys=[{"type": "qcode", "data": key}])

    def touch(self, name):
        open(os.path.join(self.run_dir, name), "w").close()

    def finish(self, timeout):
        """Waits for the power-off; the command's exit status."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            raise VmError("the VM did not power off within %d s; the console:\n%s"
                          % (timeout, self.tail()))
        self.marks["powered off"] = round(self.seconds(), 1)
        m = re.search(rb"VM-CMD-END rc=(\d+)", self.log())
        if not m:
            raise VmError("the command did not finish; the console:\n" + self.tail())
        return int(m.group(1))

    def stop(self):
        """Ends QEMU: asked by QMP, killed (its own process only) if it will not go."""
        if self.proc is None or self.proc.poll() is not None:
            return
        try:
            self._qmp("quit")
        except (VmError, OSError):
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
