// libFuzzer target for the workbook readers and the number formats.
//
// The first byte of an input chooses what it feeds:
//   'P' or 0xD0 (a zip or compound file signature): the bytes are a workbook as they are;
//   'Z': the rest is the parts of an .xlsx package, separated by "\n--\n", in the order of
//        kParts below; they are packed into a valid zip here, so the XML readers are reached
//        although a mutated deflate stream or checksum would stop them at the zip layer;
//   'F': 8 bytes of a double, then a number format code, for FormatNumber;
//   anything else: the bytes as a workbook (which must be refused as not one).
//
// Build and run: see the lines at the end of this file.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "document/workbook.h"
#include "zip_pack.h"

namespace {

constexpr const char* kParts[] = {
    "_rels/.rels",          "xl/workbook.xml",      "xl/_rels/workbook.xml.rels",
    "xl/styles.xml",        "xl/sharedStrings.xml", "xl/worksheets/sheet1.xml",
};

// An .xlsx package of the given parts, in the order of kParts.
std::vector<unsigned char> Pack(const std::vector<std::string_view>& parts) {
  std::vector<std::pair<std::string_view, std::string_view>> named;
  for (std::size_t i = 0; i < parts.size() && i < std::size(kParts); ++i)
    named.emplace_back(kParts[i], parts[i]);
  return qx::fuzz::PackStored(named);
}

void ReadWorkbook(std::span<const unsigned char> bytes) {
  // Small limits, so that a mutated size or count is refused quickly instead of reading
  // hundreds of megabytes; the code paths are the same as with the default limits.
  qx::WorkbookLimits limits;
  limits.xls_file_bytes = 1 << 20;
  limits.xlsx_part_bytes = 1 << 20;
  limits.shared_strings_bytes = 4 << 20;
  limits.shared_text_bytes = 1 << 20;
  limits.shared_string_count = 10000;
  limits.sheet_bytes = 8 << 20;
  limits.cell_text_bytes = 1 << 16;
  qx::WorkbookError error = qx::WorkbookError::kNone;
  auto sheet = qx::OpenFirstSheet(bytes, &error, limits);
  if (!sheet) {
    if (error == qx::WorkbookError::kNone) __builtin_trap();  // a refusal must say why
    return;
  }
  std::string a, b;
  for (int i = 0; i < 200000 && sheet->Next(a, b); ++i) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const unsigned char> all(data, size);
  switch (data[0]) {
    case 'Z': {
      const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
      std::vector<std::string_view> parts;
      std::size_t start = 0;
      for (;;) {
        const std::size_t sep = rest.find("\n--\n", start);
        parts.push_back(rest.substr(start, sep == std::string_view::npos ? rest.npos : sep - start));
        if (sep == std::string_view::npos) break;
        start = sep + 4;
      }
      const std::vector<unsigned char> zip = Pack(parts);
      ReadWorkbook(zip);
      break;
    }
    case 'F': {
      if (size < 9) return 0;
      double v;
      std::memcpy(&v, data + 1, sizeof v);
      const std::string_view code(reinterpret_cast<const char*>(data + 9), size - 9);
      (void)qx::FormatNumber(v, code, false);
      (void)qx::FormatNumber(v, code, true);
      (void)qx::GeneralNumberText(v);
      break;
    }
    default:
      ReadWorkbook(all);
  }
  return 0;
}

// Build: scripts/fuzz builds it (CMake with -DQX_FUZZ=ON, see fuzz/CMakeLists.txt), seeds and
// runs it.
// Seed corpus and run (corpus folder outside the repository):
//   build-fuzz/workbook_fuzz -max_total_time=300 -max_len=200000 -rss_limit_mb=2048 CORPUS tests/fixtures/excel/*.xls*
