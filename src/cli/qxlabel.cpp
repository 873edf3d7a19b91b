// qxlabel: the command-line side of QX Editor.
//
//   qxlabel dump DOC.kel
//       Prints the Segments and the settings row of a document file as UTF-8,
//       tab-separated, thirteen columns, \N for null.
//   qxlabel build ROWS.tsv OUT.kel
//       The reverse of dump: writes the rows, as dump prints them, into a document file.
//       Empty lines and lines starting with # are skipped.
//   qxlabel export DOC.kel OUT.qxf
//       Writes the native printer file exactly as the editor would for that Document.
//   qxlabel import BOOK.xls|BOOK.xlsx OUT.kel
//       Builds the Document as the editor's Excel import would and saves it. A sheet that
//       is damaged part-way gives the rows before the damage, as in the editor, and exit
//       status 1.
//   qxlabel preview DOC.kel OUT.png [--label-cal N] [--tube-cal N] [--scale N]
//       Draws every printed item of every Segment (repeats and serial values, serial
//       first) as one strip of tape.
//   qxlabel preview [options] TEXT [SECOND-LINE] -o OUT.png
//       Lays out and draws a Segment exactly as the printer will print it and writes the
//       tape as a PNG: one item, or one item per serial value with --serial.
//   qxlabel measure [--face NAME] [--size CODE] TEXT
//       Measures TEXT the way the editor does while typing.
//   qxlabel fonts
//       Lists the font faces the editor offers.
//   qxlabel devices
//       Lists the printers found (USB, and the virtual printers QX_VIRTUAL_PRINTERS names).
//   qxlabel print DOC.kel [--printer N] [--copies N] [--range A-B] [--repeat-first]
//                 [--density 1-7]
//       Prints a document as the editor's print command does (after the same tidying),
//       with progress on the terminal and the printer's messages on stderr; exit status 1
//       when the job fails. Ctrl-C stops the printer.
//
// Texts are UTF-8; in them № stands for the serial value, ↖ and ↙ make the next
// character a superscript or subscript.
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/print_command.h"
#include "document/atomic_file.h"
#include "document/document_file.h"
#include "document/excel_import.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/native_export.h"
#include "document/paradox_store.h"
#include "document/workbook.h"
#include "layout/fit.h"
#include "layout/font_resolver.h"
#include "layout/freetype_canvas.h"
#include "layout/image.h"
#include "layout/measure.h"
#include "layout/print_items.h"
#include "layout/raster.h"
#include "layout/sizes.h"
#include "layout/tape.h"

namespace {

using namespace qx;
using cli::ParseInt;

constexpr const char kUsage[] =
    "usage: qxlabel preview [options] TEXT [SECOND-LINE] -o OUT.png\n"
    "         --size 0-7        font size code, 0 automatic (default 4)\n"
    "         --length MM       Segment length, 0 automatic (default 25)\n"
    "         --material 1-7    贴纸 6/9/12mm, 套管 1.0/4.0/6.0平方, 热缩管 (default 5)\n"
    "         --border | --underline   decoration\n"
    "         --vertical        vertical text\n"
    "         --spacing 1-20    character spacing in dots (default 4)\n"
    "         --left            left alignment (default centred)\n"
    "         --cut 0-2         全无, 半切, 分隔线 (default 1)\n"
    "         --face NAME       font face (default 黑体)\n"
    "         --bold            print bold\n"
    "         --serial A-B      one item per serial value (numbers, or letters like A-F)\n"
    "         --padded          zero-pad serial numbers to the width of the last\n"
    "         --scale N         pixels per dot in the PNG (default 3)\n"
    "       qxlabel dump DOC.kel\n"
    "       qxlabel build ROWS.tsv OUT.kel\n"
    "       qxlabel export DOC.kel OUT.qxf\n"
    "       qxlabel import BOOK.xls|BOOK.xlsx OUT.kel\n"
    "       qxlabel preview DOC.kel OUT.png [--label-cal N] [--tube-cal N] [--scale N]\n"
    "       qxlabel measure [--face NAME] [--size 0-7] TEXT\n"
    "       qxlabel fonts\n"
    "       qxlabel devices\n"
    "       qxlabel print DOC.kel [--printer N] [--copies N] [--range A-B] [--repeat-first]\n"
    "                     [--density 1-7]\n";

int Usage(const char* problem = nullptr) {
  if (problem) std::fprintf(stderr, "qxlabel: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

// True when `file` can be opened for reading; otherwise says why on stderr. The readers
// would refuse such a file too, but as "not a document file" or "damaged", which hides
// the real trouble: a wrong name or a missing permission.
bool CanRead(const std::string& file) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "qxlabel: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return false;
  }
  std::fclose(f);
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    std::fprintf(stderr, "qxlabel: %s is a folder, not a file\n", file.c_str());
    return false;
  }
  return true;
}

