// qx-printer-app: the QX printers as IPP Everywhere printers, on PAPPL.
//
// A device scheme of our own ("qx") reaches the printers through the program's transport
// (USB and the virtual printers of QX_VIRTUAL_PRINTERS); the driver turns every raster
// page into one marker item and prints the job through the print job of its printer's
// generation, and prints our document files as the editor would.
#include <pappl/pappl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/known_printers.h"
#include "device/print_job.h"
#include "device/printer_messages.h"
#include "document/document.h"
#include "document/document_file.h"
#include "document/memory_store.h"
#include "layout/freetype_canvas.h"
#include "printer_app/access.h"
#include "printer_app/job_document.h"
#include "printer_app/job_once.h"
#include "printer_app/media.h"
#include "printer_app/pam_login.h"
#include "printer_app/picture.h"
#include "printer_app/printer_faults.h"
#include "printer_app/qx_printers.h"
#include "printer_app/raster_item.h"

namespace qx::papp {
namespace {

constexpr const char* kVersion = "0.1.0";
constexpr const char* kDocumentFormat = "application/x-qx-document";
// Job attributes of our documents beside copies: the order of repeats and serial values,
// and the range of Segments (page-ranges is kept for pages of raster documents).
constexpr const char* kOrderAttribute = "marker-order";
constexpr const char* kRangeAttribute = "segment-range";
// A job that goes on from where an earlier one ended: the first marker it prints, counted
// from 1 over every marker of the job (every copy, in the job's order).
constexpr const char* kFirstMarkerAttribute = "first-marker";
// The density a document prints at, 1..7, as the editor's 浓度 (a document file does not
// carry it); without it the printer's darkness, as for raster pages.
constexpr const char* kDensityAttribute = "marker-density";

// ---------------------------------------------------------------------------------------
// The "qx" device scheme. A device names one printer; the driver talks to it through the
// transport itself, so reading and writing bytes is not offered.

struct QxDevice {
  std::string path;
  std::string model;
};

bool ListDevices(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t, void*) {
  for (const FoundPrinter& p : QxPrinters::Instance().Find()) {
    const std::string info = p.model + " (" + p.path + ")";
    if (cb(info.c_str(), DeviceUriOf(p.path).c_str(), DeviceIdOf(p.model).c_str(), data))
      return true;
  }
  return false;
}

bool OpenDevice(pappl_device_t* device, const char* uri, const char*) {
  const std::string path = DevicePathOf(uri);
  for (const FoundPrinter& p : QxPrinters::Instance().Find()) {
    if (p.path != path) continue;
    papplDeviceSetData(device, new QxDevice{p.path, p.model});
    return true;
  }
  papplDeviceError(device, "%s", "没有发现可用设备");
  return false;
}

void CloseDevice(pappl_device_t* device) {
  delete static_cast<QxDevice*>(papplDeviceGetData(device));
}

ssize_t ReadDevice(pappl_device_t*, void*, size_t) { return -1; }
ssize_t WriteDevice(pappl_device_t*, const void*, size_t bytes) {
  return static_cast<ssize_t>(bytes);
}
pappl_preason_t DeviceStatus(pappl_device_t*) { return PAPPL_PREASON_NONE; }

char* DeviceId(pappl_device_t* device, char* buffer, size_t size) {
  const auto* d = static_cast<QxDevice*>(papplDeviceGetData(device));
  if (!d || size == 0) return nullptr;
  std::snprintf(buffer, size, "%s", DeviceIdOf(d->model).c_str());
  return buffer;
}

// ---------------------------------------------------------------------------------------
// Printer state from the protocols' messages.

constexpr pappl_preason_t kOurReasons =
    PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MARKER_SUPPLY_EMPTY | PAPPL_PREASON_COVER_OPEN |
    PAPPL_PREASON_MEDIA_JAM | PAPPL_PREASON_OTHER;

pappl_preason_t PapplReason(FaultReason r) {
  switch (r) {
    case FaultReason::kNone: return PAPPL_PREASON_NONE;
    case FaultReason::kMediaEmpty: return PAPPL_PREASON_MEDIA_EMPTY;
    case FaultReason::kMarkerSupplyEmpty: return PAPPL_PREASON_MARKER_SUPPLY_EMPTY;
    case FaultReason::kCoverOpen: return PAPPL_PREASON_COVER_OPEN;
    case FaultReason::kMediaJam: return PAPPL_PREASON_MEDIA_JAM;
    case FaultReason::kOther: return PAPPL_PREASON_OTHER;
  }
  return PAPPL_PREASON_OTHER;
}

// PAPPL 1.3's own, exported by libpappl but not in its headers: marks the state changed.
extern "C" void _papplSystemConfigChanged(pappl_system_t* system);

// Saving the state while a job prints can deadlock PAPPL 1.3: a save takes the system's
// lock and then each printer's, while a client refused with server-error-busy (a PWG raster
// document sent while the printer prints) takes the printer's lock and then the system's.
// Jobs mark when they last did something; the state (queues and their settings) is saved
// only once no job has done anything for a few seconds, and a timer does a save that had
// to wait.
constexpr int64_t kQuietMs = 3000;
std::atomic<int64_t> g_last_job_activity_ms{-kQuietMs};
std::atomic<bool> g_save_waiting{false};

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
void JobActivity() { g_last_job_activity_ms = SteadyMs(); }
bool JobsQuiet() { return SteadyMs() - g_last_job_activity_ms.load() >= kQuietMs; }

// Marks a job busy from its start to its end, both included.
struct JobActive {
  JobActive() { JobActivity(); }
  ~JobActive() { JobActivity(); }
};

// The window's part of a print job, for a job of a PAPPL queue: the protocols' messages
// become the job's message and the printer's state reasons, the waits wait (virtual
// printers on virtual time), and a cancel of the IPP job stops the printer.
class QueueHost final : public PrintHost {
 public:
  QueueHost(pappl_job_t* job, PrintJob& print_job, bool virtual_printer)
      : job_(job), print_job_(print_job), virtual_(virtual_printer) {}

  // The first fault told; empty when none was.
  const std::string& fault() const { return fault_; }
  FaultReason reason() const { return reason_; }

