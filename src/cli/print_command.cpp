#include "cli/print_command.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device/print_job.h"
#include "device/printer_messages.h"
#include "device/printers.h"
#include "layout/freetype_canvas.h"

namespace qx::cli {
namespace {

// Ctrl-C asks the job to stop, as the editor's stop button does; the printer then ends
// its job and the command exits through the job's normal end.
std::atomic<bool> g_interrupted{false};
void OnInterrupt(int) { g_interrupted = true; }

// Real time for printers on USB; virtual printers run on virtual time, so that a batch
// run to them takes no longer than the work itself.
class CliClock final : public Clock {
 public:
  uint64_t NowMs() const override { return virtual_ ? now_ : real_.NowMs(); }
  void UseVirtualTime() {
    virtual_ = true;
    now_ = real_.NowMs();
  }
  bool is_virtual() const { return virtual_; }
  void Advance(uint64_t ms) { now_ += ms; }

 private:
  SteadyClock real_;
  bool virtual_ = false;
  uint64_t now_ = 0;
};

class TerminalHost final : public PrintHost {
 public:
  TerminalHost(CliClock& clock, PrintJob& job) : clock_(clock), job_(job) {}
  bool failed_message = false;

  SkipReport skipped;

  void Skipped(const SkippedItems& items) override { skipped.Add(items); }

  void Message(std::string_view text, std::string_view) override {
    EndProgressLine();
    if (text == pmsg::kPrintFinished) {
      std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
    } else {
      std::fprintf(stderr, "qxlabel: printer: %.*s\n", static_cast<int>(text.size()), text.data());
      failed_message = true;
    }
  }
  void PumpWait(uint32_t ms) override { Wait(ms); }
  void WaitTick() override { Wait(50); }
  // The job clears any stop asked for before it prints (the window's stop button only
  // shows from here on); a Ctrl-C pressed while the printer was being checked is taken
  // now, so that the job stops at its first chance.
  void EnterPrintingState() override {
    printing_ = true;
    TakeInterrupt();
  }
  void EnableStop() override {}
  void EndOfJob() override { EndProgressLine(); }
  void Progress(int done, int total) override {
    if (!tty_) return;
    std::fprintf(stderr, "\rprinting item %d of %d", done, total);
    std::fflush(stderr);
    open_line_ = true;
  }

 private:
  // Until the job prints, a Ctrl-C stays pending: a stop set now would be cleared.
  void TakeInterrupt() {
    if (!printing_ || !g_interrupted.exchange(false)) return;
    EndProgressLine();
    std::fprintf(stderr, "qxlabel: stopping the printer\n");
    job_.StopRequested = true;
  }
  void Wait(uint32_t ms) {
    TakeInterrupt();
    if (clock_.is_virtual())
      clock_.Advance(ms);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  void EndProgressLine() {
    if (open_line_) std::fputc('\n', stderr);
    open_line_ = false;
  }

  CliClock& clock_;
  PrintJob& job_;
  bool tty_ = isatty(STDERR_FILENO) != 0;
  bool open_line_ = false;
  bool printing_ = false;
};


// One line; a usage error (status 2) says where the usage is.
int Fail(const std::string& problem, int status = 2) {
  std::fprintf(stderr, "qxlabel: %s%s\n", problem.c_str(),
               status == 2 ? " (see qxlabel --help)" : "");
  return status;
}

}  // namespace

std::string NotPrintedReason(ItemResult result, LayoutRefusal refusal, int columns,
                             int most_columns) {
  if (result == ItemResult::kTooLong && most_columns <= 0 && columns <= 0) {
    // Nothing was built: the marker is longer than the header's 16-bit dot counts hold.
    return "too long for the printer: longer than 65535 dots (about 5.9 m), the most one "
           "marker can be";
  }
  if (result == ItemResult::kTooLong) {
    std::string size = std::to_string(columns);
    if (most_columns > columns) size += " to " + std::to_string(most_columns);
    return "too long for the printer: its image is " + size +
           " columns, the printer's image store holds " + std::to_string(kImageStoreColumns);
  }
  switch (refusal) {
    case LayoutRefusal::kEmptyFirstLine:
      return "the upper line is empty";
    case LayoutRefusal::kAutomaticLengthAndSize:
      return "the length and the size are both automatic";
    case LayoutRefusal::kNoTwoLineSize:
      return "this material takes no automatic size for two lines";
    case LayoutRefusal::kNoSizeFits:
      break;
  }
  return "the text fits no size at this length";
}

namespace {

// Serial texts by value: shorter numbers first, then as text (letters, padded numbers).
bool SerialBefore(const std::string& a, const std::string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

void SkipReport::Add(const SkippedItems& items) {
  auto it = std::find_if(skips_.begin(), skips_.end(), [&](const Skips& s) {
    return s.row == items.row && s.result == items.result && s.refusal == items.refusal;
  });
  if (it == skips_.end())
    it = skips_.insert(skips_.end(), {items.row, items.result, items.refusal, 0, items.columns,
                                      items.columns, items.serial_text, items.serial_text});
  it->count += items.count;
  it->fewest_columns = std::min(it->fewest_columns, items.columns);
  it->most_columns = std::max(it->most_columns, items.columns);
  if (!items.serial_text.empty()) {
    if (SerialBefore(items.serial_text, it->first_serial)) it->first_serial = items.serial_text;
    if (SerialBefore(it->last_serial, items.serial_text)) it->last_serial = items.serial_text;
  }
}

void SkipReport::Print() const {
  for (const Skips& s : skips_) {
    std::string which = "Segment " + std::to_string(s.row);
    if (!s.first_serial.empty()) {
      which += " (serial " + s.first_serial;
      if (s.last_serial != s.first_serial) which += " to " + s.last_serial;
      which += ")";
    }
    std::fprintf(stderr, "qxlabel: %s: %d item(s) skipped: %s\n", which.c_str(), s.count,
                 NotPrintedReason(s.result, s.refusal, s.fewest_columns, s.most_columns).c_str());
  }
}

bool ParseInt(const char* s, int lo, int hi, int& out) {
  const char* end = s + std::strlen(s);
  int v = 0;
  const auto [p, ec] = std::from_chars(s, end, v);
  if (ec != std::errc() || p != end || v < lo || v > hi) return false;
  out = v;
  return true;
}

int Devices(int argc, char**) {
  if (argc != 0) return Fail("devices takes no arguments");
  CliClock clock;
  auto printers = MakePrinterTransports(clock);
  if (!printers->error().empty()) return Fail(printers->error());
  DeviceTable d;
  const std::vector<DeviceEntry> entries = EnumerateDevices(printers->transport(), d);
  if (entries.empty()) {
    std::printf("没有发现可用设备\n");
    return 0;
  }
  int n = 0;
  for (const DeviceEntry& e : entries) {
    std::printf("%d\t%s\t%s\t%s\n", ++n, e.label.c_str(), std::string(d.Name(e.slot)).c_str(),
                std::string(d.Path(e.slot)).c_str());
  }
  return 0;
}

bool TakeJobOption(int argc, char** argv, int& i, JobChoice& c, std::string& error) {
  const std::string a = argv[i];
  const bool has_value = i + 1 < argc;
  if (a == "--copies" && has_value) {
    if (!ParseInt(argv[++i], 1, 999, c.copies)) error = "--copies takes 1 to 999";
  } else if (a == "--range" && has_value) {
    const std::string r = argv[++i];
    const auto dash = r.find('-');
    if (dash == std::string::npos || !ParseInt(r.substr(0, dash).c_str(), 1, 1 << 30, c.first) ||
        !ParseInt(r.substr(dash + 1).c_str(), 1, 1 << 30, c.last))
      error = "--range takes FIRST-LAST, Segment numbers from 1";
  } else if (a == "--repeat-first") {
    c.repeat_first = true;
  } else if (a == "--serial-first") {
    c.repeat_first = false;
  } else {
    return false;
  }
  return true;
}

int Print(DocumentState& doc, const char* file, int argc, char** argv) {
  int printer = 1, density = 4, from_item = 1;
  JobChoice choice;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    std::string error;
    if (TakeJobOption(argc, argv, i, choice, error)) {
      if (!error.empty()) return Fail(error);
    } else if (a == "--printer" && has_value) {
      if (!ParseInt(argv[++i], 1, kMaxDevices, printer)) return Fail("--printer takes 1 to 4");
    } else if (a == "--density" && has_value) {
      if (!ParseInt(argv[++i], 1, 7, density)) return Fail("--density takes 1 to 7");
    } else if (a == "--from-item" && has_value) {
      if (!ParseInt(argv[++i], 1, 1 << 30, from_item))
        return Fail("--from-item takes a marker number from 1");
    } else {
      return Fail("unknown or incomplete print option " + a);
    }
  }

  // The Document is tidied as the editor does before it prints; the file is not changed.
  if (!TidyForPrint(doc.table)) {
    std::fprintf(stderr, "qxlabel: %s: nothing to print (无内容可打印!)\n", file);
    return 1;
  }
  PrintJob job = JobOf(choice, doc.table);
  job.FromItem = from_item;

  CliClock clock;
  auto printers = MakePrinterTransports(clock);
  if (!printers->error().empty()) return Fail(printers->error());
  Transport& t = printers->transport();
  DeviceTable d;
  const std::vector<DeviceEntry> entries = EnumerateDevices(t, d);
  if (entries.empty()) return Fail("no printer found (没有发现可用设备)", 1);
  if (printer > static_cast<int>(entries.size()))
    return Fail("there is no printer " + std::to_string(printer) + "; qxlabel devices lists them", 1);
  d.selected = static_cast<uint8_t>(entries[static_cast<std::size_t>(printer - 1)].slot);
  const std::string path(d.Path(d.selected));
  if (path.rfind("virtual:", 0) == 0) clock.UseVirtualTime();
  d.handle = t.OpenByPath(path.c_str());
  d.open = d.handle != -1;

  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(doc.settings.font_face);
  ImageBuilder builder(glyph_canvas, measurer);
  builder.SelectPrintFont(PrintFontOf(doc.settings));  // as the editor prints it
  const JobDocument jd{doc.table, doc.file_state, measurer, builder, static_cast<uint8_t>(density)};

  TerminalHost host(clock, job);
  g_interrupted = false;
  auto previous = std::signal(SIGINT, OnInterrupt);
  WalkCounts counts;
  const bool ok = RunDeviceJob(t, d, job, jd, host, &counts);
  std::signal(SIGINT, previous);
  std::printf("%d item(s) sent to %s (%s)", counts.sent, std::string(d.Name(d.selected)).c_str(),
              path.c_str());
  if (counts.skipped) std::printf(", %d skipped", counts.skipped);
  std::printf("\n");
  std::fflush(stdout);
  host.skipped.Print();
  // A job with nothing left to print once its items were skipped fails: nothing came out.
  if (ok && !host.failed_message && counts.sent == 0 && counts.skipped > 0) {
    std::fprintf(stderr, "qxlabel: %s: nothing was printed, every item was skipped (无内容可打印!)\n",
                 file);
    return 1;
  }
  // A printer fault ends the job even where the protocol counts the end as orderly.
  const bool printed_all = ok && !host.failed_message;
  // How far it got is what the printer reported printed: a marker sent and not reported
  // is printed again by the job that goes on.
  const ResumePoint at = ResumeAfter(job, counts);
  if (!printed_all && counts.sent > 0) {
    std::fprintf(stderr,
                 "qxlabel: the printer reported %d marker(s) of the job printed; --from-item %d "
                 "prints the rest\n",
                 at.printed, at.next());
    if (at.next_may_be_partial)
      std::fprintf(stderr, "qxlabel: marker %d may be partly printed already (第%d个标记可能已部分打印)\n",
                   at.next(), at.next());
  }
  return printed_all ? 0 : 1;
}

}  // namespace qx::cli
