#!/usr/bin/env python3
"""The printer application seen from another machine: printing is open, administration
needs a login.

A network namespace made for the test is the other machine (10.213.N.2, a veth pair to
this one's 10.213.N.1); qx-printer-app listens on every address and runs as an
unprivileged user, as its system service does. Logins go through a PAM service the test
brings (QX_PAM_CONFDIR): pam_exec accepts "daemon" / "right-pass" (a member of the
administrators' group, here "daemon") and "bin" / "bin-pass" (no member).

Needs root (network namespaces, the server's user); exits 77 (skipped) without, unless
QX_NETWORK_TEST_REQUIRED=1."""
import argparse
import base64
import os
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
from ipp_files import CUPSD, OPERATION_HEADER, cupsd_command, free_port, write_png  # noqa: E402

PARSER = argparse.ArgumentParser()
PARSER.add_argument("--app", required=True)
PARSER.add_argument("--shared-print", required=True, help="the editor's way of printing")
PARSER.add_argument("--document", required=True, help="a document file that prints")
PARSER.add_argument("--work", required=True)
ARGS, REST = PARSER.parse_known_args()

QUEUE = "Kelmor_QB20_virtual_0"
NET = 10 + os.getpid() % 240
HERE, THERE = f"10.213.{NET}.1", f"10.213.{NET}.2"
NETNS = f"qx-test-{os.getpid()}"
VETH = f"qxt{os.getpid() % 100000}"
SERVER_USER = "nobody"


def operation(name, op, extra=""):
    return (f"{{\n  NAME \"{name}\"\n  OPERATION {op}" + OPERATION_HEADER + extra +
            "  STATUS successful-ok\n}\n")


TEST_FILES = {
    # As CUPS does: Validate-Job first (PAPPL asks a plain connection from elsewhere to
    # switch to TLS before a document is under way), then Print-Job on the same connection.
    "print.test": operation("Validate", "Validate-Job",
                            "  ATTR mimeMediaType document-format image/png\n") +
                  operation("Print", "Print-Job",
                            "  ATTR mimeMediaType document-format image/png\n"
                            "  FILE $filename\n  EXPECT job-id\n"),
    "printer.test": operation("Printer", "Get-Printer-Attributes",
                              "  DISPLAY printer-state\n  DISPLAY printer-is-accepting-jobs\n"),
    "cancel.test": "{\n  NAME \"Cancel\"\n  OPERATION Cancel-Job\n"
                   "  GROUP operation-attributes-tag\n"
                   "  ATTR charset attributes-charset utf-8\n"
                   "  ATTR naturalLanguage attributes-natural-language en\n"
                   "  ATTR uri printer-uri $uri\n  ATTR integer job-id $job\n"
                   "  ATTR name requesting-user-name $owner\n  STATUS successful-ok\n}\n",
    "pause.test": operation("Pause", "Pause-Printer"),
    "resume.test": operation("Resume", "Resume-Printer"),
    "disable.test": operation("Disable", "Disable-Printer"),
    "enable.test": operation("Enable", "Enable-Printer"),
    "cancel-current.test": operation("Cancel the current job", "Cancel-Current-Job"),
    "hold-new.test": operation("Hold new jobs", "Hold-New-Jobs"),
    "set-darkness.test": operation("Set darkness", "Set-Printer-Attributes",
                                   "  GROUP printer-attributes-tag\n"
                                   "  ATTR integer printer-darkness-configured 60\n"),
    "delete.test": "{\n  NAME \"Delete\"\n  OPERATION Delete-Printer\n"
                   "  GROUP operation-attributes-tag\n"
                   "  ATTR charset attributes-charset utf-8\n"
                   "  ATTR naturalLanguage attributes-natural-language en\n"
                   "  ATTR uri system-uri $uri\n  ATTR name requesting-user-name $user\n"
                   "  ATTR integer printer-id 1\n  STATUS successful-ok\n}\n",
}
# (Cancel-Current-Job, also closed, answers "not found" to anyone while nothing prints.)
ADMIN_OPERATIONS = ("pause", "disable", "hold-new", "set-darkness")