void NotADocument(const TableError& e) {
  std::fprintf(stderr, "qxlabel: not a document file: %s\n", e.what());
}


// UTF-8 to GBK, or a message naming the characters GBK cannot hold.
bool ToGbk(const std::string& utf8, std::string& gbk) {
  qx::gbk::EncodeResult r = qx::gbk::FromUtf8(utf8);
  if (r.ok()) {
    gbk = std::move(r.gbk);
    return true;
  }
  std::string bad;
  for (const auto& c : r.rejected) {
    if (!bad.empty()) bad += ", ";
    qx::gbk::AppendUtf8(bad, c.codepoint);
  }
  std::fprintf(stderr, "qxlabel: GBK cannot represent: %s\n", bad.c_str());
  return false;
}

// A strip as long as a whole job can be far too big for one picture (65535 repeats of a
// thousand serial values): it stops before its pixels would pass 64 MB, which at scale 2
// is about 5 m of tape.
class StripLimit {
 public:
  explicit StripLimit(int scale)
      : max_dots_((int64_t{64} << 20) / (int64_t{3} * kHeadDots * scale * scale)) {}
  // Counts the item in; false, not counting it, when the strip would pass the limit. The
  // first item is always taken (one item is at most 100 mm).
  bool Take(const ItemImage& item) {
    const int64_t dots = dots_ + ItemFeedDots(item) + (dots_ > 0 ? 1 : 0);
    if (dots_ > 0 && dots > max_dots_) {
      full_ = true;
      return false;
    }
    dots_ = dots;
    return true;
  }
  bool full() const { return full_; }
  void Report(std::size_t items) const {
    if (full_)
      std::fprintf(stderr,
                   "qxlabel: the picture stops after %zu item(s): the whole strip is "
                   "too long to draw\n",
                   items);
  }

 private:
  int64_t max_dots_;
  int64_t dots_ = 0;
  bool full_ = false;
};

// A document file loaded into a working table in memory, as the editor loads it.
struct LoadedDocument {
  DocumentState doc{std::make_unique<MemoryRowStore>()};
};

bool Load(const std::string& file, LoadedDocument& d) {
  if (!CanRead(file)) return false;
  d.doc.table.Bind("working table");
  try {
    if (!ReadDocumentFile(file, d.doc.table, d.doc.settings)) {
      std::fprintf(stderr, "qxlabel: %s holds no rows\n", file.c_str());
      return false;
    }
  } catch (const TableError& e) {
    NotADocument(e);
    return false;
  }
  ReadDocumentSettings(d.doc.settings, d.doc.file_state);
  return true;
}

