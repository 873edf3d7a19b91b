// libFuzzer target for our document files as the printer application takes them from the
// network, with the job attributes a client chooses.
//
// The first four bytes are the job's attributes: copies (1..4), the first and the last
// Segment of segment-range (0: none), and the order with the first marker; the rest is the
// document file. It is read as a job reads it (ReadJobDocument), then the job's markers are
// laid out and built as the printer would be sent them, up to 64 of them. Nothing may
// crash, read outside its input, or take time or memory out of proportion to it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "device/print_job.h"
#include "document/memory_store.h"
#include "input_file.h"
#include "layout/freetype_canvas.h"
#include "printer_app/job_document.h"

namespace {

const std::filesystem::path& File() { return qx::fuzz::InputFile("job"); }

constexpr int kMarkersBuilt = 64;

}  // namespace

// fontconfig keeps what it sets up once for the life of the process: no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  qx::fuzz::WriteInput(File(), data + 4, size - 4);

  qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
  doc.table.Bind("working table");
  std::string detail;
  if (qx::papp::ReadJobDocument(File(), doc, detail) != qx::papp::JobDocumentRead::kOk) return 0;

  qx::JobChoice choice;
  choice.copies = 1 + data[0] % 4;
  choice.first = data[1];
  choice.last = data[2];
  choice.repeat_first = (data[3] & 1) != 0;
  qx::PrintJob job = qx::JobOf(choice, doc.table);
  job.FromItem = 1 + (data[3] >> 1);

  static qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  qx::GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(doc.settings.font_face);
  qx::ImageBuilder builder(glyph_canvas, measurer);
  builder.SelectPrintFont(qx::PrintFontOf(doc.settings));
  const qx::JobDocument jd{doc.table, doc.file_state, measurer, builder, 4};
  qx::WalkCounts counts;
  int built = 0;
  qx::WalkSegments(jd, job, [&](const qx::ItemImage& item, uint8_t) {
    // An item the walk hands over is one the printer can take.
    if (item.columns.size() != static_cast<std::size_t>(item.ColumnCount) * qx::kColumnBytes)
      std::abort();
    return ++built < kMarkersBuilt;
  }, counts);
  return 0;
}
