// A whole print job through the protocol to a virtual printer of each generation: 1,000
// items of "L1-A" with a serial value 0..999 on a 4 mm² sleeve, from the Document's rows
// to the last message (host waits on virtual time). What it costs the host beyond
// building the images: the messages, checksums and the printer's own checking.
#include <benchmark/benchmark.h>

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

void PrintJob(benchmark::State& state, std::string_view printer) {
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
  for (auto _ : state) {
    qx::FakeClock clock;
    qx::VirtualTransport vt(clock, qx::ParseVirtualPrinters(printer).printers, "");
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
}

void BM_PrintJobOf1000ItemsQB20(benchmark::State& s) { PrintJob(s, "qb20"); }
void BM_PrintJobOf1000ItemsQA11(benchmark::State& s) { PrintJob(s, "qa11"); }
BENCHMARK(BM_PrintJobOf1000ItemsQB20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintJobOf1000ItemsQA11)->Unit(benchmark::kMillisecond);

}  // namespace