int Dump(const std::string& file) {
  if (!CanRead(file)) return 1;
  std::unique_ptr<SegmentTable> t = MakeDocumentFileTable(file);
  try {
    t->Open();
  } catch (const TableError& e) {
    NotADocument(e);
    return 1;
  }
  for (int r = 0; r < t->RowCount(); ++r) {
    std::string line;
    for (int c = 0; c < kColumnCount; ++c) {
      if (c) line += '\t';
      const FieldValue& v = t->ValueAt(r, c);
      if (std::holds_alternative<std::monostate>(v)) {
        line += "\\N";
      } else if (const auto* i = std::get_if<int64_t>(&v)) {
        line += std::to_string(*i);
      } else {
        for (char ch : gbk::ToUtf8(std::get<std::string>(v))) {
          if (ch == '\t')
            line += "\\t";
          else if (ch == '\n')
            line += "\\n";
          else if (ch == '\r')
            line += "\\r";
          else if (ch == '\\')
            line += "\\\\";
          else
            line += ch;
        }
      }
    }
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

// One field of a dumped row: \N is null, integer columns hold decimal numbers, texts are
// UTF-8 with \t, \n, \r and \\ for the characters dump escapes.
bool ParseField(const std::string& field, int col, FieldValue& v, std::string& problem) {
  if (field == "\\N") {
    v = std::monostate{};
    return true;
  }
  if (kColumns[static_cast<std::size_t>(col)].type != ColumnType::kText) {
    int64_t i = 0;
    const auto [p, ec] = std::from_chars(field.data(), field.data() + field.size(), i);
    if (ec != std::errc() || p != field.data() + field.size() || field.empty()) {
      problem = "\"" + field + "\" is not a number";
      return false;
    }
    v = i;
    return true;
  }
  std::string utf8;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      utf8 += field[i];
      continue;
    }
    switch (field[++i]) {
      case 't':
        utf8 += '\t';
        break;
      case 'n':
        utf8 += '\n';
        break;
      case 'r':
        utf8 += '\r';
        break;
      case '\\':
        utf8 += '\\';
        break;
      default:
        utf8 += '\\';
        utf8 += field[i];
    }
  }
  qx::gbk::EncodeResult r = qx::gbk::FromUtf8(utf8);
  if (!r.ok()) {
    problem = "GBK cannot represent \"" + utf8 + "\"";
    return false;
  }
  v = std::move(r.gbk);
  return true;
}

int Build(const std::string& rows_file, const std::string& out) {
  if (!CanRead(rows_file)) return 1;
  std::ifstream in(rows_file, std::ios::binary);
  // The rows are checked against the columns in a table in memory first, so a bad value
  // is reported with its line and no file is written.
  SegmentTable rows(std::make_unique<MemoryRowStore>());
  rows.Create();
  rows.Open();
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(
          line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() != static_cast<std::size_t>(kColumnCount)) {
      std::fprintf(stderr, "qxlabel: %s, line %d: %zu columns, a row has %d\n", rows_file.c_str(),
                   n, fields.size(), kColumnCount);
      return 1;
    }
    rows.Append();
    for (int c = 0; c < kColumnCount; ++c) {
      FieldValue v;
      std::string problem;
      if (!ParseField(fields[static_cast<std::size_t>(c)], c, v, problem)) {
        std::fprintf(stderr, "qxlabel: %s, line %d, column %s: %s\n", rows_file.c_str(), n,
                     std::string(kColumns[static_cast<std::size_t>(c)].name).c_str(),
                     problem.c_str());
        return 1;
      }
      try {
        rows.SetValue(c, std::move(v));
      } catch (const TableError& e) {  // the message names the column
        std::fprintf(stderr, "qxlabel: %s, line %d: %s\n", rows_file.c_str(), n, e.what());
        return 1;
      }
    }
    rows.Store();
  }
  if (rows.IsEmpty()) {
    std::fprintf(stderr, "qxlabel: %s holds no rows\n", rows_file.c_str());
    return 1;
  }
  try {
    ParadoxRowStore file;
    file.Create(out);
    for (int r = 0; r < rows.RowCount(); ++r) {
      RowValues values{};
      for (int c = 0; c < kColumnCount; ++c)
        values[static_cast<std::size_t>(c)] = rows.ValueAt(r, c);
      file.Insert(values, std::nullopt);
    }
    file.Close();
  } catch (const TableError& e) {
    std::fprintf(stderr, "qxlabel: cannot write %s: %s\n", out.c_str(), e.what());
    return 1;
  }
  std::printf("%d row(s) written to %s\n", rows.RowCount(), out.c_str());
  return 0;
}

