// A whole print job through the protocol to a virtual printer of each generation: 1,000
// items of "L1-A" with a serial value 0..999 on a 4 mm² sleeve, from the Document's rows
// to the last message (host waits on virtual time). What it costs the host beyond
// building the images: the messages, checksums and the printer's own checking. The
// "Files" variants run the printer as the programs do (VirtualRecords::kFilesOnly),
// writing its trace and tape pages into a temporary folder, with the process's peak
// resident memory as a counter: it stays the same however many items are printed.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "device/print_job.h"
#include "device/virtual/virtual_transport.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "layout/freetype_canvas.h"

namespace {

class VirtualTimeHost final : public qx::PrintHost {
 public:
  explicit VirtualTimeHost(qx::FakeClock& c) : clock_(c) {}
  void Message(std::string_view, std::string_view) override {}
  void PumpWait(uint32_t ms) override { clock_.Advance(ms); }
  void WaitTick() override { clock_.Advance(50); }
  void EnterPrintingState() override {}
  void EnableStop() override {}
  void EndOfJob() override {}

 private:
  qx::FakeClock& clock_;
};

void PrintJob(benchmark::State& state, std::string_view printer, bool files = false) {
  qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  qx::GlyphMeasurer m(measure_canvas);
  m.SetFace("黑体");
  qx::ImageBuilder b(glyph_canvas, m);
  b.renderer().SelectFont("黑体", false);
  qx::SegmentTable t(std::make_unique<qx::MemoryRowStore>());
  t.Bind("bench");
  t.Create();
  t.Open();
  t.Append();
  t.SetInt(qx::kNumberColumn, 1);
  t.SetText(qx::kUpperLineColumn, qx::gbk::Encode("L1-A") + std::string(qx::gbk::kSerialMark));
  t.SetInt(qx::kLengthColumn, 25);
  t.SetText(qx::kSizeColumn, qx::gbk::Encode("4 号"));
  t.SetText(qx::kOrientationColumn, qx::gbk::Encode("横向"));
  t.SetText(qx::kDecorationColumn, qx::gbk::Encode("取消修饰"));
  t.SetInt(qx::kRepeatColumn, 1);
  t.SetText(qx::kSerialTypeColumn, qx::gbk::Encode("序号0-999"));
  t.SetText(qx::kSerialFirstColumn, "0");
  t.SetText(qx::kSerialLastColumn, "999");
  t.Store();
  qx::DocumentFileState file_state;
  const qx::JobDocument doc{t, file_state, m, b, 4};
  int64_t items = 0;
  const std::filesystem::path folder =
      files ? std::filesystem::temp_directory_path() /
                  ("qx-print-bench-" + std::to_string(getpid()))
            : std::filesystem::path();
  for (auto _ : state) {
    qx::FakeClock clock;
    qx::VirtualTransport vt(clock, qx::ParseVirtualPrinters(printer).printers, folder,
                            files ? qx::VirtualRecords::kFilesOnly : qx::VirtualRecords::kKept);
    qx::DeviceTable d;
    qx::EnumerateDevices(vt, d);
    d.handle = vt.OpenByPath(std::string(d.Path(0)).c_str());
    d.open = true;
    qx::PrintJob job;
    VirtualTimeHost host(clock);
    qx::WalkCounts counts;
    if (!qx::RunDeviceJob(vt, d, job, doc, host, &counts) || counts.sent != 1000)
      state.SkipWithError("the job failed");
    items += counts.sent;
  }
  state.counters["items/s"] = benchmark::Counter(static_cast<double>(items), benchmark::Counter::kIsRate);
  if (files) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
  }
}

void BM_PrintJobOf1000ItemsQB20(benchmark::State& s) { PrintJob(s, "qb20"); }
void BM_PrintJobOf1000ItemsQA11(benchmark::State& s) { PrintJob(s, "qa11"); }
BENCHMARK(BM_PrintJobOf1000ItemsQB20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintJobOf1000ItemsQA11)->Unit(benchmark::kMillisecond);
void BM_PrintJobOf1000ItemsQB20Files(benchmark::State& s) { PrintJob(s, "qb20", true); }
void BM_PrintJobOf1000ItemsQA11Files(benchmark::State& s) { PrintJob(s, "qa11", true); }
BENCHMARK(BM_PrintJobOf1000ItemsQB20Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintJobOf1000ItemsQA11Files)->Unit(benchmark::kMillisecond);

}  // namespace
