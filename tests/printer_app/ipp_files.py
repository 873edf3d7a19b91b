"""What the printer application's tests and its benchmark share: ipptool test files and
starting qx-printer-app on a free localhost port."""
import os
import shutil
import socket
import struct
import subprocess
import zlib
from pathlib import Path

# The operation attributes every request of ours starts with.
OPERATION_HEADER = """
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name $user
"""


def wait_for_job(expect, delay, limit, display=()):
    """A Get-Job-Attributes test repeated until job-state matches `expect` ("9", ">6")."""
    shown = "".join(f"  DISPLAY {name}\n" for name in display)
    return ("{\n  NAME \"Wait for the job\"\n  OPERATION Get-Job-Attributes\n"
            "  GROUP operation-attributes-tag\n"
            "  ATTR charset attributes-charset utf-8\n"
            "  ATTR naturalLanguage attributes-natural-language en\n"
            "  ATTR uri printer-uri $uri\n"
            "  ATTR integer job-id $job-id\n"
            f"  DELAY \"{delay}\"\n  STATUS successful-ok\n"
            f"  EXPECT job-state WITH-VALUE {expect} REPEAT-NO-MATCH REPEAT-LIMIT {limit}\n"
            + shown + "}\n")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_server(app, port, state_dir, env, log_level, output):
    """qx-printer-app on localhost:`port`, virtual printers only (as `env` names them)."""
    return subprocess.Popen(
        [str(app), "server", "-o", f"server-port={port}", "-o", "listen-hostname=localhost",
         "-o", f"state-directory={state_dir}", "-o", "usb=no", "-o", f"log-level={log_level}"],
        env=env, stdout=output, stderr=subprocess.STDOUT)


CUPSD = shutil.which("cupsd") or "/usr/sbin/cupsd"


def cupsd_command(root, port):
    """The command that runs a private CUPS scheduler on 127.0.0.1:`port`, everything it
    keeps under `root` (which must be open to user lp when running as root)."""
    for d in ("spool", "cache", "state", "log", "tmp", "ppd"):
        (root / d).mkdir()
        os.chmod(root / d, 0o777)
    user = "User lp\nGroup lp\n" if os.geteuid() == 0 else ""
    (root / "cups-files.conf").write_text(
        f"ServerRoot {root}\nRequestRoot {root}/spool\nCacheDir {root}/cache\n"
        f"StateDir {root}/state\nTempDir {root}/tmp\nAccessLog {root}/log/access_log\n"
        f"ErrorLog {root}/log/error_log\nPageLog {root}/log/page_log\n"
        "DataDir /usr/share/cups\nServerBin /usr/lib/cups\n"
        "DocumentRoot /usr/share/cups/doc-root\nSystemGroup root\n" + user)
    (root / "cupsd.conf").write_text(
        f"Listen 127.0.0.1:{port}\nLogLevel info\nBrowsing Off\n"
        "DefaultAuthType None\n<Location />\nOrder Allow,Deny\nAllow from all\n</Location>\n"
        "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
    return [CUPSD, "-f", "-c", str(root / "cupsd.conf"), "-s", str(root / "cups-files.conf")]


def write_png(path, width, height, dots, dpi=280):
    """An 8-bit grey PNG, white, with the pixels (x, y) in `dots` black."""
    rows = []
    for y in range(height):
        rows.append(b"\0" + bytes(0 if (x, y) in dots else 255 for x in range(width)))
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    ppm = round(dpi / 0.0254)
    Path(path).write_bytes(
        b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
        chunk(b"pHYs", struct.pack(">IIB", ppm, ppm, 1)) +
        chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))
