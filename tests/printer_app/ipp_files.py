"""What the printer application's tests and its benchmark share: ipptool test files and
starting qx-printer-app on a free localhost port."""
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
