#!/usr/bin/env python3
"""The Windows key wait on a real console: Wine gives a console program that it
starts on a pseudo-terminal a console of its own, whose keyboard is fed from the
terminal. The test holds the terminal, presses the keys and watches the tool.

usage: console_wine_test.py <wine loader> <tarvul2semrod.exe> <examples folder> <case> [<console_mode_probe.exe>]

The cases named queued_* have the probe put input records into the console's
queue before the tool starts. Records the wait must skip leave it waiting for
the key pressed afterwards; a key press queued behind them ends it at once.
"""
import collections
import os
import pty
import re
import select
import shutil
import sys
import tempfile
import termios
import time

TIME_LIMIT = 60  # seconds; Wine's first start in a fresh prefix is slow
SETTLE = 1.0     # how long a waiting tool must stay alive to count as waiting

REPORT = ("[+] open tarvul.dat ok \n" "FileSise tarvul.dat 8704 \n" "FileSise tarvul.dat 0x00002200 \n"
          "[+]mem ok\n" "fread ok retcode 8704 \n" "fread ok retcode 0x00002200 \n"
          "[+] open semrod.dat ok \n" "FileSise semrod.dat 8800 \n" "FileSise semrod.dat 0x00002260 \n"
          "[+]mem ok\n" "fread ok retcode 8800 \n" "fread ok retcode 0x00002260 \n"
          "[+] open new_semrod.dat ok \n")
STOP_REPORT = "[-] open tarvul.dat error\n"

# key: what is pressed once the report is complete, or None when the wait must
# end without a key pressed (the key is already in the console's queue).
Case = collections.namedtuple(
    "Case", "key status has_inputs redirected typed_ahead through_probe queued",
    defaults=(True, False, False, False, ""))
CASES = {
    "letter": Case(b"k", 0),
    "ctrl_c": Case(b"\x03", 0),
    "arrow": Case(b"\x1b[A", 0),
    "function_key": Case(b"\x1b[15~", 0),
    "typed_ahead": Case(b"k", 0, typed_ahead=True),
    "failure_stop_waits": Case(b"\x03", 1, has_inputs=False),
    "redirected_report": Case(b" ", 0, redirected=True),
    "input_mode": Case(b"k", 0, through_probe=True),
    "queued_enter_release": Case(b"k", 0, through_probe=True, queued="enter_release"),
    "queued_focus": Case(b"k", 0, through_probe=True, queued="focus"),
    "queued_menu": Case(b"k", 0, through_probe=True, queued="menu"),
    "queued_mouse": Case(b"k", 0, through_probe=True, queued="mouse"),
    "queued_window_size": Case(b"k", 0, through_probe=True, queued="window_size"),
    "queued_shift": Case(b"k", 0, through_probe=True, queued="shift"),
    "queued_ctrl": Case(b"k", 0, through_probe=True, queued="ctrl"),
    "queued_key_behind_skipped": Case(
        None, 0, through_probe=True,
        queued="enter_release,focus,shift,mouse,ctrl,menu,window_size,key"),
}
PROBE_LINE = re.compile(r"inputmodebefore([0-9A-F]+),duringthewait(0|never0),after([0-9A-F]+)")


def visible(screen):
    """What the console showed, without its control sequences and blanks (the
    console draws blanks by moving the cursor)."""
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", screen)
    return re.sub(rb"\s", b"", text).decode("latin-1")