  void Message(std::string_view text, std::string_view) override {
    papplJobSetMessage(job_, "%.*s", static_cast<int>(text.size()), text.data());
    papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "printer: %.*s", static_cast<int>(text.size()),
                text.data());
    const FaultReason r = ReasonOfMessage(text);
    if (r != FaultReason::kNone && fault_.empty()) {
      fault_ = std::string(text);
      reason_ = r;
    }
  }
  void PumpWait(uint32_t ms) override { Wait(ms); }
  void WaitTick() override { Wait(50); }
  void EnterPrintingState() override {}
  void EnableStop() override {}
  void EndOfJob() override {}
  void Progress(int, int total) override {
    JobActivity();
    if (total != total_) {
      total_ = total;
      papplJobSetImpressions(job_, total);
    }
  }
  // job-impressions-completed counts what the printer reported printed, never what was
  // only sent (PAPPL counts raster pages as they arrive: that count is replaced).
  void MarkersPrinted(int markers) override {
    JobActivity();
    papplJobSetImpressionsCompleted(job_, markers - papplJobGetImpressionsCompleted(job_));
  }

 private:
  void Wait(uint32_t ms) {
    JobActivity();
    if (papplJobIsCanceled(job_)) print_job_.StopRequested = true;
    if (virtual_)
      QxPrinters::Instance().clock().Advance(ms);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  pappl_job_t* job_;
  PrintJob& print_job_;
  bool virtual_;
  std::string fault_;
  FaultReason reason_ = FaultReason::kNone;
  int total_ = -1;
};

// The ribbon and the tape or tube as the printer's supplies. The printers do not report
// how much is left: unknown, and empty after a fault that says so.
void SetSupplies(pappl_printer_t* printer, FaultReason reason) {
  pappl_supply_t supplies[2] = {};
  supplies[0].color = PAPPL_SUPPLY_COLOR_BLACK;
  std::snprintf(supplies[0].description, sizeof supplies[0].description, "色带");
  supplies[0].is_consumed = true;
  supplies[0].level = reason == FaultReason::kMarkerSupplyEmpty ? 0 : -1;
  supplies[0].type = PAPPL_SUPPLY_TYPE_RIBBON_WAX;
  supplies[1].color = PAPPL_SUPPLY_COLOR_NO_COLOR;
  std::snprintf(supplies[1].description, sizeof supplies[1].description, "打印材料");
  supplies[1].is_consumed = true;
  supplies[1].level = reason == FaultReason::kMediaEmpty ? 0 : -1;
  supplies[1].type = PAPPL_SUPPLY_TYPE_OTHER;
  papplPrinterSetSupplies(printer, 2, supplies);
}

// Jobs a printer keeps. Pending jobs hold their spooled documents on disk until they print;
// a label printer works through a queue of 100 long before anyone sends more. Ended jobs
// are kept for the web interface and Get-Jobs, each with its attributes in memory: the
// last 50 are the day's history.
constexpr int kMaxActiveJobs = 100;
constexpr int kMaxCompletedJobs = 50;

void BoundJobs(pappl_printer_t* printer) {
  papplPrinterSetMaxActiveJobs(printer, kMaxActiveJobs);
  papplPrinterSetMaxCompletedJobs(printer, kMaxCompletedJobs);
}

void PrinterCreated(pappl_printer_t* printer, void*) {
  SetSupplies(printer, FaultReason::kNone);
  BoundJobs(printer);
}

std::mutex& PrinterLock(const std::string& path) {
  static std::mutex guard;
  static std::map<std::string, std::mutex> locks;
  std::lock_guard lock(guard);
  return locks[path];
}

// Prints a job on the printer behind `device`: opens it, prints, and tells IPP how it ended.
// A job a fault or a lost link ended is aborted (false), never completed.
bool PrintOnPrinter(pappl_job_t* job, pappl_device_t* device, PrintJob& print_job,
                    const std::function<bool(Transport&, DeviceTable&, PrintHost&)>& run) {
  const auto* data = static_cast<QxDevice*>(papplDeviceGetData(device));
  pappl_printer_t* printer = papplJobGetPrinter(job);
  if (!data) return false;
  const QxDevice own = *data;
  const QxDevice* dev = &own;
  // PAPPL 1.3 may start two jobs of one queue at once when they arrive together (it
  // marks a job as the one printing only once its thread runs): the printer takes one
  // job at a time, the next waits here until the one before has ended. (The same job
  // started twice is caught before: RunJobOnce.)
  const JobActive active;
  std::lock_guard printing(PrinterLock(dev->path));
  Transport& t = QxPrinters::Instance().transport();
  DeviceTable d;
  d.count = 1;
  d.selected = 0;
  std::snprintf(d.paths[0].data(), d.paths[0].size(), "%s", dev->path.c_str());
  d.SetName(0, dev->model);
  d.handle = t.OpenByPath(dev->path.c_str());
  d.open = d.handle != -1;

  QueueHost host(job, print_job, dev->path.rfind("virtual:", 0) == 0);
  host.MarkersPrinted(0);
  const bool ok = run(t, d, host) && host.fault().empty() && !papplJobIsCanceled(job);
  SetSupplies(printer, host.reason());
  if (ok) {
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, kOurReasons);
    return true;
  }
  if (host.fault().empty() && papplJobIsCanceled(job)) {
    // Canceled (or aborted by PAPPL): the printer is as it was, and the job says nothing
    // of the device.
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, kOurReasons);
    return false;
  }
  if (!host.fault().empty()) {
    papplPrinterSetReasons(printer, PapplReason(host.reason()),
                           kOurReasons & ~PapplReason(host.reason()));
    papplJobSetMessage(job, "%s", host.fault().c_str());
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "printer-state-reasons %s: %s",
                std::string(ReasonKeyword(host.reason())).c_str(), host.fault().c_str());
  } else if (!d.open) {
    papplPrinterSetReasons(printer, PAPPL_PREASON_OTHER, kOurReasons & ~PAPPL_PREASON_OTHER);
    papplJobSetMessage(job, "%s", std::string(pmsg::kOpenFailed).c_str());
  }
  if (!papplJobIsCanceled(job)) papplJobSetReasons(job, PAPPL_JREASON_ERRORS_DETECTED, 0);
  return false;
}

