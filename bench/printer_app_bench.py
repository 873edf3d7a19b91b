#!/usr/bin/env python3
"""A 200-marker job over IPP on localhost against the same job printed by qxlabel.

Both print to a virtual printer (virtual time: no printer speed, only the host's work):
qxlabel print of a 200-Segment Document, and the same Document submitted to
qx-printer-app with ipptool (submit to completed job), plus 200 PWG raster pages. Reports
the host time per marker of each and their ratio; the goal is IPP within 2x of qxlabel.

    bench/printer_app_bench.py [--build build] [--runs 5]
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests/printer_app"))
from ipp_files import OPERATION_HEADER, free_port, start_server, wait_for_job  # noqa: E402

ITEMS = 200

PRINT_TEST = ("{\n  NAME \"Print\"\n  OPERATION Print-Job" + OPERATION_HEADER +
              "  ATTR mimeMediaType document-format $filetype\n"
              "  FILE $filename\n  STATUS successful-ok\n  EXPECT job-id\n}\n" +
              wait_for_job("9", "0,0.002", 100000))


def timed(command, env=None):
    start = time.perf_counter()
    subprocess.run(command, check=True, capture_output=True, env=env)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(Path(__file__).resolve().parent.parent / "build"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    build = Path(args.build)
    qxlabel = build / "src/cli/qxlabel"
    app = build / "src/printer_app/qx-printer-app"
    make_pwg = build / "tests/printer_app/make_pwg"
    work = Path(tempfile.mkdtemp(prefix="qx-papp-bench."))
    try:
        rows = [f"{n}\tW{n}\t\\N\t0\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N"
                for n in range(1, ITEMS + 1)]
        rows.append("0\t套管 1.0平方\t黑体\t\\N\t\\N\t居中\t半切\t\\N\t\\N\t4\t\\N\t\\N\t\\N")
        (work / "rows.tsv").write_text("\n".join(rows) + "\n")
        document = work / "job.kel"
        subprocess.run([str(qxlabel), "build", str(work / "rows.tsv"), str(document)], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([str(make_pwg), str(work / "pages.pwg"), str(ITEMS), "12", "30"], check=True)
        (work / "print.test").write_text(PRINT_TEST)

        env = dict(os.environ, QX_VIRTUAL_PRINTERS="qb20", QX_VIRTUAL_PRINTER_DIR=str(work / "cli"))
        cli = [timed([str(qxlabel), "print", str(document)], env) for _ in range(args.runs)]

        port = free_port()
        server = start_server(app, port, work / "state",
                              dict(os.environ, QX_VIRTUAL_PRINTERS="qb20",
                                   QX_VIRTUAL_PRINTER_DIR=str(work / "app")),
                              "error", subprocess.DEVNULL)
        try:
            uri = f"ipp://localhost:{port}/ipp/print/Kelmor_QB20_virtual_0"
            for _ in range(100):
                if subprocess.run(["ipptool", "-q", "-f", str(document), "-d",
                                   "filetype=application/x-qx-document", uri,
                                   str(work / "print.test")],
                                  stderr=subprocess.DEVNULL).returncode == 0:
                    break
                time.sleep(0.1)
            ipp = [timed(["ipptool", "-q", "-f", str(document), "-d",
                          "filetype=application/x-qx-document", uri, str(work / "print.test")])
                   for _ in range(args.runs)]
            raster = [timed(["ipptool", "-q", "-f", str(work / "pages.pwg"), "-d",
                             "filetype=image/pwg-raster", uri, str(work / "print.test")])
                      for _ in range(args.runs)]
        finally:
            server.send_signal(signal.SIGTERM)
            server.wait(timeout=20)

        ends = [line for line in (work / "app/run-001/qb20-0.trace").read_text().splitlines()
                if line.startswith("job-end")]
        assert all(line.endswith(f" finished {ITEMS}") for line in ends), ends

        def per_item(times):
            return statistics.median(times) / ITEMS * 1000

        c, i, r = per_item(cli), per_item(ipp), per_item(raster)
        print(f"{ITEMS} markers, median of {args.runs} runs, host time per marker:")
        print(f"  qxlabel print (document)            {c:7.3f} ms")
        print(f"  IPP, our document type              {i:7.3f} ms   {i / c:4.2f}x qxlabel")
        print(f"  IPP, {ITEMS} PWG raster pages           {r:7.3f} ms   {r / c:4.2f}x qxlabel")
        print("goal: IPP within 2x of qxlabel:", "met" if i <= 2 * c else "NOT met")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
