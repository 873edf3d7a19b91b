// The import window on a large wire list (10,000 rows as .xlsx, .ods and .csv): the window
// opened (the file read, its first rows previewed with every column), a choice made in it,
// and the whole import through the window model into the working table (SQLite), as the
// operator gets it after "导入".
#include <benchmark/benchmark.h>

#include <filesystem>

#include "app/import_window.h"
#include "app/main_window_model.h"
#include "document/sqlite_store.h"
#include "headless_ui.h"
#include "import_sources.h"
#include "layout/freetype_canvas.h"

namespace {

using qx::bench::kKinds;
using qx::bench::kRows;
using qx::bench::Source;

void BM_ImportWindowOpen(benchmark::State& state) {
  const auto& file = Source(static_cast<int>(state.range(0)));
  state.SetLabel(kKinds[state.range(0)]);
  if (file.empty()) return state.SkipWithError("cannot write the source");
  for (auto _ : state) {
    qx::WorkbookError error{};
    auto book = qx::OpenWorkbook(file, &error);
    if (!book) return state.SkipWithError("cannot open the source");
    qx::ImportWindow window(file, std::move(book), 0);
    if (static_cast<int>(window.preview().rows.size()) != qx::ImportWindow::kPreviewRows)
      return state.SkipWithError("preview incomplete");
  }
}
BENCHMARK(BM_ImportWindowOpen)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// A choice in the open window (the header row on and off): the grid and the texts anew.
void BM_ImportWindowChoice(benchmark::State& state) {
  const auto& file = Source(static_cast<int>(state.range(0)));
  state.SetLabel(kKinds[state.range(0)]);
  if (file.empty()) return state.SkipWithError("cannot write the source");
  qx::WorkbookError error{};
  auto book = qx::OpenWorkbook(file, &error);
  if (!book) return state.SkipWithError("cannot open the source");
  qx::ImportWindow window(file, std::move(book), 0);
  bool header = false;
  for (auto _ : state) {
    header = !header;
    window.SetHeader(header);
    if (static_cast<int>(window.preview().rows.size()) != qx::ImportWindow::kPreviewRows)
      return state.SkipWithError("preview incomplete");
  }
}
BENCHMARK(BM_ImportWindowChoice)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_ImportThroughTheWindow(benchmark::State& state) {
  const auto& file = Source(static_cast<int>(state.range(0)));
  state.SetLabel(kKinds[state.range(0)]);
  if (file.empty()) return state.SkipWithError("cannot write the source");
  const auto dir = qx::bench::BenchDir() / "window";
  std::filesystem::create_directories(dir);
  qx::bench::HeadlessUi ui;
  ui.import_result = qx::ImportWindow::kResultImport;  // "导入" with the defaults
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::MainWindowModel model(ui, std::make_unique<qx::SqliteRowStore>(), measure_canvas,
                            glyph_canvas);
  model.Start(1024, 768, dir, dir / "TL.$$$");
  model.OnActivated();
  for (auto _ : state) {
    // Each import replaces the last one, which is given up unsaved ("否").
    model.Run([&] { model.OnImportButton(&file); });
    if (model.table().RowCount() < kRows / 2) return state.SkipWithError("import incomplete");
  }
}
BENCHMARK(BM_ImportThroughTheWindow)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
