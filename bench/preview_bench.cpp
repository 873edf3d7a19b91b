// The preview of a 10,000-item job, as `qxlabel preview` makes it: ten Segments "L1-A"
// to "L10-A" with a serial value 0..999 each, 25 mm on a 4 mm² sleeve. Build: every item
// laid out and built, wrapped into rows at the preview's scale 2 and drawn (one palette
// index a dot; the PNG writer makes each dot a 2 x 2 block). Png: the picture written as
// the palette PNG the command writes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "document/gbk.h"
#include "layout/fit.h"
#include "layout/freetype_canvas.h"
#include "layout/image.h"
#include "layout/tape.h"

namespace {

struct PreviewJob {
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::GlyphMeasurer m{measure_canvas};
  qx::ImageBuilder b{glyph_canvas, m};
  std::vector<qx::ItemImage> items;

  PreviewJob() { b.renderer().SelectFont("黑体", false); }

  void Build() {
    items.clear();
    qx::SegmentValues v;
    v.LengthDots = 25 * 110 / 10;
    v.SizeCode = 4;
    v.SerialType = qx::kSerialDecimal;
    qx::DocumentFileState p;
    p.MaterialCode = 5;
    for (int segment = 1; segment <= 10; ++segment) {
      const std::string text =
          qx::gbk::Encode("L" + std::to_string(segment) + "-A") + std::string(qx::gbk::kSerialMark);
      for (uint16_t value = 0; value < 1000; ++value) {
        const std::string serial = qx::SerialText(qx::kSerialDecimal, value, 999);
        v.SerialWidth = static_cast<uint8_t>(serial.size());
        const qx::LayoutContext c{m, v, p, serial};
        qx::ItemImage img;
        if (qx::MakeItem(b, c, text, "", img) == qx::ItemResult::kBuilt)
          items.push_back(std::move(img));
      }
    }
  }
};

// Every row drawn, one after the other, into the band the PNG writer takes, as the
// command draws them.
void BM_Preview10000Items_Build(benchmark::State& state) {
  PreviewJob job;
  for (auto _ : state) {
    job.Build();
    const qx::TapeRows rows = qx::WrapRows(job.items, 2).Unscaled();
    qx::IndexedImage band(rows.width, rows.row_height, qx::TapePalette(), qx::kBlankIndex);
    for (int k = 0; k < rows.rows(); ++k) {
      qx::DrawRows(job.items, rows, k, 1, band);
      benchmark::DoNotOptimize(band.pixels.data());
    }
  }
  state.counters["items"] = static_cast<double>(job.items.size());
}
BENCHMARK(BM_Preview10000Items_Build)->Unit(benchmark::kMillisecond);

// The same with the whole picture held in memory at once (one index a dot, 290 MB).
void BM_Preview10000Items_BuildWhole(benchmark::State& state) {
  PreviewJob job;
  for (auto _ : state) {
    job.Build();
    const qx::TapeRows rows = qx::WrapRows(job.items, 2).Unscaled();
    const qx::IndexedImage picture = qx::RenderRows(job.items, rows);
    benchmark::DoNotOptimize(picture.pixels.data());
  }
}
BENCHMARK(BM_Preview10000Items_BuildWhole)->Unit(benchmark::kMillisecond);

void BM_Preview10000Items_Png(benchmark::State& state) {
  PreviewJob job;
  job.Build();
  const qx::TapeRows rows = qx::WrapRows(job.items, 2).Unscaled();
  const qx::IndexedImage picture = qx::RenderRows(job.items, rows);
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("qx-bench-" + std::to_string(getpid()) + ".png");
  const qx::FillBand whole = [&](int y, qx::IndexedImage& band) {
    const int n = std::min(100, picture.height - y);
    band.width = picture.width;
    band.height = n;
    band.pixels.assign(picture.Row(y),
                       picture.Row(y) + static_cast<std::size_t>(n) * picture.width);
    return n;
  };
  for (auto _ : state) {
    std::string error;
    if (!qx::WriteIndexedPng(file, picture.width, picture.height, 2, qx::TapePalette(), whole,
                             &error))
      state.SkipWithError(error.c_str());
  }
  std::filesystem::remove(file);
  state.counters["pixels"] = 4.0 * picture.width * picture.height;
}
BENCHMARK(BM_Preview10000Items_Png)->Unit(benchmark::kMillisecond);

}  // namespace