// Runs `print` for `job` once: a second start of the same job (see job_once.h) does not run
// it again, reads no file (PAPPL may have removed it) and ends as the first did. Within
// `print`, a call for the same job runs directly.
bool RunJobOnce(pappl_job_t* job, const std::function<bool()>& print) {
  static OncePerJob once;
  thread_local pappl_job_t* running = nullptr;
  if (running == job) return print();
  bool again = false;
  const bool ok = once.Run(papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job),
                           [&] {
                             running = job;
                             struct Reset {
                               ~Reset() { running = nullptr; }
                             } reset;
                             return print();
                           },
                           &again);
  if (again)
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "The job was started again: not printed a second time.");
  return ok;
}

// Runs a job on its printer, once.
bool RunOnPrinter(pappl_job_t* job, pappl_device_t* device, PrintJob& print_job,
                  const std::function<bool(Transport&, DeviceTable&, PrintHost&)>& run) {
  return RunJobOnce(job, [&] { return PrintOnPrinter(job, device, print_job, run); });
}

// The file of a job's document; nullptr, the job told why, when PAPPL has none.
const char* JobFile(pappl_job_t* job) {
  const char* file = papplJobGetFilename(job);
  if (!file) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The job has no document file.");
    papplJobSetMessage(job, "非法文件!");
  }
  return file;
}

// ---------------------------------------------------------------------------------------
// Raster jobs: every page one item.

struct RasterJob {
  RasterItemBuilder builder;
  std::size_t line_bytes = 0;  // of each line the page's lines hold
  std::vector<ItemImage> items;
  int cut_items = 0;  // pages with dots beyond the head
  bool refused = false;  // a page was refused, with a message saying why
};

// Pages a raster job may have. Every page becomes one marker that is kept until the job
// prints (at most the printer's image store, kImageStoreBytes, each): 1000 markers hold at
// most 20 MB, and are far more than any label job asks for at once.
constexpr unsigned kMaxRasterPages = 1000;

// Ends a raster job at a page that cannot print, with the message a user reads.
bool RefusePage(pappl_job_t* job, RasterJob& r, pappl_jreason_t reason, const char* message) {
  r.refused = true;
  papplJobSetMessage(job, "%s", message);
  papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
  return false;
}

// After a job that printed: says how many of its markers had content beyond the head's
// width, which is not on the tape.
void TellCut(pappl_job_t* job, int cut_items) {
  if (cut_items == 0) return;
  papplJobSetMessage(job, "打印完成! %d个标记超出可打印宽度(%.1f毫米)的部分未打印", cut_items,
                     kHeadDots * 25.4 / kDotsPerInch);
  papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%d item(s) had dots beyond the head's %d", cut_items,
              kHeadDots);
}

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  const JobActive active;
  papplJobSetData(job, new RasterJob);
  return true;
}

// PAPPL 1.3.1 hands the lines of a PWG raster page as they came. An 8-bit page comes with
// its own header; a 1-bit page (black_1, the only 1-bit PWG type) comes under the 8-bit
// header PAPPL made for the job's media, which tells nothing of its lines. That header is
// recognised by what PAPPL puts into it. Whichever way a page is taken, its lines are read
// only within the buffer PAPPL fills (as wide as the wider of the two headers).
bool IsBlack1Page(pappl_job_t* job, const pappl_pr_options_t* options) {
  if (std::strcmp(papplJobGetFormat(job), "image/pwg-raster") != 0) return false;
  const cups_page_header2_t& h = options->header;
  cups_page_header2_t own{};
  if (!cupsRasterInitPWGHeader(&own, pwgMediaForPWG(options->media.size_name), "sgray_8",
                               options->printer_resolution[0], options->printer_resolution[1],
                               "one-sided", "normal"))
    return false;
  return h.cupsBitsPerPixel == 8 && h.cupsWidth == own.cupsWidth &&
         h.cupsHeight == own.cupsHeight &&
         std::strcmp(h.cupsPageSizeName, own.cupsPageSizeName) == 0 &&
         std::strcmp(h.MediaType, options->media.type) == 0;
}

bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*,
                     unsigned page) {
  const JobActive active;
  auto* r = static_cast<RasterJob*>(papplJobGetData(job));
  const cups_page_header2_t& h = options->header;
  if (page > kMaxRasterPages) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "More than %u pages: the job ends.", kMaxRasterPages);
    char message[64];
    std::snprintf(message, sizeof message, "一个任务最多%u个标记", kMaxRasterPages);
    return RefusePage(job, *r, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, message);
  }
  // PAPPL 1.3.1 allocates for a page's lines only once this callback accepted it, and reads
  // as many lines as the header says: a header with absurd numbers ends the job here. A
  // 1-bit page comes under PAPPL's own header, made from the job's media, and is passed on
  // only as far as that header goes; the lines its own header claims beyond are read and
  // dropped by PAPPL, which this callback cannot see or stop.
  switch (CheckRasterPage(h.cupsWidth, h.cupsHeight, h.cupsBitsPerPixel, h.cupsBytesPerLine)) {
    case RasterPageCheck::kFits: break;
    case RasterPageCheck::kBadHeader:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u refused: %ux%u, %u bits, %u bytes a line.",
                  page, h.cupsWidth, h.cupsHeight, h.cupsBitsPerPixel, h.cupsBytesPerLine);
      return RefusePage(job, *r, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "非法文件!");
    case RasterPageCheck::kTooLong:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u refused: %u lines.", page, h.cupsHeight);
      return RefusePage(job, *r, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                        "标记超出打印机的存储容量");
  }
  const int width = static_cast<int>(h.cupsWidth);
  bool started = false;
  if (IsBlack1Page(job, options)) {
    started = r->builder.StartPage(width, true, 1);
    r->line_bytes = (h.cupsWidth + 7) / 8;
  } else {
    // Black (K) pages have black as their highest value; grey ones (W, SW) white.
    const bool high_is_black = h.cupsColorSpace != CUPS_CSPACE_W && h.cupsColorSpace != CUPS_CSPACE_SW;
    started = r->builder.StartPage(width, high_is_black, static_cast<int>(h.cupsBitsPerPixel));
    r->line_bytes = h.cupsBytesPerLine;
  }
  if (!started) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Raster page with %u bits a pixel, expected 1 or 8.",
                h.cupsBitsPerPixel);
    return RefusePage(job, *r, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "非法文件!");
  }
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page %ux%u, colour space %d", h.cupsWidth,
              h.cupsHeight, static_cast<int>(h.cupsColorSpace));
  return true;
}

bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned,
                     const unsigned char* line) {
  JobActivity();
  auto* r = static_cast<RasterJob*>(papplJobGetData(job));
  r->builder.AddLine({line, r->line_bytes});
  return true;
}

bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
  const JobActive active;
  auto* r = static_cast<RasterJob*>(papplJobGetData(job));
  ItemImage item;
  if (!r->builder.Finish(item))
    return RefusePage(job, *r, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "标记超出打印机的存储容量");
  if (r->builder.Cut()) ++r->cut_items;
  r->items.push_back(std::move(item));
  return true;
}

// The printer's configured darkness with a job's print-darkness (0..100 around it) as the
// printer's density 1..7.
uint8_t DensityOfDarkness(int configured, int print_darkness) {
  const int darkness = std::clamp(configured + print_darkness, 0, 100);
  return static_cast<uint8_t>(1 + (darkness * 6 + 50) / 100);
}


// The printer set-up of a job's options: the material of its media, half cut for trim,
// the density of its darkness.
JobSetup SetupOf(pappl_job_t* job, const pappl_pr_options_t* options, std::size_t items) {
  const MaterialMedia& m =
      MaterialOfMedia(options->media.size_name, options->media.type, options->media.size_width);
  JobSetup setup;
  setup.material_code = m.material_code;
  setup.cut_code = (options->finishings & PAPPL_FINISHINGS_TRIM) ? 1 : 0;
  setup.density = DensityOfDarkness(options->darkness_configured, options->print_darkness);
  // PAPPL formats log lines itself and knows no size_t conversion.
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%d item(s) on %s, cut %d, density %d",
              static_cast<int>(items), std::string(m.keyword).c_str(), setup.cut_code,
              setup.density);
  return setup;
}

// Prints `items` (each `copies` times, one after the other) as one printer job.
bool PrintItems(pappl_job_t* job, pappl_device_t* device, const std::vector<ItemImage>& items,
                const JobSetup& setup, int copies = 1) {
  PrintJob print_job;
  return RunOnPrinter(job, device, print_job, [&](Transport& t, DeviceTable& d, PrintHost& host) {
    return RunItemsJob(
        t, d, print_job, setup,
        [&](const SendItem& send, WalkCounts& counts) {
          for (std::size_t n = 0; n < items.size(); ++n)
            for (int copy = 0; copy < copies; ++copy) {
              if (!send(items[n], static_cast<uint8_t>(n + 1))) return false;
              ++counts.sent;
            }
          return true;
        },
        host);
  });
}

bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  const JobActive active;
  std::unique_ptr<RasterJob> r(static_cast<RasterJob*>(papplJobGetData(job)));
  papplJobSetData(job, nullptr);
  if (!r || r->refused) return false;
  // PAPPL refused a page itself (16 bits a pixel, colour, lines missing): nothing prints.
  // (papplJobIsCanceled is true for an aborted job too.)
  const bool aborted = papplJobGetState(job) == IPP_JSTATE_ABORTED;
  if (!aborted && papplJobIsCanceled(job)) return false;
  if (aborted || r->items.empty()) {
    papplJobSetMessage(job, "非法文件!");
    return false;
  }
  if (!PrintItems(job, device, r->items, SetupOf(job, options, r->items.size()))) return false;
  TellCut(job, r->cut_items);
  return true;
}

// ---------------------------------------------------------------------------------------
// Pictures (PNG, JPEG): decoded here, one marker each.

bool PrintPictureOnce(pappl_job_t* job, pappl_device_t* device) {
  GreyPicture picture;
  std::string error;
  const char* file = JobFile(job);
  if (!file) return false;
  if (!ReadPicture(file, picture, error)) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
    papplJobSetMessage(job, "无法打印这张图片: %s", error.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    return false;
  }
  std::unique_ptr<pappl_pr_options_t, void (*)(pappl_pr_options_t*)> options(
      papplJobCreatePrintOptions(job, 1, false), papplJobDeletePrintOptions);
  if (!options) return false;
  const int medium_dots = options->media.size_width * kDotsPerInch / 2540;
  std::vector<ItemImage> items(1);
  bool cut = false;
  if (!PictureItem(picture, medium_dots, items[0], &cut)) {
    papplJobSetMessage(job, "标记超出打印机的存储容量");
    return false;
  }
  const int copies = std::max(options->copies, 1);
  papplJobSetImpressions(job, copies);
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Picture %dx%d pixels at %.0fx%.0f dpi, %d copies",
              picture.width, picture.height, picture.dpi_x, picture.dpi_y, copies);
  if (!PrintItems(job, device, items, SetupOf(job, options.get(), 1), copies)) return false;
  TellCut(job, cut ? copies : 0);
  return true;
}

bool PrintPicture(pappl_job_t* job, pappl_device_t* device, void*) {
  const JobActive active;
  return RunJobOnce(job, [&] { return PrintPictureOnce(job, device); });
}

// ---------------------------------------------------------------------------------------
// Our document files: laid out and printed by the print job, as the editor prints them.

// The Segments a job's segment-range chooses; without one, all.
void RangeOf(pappl_job_t* job, JobChoice& c) {
  ipp_attribute_t* ranges = papplJobGetAttribute(job, kRangeAttribute);
  if (!ranges) return;
  int upper = 0;
  c.first = ippGetRange(ranges, 0, &upper);
  c.last = upper;
}

