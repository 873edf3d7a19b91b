// Document files, the Excel import and the native export at the sizes operators use:
// a 10,000-Segment document saved and opened, a 10,000-row workbook imported, 200
// Segments exported (alone, and as the first 200 of a 10,000-Segment document, all of
// which the export numbers).
#include <benchmark/benchmark.h>
#include <zip.h>

#include <filesystem>
#include <string>

#include "document/document_file.h"
#include "document/excel_import.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/native_export.h"
#include "document/workbook.h"
#include "bench_support.h"

namespace {

using qx::bench::BenchDir;

// A working table of n Segments like a real job: wire numbers, some two-line.
void FillDocument(qx::DocumentState& doc, int n) {
  qx::NewDocument(doc, "working table");
  qx::SegmentTable& t = doc.table;
  qx::SegmentTable::Batch batch(t);
  for (int i = 0; i < n; ++i) {
    if (i > 0) {
      t.Append();
      qx::FillNewSegment(t);
    }
    std::string upper_text = "L";
    upper_text.append(std::to_string(i % 3 + 1)).append("-X").append(std::to_string(i));
    t.SetText(qx::kUpperLineColumn, upper_text);
    if (i % 5 == 0) t.SetText(qx::kLowerLineColumn, qx::gbk::Encode("端子").append(std::to_string(i)));
    t.SetInt(qx::kNumberColumn, i + 1);
    t.Store();
  }
  batch.Commit();
}

void BM_SaveDocument10000(benchmark::State& state) {
  qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
  FillDocument(doc, 10000);
  const auto file = BenchDir() / "bench.kel";
  for (auto _ : state) qx::WriteDocumentFile(doc.table, doc.settings, file, qx::DocumentRows::kAll);
}
BENCHMARK(BM_SaveDocument10000)->Unit(benchmark::kMillisecond);

void BM_OpenDocument10000(benchmark::State& state) {
  qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
  FillDocument(doc, 10000);
  const auto file = BenchDir() / "bench-open.kel";
  qx::WriteDocumentFile(doc.table, doc.settings, file, qx::DocumentRows::kAll);
  for (auto _ : state) {
    qx::SegmentTable working(std::make_unique<qx::MemoryRowStore>());
    working.Bind("working table");
    qx::DocumentSettings s;
    benchmark::DoNotOptimize(qx::ReadDocumentFile(file, working, s));
  }
}
BENCHMARK(BM_OpenDocument10000)->Unit(benchmark::kMillisecond);

// A plain .xlsx of `rows` rows with wire numbers in A and, every fifth row, a number in B.
// Empty path when it cannot be written.
std::filesystem::path MakeWorkbook(int rows) {
  const auto file = BenchDir() / ("bench-" + std::to_string(rows) + ".xlsx");
  std::string sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
      "xmlns=\"http://schemas.openxmlformats.org/"
      "spreadsheetml/2006/main\"><sheetData>";
  for (int r = 1; r <= rows; ++r) {
    sheet += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
             "\" t=\"inlineStr\"><is><t>L1-X" + std::to_string(r) + "</t></is></c>";
    if (r % 5 == 0)
      sheet += "<c r=\"B" + std::to_string(r) + "\"><v>" + std::to_string(r) + "</v></c>";
    sheet += "</row>";
  }
  sheet += "</sheetData></worksheet>";
  const std::string workbook =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook "
      "xmlns=\"http://schemas.openxmlformats.org/"
      "spreadsheetml/2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" "
      "r:id=\"rId1\"/></sheets></workbook>";
  const std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/"
      "package/2006/relationships\"><Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/"
      "officeDocument/2006/relationships/worksheet\" "
      "Target=\"worksheets/sheet1.xml\"/></Relationships>";
  const std::string root_rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/"
      "package/2006/relationships\"><Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/"
      "officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.xml\"/></Relationships>";
  const std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
      "xmlns=\"http://schemas.openxmlformats.org/package/"
      "2006/content-types\"><Default Extension=\"rels\" ContentType=\"application/"
      "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
      "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/></Types>";
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) return {};
  const std::pair<const char*, const std::string*> parts[] = {{"[Content_Types].xml", &types},
                                                              {"_rels/.rels", &root_rels},
                                                              {"xl/workbook.xml", &workbook},
                                                              {"xl/_rels/workbook.xml.rels", &rels},
                                                              {"xl/worksheets/sheet1.xml", &sheet}};
  for (const auto& [name, text] : parts) {
    zip_source_t* src = zip_source_buffer(z, text->data(), text->size(), 0);
    if (!src || zip_file_add(z, name, src, ZIP_FL_OVERWRITE) < 0) {
      if (src) zip_source_free(src);
      zip_discard(z);
      return {};
    }
  }
  if (zip_close(z) < 0) {
    zip_discard(z);
    return {};
  }
  return file;
}

void BM_ImportWorkbook10000(benchmark::State& state) {
  const auto file = MakeWorkbook(10000);
  if (file.empty()) {
    state.SkipWithError("cannot write the workbook");
    return;
  }
  for (auto _ : state) {
    qx::WorkbookError error{};
    auto rows = qx::OpenFirstSheet(file, &error);
    if (!rows) {
      state.SkipWithError("cannot open the workbook");
      break;
    }
    qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
    qx::NewDocument(doc, "working table");
    const qx::ImportResult r = qx::ImportSheet(doc.table, *rows);
    if (r.segments != 10000) state.SkipWithError("import incomplete");
  }
}
BENCHMARK(BM_ImportWorkbook10000)->Unit(benchmark::kMillisecond);

void BM_Export200(benchmark::State& state) {
  qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
  FillDocument(doc, 200);
  for (auto _ : state) benchmark::DoNotOptimize(qx::BuildNativeFile(doc.table, doc.settings));
}
BENCHMARK(BM_Export200)->Unit(benchmark::kMicrosecond);

void BM_Export200Of10000(benchmark::State& state) {
  qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
  FillDocument(doc, 10000);
  for (auto _ : state) benchmark::DoNotOptimize(qx::BuildNativeFile(doc.table, doc.settings));
}
BENCHMARK(BM_Export200Of10000)->Unit(benchmark::kMillisecond);

}  // namespace