int Export(const std::string& file, const std::string& out) {
  LoadedDocument d;
  if (!Load(file, d)) return 1;
  SegmentTable& t = d.doc.table;
  StoreNumbered(t);
  DropTrailingEmptySegments(t);
  const std::vector<uint8_t> bytes = BuildNativeFile(t, d.doc.settings);
  std::string error;
  if (!WriteFileAtomically(out, bytes, &error)) {
    std::fprintf(stderr, "qxlabel: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d Segment(s) exported to %s (%zu bytes)\n",
              std::min(t.RowCount(), kMaxExportedSegments), out.c_str(), bytes.size());
  return 0;
}

const char* WorkbookErrorText(WorkbookError e) {
  switch (e) {
    case WorkbookError::kNotWorkbook:
      return "not an Excel workbook";
    case WorkbookError::kDamaged:
      return "the file is damaged";
    case WorkbookError::kProtected:
      return "the workbook is password protected";
    case WorkbookError::kUnsupported:
      return "unsupported workbook format";
    case WorkbookError::kTooLarge:
      return "the workbook is too large";
    case WorkbookError::kCannotRead:
      return "the file cannot be read";
    default:
      return "unknown error";
  }
}

int Import(const std::string& book, const std::string& out) {
  if (!CanRead(book)) return 1;
  WorkbookError error = WorkbookError::kNone;
  std::unique_ptr<SheetRows> rows = OpenFirstSheet(book, &error);
  if (!rows) {
    std::fprintf(stderr, "qxlabel: cannot read %s: %s\n", book.c_str(), WorkbookErrorText(error));
    return 1;
  }
  DocumentState doc(std::make_unique<MemoryRowStore>());
  NewDocument(doc, "working table");
  const ImportResult r = ImportSheet(doc.table, *rows);
  if (r.two_lines) doc.settings.material_index = 5;
  if (r.error != WorkbookError::kNone)
    std::fprintf(stderr, "qxlabel: reading stopped after %d row(s): %s\n", r.segments,
                 WorkbookErrorText(r.error));
  if (r.truncated)
    std::fprintf(stderr, "qxlabel: only the first %d rows were imported\n", kMaxImportedRows);
  if (r.replaced)
    std::fprintf(stderr, "qxlabel: %d character(s) GBK cannot hold became '?'\n", r.replaced);
  StoreNumbered(doc.table);
  DropTrailingEmptySegments(doc.table);
  try {
    WriteDocumentFile(doc.table, doc.settings, out, DocumentRows::kAll);
  } catch (const TableError& e) {
    std::fprintf(stderr, "qxlabel: cannot write %s: %s\n", out.c_str(), e.what());
    return 1;
  }
  std::printf("%d Segment(s) imported into %s\n", r.segments, out.c_str());
  return r.error == WorkbookError::kNone ? 0 : 1;
}

int PreviewDocument(const std::string& file, const std::string& out, int argc, char** argv) {
  Calibration cal;
  int scale = 2;
  for (int i = 0; i < argc; ++i) {
    int v = 0;
    const std::string a = argv[i];
    if (a == "--label-cal" && i + 1 < argc && ParseInt(argv[++i], 1, 255, v)) {
      cal.LabelCalibration = static_cast<uint8_t>(v);
    } else if (a == "--tube-cal" && i + 1 < argc && ParseInt(argv[++i], 1, 255, v)) {
      cal.TubeCalibration = static_cast<uint8_t>(v);
    } else if (a == "--scale" && i + 1 < argc && ParseInt(argv[++i], 1, 16, v)) {
      scale = v;
    } else {
      return Usage(("unknown or bad option " + a).c_str());
    }
  }
  LoadedDocument d;
  if (!Load(file, d)) return 1;
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(d.doc.settings.font_face);
  ImageBuilder builder(glyph_canvas, measurer);
  builder.renderer().SelectFont(d.doc.settings.font_face, d.doc.settings.bold);
  SegmentTable& t = d.doc.table;
  std::vector<ItemImage> items;
  StripLimit limit(scale);
  int skipped = 0;
  t.First();
  for (int r = 0; r < t.RowCount() && !limit.full(); ++r, t.Next()) {
    const std::string upper_text = t.Text(kUpperLineColumn), lower_text = t.Text(kLowerLineColumn);
    if (upper_text.empty()) continue;
    SegmentValues v;
    DecodePrintValues(t, d.doc.file_state.MaterialCode, cal, v);
    bool too_long = false;
    ForEachPrintItem(v, /*serial_first=*/true, [&](const PrintItemSerial& s) {
      SegmentValues iv = v;
      iv.SerialWidth = s.width;
      const LayoutContext c{measurer, iv, d.doc.file_state, s.text};
      ItemImage img;
      switch (MakeItem(builder, c, upper_text, lower_text, img)) {
        case ItemResult::kBuilt:
          if (!limit.Take(img)) return false;
          items.push_back(std::move(img));
          break;
        case ItemResult::kSkipped:
          ++skipped;
          break;
        case ItemResult::kTooLong:
          too_long = true;
          return false;
      }
      return true;
    });
    if (too_long) {
      std::fprintf(stderr, "qxlabel: Segment %d is too long for the printer\n", r + 1);
      return 1;
    }
  }
  if (skipped)
    std::fprintf(stderr, "qxlabel: %d item(s) skipped: their text fits no size\n", skipped);
  limit.Report(items.size());
  if (items.empty()) {
    std::fprintf(stderr, "qxlabel: nothing to print in %s\n", file.c_str());
    return 1;
  }
  std::string error;
  if (!WritePng(out, RenderStrip(items, scale), &error)) {
    std::fprintf(stderr, "qxlabel: %s\n", error.c_str());
    return 1;
  }
  std::printf("%zu item(s) drawn into %s\n", items.size(), out.c_str());
  return 0;
}

int Fonts() {
  for (const std::string& name : qx::FontResolver::Shared().InstalledFaceNames())
    std::printf("%s\n", name.c_str());
  return 0;
}

int Measure(int argc, char** argv) {
  std::string face = "黑体";
  int code = 4;
  std::string text;
  for (int i = 0; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--face") && i + 1 < argc) {
      face = argv[++i];
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      if (!ParseInt(argv[++i], 0, 7, code)) return Usage("--size takes 0 to 7");
    } else if (text.empty()) {
      text = argv[i];
    } else {
      return Usage();
    }
  }
  std::string gbk;
  if (text.empty()) return Usage("no text");
  if (!ToGbk(text, gbk)) return 1;

  qx::FreeTypeCanvas canvas;
  qx::GlyphMeasurer measurer(canvas);
  measurer.SetFace(face);
  qx::SegmentValues v;
  v.SizeCode = static_cast<uint8_t>(code);
  qx::DocumentFileState p;
  const qx::LayoutContext c{measurer, v, p};
  canvas.SelectFont(face, qx::SizeHeight(v.SizeCode == 0 ? 1 : v.SizeCode), true);
  std::printf("Face %s (drawn with %s), size %d\n", face.c_str(), canvas.UsedFaceName().c_str(),
              code);
  const uint8_t size = v.SizeCode == 0 ? 1 : v.SizeCode;
  qx::gbk::ForEachChar(gbk, [&](std::size_t, std::string_view ch) {
    const int w = ch.size() == 2 ? qx::SizeHeight(size)
                                 : measurer.MeasureGlyph(static_cast<unsigned char>(ch[0]), size);
    std::printf("  %s\t%3d dots\n", qx::gbk::ToUtf8(ch).c_str(), w);
  });
  const int need = qx::LineLength(c, gbk, 0, false);
  std::printf("The line needs %d dots (%.1f mm) with spacing %d and its 24-dot margins.\n", need,
              need / 11.0, p.CharSpacing);
  return 0;
}

