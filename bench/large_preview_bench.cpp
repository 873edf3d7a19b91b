// The preview of the largest document, as `qxlabel preview DOC.kel OUT.png` makes it:
// 65,535 one-item Segments read from their document file, every marker laid out and built
// by the print job's walk, and the tape written as pages of palette PNG (rows about 4000
// pixels wide at scale 2, a page about 65,535 pixels tall). No more than a page of markers
// is held at a time. The command also writes its pages on their own threads; this runs on
// one.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "long_document.h"
#include "device/job_preview.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/paradox.h"
#include "layout/freetype_canvas.h"
#include "layout/measure.h"
#include "layout/png.h"
#include "layout/tape.h"

namespace {

constexpr int kSegments = 65535;

std::filesystem::path LargestDocument() { return qx::bench::LongDocument(kSegments); }

// One page of markers written as the command writes it.
bool WritePage(const std::filesystem::path& file, const std::vector<qx::ItemImage>& items,
               std::string* error) {
  const qx::TapeRows dots = qx::WrapRows(items, 2).Unscaled();
  const int pitch = dots.row_height + dots.gap;
  const qx::FillBand band = [&](int y, qx::IndexedImage& b) {
    const int k = y == 0 ? 0 : (y + dots.gap) / pitch;
    b.width = dots.width;
    b.height = k == 0 ? dots.row_height : pitch;
    b.pixels.resize(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height));
    if (k == 0) {
      qx::DrawRows(items, dots, 0, 1, b);
    } else {
      std::memset(b.pixels.data(), qx::kGapIndex,
                  static_cast<std::size_t>(dots.gap) * static_cast<std::size_t>(b.width));
      qx::DrawRows(items, dots, k, 1, b, dots.gap);
    }
    return b.height;
  };
  return qx::WriteIndexedPng(file, dots.width, dots.HeightOf(dots.rows()), 2, qx::TapePalette(),
                             band, error);
}

void BM_PreviewLargestDocument(benchmark::State& state) {
  const std::filesystem::path doc_file = LargestDocument();
  const std::filesystem::path png = qx::bench::BenchDir() / "largest.png";
  std::size_t items = 0;
  for (auto _ : state) {
    qx::DocumentState doc{std::make_unique<qx::MemoryRowStore>()};
    doc.table.Bind("working table");
    qx::ReadDocumentFile(doc_file, doc.table, doc.settings);
    qx::ReadDocumentSettings(doc.settings, doc.file_state);
    qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
    qx::GlyphMeasurer measurer(measure_canvas);
    measurer.SetFace(doc.settings.font_face);
    qx::ImageBuilder builder(glyph_canvas, measurer);
    builder.SelectPrintFont(qx::PrintFontOf(doc.settings));
    qx::TidyForPrint(doc.table);
    const qx::PrintJob job = qx::JobOf(qx::JobChoice{}, doc.table);
    // About a page: rows of some 7 markers, 330 rows.
    constexpr std::size_t kPageItems = 2300;
    std::vector<qx::ItemImage> page;
    std::string error;
    items = 0;
    qx::JobPreview::Walk({doc.table, doc.file_state, measurer, builder}, job,
                         [&](const qx::JobEntry&, const qx::ItemImage* item) {
                           if (!item) return true;
                           ++items;
                           page.push_back(*item);
                           if (page.size() < kPageItems) return true;
                           const bool ok = WritePage(png, page, &error);
                           page.clear();
                           return ok;
                         });
    if (error.empty() && !page.empty()) WritePage(png, page, &error);
    if (!error.empty()) state.SkipWithError(error.c_str());
  }
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_PreviewLargestDocument)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
