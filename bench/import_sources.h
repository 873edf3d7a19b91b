// Large wire lists for the import benchmarks: 10,000 rows as .xlsx, .ods and .csv, written
// once into a temporary folder that is removed at exit.
#pragma once

#include <zip.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"

namespace qx::bench {

inline constexpr int kRows = 10000;

// Row r's cells: a wire number, every fifth row a terminal, every seventh a cross-section.
inline std::array<std::string, 3> Cells(int r) {
  return {"L" + std::to_string(r % 3 + 1) + "-X" + std::to_string(r), r % 5 == 0 ? "端子" + std::to_string(r) : "",
          r % 7 == 0 ? "2.5 m²" : ""};
}

inline std::string XmlEscape(const std::string& s) { return s; }  // the cells hold no markup characters

inline bool WriteZip(const std::filesystem::path& file, const std::vector<std::pair<std::string, std::string>>& parts) {
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) return false;
  for (const auto& [name, text] : parts) {
    zip_source_t* src = zip_source_buffer(z, text.data(), text.size(), 0);
    if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
      if (src) zip_source_free(src);
      zip_discard(z);
      return false;
    }
  }
  if (zip_close(z) < 0) {
    zip_discard(z);
    return false;
  }
  return true;
}

inline std::filesystem::path MakeXlsx() {
  const auto file = BenchDir() / "list.xlsx";
  std::string sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  for (int r = 1; r <= kRows; ++r) {
    const auto c = Cells(r);
    sheet += "<row r=\"" + std::to_string(r) + "\">";
    for (int k = 0; k < 3; ++k)
      if (!c[k].empty())
        sheet += "<c r=\"" + std::string(1, static_cast<char>('A' + k)) + std::to_string(r) +
                 "\" t=\"inlineStr\"><is><t>" + XmlEscape(c[k]) + "</t></is></c>";
    sheet += "</row>";
  }
  sheet += "</sheetData></worksheet>";
  const std::string rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string pkg_ns = "http://schemas.openxmlformats.org/package/2006/relationships";
  return WriteZip(file, {{"_rels/.rels", "<Relationships xmlns=\"" + pkg_ns + "\"><Relationship Id=\"rId1\" Type=\"" +
                                             rel_ns + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                         {"xl/workbook.xml",
                          "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"" +
                              rel_ns + "\"><sheets><sheet name=\"线号\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
                         {"xl/_rels/workbook.xml.rels", "<Relationships xmlns=\"" + pkg_ns +
                                                            "\"><Relationship Id=\"rId1\" Type=\"" + rel_ns +
                                                            "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                                                            "</Relationships>"},
                         {"xl/worksheets/sheet1.xml", sheet}})
             ? file
             : std::filesystem::path();
}

// As LibreOffice writes it: cells with office:value-type and a text:p, empty cells as
// repeats, and the rest of the sheet as one repeated empty row.
inline std::filesystem::path MakeOds() {
  const auto file = BenchDir() / "list.ods";
  std::string content =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>"
      "<table:table table:name=\"线号\"><table:table-column table:number-columns-repeated=\"3\"/>";
  for (int r = 1; r <= kRows; ++r) {
    const auto c = Cells(r);
    content += "<table:table-row table:style-name=\"ro1\">";
    for (const std::string& cell : c)
      content += cell.empty() ? "<table:table-cell/>"
                              : "<table:table-cell office:value-type=\"string\"><text:p>" + cell +
                                    "</text:p></table:table-cell>";
    content += "</table:table-row>";
  }
  content +=
      "<table:table-row table:number-rows-repeated=\"1038576\"><table:table-cell "
      "table:number-columns-repeated=\"1024\"/></table:table-row></table:table>"
      "</office:spreadsheet></office:body></office:document-content>";
  return WriteZip(file, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}})
             ? file
             : std::filesystem::path();
}

inline std::filesystem::path MakeCsv() {
  const auto file = BenchDir() / "list.csv";
  std::ofstream out(file, std::ios::binary);
  out << "\xEF\xBB\xBF";
  for (int r = 1; r <= kRows; ++r) {
    const auto c = Cells(r);
    out << c[0] << ',' << (r % 11 == 0 ? "\"" + c[1] + ", a\"" : c[1]) << ',' << c[2] << "\r\n";
  }
  return out ? file : std::filesystem::path();
}

inline const std::filesystem::path& Source(int kind) {
  static const std::array<std::filesystem::path, 3> files = {MakeXlsx(), MakeOds(), MakeCsv()};
  return files[static_cast<std::size_t>(kind)];
}

inline const char* const kKinds[] = {"xlsx", "ods", "csv"};

}  // namespace qx::bench