struct SerialRange {
  uint8_t type = qx::kNoSerial;
  uint16_t first = 0, last = 0;
};

bool ParseSerial(const std::string& s, bool padded, SerialRange& out) {
  const auto dash = s.find('-');
  if (dash == std::string::npos) return false;
  const std::string a = s.substr(0, dash), b = s.substr(dash + 1);
  int x, y;
  if (ParseInt(a.c_str(), 0, 999, x) && ParseInt(b.c_str(), 0, 999, y)) {
    out.type = padded ? qx::kSerialDecimalPadded : qx::kSerialDecimal;
  } else if (a.size() == 1 && b.size() == 1 && std::isalpha(static_cast<unsigned char>(a[0])) &&
             std::isupper(static_cast<unsigned char>(a[0])) ==
                 std::isupper(static_cast<unsigned char>(b[0]))) {
    out.type =
        std::isupper(static_cast<unsigned char>(a[0])) ? qx::kSerialCapital : qx::kSerialSmall;
    x = static_cast<unsigned char>(a[0]);
    y = static_cast<unsigned char>(b[0]);
  } else {
    return false;
  }
  out.first = static_cast<uint16_t>(std::min(x, y));
  out.last = static_cast<uint16_t>(std::max(x, y));
  return true;
}

// A name ending in .kel in any case (files from Windows often say .KEL).
bool IsDocumentName(std::string_view name) {
  if (name.size() < 4) return false;
  std::string ext(name.substr(name.size() - 4));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".kel";
}