def run(*command, check=True, **kw):
    return subprocess.run(command, capture_output=True, text=True, check=check, timeout=120, **kw)


def status_of(ipptool_output):
    found = re.findall(r"status-code = ([a-z-]+)", ipptool_output)
    return found[-1] if found else ipptool_output


class NetworkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0 or not shutil.which("ip"):
            raise unittest.SkipTest("needs root and ip (iproute2)")
        logs = Path(ARGS.work)
        shutil.rmtree(logs, ignore_errors=True)
        logs.mkdir(parents=True)
        cls.logs = logs
        # What the server reads and writes lies where its user can reach it.
        work = Path(tempfile.mkdtemp(prefix="qx-network-"))
        os.chmod(work, 0o755)
        cls.work = work
        cls.servers = []
        cls.addClassCleanup(cls.clean_up)  # also when the set-up fails half-way
        for name, text in TEST_FILES.items():
            (work / name).write_text(text)
        # A 12 x 30 mm label with an arrow pointing right.
        write_png(work / "picture.png", 132, 330,
                  {(x, y) for y in range(60, 270) for x in range(40, 92)
                   if (y < 200 and 58 <= x < 74) or (y >= 200 and abs(x - 66) <= (269 - y) * 26 // 69)})
        # The test's PAM service.
        (work / "pam").mkdir()
        check = work / "check-login"
        check.write_text("#!/bin/sh\nIFS= read -r password || true\n"
                         "password=$(printf '%s' \"$password\" | tr -d '\\000')\n"
                         "case \"$PAM_USER:$password\" in\n"
                         "  daemon:right-pass|bin:bin-pass) exit 0 ;;\nesac\nexit 1\n")
        check.chmod(0o755)
        (work / "pam" / "qx-printer-app").write_text(
            f"auth required pam_exec.so expose_authtok quiet {check}\n"
            "account required pam_permit.so\n")
        for d in (work / "home", work / "virtual-printers"):
            d.mkdir()
        cls.make_network()
        cls.port = cls.start_server("main")
        # A second server that lets only 192.0.2.0/24 (not the other machine) print.
        cls.allow_port = cls.start_server("allow", "-o", "allow=192.0.2.0/24,fd00::/8")

    @classmethod
    def make_network(cls):
        run("ip", "netns", "add", NETNS)
        cls.network_made = True
        run("ip", "link", "add", VETH + "a", "type", "veth", "peer", "name", VETH + "b",
            "netns", NETNS)
        run("ip", "addr", "add", HERE + "/24", "dev", VETH + "a")
        run("ip", "link", "set", VETH + "a", "up")
        for command in (("ip", "addr", "add", THERE + "/24", "dev", VETH + "b"),
                        ("ip", "link", "set", VETH + "b", "up"), ("ip", "link", "set", "lo", "up")):
            run("ip", "netns", "exec", NETNS, *command)

    @classmethod
    def start_server(cls, name, *options):
        state = cls.work / f"state-{name}"
        state.mkdir()
        shutil.chown(state, SERVER_USER)
        for d in (cls.work / "home", cls.work / "virtual-printers"):
            shutil.chown(d, SERVER_USER)
        port = free_port()
        # Under AddressSanitizer: what fontconfig, PAPPL and libcups keep for the life of
        # the process is no leak.
        supp = cls.work / "lsan.supp"
        supp.write_text("leak:libfontconfig\nleak:libpappl\nleak:libcups\n")
        env = dict(os.environ, HOME=str(cls.work / "home"),
                   LSAN_OPTIONS=":".join(filter(None, [f"suppressions={supp}",
                                                       os.environ.get("LSAN_OPTIONS")])), QX_PAM_CONFDIR=str(cls.work / "pam"),
                   QX_VIRTUAL_PRINTERS="qb20",
                   QX_VIRTUAL_PRINTER_DIR=str(cls.work / "virtual-printers" / name))
        with open(cls.work / f"server-{name}.out", "w") as log:
            process = subprocess.Popen(
                ["setpriv", f"--reuid={SERVER_USER}", "--regid=nogroup", "--clear-groups",
                 ARGS.app, "server", "-o", f"server-port={port}", "-o", f"state-directory={state}",
                 "-o", "usb=no", "-o", "log-level=debug", "-o", "admin-group=daemon", *options],
                env=env, stdout=log, stderr=subprocess.STDOUT)
        cls.servers.append(process)
        deadline = time.monotonic() + 60
        while run("ipptool", "-T", "5", f"ipp://localhost:{port}/ipp/print/{QUEUE}",
                  str(cls.work / "printer.test"), check=False).returncode:
            if time.monotonic() > deadline or process.poll() is not None:
                raise RuntimeError(f"qx-printer-app did not start: "
                                   + (cls.work / f"server-{name}.out").read_text(errors="replace"))
            time.sleep(0.3)
        return port

    @classmethod
    def clean_up(cls):
        for p in cls.servers:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    p.kill()
        if getattr(cls, "network_made", False):
            run("ip", "netns", "del", NETNS, check=False)
            run("ip", "link", "del", VETH + "a", check=False)
        if getattr(cls, "work", None):
            for log in cls.work.glob("state-*/qx-printer-app.log"):
                shutil.copy(log, cls.logs / f"{log.parent.name}.log")
            for out in cls.work.glob("server-*.out"):
                shutil.copy(out, cls.logs / out.name)
            shutil.rmtree(cls.work, ignore_errors=True)

    # --- clients --------------------------------------------------------------------------

    def ipp(self, test, where="there", login=None, port=None, path=f"/ipp/print/{QUEUE}",
            **variables):
        """ipptool from the other machine (plain ipp://, as clients start) or from here."""
        port = port or self.port
        host = HERE if where == "there" else "localhost"
        userinfo = f"{login}@" if login else ""
        command = ["ipptool", "-tv", "-T", "20"]
        for key, value in variables.items():
            command += ["-d", f"{key}={value}"]
        if test == "print.test":
            command += ["-f", str(self.work / "picture.png")]
        command += [f"ipp://{userinfo}{host}:{port}{path}", str(self.work / test)]
        if where == "there":
            command = ["ip", "netns", "exec", NETNS, *command]
        return run(*command, check=False).stdout

    def web(self, path, login=None, form=None, scheme="https", where="there"):
        """(status, body) of a web page from the other machine; `form` makes it a POST."""
        host = HERE if where == "there" else "localhost"
        script = (
            "import base64, ssl, sys, urllib.error, urllib.request\n"
            "ctx = ssl.create_default_context(); ctx.check_hostname = False\n"
            "ctx.verify_mode = ssl.CERT_NONE\n"
            "class Stay(urllib.request.HTTPRedirectHandler):\n"
            "    def redirect_request(self, *a, **k): return None\n"
            "opener = urllib.request.build_opener(Stay, urllib.request.HTTPSHandler(context=ctx))\n"
            "url, login, form = sys.argv[1], sys.argv[2], sys.argv[3]\n"
            "req = urllib.request.Request(url, data=form.encode() if form else None)\n"
            "if login: req.add_header('Authorization', 'Basic ' + base64.b64encode(login.encode()).decode())\n"
            "try:\n    r = opener.open(req, timeout=20); code, body = r.status, r.read()\n"
            "except urllib.error.HTTPError as e: code, body = e.code, e.read()\n"
            "print(code); sys.stdout.write(body.decode(errors='replace'))\n")
        command = [sys.executable, "-c", script, f"{scheme}://{host}:{self.port}{path}",
                   login or "", urllib.parse.urlencode(form) if form is not None else ""]
        if where == "there":
            command = ["ip", "netns", "exec", NETNS, *command]
        out = run(*command).stdout
        code, _, body = out.partition("\n")
        return int(code), body

    def printer_state(self):
        out = self.ipp("printer.test", where="here")
        return (re.search(r"printer-state \(enum\) = (\w+)", out).group(1),
                re.search(r"printer-is-accepting-jobs \(boolean\) = (\w+)", out).group(1))

    def assert_printer_untouched(self):
        self.assertEqual(self.printer_state(), ("idle", "true"))

    def restore_printer(self):
        for test in ("resume.test", "enable.test"):
            self.ipp(test, where="here")

    # --- the tests ------------------------------------------------------------------------

    def test_another_machine_prints_without_a_login(self):
        # Its plain request is answered "426 Upgrade Required" and it goes on over TLS.
        before = self.job_ends()
        out = self.ipp("print.test")
        self.assertEqual(status_of(out), "successful-ok", out)
        job = re.search(r"job-id \(integer\) = (\d+)", out).group(1)
        self.assertRegex(self.wait_for_job_end(before), r"^\d+ finished 1$")
        log = (self.work / "state-main" / "qx-printer-app.log").read_text(errors="replace")
        self.assertIn("Connection now encrypted", log)
        # Its own job is its own to cancel (done already, so not possible, yet allowed);
        # somebody else's is not.
        self.assertEqual(status_of(self.ipp("cancel.test", job=job, owner="root")),
                         "client-error-not-possible")
        self.assertIn(status_of(self.ipp("cancel.test", job=job, owner="somebody-else")),
                      ("client-error-not-authenticated", "client-error-forbidden"))

    def wait_for_job_end(self, count_before):
        trace = self.work / "virtual-printers" / "main" / "run-001" / "qb20-0.trace"
        deadline = time.monotonic() + 90
        while (trace.read_text() if trace.exists() else "").count("job-end ") == count_before:
            self.assertLess(time.monotonic(), deadline, "the job never reached the printer")
            time.sleep(0.2)
        return trace.read_text().split("job-end ")[-1].split("\n")[0]

    def job_ends(self):
        trace = self.work / "virtual-printers" / "main" / "run-001" / "qb20-0.trace"
        return (trace.read_text() if trace.exists() else "").count("job-end ")

    def test_cups_on_another_machine_prints_through_a_driverless_queue(self):
        if not (shutil.which("lpadmin") and Path(CUPSD).exists()):
            self.skipTest("CUPS is not installed")
        root = self.work / "cups"
        root.mkdir()
        os.chmod(root, 0o777)
        port = free_port()
        server = f"127.0.0.1:{port}"
        there = ["ip", "netns", "exec", NETNS]
        cups = subprocess.Popen(there + cupsd_command(root, port), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 30
            while run(*there, "lpstat", "-h", server, "-r", check=False).returncode:
                self.assertLess(time.monotonic(), deadline, "cupsd did not start")
                time.sleep(0.2)
            uri = f"ipp://{HERE}:{self.port}/ipp/print/{QUEUE}"
            run(*there, "lpadmin", "-h", server, "-p", "Q", "-E", "-v", uri, "-m", "everywhere")
            before = self.job_ends()
            run(*there, "lp", "-h", server, "-d", "Q", str(self.work / "picture.png"))
            self.assertRegex(self.wait_for_job_end(before), r"^\d+ finished 1$")
        finally:
            cups.send_signal(signal.SIGTERM)
            cups.wait(timeout=20)

    def test_the_editor_on_another_machine_prints_a_document(self):
        # Its print dialog's way: the printers found at the address, Validate-Job then
        # Print-Job with the document, the job followed to its end; all over TLS.
        shutil.copy(ARGS.document, self.work / "document.kel")
        before = self.job_ends()
        done = run("ip", "netns", "exec", NETNS, ARGS.shared_print, f"{HERE}:{self.port}",
                   str(self.work / "document.kel"), check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.split()[0], "completed")
        self.assertRegex(self.wait_for_job_end(before), r"^\d+ finished 78$")

    def test_administration_from_another_machine_needs_an_administrators_login(self):
        cases = (
            (None, "client-error-not-authenticated"),
            ("daemon:wrong-pass", "client-error-not-authenticated"),
            ("bin:bin-pass", "client-error-forbidden"),  # a right login, not an administrator
        )
        for test in (*ADMIN_OPERATIONS, "delete"):
            path = "/ipp/system" if test == "delete" else f"/ipp/print/{QUEUE}"
            for login, refused in cases:
                with self.subTest(operation=test, login=login):
                    self.assertEqual(status_of(self.ipp(test + ".test", login=login, path=path)),
                                     refused)
                    self.assert_printer_untouched()
        try:
            for test in ("pause", "disable"):
                with self.subTest(operation=test, login="daemon"):
                    self.assertEqual(status_of(self.ipp(test + ".test", login="daemon:right-pass")),
                                     "successful-ok")
            self.assertEqual(self.printer_state(), ("stopped", "false"))
        finally:
            self.restore_printer()

    def test_administration_from_this_machine_needs_no_login(self):
        try:
            for test in ("pause", "disable"):
                self.assertEqual(status_of(self.ipp(test + ".test", where="here")), "successful-ok")
            self.assertEqual(self.printer_state(), ("stopped", "false"))
        finally:
            self.restore_printer()
        self.assert_printer_untouched()
        code, body = self.web("/logs", scheme="http", where="here")
        self.assertEqual(code, 200)

    def test_web_pages_show_status_to_all_and_administration_to_administrators(self):
        for path in ("/", f"/{QUEUE}"):
            with self.subTest(page=path):
                self.assertEqual(self.web(path)[0], 200)
        admin_pages = ("/addprinter", "/logs", "/tls-new-crt", f"/{QUEUE}/config",
                       f"/{QUEUE}/media", f"/{QUEUE}/delete", f"/{QUEUE}/printing")
        for path in admin_pages:
            with self.subTest(page=path):
                # Plain HTTP is sent to HTTPS; there a login is asked for.
                self.assertEqual(self.web(path, scheme="http")[0], 301)
                self.assertEqual(self.web(path)[0], 401)
                self.assertEqual(self.web(path, login="daemon:wrong-pass")[0], 401)
                self.assertEqual(self.web(path, login="bin:bin-pass")[0], 403)
                self.assertEqual(self.web(path, login="daemon:right-pass")[0], 200)
        # PAPPL's own web password is not offered.
        self.assertEqual(self.web("/security", login="daemon:right-pass")[0], 404)

    def test_forms_from_another_machine_change_nothing_without_a_login(self):
        # The forms carry the session value of a page anyone may load.
        _, page = self.web(f"/{QUEUE}")
        session = re.search(r'name="session" value="([^"]+)"', page).group(1)
        for action in ("pause-printer", "hold-new-jobs"):
            with self.subTest(action=action):
                code, _ = self.web(f"/{QUEUE}/", form={"session": session, "action": action})
                self.assertEqual(code, 401)
                self.assert_printer_untouched()
        _, page = self.web(f"/{QUEUE}/delete", login="daemon:right-pass")
        session = re.search(r'name="session" value="([^"]+)"', page).group(1)
        code, _ = self.web(f"/{QUEUE}/delete", form={"session": session})
        self.assertEqual(code, 401)
        code, _ = self.web(f"/{QUEUE}/delete", form={"session": session}, login="bin:bin-pass")
        self.assertEqual(code, 403)
        self.assert_printer_untouched()
        try:
            code, _ = self.web(f"/{QUEUE}/", form={"session": session, "action": "pause-printer"},
                               login="daemon:right-pass")
            self.assertEqual(code, 200)
            self.assertEqual(self.printer_state()[0], "stopped")
        finally:
            self.restore_printer()

    def test_the_allow_list_closes_printing_to_other_networks(self):
        out = self.ipp("print.test", port=self.allow_port)
        self.assertEqual(status_of(out), "client-error-forbidden", out)
        out = self.ipp("print.test", where="here", port=self.allow_port)
        self.assertEqual(status_of(out), "successful-ok", out)


if __name__ == "__main__":
    if os.environ.get("QX_NETWORK_TEST_REQUIRED") != "1" and (os.geteuid() != 0 or not shutil.which("ip")):
        print("network_test: skipped, needs root and ip (iproute2)")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0], *REST], verbosity=2)