class Console:
    def __init__(self, loader, program, folder, redirect_to=None, typed_ahead=b""):
        self.screen = b""
        self.started = time.monotonic()
        self.events = []  # (seconds since the start, what happened), for the timeline
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(folder)
            if redirect_to:
                out = os.open(redirect_to, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                os.dup2(out, 1)
            os.execv(loader, [loader, *program])
        if typed_ahead:
            os.write(self.fd, typed_ahead)
        self.status = None

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    self.screen += os.read(self.fd, 4096)
                except OSError:
                    time.sleep(0.05)
            self.running()

    def running(self):
        if self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                self.note(f"ended with status {self.status}")
        return self.status is None

    def wait_until(self, condition):
        end = time.monotonic() + TIME_LIMIT
        while time.monotonic() < end and not condition():
            self.pump(0.1)
        return condition()

    def finish(self):
        self.wait_until(lambda: not self.running())
        if self.running():
            os.kill(self.pid, 9)
            os.waitpid(self.pid, 0)
        return self.status

    def note(self, event):
        self.events.append((time.monotonic() - self.started, event))

    def press(self, keys):
        if b"\x03" in keys:
            # Wine's console leaves the terminal's signal keys on, so Ctrl+C would
            # reach Wine as SIGINT, never as a key. Off, it arrives as input, as a
            # Windows console delivers it in input mode 0.
            mode = termios.tcgetattr(self.fd)
            mode[3] &= ~termios.ISIG
            termios.tcsetattr(self.fd, termios.TCSANOW, mode)
        os.write(self.fd, keys)
        self.note(f"pressed {keys!r}")


def run_case(loader, exe, examples, name, probe):
    key, expected_status, has_inputs, redirected, typed_ahead, through_probe, queued = CASES[name]
    # The probe is a Windows program: it names the tool by its Windows path.
    program = [probe, "Z:" + exe.replace("/", "\\")] if through_probe else [exe]
    if queued:
        program.append(queued)
    failures = []
    with tempfile.TemporaryDirectory(prefix="tarvul2semrod-wine-") as folder:
        if has_inputs:
            for input_name in ("tarvul.dat", "semrod.dat"):
                shutil.copy(os.path.join(examples, input_name), folder)
        report_file = os.path.join(folder, "report.txt") if redirected else None
        output = os.path.join(folder, "new_semrod.dat")
        expected_report = REPORT if has_inputs else STOP_REPORT
        console = Console(loader, program, folder, report_file, key if typed_ahead else b"")

        if typed_ahead or key is None:
            status = console.finish()
        else:
            if redirected:
                ready = console.wait_until(lambda: os.path.exists(output) and os.path.getsize(output) == 8800)
            else:
                ready = console.wait_until(lambda: visible(expected_report.encode()) in visible(console.screen))
            if not ready:
                failures.append("the report never finished")
            console.note("report complete" if ready else "gave up waiting for the report")
            console.pump(SETTLE)
            if not console.running():
                failures.append(f"did not wait for a key (ended with {console.status})")
            elif redirected and os.path.getsize(report_file) != 0:
                failures.append("the redirected report arrived before the key")
            console.press(key)
            status = console.finish()

        if status != expected_status:
            failures.append(f"status {status}, expected {expected_status}")
        if redirected:
            with open(report_file, "rb") as report:
                got = report.read()
            if got != expected_report.replace("\n", "\r\n").encode():
                failures.append(f"redirected report {got!r}")
        elif visible(expected_report.encode()) not in visible(console.screen):
            failures.append(f"report not on the console: {console.screen!r}")
        if through_probe:
            seen = PROBE_LINE.search(visible(console.screen))
            if not seen:
                failures.append(f"the probe reported nothing: {console.screen!r}")
            # A wait that ends at once may be over before the probe looks.
            elif (seen.group(2) != "0" and key is not None) or seen.group(1) != seen.group(3):
                failures.append("input mode before {}, during the wait {}, after {}".format(*seen.groups()))
        if has_inputs and not os.path.exists(output):
            failures.append("new_semrod.dat was not written")
        elif has_inputs:
            with open(output, "rb") as made, open(os.path.join(examples, "new_semrod.expected"), "rb") as expected:
                if made.read() != expected.read():
                    failures.append("new_semrod.dat differs from the expected output")
        console.note("checked")
        # When each step happened, also for a case that passed, so that a slow
        # step shows in the logs before it becomes a failure.
        print(f"{name}: timeline: " + "; ".join(f"{at:.2f} s {event}" for at, event in console.events))
        if failures:
            # What the test saw, so that a failure that happens once in many runs
            # can be told apart afterwards: Wine's, the emulation's or the tool's.
            failures.append(f"screen: {visible(console.screen)!r}")
            failures.append(f"screen, raw: {console.screen!r}")
    return failures


def main():
    loader, exe, examples, name = sys.argv[1:5]
    probe = sys.argv[5] if len(sys.argv) > 5 else None
    if CASES[name].through_probe and not probe:
        print(f"{name}: needs the console mode probe")
        return 1
    failures = run_case(loader, exe, examples, name, probe)
    for failure in failures:
        print(f"{name}: {failure}")
    print(f"{name}: {'FAILED' if failures else 'ok'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
