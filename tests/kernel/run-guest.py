#!/usr/bin/env python3
"""Boots Debian's kernel in QEMU with the guest initramfs, runs one guest
sequence in it and exits with the sequence's status.

    run-guest.py BUILD_DIR SCRIPT [--usb] [--timeout SECONDS]

The host's root is shared read-only over 9p; the guest runs SCRIPT (a path
on the host) in a chroot of it, given BUILD_DIR. The guest asks for what only
the host can do by printing "@@WAIT <action>" on its console and reading one
line back: the answer is "ok" or "failed". QEMU is driven over QMP on a unix
socket. TCG by default: KVM, where it works, with QUELMAR_GUEST_ACCEL=kvm.
"""
import argparse
import ctypes
import json
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time

# The drive QEMU puts on its USB bus: a CD drive of the target model.
USB_DRIVE = {"vendor": "QUELMAR", "product": "BD-RW KLV-TN82WA", "ver": "1.01"}


class Lines:
    """Lines from a descriptor, read as they come. Unlike a buffered file, it
    never keeps a whole line back while select() waits for more."""

    def __init__(self, fd):
        self.fd = fd
        self.buffer = b""
        self.ended = False

    def readline(self, deadline):
        """The next line without its end, or None at the end of the stream
        or when the deadline passes first."""
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if self.ended or left <= 0:
                return None
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                chunk = os.read(self.fd, 65536)
                self.buffer += chunk
                self.ended = not chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode(errors="replace").rstrip("\r")


class Qmp:
    """A QMP client: commands in order, events kept aside."""

    TIMEOUT = 60

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        deadline = time.monotonic() + 30
        while True:
            try:
                self.sock.connect(path)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.lines = Lines(self.sock.fileno())
        self.events = []
        self.receive()
        self.command("qmp_capabilities")

    def receive(self):
        line = self.lines.readline(time.monotonic() + self.TIMEOUT)
        if line is None:
            raise RuntimeError("QEMU does not answer")
        return json.loads(line)

    def command(self, name, **arguments):
        message = {"execute": name}
        if arguments:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        while True:
            reply = self.receive()
            if "event" in reply:
                self.events.append(reply)
                continue
            if "error" in reply:
                raise RuntimeError(f"{name}: {reply['error'].get('desc')}")
            return reply.get("return")

    def wait_event(self, name, seconds, **data):
        """Waits for the event `name` whose data has these values, and takes
        it off the events kept."""
        def wanted(event):
            found = event.get("data", {})
            return event["event"] == name and all(found.get(k) == v for k, v in data.items())

        deadline = time.monotonic() + seconds
        while not any(wanted(e) for e in self.events):
            line = self.lines.readline(deadline)
            if line is None:
                raise RuntimeError(f"no {name} event within {seconds} s")
            self.events.append(json.loads(line))
        self.events.remove(next(e for e in self.events if wanted(e)))


class Host:
    """What the guest may ask of the host: a USB drive plugged in and out,
    a disc inserted and ejected."""

    def __init__(self, qmp, iso):
        self.qmp = qmp
        self.iso = iso
        self.plugged = 0

    def act(self, action):
        if action == "usb-attach":
            self.plugged += 1
            n = self.plugged
            self.qmp.command("device_add", driver="usb-bot", id=f"bot{n}", bus="xhci.0")
            self.qmp.command("device_add", driver="scsi-cd", id=f"cd{n}", bus=f"bot{n}.0",
                             **USB_DRIVE)
            # A USB mass storage device added at run time stays detached
            # until it has its SCSI device.
            self.qmp.command("qom-set", path=f"/machine/peripheral/bot{n}",
                             property="attached", value=True)
        elif action == "usb-detach":
            self.qmp.command("device_del", id=f"bot{self.plugged}")
            self.qmp.wait_event("DEVICE_DELETED", 20, device=f"bot{self.plugged}")
        elif action == "disc-insert":
            self.qmp.command("blockdev-change-medium", id=f"cd{self.plugged}",
                             filename=self.iso, format="raw", **{"read-only-mode": "read-only"})
        elif action == "disc-eject":
            # The eject button: a drive whose tray the guest has locked asks
            # the guest, which opens the tray; then the disc is taken out.
            drive = f"cd{self.plugged}"
            self.qmp.events.clear()
            try:
                self.qmp.command("eject", id=drive, force=False)
            except RuntimeError as refusal:
                if "locked" not in str(refusal):
                    raise
                self.qmp.wait_event("DEVICE_TRAY_MOVED", 30, id=drive, **{"tray-open": True})
                self.qmp.command("blockdev-remove-medium", id=drive)
        else:
            raise RuntimeError(f"unknown action {action}")


def die_with_parent():
    """In the child before it runs QEMU: a runner killed (by ctest's timeout,
    say) takes QEMU with it."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("script")
    parser.add_argument("--usb", action="store_true")
    parser.add_argument("--timeout", type=float, default=480)
    args = parser.parse_args()

    build = os.path.realpath(args.build)
    guest = os.path.join(build, "kernel-guest")
    for name in ("vmlinuz", "initramfs.gz", "labelled.iso"):
        if not os.path.exists(os.path.join(guest, name)):
            print(f"run-guest: {guest}/{name} is missing: "
                  "run tests/kernel/setup-guest.sh first", flush=True)
            return 2

    accel = os.environ.get("QUELMAR_GUEST_ACCEL", "tcg")
    with tempfile.TemporaryDirectory(prefix="quelmar-guest-") as scratch:
        qmp_path = os.path.join(scratch, "qmp.sock")
        command = [
            "qemu-system-x86_64", "-accel", accel, "-cpu", "max" if accel == "tcg" else "host",
            "-m", "1536M", "-smp", "1", "-nographic", "-no-reboot", "-nic", "none",
            "-kernel", os.path.join(guest, "vmlinuz"),
            "-initrd", os.path.join(guest, "initramfs.gz"),
            "-append", "console=ttyS0 quiet panic=-1 "
                       f"qguest_script={os.path.realpath(args.script)} qguest_build={build}",
            "-qmp", f"unix:{qmp_path},server=on,wait=off",
            "-fsdev", "local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap",
            "-device", "virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot",
        ]
        if args.usb:
            command += ["-device", "qemu-xhci,id=xhci"]
        start = time.monotonic()
        qemu = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, preexec_fn=die_with_parent)
        host = None
        status = None
        console = Lines(qemu.stdout.fileno())
        deadline = start + args.timeout
        while True:
            line = console.readline(deadline)
            if line is None:
                if not console.ended:
                    print(f"run-guest: no end after {args.timeout:.0f} s: stopping the guest",
                          flush=True)
                break
            print(line, flush=True)
            if line.startswith("@@WAIT "):
                answer = "ok"
                try:
                    if host is None:
                        host = Host(Qmp(qmp_path), os.path.join(guest, "labelled.iso"))
                    host.act(line.split()[1])
                except (RuntimeError, OSError) as error:
                    print(f"run-guest: {line[7:]}: {error}", flush=True)
                    answer = "failed"
                qemu.stdin.write(answer.encode() + b"\n")
                qemu.stdin.flush()
            elif line.startswith("@@EXIT "):
                status = int(line.split()[1])
        if qemu.poll() is None:
            qemu.kill()
        qemu.wait()
        print(f"run-guest: {os.path.basename(args.script)} ended with "
              f"{'no status' if status is None else status} after "
              f"{time.monotonic() - start:.1f} s ({accel})", flush=True)
        return 1 if status is None else status


if __name__ == "__main__":
    sys.exit(main())
