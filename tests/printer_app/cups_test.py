#!/usr/bin/env python3
"""Printing to qx-printer-app as any other application does: through CUPS.

A private CUPS scheduler (cupsd -f with its own configuration folder and port) gets a
driverless queue for the printer application's virtual QB20 (lpadmin -m everywhere), and
`lp` prints to it. What reaches the tape is compared with Ghostscript's own rendering of
the same pages: a landscape label "K1-A2" must read upright on the tape picture, not
mirrored and not upside down; the queue prints on the label size by default. A grey US
Letter page, far wider than the tape, must not end the printer application.

Exits 77 (skipped) when CUPS, cups-filters or Ghostscript are missing, unless
QX_CUPS_TEST_REQUIRED=1."""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import struct
import unittest
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
from ipp_files import CUPSD, cupsd_command, free_port, start_server  # noqa: E402

PARSER = argparse.ArgumentParser()
PARSER.add_argument("--app", required=True)
PARSER.add_argument("--work", required=True)
ARGS, REST = PARSER.parse_known_args()

TOOLS = ("cupsd", "lpadmin", "lp", "lpstat", "lpoptions", "gs", "convert", "ipptool")
QUEUE = "Kelmor_QB20_virtual_0"

# Two landscape label pages of 30 x 12 mm, as a label designer prints them.
LABELS_PS = """%!PS
<< /PageSize [85.04 34.02] >> setpagedevice
/Helvetica-Bold findfont 20 scalefont setfont
4 10 moveto (K1-A2) show showpage
<< /PageSize [85.04 34.02] >> setpagedevice
/Helvetica-Bold findfont 20 scalefont setfont
4 10 moveto (F7-B) show showpage
"""
LETTER_PS = """%!PS
<< /PageSize [612 792] >> setpagedevice
/Helvetica findfont 40 scalefont setfont
72 700 moveto (Letter page) show showpage
"""


# A portrait 12 x 30 mm picture (132 x 330 pixels at 280 dpi): an "F" over an arrow.
ART = ["######..", "#.......", "#.......", "#####...", "#.......", "#.......", "#.......",
       "........", "..#.....", ".###....", "#.#.#...", "..#....."]
ART_SCALE, ART_LEFT, ART_TOP = 10, 26, 40


def art_ink(x, y):
    ax, ay = (x - ART_LEFT) // ART_SCALE, (y - ART_TOP) // ART_SCALE
    return x >= ART_LEFT and y >= ART_TOP and ay < len(ART) and ax < 8 and ART[ay][ax] == "#"


def write_art_png(path, depth):
    """The art as a grey PNG of `depth` bits (1 or 8), 132 x 330 at 280 dpi."""
    width, height = 132, 330
    rows = []
    for y in range(height):
        if depth == 1:
            bits = [0 if art_ink(x, y) else 1 for x in range(width)] + [1] * 4
            rows.append(b"\0" + bytes(int("".join(map(str, bits[i:i + 8])), 2)
                                      for i in range(0, width, 8)))
        else:
            rows.append(b"\0" + bytes(0 if art_ink(x, y) else 255 for x in range(width)))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    ppm = round(280 / 0.0254)
    Path(path).write_bytes(
        b"\x89PNG\r\n\x1a\n" +
        chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, 0, 0, 0, 0)) +
        chunk(b"pHYs", struct.pack(">IIB", ppm, ppm, 1)) +
        chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


def grey(path):
    """A picture as (width, height, bytes of one grey byte a pixel)."""
    size = subprocess.run(["convert", str(path), "-format", "%w %h", "info:"],
                          capture_output=True, text=True, check=True).stdout.split()
    data = subprocess.run(["convert", str(path), "-colorspace", "gray", "-depth", "8", "gray:-"],
                          capture_output=True, check=True).stdout
    return int(size[0]), int(size[1]), data


