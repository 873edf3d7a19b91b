#!/usr/bin/env python3
"""qx-printer-app as its system service runs it, without systemd.

The unit (data/systemd/qx-printer-app.service.in) runs the server as a user of its own with
no capabilities, the groups it names, its umask and the options of its ExecStart line. Here
the same as the user nobody (setpriv), on localhost with a virtual printer, its /tmp (where
PAPPL puts its domain socket) in the test's folder as PrivateTmp gives it one: it prints,
keeps a setting across a restart, and refuses a state folder it cannot write, saying so.
Needs root to change users: skipped (77) otherwise.
"""
import argparse
import grp
import os
import pwd
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path

from ipp_files import OPERATION_HEADER, free_port, wait_for_job, write_png

ARGS = None
USER, GROUP = "nobody", "nogroup"
QUEUE, PRINTER = "Kelmor_QB20_virtual_0", "qb20-0"
TEST_FILES = {
    "print.test": "{\n  NAME \"Print\"\n  OPERATION Print-Job" + OPERATION_HEADER +
                  "  ATTR mimeMediaType document-format image/png\n"
                  "  FILE $filename\n  STATUS successful-ok\n  EXPECT job-id\n}\n" +
                  wait_for_job(">6", "0,0.1", 1200, ("job-state",)),
    "set-darkness.test": "{\n  NAME \"Set the printer's darkness\"\n"
                         "  OPERATION Set-Printer-Attributes" + OPERATION_HEADER +
                         "  GROUP printer-attributes-tag\n"
                         "  ATTR integer printer-darkness-configured $darkness\n"
                         "  STATUS successful-ok\n}\n",
    "printer.test": "{\n  NAME \"Printer attributes\"\n  OPERATION Get-Printer-Attributes" +
                    OPERATION_HEADER + "  STATUS successful-ok\n"
                    "  DISPLAY printer-darkness-configured\n}\n",
}


def unit_settings(path):
    """The unit's ExecStart options (-o NAME=VALUE), UMask and SupplementaryGroups."""
    text = Path(path).read_text()
    exec_start = shlex.split(re.search(r"^ExecStart=(.*)$", text, re.M).group(1))
    options = dict(exec_start[i + 1].split("=", 1) for i, word in enumerate(exec_start)
                   if word == "-o")
    umask = int(re.search(r"^UMask=(\d+)$", text, re.M).group(1), 8)
    groups = re.search(r"^SupplementaryGroups=(.*)$", text, re.M)
    return exec_start[1], options, umask, groups.group(1).split() if groups else []


def proc_status(pid):
    return dict(line.split(":\t", 1) for line in
                Path(f"/proc/{pid}/status").read_text().splitlines() if ":\t" in line)


class Service:
    """The server started as the unit starts it, as `USER`, on localhost:`port`."""

    def __init__(self, work, state_dir, name):
        self.work = work
        self.port = free_port()
        command, options, umask, groups = unit_settings(ARGS.unit)
        options.update({"listen-hostname": "localhost", "server-port": str(self.port),
                        "state-directory": str(state_dir), "usb": "no"})
        # The unit's groups that exist here (plugdev on Debian).
        known = [g for g in groups if g in {e.gr_name for e in grp.getgrall()}]
        setpriv = ["setpriv", f"--reuid={USER}", f"--regid={GROUP}",
                   f"--groups={','.join(known)}" if known else "--clear-groups",
                   "--inh-caps=-all", "--bounding-set=-all", "--no-new-privs"]
        # Each server its own virtual printers: their traces start again at run-001.
        self.virtual_dir = work / f"virtual-printers-{name}"
        self.virtual_dir.mkdir(mode=0o700, exist_ok=True)
        user = pwd.getpwnam(USER)
        os.chown(self.virtual_dir, user.pw_uid, user.pw_gid)
        env = dict(os.environ, QX_VIRTUAL_PRINTERS="qb20", TMPDIR=str(work / "tmp"),
                   QX_VIRTUAL_PRINTER_DIR=str(self.virtual_dir))
        self.output_path = work / f"{name}.out"
        self.output = open(self.output_path, "w")
        self.process = subprocess.Popen(
            [*setpriv, ARGS.app, command,
             *[word for name_value in options.items() for word in ("-o", "=".join(name_value))]],
            env=env, stdout=self.output, stderr=subprocess.STDOUT, umask=umask)

    def log(self):
        return self.output_path.read_text()

    def uri(self):
        return f"ipp://localhost:{self.port}/ipp/print/{QUEUE}"

    def ipptool(self, test, *options, check=True):
        result = subprocess.run([ARGS.ipptool, "-tv", "-T", "30", *options, self.uri(),
                                 str(self.work / test)],
                                capture_output=True, text=True, timeout=150)
        if check and result.returncode != 0:
            raise AssertionError(f"ipptool {test} failed:\n{result.stdout}{result.stderr}\n"
                                 f"server:\n{self.log()}")
        return result.stdout

    def wait_ready(self):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError(f"qx-printer-app ended ({self.process.returncode}):\n"
                                     + self.log())
            if "successful-ok" in self.ipptool("printer.test", check=False):
                return
            time.sleep(0.2)
        raise AssertionError("qx-printer-app did not offer its printer:\n" + self.log())

    def wait_exit(self, seconds=60):
        try:
            return self.process.wait(timeout=seconds)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()
            self.output.close()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        return self.wait_exit()


class ServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.user = pwd.getpwnam(USER)
        work = Path(ARGS.work)
        shutil.rmtree(work, ignore_errors=True)
        work.mkdir(parents=True)
        work.chmod(0o755)
        for name, text in TEST_FILES.items():
            (work / name).write_text(text)
        # Under AddressSanitizer, as ipp_test.py: what fontconfig and PAPPL keep for the life
        # of the process is no leak (a file the service's user can read).
        (work / "lsan.supp").write_text("leak:libfontconfig\nleak:libpappl\nleak:libcups\n")
        os.environ["LSAN_OPTIONS"] = ":".join(
            filter(None, ["print_suppressions=0", f"suppressions={work / 'lsan.supp'}",
                          os.environ.get("LSAN_OPTIONS")]))
        write_png(work / "bar.png", 132, 330,
                  {(x, y) for x in range(30, 100) for y in range(10, 320)})
        # The folders the service's user owns: its state (StateDirectory=) and its /tmp.
        for name in ("state", "tmp"):
            (work / name).mkdir(mode=0o700)
            os.chown(work / name, cls.user.pw_uid, cls.user.pw_gid)
        cls.work = work

    def test_prints_and_keeps_its_settings_across_a_restart_as_an_unprivileged_user(self):
        state = self.work / "state"
        first = Service(self.work, state, "first")
        try:
            first.wait_ready()
            status = proc_status(first.process.pid)
            self.assertEqual(status["Uid"].split(), [str(self.user.pw_uid)] * 4)
            for caps in ("CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"):
                self.assertEqual(int(status[caps], 16), 0, caps)
            self.assertEqual(status["NoNewPrivs"].strip(), "1")

            job = first.ipptool("print.test", "-f", str(self.work / "bar.png"))
            self.assertIn("job-state (enum) = completed", job, first.log())
            trace = (first.virtual_dir / "run-001" / f"{PRINTER}.trace").read_text()
            self.assertRegex(trace, r"(?m)^job-end \d+ finished 1$")
            first.ipptool("set-darkness.test", "-d", "darkness=25")
            self.assertIn("printer-darkness-configured (integer) = 25",
                          first.ipptool("printer.test"))
        finally:
            self.assertEqual(first.stop(), 0, first.log())
        # The unit's log goes to stderr (the journal): the job and the stop are in it.
        self.assertIn("Shutting down system.", first.log())
        self.assertIn("completed", first.log())

        # Everything it saved is its own and, under the unit's umask, nobody else's to read.
        saved = [p for p in state.rglob("*") if p.is_file()]
        self.assertIn(state / "qx-printer-app.state", saved)
        for path in saved:
            info = path.stat()
            self.assertEqual(info.st_uid, self.user.pw_uid, path)
            self.assertEqual(info.st_mode & 0o077, 0, path)

        second = Service(self.work, state, "second")
        try:
            second.wait_ready()
            self.assertIn("printer-darkness-configured (integer) = 25",
                          second.ipptool("printer.test"))
        finally:
            self.assertEqual(second.stop(), 0, second.log())

    def test_a_state_folder_it_cannot_write_is_refused_with_its_reason(self):
        # Owned by root: the folder itself, and a folder to be made inside one.
        owned = self.work / "root-owned"
        (owned / "spool").mkdir(parents=True, mode=0o755)
        cases = ((owned, f"cannot write the state to {owned}: Permission denied"),
                 (owned / "state", f"cannot make the state folder {owned}/state/spool: "
                                   "Permission denied"))
        for state, message in cases:
            with self.subTest(state=str(state)):
                service = Service(self.work, state, "refused")
                self.assertEqual(service.wait_exit(), 1, service.log())
                self.assertIn(message, service.log())
                self.assertEqual(sorted(p.name for p in owned.iterdir()), ["spool"])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--app", "--ipptool", "--unit", "--work"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    if os.geteuid() != 0:
        print("skipped: changing to the service's user needs root")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