bool PrintDocumentOnce(pappl_job_t* job, pappl_device_t* device) {
  DocumentState doc(std::make_unique<MemoryRowStore>());
  doc.table.Bind("working table");
  std::string detail;
  const char* file = JobFile(job);
  if (!file) return false;
  switch (ReadJobDocument(file, doc, detail)) {
    case JobDocumentRead::kOk:
      break;
    case JobDocumentRead::kTooLarge:
      // Larger than any document file can be: refused before a byte is read.
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Document of %s refused (at most %.0f bytes).",
                  detail.c_str(), static_cast<double>(kMaxDocumentFileBytes));
      papplJobSetMessage(job, "文件太大, 无法打印");
      papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
      return false;
    case JobDocumentRead::kDamaged:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Not a document file: %s", detail.c_str());
      papplJobSetMessage(job, "非法文件!");
      papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
      return false;
    case JobDocumentRead::kNothingToPrint:
      papplJobSetMessage(job, "%s", std::string(pmsg::kNothingToPrint).c_str());
      return false;
  }

  JobChoice choice;
  if (ipp_attribute_t* copies = papplJobGetAttribute(job, "copies"))
    choice.copies = std::max(1, ippGetInteger(copies, 0));
  RangeOf(job, choice);
  if (ipp_attribute_t* order = papplJobGetAttribute(job, kOrderAttribute))
    choice.repeat_first = std::strcmp(ippGetString(order, 0, nullptr), "repeat-first") == 0;
  PrintJob print_job = JobOf(choice, doc.table);
  if (ipp_attribute_t* first = papplJobGetAttribute(job, kFirstMarkerAttribute))
    print_job.FromItem = std::max(1, ippGetInteger(first, 0));

  // The density the job names (the editor's), else the printer's configured darkness with
  // the job's print-darkness, as for raster pages.
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &driver);
  ipp_attribute_t* print_darkness = papplJobGetAttribute(job, "print-darkness");
  uint8_t density = DensityOfDarkness(driver.darkness_configured,
                                      print_darkness ? ippGetInteger(print_darkness, 0) : 0);
  if (ipp_attribute_t* a = papplJobGetAttribute(job, kDensityAttribute))
    density = static_cast<uint8_t>(std::clamp(ippGetInteger(a, 0), 1, 7));

  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(doc.settings.font_face);
  ImageBuilder builder(glyph_canvas, measurer);
  builder.SelectPrintFont(PrintFontOf(doc.settings));
  const JobDocument jd{doc.table, doc.file_state, measurer, builder, density};
  papplLogJob(job, PAPPL_LOGLEVEL_INFO,
              "Document: Segments %d to %d, %d copies, %s first, from marker %d, density %d",
              print_job.StartRow, print_job.EndRow, print_job.Copies,
              print_job.RepeatFirst ? "repeat" : "serial", print_job.FromItem, density);
  return RunOnPrinter(job, device, print_job, [&](Transport& t, DeviceTable& d, PrintHost& host) {
    return RunDeviceJob(t, d, print_job, jd, host);
  });
}

bool PrintDocument(pappl_job_t* job, pappl_device_t* device, void*) {
  const JobActive active;
  return RunJobOnce(job, [&] { return PrintDocumentOnce(job, device); });
}

// A document of a format that is neither raster nor ours.
bool PrintRaw(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to print a document of format %s.",
              papplJobGetFormat(job));
  papplJobSetMessage(job, "不支持的文件格式");
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, 0);
  return false;
}

// Our document files, when a client sends them without saying what they are: a table of
// the document columns (records of 254 bytes, a header of 2048 bytes).
const char* DetectFormat(const unsigned char* header, size_t size, void*) {
  static const unsigned char kDocumentTable[] = {0xfe, 0x00, 0x00, 0x08};
  if (size >= 6 && std::memcmp(header, kDocumentTable, sizeof kDocumentTable) == 0 &&
      (header[4] == 0 || header[4] == 2))
    return kDocumentFormat;
  return nullptr;
}

// ---------------------------------------------------------------------------------------
// The driver: one per printer model.

std::vector<pappl_pr_driver_t>& Drivers() {
  static std::vector<pappl_pr_driver_t> drivers = [] {
    std::vector<pappl_pr_driver_t> list;
    static std::vector<std::string> names, descriptions, ids;
    for (const KnownPrinter& p : kKnownPrinters) {
      std::string key(p.name);
      std::transform(key.begin(), key.end(), key.begin(),
                     [](char c) { return c == ' ' ? '_' : static_cast<char>(std::tolower(c)); });
      names.push_back(key);
      descriptions.push_back(std::string(p.name));
      ids.push_back(DeviceIdOf(std::string(p.name)));
    }
    for (std::size_t n = 0; n < names.size(); ++n)
      list.push_back({names[n].c_str(), descriptions[n].c_str(), ids[n].c_str(), nullptr});
    return list;
  }();
  return drivers;
}

std::vector<std::string>& MediaNames() {
  static std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const MaterialMedia& m : AllMaterialMedia()) list.push_back(MediaName(m));
    list.push_back("roll_max_12x150mm");
    list.push_back("roll_min_6x4mm");
    return list;
  }();
  return names;
}

// The margin across the tape every medium is offered with, in hundredths of millimetres
// (see DriverSetup).
constexpr int kAcrossMarginHmm = 1;

void FillMedia(pappl_media_col_t& col, const MaterialMedia& m) {
  col = {};
  col.left_margin = col.right_margin = kAcrossMarginHmm;
  col.size_width = m.width_hmm;
  col.size_length = kDefaultLengthHmm;
  std::snprintf(col.size_name, sizeof col.size_name, "%s", MediaName(m).c_str());
  std::snprintf(col.source, sizeof col.source, "main-roll");
  std::snprintf(col.type, sizeof col.type, "%s", std::string(m.keyword).c_str());
}

