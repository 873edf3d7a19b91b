// Opening the job preview of a 10,000-item job: ten Segments "L1-A№" to "L10-A№" with the
// serial values 0..999 each, 25 mm on a 4 mm² sleeve. Build: the job walked as printing
// walks it (layout, fit check, raster of every item). Open: that, the rows wrapped to a
// 1,000-pixel window and the first screenful of rows drawn, as the window shows it.
// Scroll: one more screenful drawn, far down the job.
#include <benchmark/benchmark.h>

#include "app/job_preview_window.h"
#include "document/document.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "layout/freetype_canvas.h"

namespace {

struct TenThousandItems {
  qx::DocumentState doc{std::make_unique<qx::MemoryRowStore>()};
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::GlyphMeasurer measurer{measure_canvas};
  qx::ImageBuilder builder{glyph_canvas, measurer};
  qx::PrintJob job;

  TenThousandItems() {
    qx::NewDocument(doc, "job preview bench");
    doc.settings.material_index = 4;  // 套管 4.0平方
    qx::ReadDocumentSettings(doc.settings, doc.file_state);
    measurer.SetFace("黑体");
    builder.renderer().SelectFont("黑体", false);
    qx::SegmentTable& t = doc.table;
    for (int segment = 1; segment <= 10; ++segment) {
      if (segment > 1) t.Append();
      t.Edit();
      t.SetInt(qx::kNumberColumn, segment);
      t.SetText(qx::kUpperLineColumn, qx::gbk::Encode("L" + std::to_string(segment) + "-A") +
                                          std::string(qx::gbk::kSerialMark));
      t.SetInt(qx::kLengthColumn, 25);
      t.SetText(qx::kSizeColumn, qx::gbk::Encode("4 号"));
      t.SetText(qx::kOrientationColumn, qx::gbk::Encode("横向"));
      t.SetText(qx::kDecorationColumn, qx::gbk::Encode("取消修饰"));
      t.SetInt(qx::kRepeatColumn, 1);
      t.SetText(qx::kSerialTypeColumn, qx::gbk::Encode("序号0-999"));
      t.SetText(qx::kSerialFirstColumn, "0");
      t.SetText(qx::kSerialLastColumn, "999");
      t.Store();
    }
    job.StartRow = 1;
    job.EndRow = t.RowCount();
  }
  qx::JobPreview Build() {
    return qx::JobPreview::Build({doc.table, doc.file_state, measurer, builder}, job);
  }
};

// The rows a 700-pixel-high view shows from pixel row `top` on, drawn.
void DrawScreenful(const qx::JobPreviewWindow& w, int top) {
  const auto [first, last] = w.RowsWithin(top, 700);
  for (int r = first; r <= last; ++r) benchmark::DoNotOptimize(w.DrawRow(r).pixels.data());
}

void BM_JobPreview10000Items_Build(benchmark::State& state) {
  TenThousandItems job;
  for (auto _ : state) benchmark::DoNotOptimize(job.Build().markers());
}
BENCHMARK(BM_JobPreview10000Items_Build)->Unit(benchmark::kMillisecond);

void BM_JobPreview10000Items_Open(benchmark::State& state) {
  TenThousandItems job;
  std::size_t items = 0;
  for (auto _ : state) {
    qx::JobPreviewWindow w(job.Build(), {});
    w.SetViewWidth(1000);
    DrawScreenful(w, 0);
    items = w.preview().size();
  }
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_JobPreview10000Items_Open)->Unit(benchmark::kMillisecond);

void BM_JobPreview10000Items_ScrollScreenful(benchmark::State& state) {
  TenThousandItems job;
  qx::JobPreviewWindow w(job.Build(), {});
  w.SetViewWidth(1000);
  for (auto _ : state) DrawScreenful(w, w.content_height() * 3 / 4);
}
BENCHMARK(BM_JobPreview10000Items_ScrollScreenful)->Unit(benchmark::kMillisecond);

}  // namespace
