// Choosing a row in the Segment list of a long document, as the list sends it to the window
// model: the last Segment (End), then the first (Home), through the whole event the window
// runs, with the refresh the window then draws counted. The cost should follow the rows
// walked over in the table, never a refresh per row.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "app/main_window_model.h"
#include "document/document.h"
#include "document/memory_store.h"
#include "headless_ui.h"
#include "layout/freetype_canvas.h"

namespace {

struct LongDocument {
  qx::bench::HeadlessUi ui;
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::MainWindowModel model{ui, std::make_unique<qx::MemoryRowStore>(), measure_canvas,
                            glyph_canvas};
  int refreshes = 0;

  LongDocument(const std::filesystem::path& dir, int segments) {
    model.Start(1024, 768, dir, dir / "TL.$$$");
    model.OnActivated();
    qx::SegmentTable& t = model.table();
    t.DetachControls();
    for (int i = 1; i <= segments; ++i) {
      if (i > 1) {
        t.Append();
        qx::FillNewSegment(t);
      }
      t.Edit();
      t.SetText(qx::kUpperLineColumn, "L" + std::to_string(i));
      t.SetInt(qx::kNumberColumn, i);
      t.Store();
    }
    t.AttachControls();
    model.SetRefreshHandler([this] { ++refreshes; });
  }
  void Choose(int row) {
    model.Run([&] { model.segment_list().OnGridRowClicked(row); });
  }
};

void BM_ChooseLastThenFirstSegment(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "qx-segment-list-bench";
  std::filesystem::create_directories(dir);
  const int segments = static_cast<int>(state.range(0));
  LongDocument doc(dir, segments);
  doc.Choose(1);  // the last Segment, current after the fill, is left
  doc.refreshes = 0;
  for (auto _ : state) {
    doc.Choose(segments);
    doc.Choose(1);
  }
  state.counters["refreshes_per_choice"] =
      static_cast<double>(doc.refreshes) / (2.0 * static_cast<double>(state.iterations()));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ChooseLastThenFirstSegment)->Arg(10000)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace
