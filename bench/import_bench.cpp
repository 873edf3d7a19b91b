// The import's sources at the size of a large wire list: 10,000 rows as .xlsx, .ods and
// .csv, written here into a temporary folder. Two steps the import window takes: opening
// the file and previewing the first screenful of rows, and importing the whole sheet.
#include <benchmark/benchmark.h>

#include "import_sources.h"

#include "document/excel_import.h"
#include "document/memory_store.h"
#include "document/workbook.h"

namespace {

using qx::bench::kKinds;
using qx::bench::kRows;
using qx::bench::Source;

// Rows the import window previews.
constexpr int kScreenful = 200;

// Opening the file, listing its sheets and previewing the first screenful of rows with
// every column, as the import window does when a file is chosen.
void BM_ImportOpenAndPreview(benchmark::State& state) {
  const auto& file = Source(static_cast<int>(state.range(0)));
  state.SetLabel(kKinds[state.range(0)]);
  if (file.empty()) return state.SkipWithError("cannot write the source");
  for (auto _ : state) {
    qx::WorkbookError error{};
    auto book = qx::OpenWorkbook(file, &error);
    if (!book || book->sheet_names().empty()) return state.SkipWithError("cannot open the source");
    auto rows = book->OpenSheet(0, qx::kMaxSheetColumns, &error);
    if (!rows) return state.SkipWithError("cannot open the sheet");
    const qx::ImportPreview p = qx::PreviewImport(*rows, {}, kScreenful);
    if (p.rows.size() != kScreenful) return state.SkipWithError("preview incomplete");
  }
}
BENCHMARK(BM_ImportOpenAndPreview)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The whole sheet into a new Document, columns A and B, going on past empty rows.
void BM_ImportWhole(benchmark::State& state) {
  const auto& file = Source(static_cast<int>(state.range(0)));
  state.SetLabel(kKinds[state.range(0)]);
  if (file.empty()) return state.SkipWithError("cannot write the source");
  qx::ImportOptions options;
  options.skip_empty_rows = true;
  for (auto _ : state) {
    qx::WorkbookError error{};
    auto book = qx::OpenWorkbook(file, &error);
    if (!book) return state.SkipWithError("cannot open the source");
    auto rows = book->OpenSheet(options.sheet, options.columns(), &error);
    if (!rows) return state.SkipWithError("cannot open the sheet");
    qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
    qx::NewDocument(doc, "working table");
    const qx::ImportResult r = qx::ImportSheet(doc.table, *rows, options);
    if (r.segments != kRows) return state.SkipWithError("import incomplete");
  }
}
BENCHMARK(BM_ImportWhole)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
