// A realistic job: 1,000 items of "L1-A" followed by a serial value 0..999, size 4 on a
// 4 mm² sleeve, each laid out and built as the print job does. Once with every cache on
// (measured widths, rendered glyphs), once with every glyph drawn and measured afresh.
#include <benchmark/benchmark.h>

#include "document/gbk.h"
#include "layout/fit.h"
#include "layout/freetype_canvas.h"
#include "layout/image.h"

namespace {

void BuildJob(benchmark::State& state, bool caching) {
  qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  measure_canvas.SetGlyphCacheEnabled(caching);
  glyph_canvas.SetGlyphCacheEnabled(caching);
  qx::GlyphMeasurer m(measure_canvas);
  m.SetRemembering(caching);
  qx::ImageBuilder b(glyph_canvas, m);
  b.renderer().SelectFont("黑体", false);
  b.renderer().SetCaching(caching);

  qx::SegmentValues v;
  v.LengthDots = 25 * 110 / 10;
  v.SizeCode = 4;
  v.SerialType = qx::kSerialDecimal;
  qx::DocumentFileState p;
  p.MaterialCode = 5;
  const std::string text = qx::gbk::Encode("L1-A") + std::string(qx::gbk::kSerialMark);
  qx::ItemImage img;
  int64_t items = 0;
  for (auto _ : state) {
    for (uint16_t value = 0; value < 1000; ++value) {
      const std::string serial = qx::SerialText(qx::kSerialDecimal, value, 999);
      v.SerialWidth = static_cast<uint8_t>(serial.size());
      const qx::LayoutContext c{m, v, p, serial};
      if (qx::MakeItem(b, c, text, "", img) != qx::ItemResult::kBuilt) state.SkipWithError("not built");
      benchmark::DoNotOptimize(img.columns.data());
      ++items;
    }
  }
  state.counters["items/s"] = benchmark::Counter(static_cast<double>(items), benchmark::Counter::kIsRate);
}

void BM_JobOf1000Items(benchmark::State& s) { BuildJob(s, true); }
void BM_JobOf1000ItemsDrawnAfresh(benchmark::State& s) { BuildJob(s, false); }
BENCHMARK(BM_JobOf1000Items)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JobOf1000ItemsDrawnAfresh)->Unit(benchmark::kMillisecond);

}  // namespace