def red_columns(path):
    """The columns of a tape picture where the boundary between two items is drawn."""
    width, height, rgb = (*map(int, subprocess.run(
        ["convert", str(path), "-format", "%w %h", "info:"], capture_output=True, text=True,
        check=True).stdout.split()), subprocess.run(
        ["convert", str(path), "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout)
    cols = []
    for x in range(width):
        r, g, b = rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]
        if r > 200 and g < 80 and b < 80:
            cols.append(x)
    return cols


class CupsClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        missing = [t for t in TOOLS if not shutil.which(t) and not (t == "cupsd" and Path(CUPSD).exists())]
        if missing:
            raise unittest.SkipTest("missing " + ", ".join(missing))
        work = Path(ARGS.work)
        shutil.rmtree(work, ignore_errors=True)
        work.mkdir(parents=True)
        # cupsd, running as root, hands jobs to the filters as user lp: everything it reads
        # or writes under the work folder must be open to it.
        cls.tmp = Path(tempfile.mkdtemp(prefix="qx-cups-"))
        os.chmod(cls.tmp, 0o777)
        cls.work = work
        cls.app_port = free_port()
        cls.virtual_dir = work / "virtual-printers"
        env = dict(os.environ, QX_VIRTUAL_PRINTERS="qb20", QX_VIRTUAL_PRINTER_DIR=str(cls.virtual_dir))
        cls.app_log = open(work / "app.out", "w")
        cls.app = start_server(ARGS.app, cls.app_port, work / "state", env, "info", cls.app_log)
        # The queue answers once the printer application has added its printer (slower
        # under the sanitizers): CUPS is only pointed at it then.
        deadline = time.monotonic() + 60
        while subprocess.run(["ipptool", "-T", "5", f"ipp://localhost:{cls.app_port}/ipp/print/{QUEUE}",
                              "/usr/share/cups/ipptool/get-printer-attributes.test"],
                             capture_output=True).returncode:
            if time.monotonic() > deadline or cls.app.poll() is not None:
                raise RuntimeError("qx-printer-app did not offer its printer: " +
                                   (work / "app.out").read_text(errors="replace"))
            time.sleep(0.3)
        cls.cups_port = free_port()
        cls.cups = cls.start_cupsd()
        cls.server = f"127.0.0.1:{cls.cups_port}"
        deadline = time.monotonic() + 30
        while subprocess.run(["lpstat", "-h", cls.server, "-r"], capture_output=True).returncode:
            if time.monotonic() > deadline or cls.cups.poll() is not None:
                raise RuntimeError("cupsd did not start: " + (cls.tmp / "log" / "error_log").read_text(errors="replace"))
            time.sleep(0.2)
        uri = f"ipp://localhost:{cls.app_port}/ipp/print/{QUEUE}"
        deadline = time.monotonic() + 60
        while True:
            added = subprocess.run(["lpadmin", "-h", cls.server, "-p", "Q", "-E", "-v", uri, "-m",
                                    "everywhere"], capture_output=True, text=True)
            if added.returncode == 0:
                break
            if time.monotonic() > deadline:
                raise RuntimeError("lpadmin -m everywhere failed: " + added.stderr)
            time.sleep(0.5)
        subprocess.run(["gs", "-q", "-sDEVICE=pdfwrite", "-o", str(cls.tmp / "labels.pdf"), "-"],
                       input=LABELS_PS.encode(), check=True)
        subprocess.run(["gs", "-q", "-sDEVICE=pdfwrite", "-o", str(cls.tmp / "letter.pdf"), "-"],
                       input=LETTER_PS.encode(), check=True)

    @classmethod
    def start_cupsd(cls):
        return subprocess.Popen(cupsd_command(cls.tmp, cls.cups_port),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        for p in (getattr(cls, "cups", None), getattr(cls, "app", None)):
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
        if getattr(cls, "tmp", None):
            shutil.copytree(cls.tmp / "log", cls.work / "cups-log", dirs_exist_ok=True)
            shutil.rmtree(cls.tmp, ignore_errors=True)

    def trace(self):
        traces = list(self.virtual_dir.glob("run-*/qb20-0.trace"))
        return traces[0].read_text() if traces else ""

    def print_and_wait(self, pdf, *options):
        ends = self.trace().count("\njob-end ")
        done = subprocess.run(["lp", "-h", self.server, "-d", "Q", *options, str(pdf)],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        deadline = time.monotonic() + 90
        while self.trace().count("\njob-end ") == ends:
            self.assertIsNone(self.app.poll(), "qx-printer-app ended: " +
                              (self.work / "app.out").read_text(errors="replace"))
            self.assertLess(time.monotonic(), deadline, "the job never reached the printer")
            time.sleep(0.3)
        return self.trace().split("\njob-end ")[-1].split("\n")[0]

    def send_straight(self, path, filetype):
        """Sends a file straight to the printer application (ipptool, no CUPS) and waits
        for the printer's end of the job: its trace line ("JOB finished MARKERS")."""
        ends = self.trace().count("\njob-end ")
        subprocess.run(["ipptool", "-T", "30", "-f", str(path), "-d", f"filetype={filetype}",
                        f"ipp://localhost:{self.app_port}/ipp/print/{QUEUE}",
                        "/usr/share/cups/ipptool/print-job.test"], capture_output=True, check=True)
        deadline = time.monotonic() + 60
        while self.trace().count("\njob-end ") == ends:
            self.assertIsNone(self.app.poll(), "qx-printer-app ended")
            self.assertLess(time.monotonic(), deadline, "the job never reached the printer")
            time.sleep(0.3)
        return self.trace().split("\njob-end ")[-1].split("\n")[0]

    def label_size(self):
        """The queue's name of the 12 x 30 mm label size, as its print dialog lists it."""
        out = subprocess.run(["lpoptions", "-h", self.server, "-p", "Q", "-l"],
                             capture_output=True, text=True, check=True).stdout
        line = next(l for l in out.splitlines() if l.startswith("PageSize"))
        return next(v.lstrip("*") for v in line.split(":")[1].split() if v.lstrip("*").startswith("12x30mm"))

    def test_a_wide_grey_page_does_not_end_the_printer_application(self):
        # A US Letter page of 8-bit grey, far wider than the tape, as CUPS used to send when
        # nobody picked a label size; sent straight to the printer application. It prints
        # what falls on the head and the server goes on.
        page = self.tmp / "letter.pwg"
        subprocess.run(["gs", "-q", "-sDEVICE=pwgraster", "-r280", "-dcupsColorSpace=18",
                        "-dcupsBitsPerColor=8", "-o", str(page), str(self.tmp / "letter.pdf")],
                       check=True, capture_output=True)
        self.assertRegex(self.send_straight(page, "image/pwg-raster"), r"^\d+ finished 1")
        # And the next job prints as it should (a damaged heap shows here if not before).
        png = self.tmp / "after-wide.png"
        write_art_png(png, 8)
        self.assertRegex(self.print_and_wait(png), r"^\d+ finished 1$")
        self.assertIsNone(self.app.poll())

    def test_the_queue_offers_the_label_sizes_and_prints_on_them_by_default(self):
        out = subprocess.run(["lpoptions", "-h", self.server, "-p", "Q", "-l"],
                             capture_output=True, text=True, check=True).stdout
        sizes = next(l for l in out.splitlines() if l.startswith("PageSize")).split(":")[1].split()
        self.assertIn("*12x30mm", sizes)  # the default, a size the queue has
        self.assertIn("6x30mm", sizes)

    def test_portrait_pngs_of_every_depth_are_turned_onto_the_tape(self):
        # A portrait picture's top edge prints first and its right edge runs along the
        # tape's upper edge: tape column y, head dot 95 - (x - 18) for pixel (x, y).
        for depth in (1, 8):
            with self.subTest(depth=depth):
                png = self.tmp / f"art-{depth}.png"
                write_art_png(png, depth)
                end = self.print_and_wait(png, "-o", "PageSize=" + self.label_size())
                self.assertRegex(end, r"^\d+ finished 1$")
                job = int(end.split()[0])
                tape = next(self.virtual_dir.glob(f"run-*/qb20-0-job{job}.png"))
                shutil.copy(tape, self.work / f"png-{depth}-tape.png")
                width, height, tape_grey = grey(tape)
                wrong = sum((tape_grey[dot * width + y] < 64) != art_ink(18 + 95 - dot, y)
                            for dot in range(96) for y in range(min(width, 330)))
                self.assertEqual(wrong, 0)

    def assert_portrait_on_tape(self, job, ink, name):
        """The tape of `job` against a portrait 132 x 330 picture whose dark pixels `ink`
        gives: tape column y, head dot 95 - (x - 18), nothing mirrored or missing."""
        tape = next(self.virtual_dir.glob(f"run-*/qb20-0-job{job}.png"))
        shutil.copy(tape, self.work / f"{name}-tape.png")
        width, _, tape_grey = grey(tape)
        black = sum(ink(18 + 95 - dot, y) for dot in range(96) for y in range(330))
        self.assertGreater(black, 1000)
        wrong = sum((tape_grey[dot * width + y] < 64) != ink(18 + 95 - dot, y)
                    for dot in range(96) for y in range(min(width, 330)))
        mirrored = sum((tape_grey[dot * width + y] < 64) != ink(18 + dot, y)
                       for dot in range(96) for y in range(min(width, 330)))
        return wrong, black, mirrored

    def test_jpegs_grey_and_colour_are_turned_onto_the_tape(self):
        # A JPEG's soft edges are dithered: a few dots at the letter's edges may differ.
        png = self.tmp / "art-for-jpeg.png"
        write_art_png(png, 8)
        for colours in ("Gray", "sRGB"):
            with self.subTest(colours=colours):
                jpeg = self.tmp / f"art-{colours}.jpg"
                subprocess.run(["convert", str(png), "-colorspace", colours, "-type",
                                "Grayscale" if colours == "Gray" else "TrueColor",
                                "-quality", "92", str(jpeg)], check=True)
                end = self.print_and_wait(jpeg, "-o", "PageSize=" + self.label_size())
                self.assertRegex(end, r"^\d+ finished 1$")
                wrong, black, mirrored = self.assert_portrait_on_tape(
                    int(end.split()[0]), art_ink, f"jpeg-{colours}")
                self.assertLess(wrong, black * 0.03)
                self.assertGreater(mirrored, black * 0.5)

    def test_apple_raster_as_airprint_clients_send_it(self):
        # iPhones and Macs send Apple raster (image/urf), the format the queue prefers; the
        # page is Ghostscript's rendering of a portrait label, sent straight to the printer.
        cells = "".join(
            f"{(ART_LEFT + x * ART_SCALE) * 72 / 280:.3f} "
            f"{(330 - ART_TOP - (y + 1) * ART_SCALE) * 72 / 280:.3f} "
            f"{ART_SCALE * 72 / 280:.3f} {ART_SCALE * 72 / 280:.3f} rectfill\n"
            for y, row in enumerate(ART) for x, c in enumerate(row) if c == "#")
        ps = self.tmp / "portrait.ps"
        ps.write_text("%!PS\n<< /PageSize [34.02 85.04] >> setpagedevice\n" + cells + "showpage\n")
        urf, rendered = self.tmp / "portrait.urf", self.tmp / "portrait.png"
        for device, out in (("appleraster", urf), ("pnggray", rendered)):
            # Apple raster carries 8-bit grey at the least, as AirPrint clients send it.
            subprocess.run(["gs", "-q", f"-sDEVICE={device}", "-r280", "-dGraphicsAlphaBits=1",
                            "-dcupsColorSpace=18", "-dcupsBitsPerColor=8",
                            "-o", str(out), str(ps)], check=True, capture_output=True)
        pw, ph, page = grey(rendered)
        self.assertEqual((pw, ph), (132, 331))
        end = self.send_straight(urf, "image/urf")
        self.assertRegex(end, r"^\d+ finished 1$")
        # Ghostscript's two devices may round the page's edges a pixel apart: the best of
        # three neighbouring rows is compared.
        results = [self.assert_portrait_on_tape(
            int(end.split()[0]), lambda x, y, dy=dy: page[min(max(y + dy, 0), ph - 1) * pw + x] < 128,
            "urf") for dy in (-1, 0, 1)]
        wrong, black, mirrored = min(results)
        self.assertLess(wrong, black * 0.05)
        self.assertGreater(mirrored, black * 0.5)

    def test_a_landscape_pdf_reads_upright_on_the_tape(self):
        end = self.print_and_wait(self.tmp / "labels.pdf")  # the queue's default size
        self.assertRegex(end, r"^\d+ finished 2$")
        job = int(end.split()[0])
        tape = next(self.virtual_dir.glob(f"run-*/qb20-0-job{job}.png"))
        shutil.copy(tape, self.work / "landscape-tape.png")  # kept for a look
        width, height, tape_grey = grey(tape)
        self.assertEqual(height, 96)
        boundaries = red_columns(tape)
        starts = [0] + [b + 1 for b in boundaries]
        ends = boundaries + [width]
        self.assertEqual(len(starts), 2)
        # Ghostscript's rendering of each page at the printer's resolution, 331 x 132
        # pixels; the head prints its middle 96 rows.
        rendered = self.tmp / "page-%d.png"
        subprocess.run(["gs", "-q", "-sDEVICE=pnggray", "-r280", "-dTextAlphaBits=1",
                        "-dGraphicsAlphaBits=1", "-o", str(rendered), str(self.tmp / "labels.pdf")],
                       check=True)
        for page in (1, 2):
            with self.subTest(page=page):
                pw, ph, page_grey = grey(str(rendered) % page)
                top = (ph - 96) // 2
                x0, x1 = starts[page - 1], ends[page - 1]
                columns = min(x1 - x0, pw)

                def on_tape(x, y):
                    return tape_grey[y * width + x0 + x] < 64

                def on_page(x, y):
                    return page_grey[(top + y) * pw + x] < 128

                def differing(expected):
                    return sum(on_tape(x, y) != expected(x, y)
                               for y in range(96) for x in range(columns))

                black = sum(on_page(x, y) for y in range(96) for x in range(columns))
                self.assertGreater(black, 500)
                upright = differing(on_page)
                mirrored = differing(lambda x, y: on_page(columns - 1 - x, y))
                upside_down = differing(lambda x, y: on_page(x, 95 - y))
                self.assertLess(upright, black * 0.15, f"page {page} differs from its rendering")
                self.assertGreater(mirrored, black * 0.5)
                self.assertGreater(upside_down, black * 0.5)


if __name__ == "__main__":
    if os.environ.get("QX_CUPS_TEST_REQUIRED") != "1":
        missing = [t for t in TOOLS if not shutil.which(t) and not (t == "cupsd" and Path(CUPSD).exists())]
        if missing:
            print("cups_test: skipped, missing " + ", ".join(missing))
            sys.exit(77)
    unittest.main(argv=[sys.argv[0], *REST], verbosity=2)