int Preview(int argc, char** argv) {
  // A document: qxlabel preview DOC.kel OUT.png [options].
  if (argc >= 2 && IsDocumentName(argv[0]) && argv[1][0] != '-' && argv[1][0] != '\0')
    return PreviewDocument(argv[0], argv[1], argc - 2, argv + 2);
  int size = 4, length = 25, material = 5, spacing = 4, cut = 1, scale = 3;
  int decoration = 0;
  bool vertical = false, left = false, bold = false, padded = false;
  std::string face = "黑体", out, serial_arg;
  std::vector<std::string> texts;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    auto num = [&](int lo, int hi, int& v) { return has_value && ParseInt(argv[++i], lo, hi, v); };
    if (a == "--size") {
      if (!num(0, 7, size)) return Usage("--size takes 0 to 7");
    } else if (a == "--length") {
      if (!num(0, 100, length) || (length != 0 && length < 6))
        return Usage("--length takes 0 or 6 to 100");
    } else if (a == "--material") {
      if (!num(1, 7, material)) return Usage("--material takes 1 to 7");
    } else if (a == "--spacing") {
      if (!num(1, 20, spacing)) return Usage("--spacing takes 1 to 20");
    } else if (a == "--cut") {
      if (!num(0, 2, cut)) return Usage("--cut takes 0 to 2");
    } else if (a == "--scale") {
      if (!num(1, 16, scale)) return Usage("--scale takes 1 to 16");
    } else if (a == "--border") {
      decoration = 1;
    } else if (a == "--underline") {
      decoration = 2;
    } else if (a == "--vertical") {
      vertical = true;
    } else if (a == "--left") {
      left = true;
    } else if (a == "--bold") {
      bold = true;
    } else if (a == "--padded") {
      padded = true;
    } else if (a == "--face" && has_value) {
      face = argv[++i];
    } else if (a == "--serial" && has_value) {
      serial_arg = argv[++i];
    } else if (a == "-o" && has_value) {
      out = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      return Usage(("unknown option " + a).c_str());
    } else {
      texts.push_back(a);
    }
  }
  if (texts.empty() || texts.size() > 2) return Usage("give one or two lines of text");
  if (out.empty()) return Usage("give the output file with -o");
  std::string text1, text2;
  if (!ToGbk(texts[0], text1) || (texts.size() == 2 && !ToGbk(texts[1], text2))) return 1;
  if (text1.size() > 100 || text2.size() > 100) return Usage("a line holds at most 100 bytes");
  SerialRange serial;
  if (!serial_arg.empty() && !ParseSerial(serial_arg, padded, serial))
    return Usage("--serial takes a range like 1-20 or A-F");

  qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  qx::GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(face);
  qx::ImageBuilder builder(glyph_canvas, measurer);
  builder.renderer().SelectFont(face, bold);

  qx::DocumentFileState p;
  p.MaterialCode = static_cast<uint8_t>(material);
  p.CharSpacing = static_cast<uint8_t>(spacing);
  p.AlignCode = left ? 1 : 0;
  p.CutCode = static_cast<uint8_t>(cut);
  qx::SegmentValues v;
  const qx::Calibration cal;
  v.LengthDots = qx::PrintLengthDots(
      length, qx::IsLabelMaterial(p.MaterialCode) ? cal.LabelCalibration : cal.TubeCalibration);
  v.SizeCode = static_cast<uint8_t>(size);
  v.Vertical = vertical;
  v.DecorationCode = static_cast<uint8_t>(decoration);
  v.SerialType = serial.type;

  std::vector<qx::ItemImage> items;
  StripLimit limit(scale);
  for (uint32_t value = serial.first; value <= serial.last && !limit.full(); ++value) {
    const std::string text = qx::SerialText(serial.type, static_cast<uint16_t>(value), serial.last);
    v.SerialWidth = serial.type == qx::kSerialDecimalPadded ? qx::DecimalWidth(serial.last)
                                                            : static_cast<uint8_t>(text.size());
    const qx::LayoutContext c{measurer, v, p, text};
    qx::ItemImage img;
    switch (qx::MakeItem(builder, c, text1, text2, img)) {
      case qx::ItemResult::kBuilt:
        if (limit.Take(img)) items.push_back(std::move(img));
        break;
      case qx::ItemResult::kSkipped:
        std::fprintf(stderr,
                     "qxlabel: item %s is skipped: the text does not fit (no size fits, "
                     "or this material takes no automatic two-line size)\n",
                     text.empty() ? "1" : text.c_str());
        break;
      case qx::ItemResult::kTooLong:
        std::fprintf(stderr, "qxlabel: item %s is too long for the printer\n", text.c_str());
        return 1;
    }
  }
  limit.Report(items.size());
  if (items.empty()) return 1;

  std::string error;
  if (!qx::WritePng(out, qx::RenderStrip(items, scale), &error)) {
    std::fprintf(stderr, "qxlabel: %s\n", error.c_str());
    return 1;
  }
  int dots = 0;
  for (const auto& it : items) dots += qx::ItemFeedDots(it);
  std::printf("%zu item(s), %d dots of tape (%.1f mm at 11 dots per mm), drawn with %s: %s\n",
              items.size(), dots, dots / 11.0, glyph_canvas.UsedFaceName().c_str(), out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  if (cmd == "help" || cmd == "-h" || cmd == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (cmd == "fonts") return Fonts();
    if (cmd == "measure") return Measure(argc - 2, argv + 2);
    if (cmd == "preview") return Preview(argc - 2, argv + 2);
    if (cmd == "devices") return cli::Devices(argc - 2, argv + 2);
    if (cmd == "print") {
      if (argc < 3) return Usage("print takes a document file");
      LoadedDocument d;
      if (!Load(argv[2], d)) return 1;
      return cli::Print(d.doc, argv[2], argc - 3, argv + 3);
    }
    if (cmd == "dump") return argc == 3 ? Dump(argv[2]) : Usage("dump takes one document file");
    if (cmd == "build")
      return argc == 4 ? Build(argv[2], argv[3])
                       : Usage("build takes the rows and the output file");
    if (cmd == "export")
      return argc == 4 ? Export(argv[2], argv[3])
                       : Usage("export takes a document file and the output file");
    if (cmd == "import")
      return argc == 4 ? Import(argv[2], argv[3])
                       : Usage("import takes a workbook and the output file");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qxlabel: %s\n", e.what());
    return 1;
  }
  return Usage(("unknown command " + cmd).c_str());
}