bool DriverSetup(pappl_system_t*, const char* driver_name, const char*, const char*,
                 pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
  const KnownPrinter* model = nullptr;
  for (std::size_t n = 0; n < Drivers().size(); ++n)
    if (std::strcmp(Drivers()[n].name, driver_name) == 0) model = &kKnownPrinters[n];
  if (!model) return false;

  data->rstartjob_cb = StartRasterJob;
  data->rstartpage_cb = StartRasterPage;
  data->rwriteline_cb = WriteRasterLine;
  data->rendpage_cb = EndRasterPage;
  data->rendjob_cb = EndRasterJob;
  // Raster: PWG raster, PNG and JPEG as PAPPL hands them, and our documents. PAPPL 1.3
  // compares a job's format with this one without looking for none, and leaves
  // application/octet-stream out of document-format-supported: a document of a format
  // nobody can print comes to PrintRaw, which refuses it, instead of ending the program.
  data->format = "application/octet-stream";
  data->printfile_cb = PrintRaw;
  std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s",
                std::string(model->name).c_str());
  data->ppm = 30;
  data->kind = PAPPL_KIND_LABEL;
  data->has_supplies = true;
  data->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  // Grey pages come to the driver as they are and are dithered there: PAPPL 1.3.1's own
  // dithering to 1 bit writes past its line buffer (a US Letter page from CUPS ended the
  // program).
  data->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->finishings = PAPPL_FINISHINGS_TRIM;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = kDotsPerInch;
  data->x_default = data->y_default = kDotsPerInch;
  // Not borderless: CUPS names the sizes of a printer whose margins are all zero
  // "12x30mm.Borderless" but makes "12x30mm" the default, which then matches no size, so
  // that its queues sent US Letter pages unless the user picked a label size. A margin of
  // 0.01 mm across keeps the plain names.
  data->borderless = false;
  data->left_right = kAcrossMarginHmm;
  data->bottom_top = 0;
  data->num_media = static_cast<int>(MediaNames().size());
  for (int n = 0; n < data->num_media; ++n)
    data->media[n] = MediaNames()[static_cast<std::size_t>(n)].c_str();
  data->num_source = 1;
  data->source[0] = "main-roll";
  const MaterialMedia& label12 = MaterialOfCode(3);
  FillMedia(data->media_default, label12);
  FillMedia(data->media_ready[0], label12);
  data->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS;
  data->num_type = static_cast<int>(AllMaterialMedia().size());
  for (int n = 0; n < data->num_type; ++n)
    data->type[n] = AllMaterialMedia()[static_cast<std::size_t>(n)].keyword.data();
  data->darkness_supported = 7;
  data->darkness_configured = 50;  // density 4, the editor's default
  data->darkness_default = 0;
  data->num_vendor = 4;
  data->vendor[0] = kOrderAttribute;
  data->vendor[1] = kRangeAttribute;
  data->vendor[2] = kFirstMarkerAttribute;
  data->vendor[3] = kDensityAttribute;

  *attrs = ippNew();
  static const char* const orders[] = {"serial-first", "repeat-first"};
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "marker-order-supported", 2, nullptr,
                orders);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "marker-order-default", nullptr,
               orders[0]);
  ippAddRange(*attrs, IPP_TAG_PRINTER, "segment-range-supported", 1, 65535);
  ippAddRange(*attrs, IPP_TAG_PRINTER, "first-marker-supported", 1, INT32_MAX);
  ippAddRange(*attrs, IPP_TAG_PRINTER, "marker-density-supported", 1, 7);
  return true;
}

const char* AutoAdd(const char*, const char*, const char* device_id, void*) {
  for (std::size_t n = 0; n < Drivers().size(); ++n)
    if (device_id && std::strcmp(device_id, Drivers()[n].device_id) == 0) return Drivers()[n].name;
  return nullptr;
}

// ---------------------------------------------------------------------------------------
// The system.

struct ServerSettings {
  std::filesystem::path state_dir;
  std::string state_file;
};
ServerSettings g_settings;

// Who may do what: see access.h.
struct AccessSettings {
  NetworkList allow;                       // -o allow=...; empty: every network
  std::string admin_group = "lpadmin";     // -o admin-group=...
  std::string pam_service = "qx-printer-app";  // -o auth-service=...
};
AccessSettings g_access;

// The requesting-user-name of an IPP request; empty when it has none.
std::string RequestingUser(pappl_client_t* client) {
  ipp_t* request = papplClientGetRequest(client);
  ipp_attribute_t* a = request ? ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME) : nullptr;
  const char* name = a ? ippGetString(a, 0, nullptr) : nullptr;
  return name ? name : "";
}

// PAPPL asks this for every request that needs more than reading a printer's attributes,
// from another address once the connection is encrypted (PAPPL answers "426 Upgrade
// Required" to plain connections from elsewhere and the client switches to TLS). `group`
// is the administrators' group when PAPPL asks for one, else the printer's print group
// (none).
http_status_t Authorize(pappl_client_t* client, const char* group, gid_t, void*) {
  http_t* http = papplClientGetHTTP(client);
  const auto* address = reinterpret_cast<const sockaddr*>(httpGetAddress(http));
  if (IsThisMachine(address)) return HTTP_STATUS_CONTINUE;
  char host[256] = "";
  httpGetHostname(http, host, sizeof(host));
  if (!g_access.allow.empty() && !g_access.allow.Contains(address)) {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Refused: %s is not in the allowed networks.", host);
    return HTTP_STATUS_FORBIDDEN;
  }
  ipp_t* request = papplClientGetRequest(client);
  const bool admin_asked = group && g_access.admin_group == group;
  if (request && IsPrintingOperation(papplClientGetOperation(client))) {
    if (!admin_asked) return HTTP_STATUS_CONTINUE;
    // PAPPL asks for the administrators when a job is not the client's own by its login;
    // without a login the owner is who the request says it comes from, as for any shared
    // printer.
    pappl_job_t* job = papplClientGetJob(client);
    const std::string user = RequestingUser(client);
    if (job && !user.empty() && papplJobGetUsername(job) && user == papplJobGetUsername(job))
      return HTTP_STATUS_CONTINUE;
  }
  const char* header = httpGetField(http, HTTP_FIELD_AUTHORIZATION);
  std::string user, password;
  if (!header || !*header || !ParseBasicAuthorization(header, user, password))
    return HTTP_STATUS_UNAUTHORIZED;
  if (!PasswordIsRight(g_access.pam_service, user, password)) {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Login of \"%s\" from %s refused.", user.c_str(), host);
    return HTTP_STATUS_UNAUTHORIZED;
  }
  if (!IsMemberOf(user, g_access.admin_group)) {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN, "\"%s\" from %s is not in the group %s.",
                   user.c_str(), host, g_access.admin_group.c_str());
    return HTTP_STATUS_FORBIDDEN;
  }
  papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Administrator \"%s\" from %s.", user.c_str(), host);
  return HTTP_STATUS_CONTINUE;
}

}  // namespace
}  // namespace qx::papp

