// libFuzzer target for the import's own sources and rules: .ods spreadsheets, text tables
// and turning rows into Segments.
//
// The first byte of an input chooses what it feeds:
//   'O': the rest is the content.xml of an .ods package, packed here (with its mimetype) so
//        the XML reader is reached although a mutated zip would stop at the zip layer;
//   'C': the rest is a text table named .csv (separator told from the content);
//   'T': the rest is a text table named .tsv;
//   anything else: the bytes as any source, told by their content.
// Every sheet is read with every column, and its rows go through the import's preview and
// the import with options taken from the input's length.
//
// Build and run: scripts/fuzz (see fuzz/CMakeLists.txt).
#include <string>
#include <string_view>
#include <vector>

#include "document/excel_import.h"
#include "document/memory_store.h"
#include "document/workbook.h"
#include "zip_pack.h"

namespace {

// An .ods package: its mimetype and `content`.
std::vector<unsigned char> PackOds(std::string_view content) {
  static constexpr std::string_view kMime = "application/vnd.oasis.opendocument.spreadsheet";
  return qx::fuzz::PackStored({{"mimetype", kMime}, {"content.xml", content}});
}

void ReadSource(std::span<const unsigned char> bytes, const char* name, std::size_t seed) {
  // Small limits, so that a mutated count or size is refused quickly; the code paths are
  // the same as with the default limits.
  qx::WorkbookLimits limits;
  limits.sheet_bytes = 8 << 20;
  limits.cell_text_bytes = 1 << 16;
  limits.text_file_bytes = 1 << 20;
  qx::WorkbookError error = qx::WorkbookError::kNone;
  auto book = qx::OpenWorkbook(bytes, &error, limits, nullptr, name);
  if (!book) {
    if (error == qx::WorkbookError::kNone) __builtin_trap();  // a refusal must say why
    return;
  }
  const std::size_t sheets = book->sheet_names().size();
  for (std::size_t s = 0; s < sheets && s < 4; ++s) {
    auto rows = book->OpenSheet(s, qx::kMaxSheetColumns, &error);
    if (!rows) {
      if (error == qx::WorkbookError::kNone) __builtin_trap();
      continue;
    }
    qx::ImportOptions options;
    options.header = seed & 1;
    options.skip_empty_rows = seed & 2;
    options.upper_column = static_cast<int>(seed % 3);
    options.lower_column = (seed & 4) ? qx::kNoColumn : static_cast<int>((seed / 3) % 26);
    if (options.lower_column == options.upper_column) options.lower_column = qx::kNoColumn;
    (void)qx::PreviewImport(*rows, options, 40);
    auto again = book->OpenSheet(s, options.columns(), &error);
    if (!again) continue;
    qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
    qx::NewDocument(doc, "TL");
    (void)qx::ImportSheet(doc.table, *again, options);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const unsigned char> rest(data + 1, size - 1);
  switch (data[0]) {
    case 'O': {
      const std::vector<unsigned char> ods =
          PackOds(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
      ReadSource(ods, "", size);
      break;
    }
    case 'C':
      ReadSource(rest, "list.csv", size);
      break;
    case 'T':
      ReadSource(rest, "list.tsv", size);
      break;
    default:
      ReadSource(std::span<const unsigned char>(data, size), "", size);
  }
  return 0;
}