// PAPPL 1.3.1's printer page, exported by libpappl though not in its headers.
extern "C" void _papplPrinterWebHome(pappl_client_t* client, pappl_printer_t* printer);

namespace qx::papp {
namespace {

// PAPPL 1.3.1's printer page takes the pause, resume and hold-new-jobs buttons from anyone
// who can load the page; its other pages ask for a login first. The page is served
// through this guard, which asks for one before a form is taken.
bool GuardedPrinterPage(pappl_client_t* client, void* data) {
  if (papplClientGetMethod(client) == HTTP_STATE_POST && !papplClientHTMLAuthorize(client))
    return true;  // refused, the answer sent
  _papplPrinterWebHome(client, static_cast<pappl_printer_t*>(data));
  return true;
}

// The printers whose page is guarded, by id (PAPPL removes a deleted printer's pages).
std::mutex g_guarded_mutex;
std::set<int> g_guarded;

// Guards the page of every printer not yet guarded: those restored, found or added. The
// printers are listed first: PAPPL holds the system's lock while it goes through them,
// and changing its pages takes that lock again.
void GuardPrinterPages(pappl_system_t* system) {
  std::vector<pappl_printer_t*> printers;
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void* data) {
        static_cast<std::vector<pappl_printer_t*>*>(data)->push_back(printer);
      },
      &printers);
  for (pappl_printer_t* printer : printers) {
    const int id = papplPrinterGetID(printer);
    {
      std::lock_guard lock(g_guarded_mutex);
      if (!g_guarded.insert(id).second) continue;
    }
    char path[1024];
    papplPrinterGetPath(printer, "", path, sizeof(path));  // "/NAME/", the page's path
    papplSystemRemoveResource(system, path);
    papplSystemAddResourceCallback(system, path, "text/html", GuardedPrinterPage, printer);
  }
}

bool AddFound(pappl_system_t* system) {
  for (const FoundPrinter& p : QxPrinters::Instance().Find()) {
    const std::string uri = DeviceUriOf(p.path);
    if (papplSystemFindPrinter(system, nullptr, 0, uri.c_str())) continue;
    const std::string id = DeviceIdOf(p.model);
    const char* driver = AutoAdd(nullptr, nullptr, id.c_str(), nullptr);
    if (!driver) continue;
    // "Kelmor QB20" at "virtual:...#0" becomes the queue "Kelmor_QB20_virtual_0".
    std::string name = p.model;
    const std::size_t hash = p.path.rfind('#');
    name += p.path.rfind("virtual:", 0) == 0 ? " virtual" : " USB";
    if (hash != std::string::npos) name += " " + p.path.substr(hash + 1);
    else if (const std::size_t at = p.path.rfind('@'); at != std::string::npos)
      name += " " + p.path.substr(at + 1);
    pappl_printer_t* printer =
        papplPrinterCreate(system, 0, name.c_str(), driver, id.c_str(), uri.c_str());
    if (printer)
      papplLog(system, PAPPL_LOGLEVEL_INFO, "Added printer %s for %s.", name.c_str(), uri.c_str());
  }
  return true;
}

// Printers plugged in are added; printers added by an administrator get their page guarded.
bool AddFoundTimer(pappl_system_t* system, void*) {
  AddFound(system);
  GuardPrinterPages(system);
  return true;
}

bool SaveState(pappl_system_t* system, void*) {
  // Once the server has stopped running (SIGTERM, as when the service stops) no job prints
  // and PAPPL saves for the last time: a save that waited is done then, or it is lost.
  if (!JobsQuiet() && papplSystemIsRunning(system)) {  // see JobActivity
    g_save_waiting = true;
    // Still unsaved for PAPPL, so that its last save comes here even when nothing changes
    // after this.
    _papplSystemConfigChanged(system);
    return true;
  }
  g_save_waiting = false;
  return papplSystemSaveState(system, g_settings.state_file.c_str());
}

bool SaveWaitingTimer(pappl_system_t* system, void*) {
  if (g_save_waiting && JobsQuiet()) SaveState(system, nullptr);
  return true;
}

void BoundJobsCallback(pappl_printer_t* printer, void*) { BoundJobs(printer); }

// The system's bounds, set once its saved state is loaded (the state file carries some of
// them and would replace what was set before):
// - clients served at once: each is a thread with its buffers; the queues of a desk's
//   computers and a browser on the web interface need a few, 64 leave room for bursts
//   (PAPPL leaves further connections waiting until one ends);
// - PAPPL's own PNG and JPEG decoders: as large as our own (kMaxPictureSide,
//   kMaxPicturePixels of 8-bit grey), rather than its default of a tenth of the memory;
// - the log: rotated at 1 MiB (the one before is kept as .O), weeks of jobs at info level;
// - the printers restored from the state file keep the job bounds of new printers.
void SetBounds(pappl_system_t* system) {
  papplSystemSetMaxClients(system, 64);
  papplSystemSetMaxImageSize(system, static_cast<size_t>(kMaxPicturePixels), kMaxPictureSide,
                             kMaxPictureSide);
  papplSystemSetMaxLogSize(system, 1024 * 1024);
  papplSystemIteratePrinters(system, BoundJobsCallback, nullptr);
}

const char* Option(int num, cups_option_t* options, const char* name, const char* fallback) {
  const char* value = cupsGetOption(name, num, options);
  return value ? value : fallback;
}

std::filesystem::path DefaultStateDir() {
  if (getuid() == 0) return "/var/lib/qx-printer-app";
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
    return std::filesystem::path(state) / "qx-printer-app";
  if (const char* home = std::getenv("HOME")) return std::filesystem::path(home) / ".local/state/qx-printer-app";
  return "/tmp/qx-printer-app";
}

// The state folder, its spool and the state file must be the server's to write: otherwise
// its settings and jobs would be lost without a word (a folder owned by another user, as a
// service's own folder is to anyone else). Says why not on stderr.
bool MakeStateDir(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir / "spool", ec);
  if (ec) {
    std::fprintf(stderr, "qx-printer-app: cannot make the state folder %s: %s\n",
                 (dir / "spool").c_str(), ec.message().c_str());
    return false;
  }
  const std::filesystem::path file = dir / "qx-printer-app.state";
  for (const std::filesystem::path& path : {dir, dir / "spool", file}) {
    if (access(path.c_str(), path == file ? W_OK : W_OK | X_OK) == 0) continue;
    if (path == file && errno == ENOENT) continue;  // made on the first save
    std::fprintf(stderr, "qx-printer-app: cannot write the state to %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

pappl_system_t* MakeSystem(int num, cups_option_t* options, void*) {
  QxPrinters& printers = QxPrinters::Instance();
  printers.Start(std::strcmp(Option(num, options, "usb", "yes"), "no") != 0);
  if (!printers.error().empty()) std::fprintf(stderr, "qx-printer-app: %s\n", printers.error().c_str());

  g_settings.state_dir = Option(num, options, "state-directory", DefaultStateDir().c_str());
  if (!MakeStateDir(g_settings.state_dir)) return nullptr;
  g_settings.state_file = (g_settings.state_dir / "qx-printer-app.state").string();

  const int port = std::atoi(Option(num, options, "server-port", "8631"));
  const std::string log = Option(num, options, "log-file", (g_settings.state_dir / "qx-printer-app.log").c_str());
  const std::string level = Option(num, options, "log-level", "info");
  pappl_loglevel_t loglevel = PAPPL_LOGLEVEL_INFO;
  if (level == "debug") loglevel = PAPPL_LOGLEVEL_DEBUG;
  else if (level == "warn") loglevel = PAPPL_LOGLEVEL_WARN;
  else if (level == "error") loglevel = PAPPL_LOGLEVEL_ERROR;

  g_access.admin_group = Option(num, options, "admin-group", "lpadmin");
  g_access.pam_service = Option(num, options, "auth-service", "qx-printer-app");
  std::string bad_network;
  if (!g_access.allow.Parse(Option(num, options, "allow", ""), bad_network)) {
    std::fprintf(stderr, "qx-printer-app: allow=: \"%s\" is not an address or a network (such as 192.168.1.0/24)\n",
                 bad_network.c_str());
    return nullptr;
  }

  // The web pages: printers, media, the log and TLS certificates; never PAPPL's own web
  // password (PAPPL_SOPTIONS_WEB_SECURITY), which logins through PAM replace.
  const pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                    PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_TLS;
  pappl_system_t* system = papplSystemCreate(
      soptions, "QX Printer Application", port, "_print,_universal",
      (g_settings.state_dir / "spool").c_str(), log.c_str(), loglevel, nullptr, false);
  if (!system) return nullptr;

  const char* listen = Option(num, options, "listen-hostname", "*");
  if (!papplSystemAddListeners(system, std::strcmp(listen, "*") == 0 ? nullptr : listen)) {
    std::fprintf(stderr, "qx-printer-app: cannot listen on %s port %d\n", listen, port);
    papplSystemDelete(system);
    return nullptr;
  }
  papplSystemSetAdminGroup(system, g_access.admin_group.c_str());
  papplSystemSetAuthCallback(system, "Basic", Authorize, nullptr);
  papplSystemSetPrinterDrivers(system, static_cast<int>(Drivers().size()), Drivers().data(),
                               AutoAdd, PrinterCreated, DriverSetup, nullptr);
  papplSystemAddMIMEFilter(system, kDocumentFormat, "image/pwg-raster", PrintDocument, nullptr);
  // Taken before PAPPL's own decoders, which are kept for image/pwg-raster: a filter to the
  // driver's format comes first.
  papplSystemAddMIMEFilter(system, "image/png", "application/octet-stream", PrintPicture, nullptr);
  papplSystemAddMIMEFilter(system, "image/jpeg", "application/octet-stream", PrintPicture, nullptr);
  papplSystemSetMIMECallback(system, DetectFormat, nullptr);
  papplSystemSetFooterHTML(system, "QX 线号打印机 · IPP Everywhere");
  papplSystemSetSaveCallback(system, SaveState, nullptr);
  papplSystemSetDNSSDName(system, Option(num, options, "dnssd-name", "QX Printer Application"));
  papplSystemLoadState(system, g_settings.state_file.c_str());
  SetBounds(system);
  AddFound(system);
  GuardPrinterPages(system);
  // Printers plugged in later are added too.
  papplSystemAddTimerCallback(system, 0, 10, AddFoundTimer, nullptr);
  papplSystemAddTimerCallback(system, 0, 2, SaveWaitingTimer, nullptr);
  return system;
}

void Usage(void*) {
  std::puts("Usage: qx-printer-app server [-o NAME=VALUE ...]");
  std::puts("Options: server-port (8631), listen-hostname (* or localhost), state-directory,");
  std::puts("         log-file, log-level (debug|info|warn|error), usb (yes|no), dnssd-name,");
  std::puts("         admin-group (lpadmin), auth-service (PAM service, qx-printer-app),");
  std::puts("         allow (networks that may print, e.g. 192.168.1.0/24,fd00::/8; default all).");
  std::puts("Virtual printers: QX_VIRTUAL_PRINTERS, as for qx-editor and qxlabel.");
}

}  // namespace
}  // namespace qx::papp

int main(int argc, char* argv[]) {
  using namespace qx::papp;
  papplDeviceAddScheme("qx", PAPPL_DEVTYPE_CUSTOM_LOCAL, ListDevices, OpenDevice, CloseDevice,
                       ReadDevice, WriteDevice, DeviceStatus, DeviceId);
  return papplMainloop(argc, argv, kVersion, nullptr, static_cast<int>(Drivers().size()),
                       Drivers().data(), AutoAdd, DriverSetup, nullptr, nullptr, MakeSystem,
                       Usage, nullptr);
}
