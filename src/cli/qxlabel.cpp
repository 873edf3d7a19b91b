// qxlabel: the command-line side of QX Editor.
//
//   qxlabel dump DOC.kel
//       Prints the Segments and the settings row of a document file as UTF-8,
//       tab-separated, thirteen columns, \N for null.
//   qxlabel build ROWS.tsv OUT.kel
//       The reverse of dump: writes the rows, as dump prints them, into a document file.
//       Empty lines and lines starting with # are skipped. The rows may be UTF-8 (with or
//       without a byte-order mark) or GBK; without a settings row (Num 0) at the end, the
//       default settings are added.
//   qxlabel export DOC.kel OUT.qxf
//       Writes the native printer file exactly as the editor would for that Document.
//       Texts too long for the file's 16-bit fields (65535 bytes) are refused, exit status 1.
//   qxlabel import BOOK OUT.kel [--sheet N] [--header] [--columns A,B] [--skip-empty]
//                 [--append-to DOC.kel]
//       Builds the Document as the editor's import would and saves it. BOOK is an Excel
//       workbook (.xlsx, .xls), a LibreOffice spreadsheet (.ods) or a text table (.csv,
//       .tsv, .txt; UTF-8 or GBK, comma, semicolon or tab separated). By default the first
//       sheet's columns A and B go to the upper and lower line, from row 1 to the first row
//       whose first cell is empty; --sheet takes the N-th sheet in tab order, --header
//       leaves out the first row, --columns names the upper and lower line's columns (one
//       column for one-line Segments), --skip-empty goes on past rows whose upper cell is
//       empty, and --append-to adds the rows after the Segments of DOC.kel, with its
//       settings (DOC.kel itself is only written when it is OUT.kel). Every row that was
//       cut, changed or left out is named on stderr. A document holds at most 65535
//       Segments: rows beyond are left out and stderr says from which row (exit status 0
//       for the rows imported); a DOC.kel that holds 65535 takes none. A sheet that is
//       damaged part-way, or a list with no row to import, gives exit status 1 and writes
//       nothing (the editor keeps the rows before the damage); when text was left out
//       below the end of the list, stderr says where.
//   qxlabel preview DOC.kel OUT.png [--copies N] [--range A-B] [--repeat-first]
//                   [--label-cal N] [--tube-cal N] [--scale N] [--per-row N]
//       Draws every marker `qxlabel print` with the same choices prints (copies, range,
//       order, repeats and serial values), in job order, as tape wrapped into rows: N items a row, by default as many as keep the
//       picture about 4000 pixels wide. A picture too tall for a viewer is written as
//       numbered pages OUT-001.png, OUT-002.png, ... Items that will not print are left
//       out, as a print job leaves them out, and named on stderr with the reason. When
//       OUT or a page of its name is the input, nothing is written (exit status 1);
//       existing files written over are named on stderr, and so are the files of an
//       earlier picture of the same name that this one does not replace (OUT beside new
//       pages, pages beyond the new count): they are left as they were.
//   qxlabel preview [options] TEXT [SECOND-LINE] -o OUT.png
//       Lays out and draws a Segment exactly as the printer will print it and writes the
//       tape as a PNG: one item, or one item per serial value with --serial (in rows and
//       pages as above).
//   qxlabel measure [--face NAME] [--size CODE] TEXT
//       Measures TEXT the way the editor does while typing.
//   qxlabel fonts
//       Lists the font faces the editor offers.
//   qxlabel devices
//       Lists the printers found (USB, and the virtual printers QX_VIRTUAL_PRINTERS names).
//   qxlabel print DOC.kel [--printer N] [--copies N] [--range A-B] [--repeat-first]
//                 [--density 1-7] [--from-item K]
//       Prints a document as the editor's print command does (after the same tidying),
//       from its K-th marker when given (a job that ended early says which K goes on),
//       with progress on the terminal and the printer's messages on stderr; exit status 1
//       when the job fails or every item was skipped. Items skipped are named on stderr
//       with the reason. Ctrl-C stops the printer.
//
// No command writes its output over one of its inputs (under any name; the document
// import --append-to adds to is the one input that may also be the output), and a command
// that fails leaves its output file as it was. Inputs must be regular files. A document
// file of more than 65535 Segments, more than a Document holds, is refused (dump still
// prints it).
//
// Texts are UTF-8; in them № stands for the serial value, ↖ and ↙ make the next
// character a superscript or subscript.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cli/print_command.h"
#include "device/job_preview.h"
#include "document/atomic_file.h"
#include "document/document_file.h"
#include "document/excel_import.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/native_export.h"
#include "document/paradox.h"
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
    "         --per-row N       items a row of the picture (default: rows up to 4000 pixels)\n"
    "       qxlabel dump DOC.kel\n"
    "       qxlabel build ROWS.tsv OUT.kel\n"
    "       qxlabel export DOC.kel OUT.qxf\n"
    "       qxlabel import BOOK OUT.kel [--sheet N] [--header] [--columns A,B] [--skip-empty]\n"
    "                      [--append-to DOC.kel]\n"
    "         BOOK              .xlsx, .xls, .ods, or a .csv/.tsv/.txt table (UTF-8 or GBK)\n"
    "         --sheet N         the N-th sheet in tab order (default 1)\n"
    "         --header          the first row names the columns: not imported\n"
    "         --columns A,B     columns of the upper and lower line (default A,B); one\n"
    "                           column, like --columns C, for one-line Segments\n"
    "         --skip-empty      go on past rows whose upper cell is empty (default: such a\n"
    "                           row ends the list)\n"
    "         --append-to DOC.kel  add the rows after DOC.kel's Segments, with its settings;\n"
    "                           rows past 65535 Segments are left out and named\n"
    "       qxlabel preview DOC.kel OUT.png [--copies N] [--range A-B] [--repeat-first]\n"
    "                       [--label-cal N] [--tube-cal N] [--scale N] [--per-row N]\n"
    "         a tall picture goes into pages OUT-001.png, OUT-002.png, ...; never over the\n"
    "         input; files replaced, and older ones of the same name left, are named\n"
    "       qxlabel measure [--face NAME] [--size 0-7] TEXT\n"
    "       qxlabel fonts\n"
    "       qxlabel devices\n"
    "       qxlabel print DOC.kel [--printer N] [--copies N] [--range A-B] [--repeat-first]\n"
    "                     [--density 1-7] [--from-item K]\n"
    "\n"
    "A rows file (dump writes one, build reads one) is UTF-8 or GBK text, one row a line,\n"
    "13 columns separated by tabs: Num Flin Slin PitchLen Zihao HengShu XiuShi PitchRep\n"
    "XuLei XuFirst XuEnd UpLen DnLen. \\N is an empty value; \\t \\n \\r \\\\ stand for tab,\n"
    "line feeds and backslash in texts; empty lines and lines starting with # are skipped.\n"
    "The last row, Num 0, holds the settings: material in Flin, font in Slin, alignment in\n"
    "HengShu, cut in XiuShi, spacing in XuFirst; without it the default settings are used.\n";

// A usage error: one line, and where to find the usage.
int Usage(const char* problem = nullptr) {
  if (problem)
    std::fprintf(stderr, "qxlabel: %s (see qxlabel --help)\n", problem);
  else
    std::fputs("usage: qxlabel COMMAND [ARGUMENTS] (qxlabel --help lists the commands)\n", stderr);
  return 2;
}

// True when `file` is a regular file that can be opened for reading; otherwise says why on
// stderr. The readers would refuse such a file too, but as "not a document file" or
// "damaged", which hides the real trouble: a wrong name or a missing permission. A pipe,
// a device or a folder is refused before it is opened: reading one would wait forever or
// never end.
bool CanRead(const std::string& file) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0) {
    std::fprintf(stderr, "qxlabel: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    const char* kind = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISFIFO(st.st_mode)                       ? "a pipe"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                       : S_ISSOCK(st.st_mode)                       ? "a socket"
                                                                    : "not a regular file";
    std::fprintf(stderr, "qxlabel: %s is %s, not a file\n", file.c_str(), kind);
    return false;
  }
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "qxlabel: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return false;
  }
  close(fd);
  return true;
}

// True, after saying so, when writing `out` would overwrite the input `in` (the same file
// under any name: itself, a link to it, a hard link).
bool OutputIsInput(const std::string& in, const std::string& out) {
  if (!SameFile(in, out)) return false;
  if (in == out)
    std::fprintf(stderr, "qxlabel: %s is the input file; give another output file\n", out.c_str());
  else
    std::fprintf(stderr,
                 "qxlabel: %s is the input file %s under another name; give another output file\n",
                 out.c_str(), in.c_str());
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

// The tallest picture written as one file, in pixels: 65535, the most that picture
// viewers and decoders commonly take (16-bit sizes). A taller one (a job of many
// thousands of items) is split into numbered pages, OUT-001.png, OUT-002.png, ...
constexpr int kPageHeightPixels = 65535;

// Draws items as rows of tape (`per_row` items a row, 0: as many as keep the picture
// about kRowWidthPixels wide) into `out`, or into numbered pages when the picture would
// be taller than a viewer opens. The files it may write are looked at before anything is
// drawn (Prepare): none of them may be the input, and the files replaced are named
// afterwards, as are files of an earlier picture of the same name that this one does not
// replace (a single picture beside new pages, pages beyond the new count), which are left
// as they were. Items come one at a time and only those of the pages
// being filled and written are held; a page is drawn row by row while it is compressed.
// So a job of any size is drawn whole in little memory. Compressing takes most of the
// time: full pages are written on their own threads, one per processor, while the next
// pages fill.
class TapePictureWriter {
 public:
  TapePictureWriter(std::string out, int scale, int per_row)
      : out_(std::move(out)), scale_(scale), per_row_(per_row) {
    const TapeRows one = WrapRows({}, scale_);
    rows_per_page_ = std::max(1, (kPageHeightPixels + one.gap) / (one.row_height + one.gap));
  }

  // False when a page could not be written (said on stderr).
  bool Add(const ItemImage& item) {
    if (StartsRow(row_dots_, in_row_, item, scale_, per_row_)) {
      if (rows_ == rows_per_page_ && !WritePage(PageName(out_, ++pages_))) return false;
      if (rows_ == rows_per_page_) rows_ = 0;
      ++rows_;
      row_dots_ = ItemFeedDots(item);
      in_row_ = 1;
    } else {
      row_dots_ += 1 + ItemFeedDots(item);
      ++in_row_;
    }
    ++drawn_;
    page_.push_back(item);
    return true;
  }

  // Before anything is drawn: notes which of the files this picture may be written to
  // exist (OUT and every page OUT-NNN there is), and refuses, saying so, when one of them
  // is `input` (under any name: itself, a link to it, a hard link), whichever page count
  // the picture will have.
  bool Prepare(const std::string* input) {
    namespace fs = std::filesystem;
    const fs::path p(out_);
    std::error_code ec;
    existing_single_ = fs::exists(p, ec);
    const fs::path folder = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    const std::string stem = p.stem().string() + "-", extension = p.extension().string();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.size() <= stem.size() + extension.size() || !name.starts_with(stem) ||
          !name.ends_with(extension))
        continue;
      const std::string digits =
          name.substr(stem.size(), name.size() - stem.size() - extension.size());
      int n = 0;
      // Only names a page gets: "-001", "-1000", not "-01" or "-0001".
      if (!ParseInt(digits.c_str(), 1, 1 << 30, n) || fs::path(PageName(out_, n)).filename() != name)
        continue;
      existing_pages_[n] = PageName(out_, n);
    }
    if (!input) return true;
    auto is_input = [&](const std::string& file) {
      std::error_code e;
      return fs::equivalent(*input, file, e);
    };
    if (existing_single_ && is_input(out_)) {
      OutputIsInput(*input, out_);
      return false;
    }
    for (const auto& [n, file] : existing_pages_) {
      if (!is_input(file)) continue;
      std::fprintf(stderr,
                   "qxlabel: %s is the input file%s; a picture too tall for one file goes into "
                   "pages named like it; give another output file\n",
                   file.c_str(), file == *input ? "" : (" " + *input + " under another name").c_str());
      return false;
    }
    return true;
  }

  // Writes what is left: the whole picture into OUT, or the last page; and waits for
  // every page to be written. Then names the files replaced and those of an earlier
  // picture left beside this one.
  bool Finish() {
    const bool ok = Write();
    Report(ok);
    return ok;
  }

  // When a page could not be written (Add failed): the files already replaced.
  void Abandon() {
    while (!writing_.empty()) Collect();
    Report(false);
  }

  std::size_t drawn() const { return drawn_; }
  // Where the picture went: the file, or the pages.
  std::string Files() const {
    if (files_.size() == 1) return files_[0];
    return std::to_string(files_.size()) + " pages " + files_.front() + " to " + files_.back();
  }

 private:
  // The file name of page `n` (from 1): "markers.png" gives "markers-001.png".
  static std::string PageName(const std::string& out, int n) {
    const std::filesystem::path p(out);
    char number[16];
    std::snprintf(number, sizeof number, "-%03d", n);
    std::filesystem::path name = p.stem();
    name += number;
    name += p.extension();
    return (p.parent_path() / name).string();
  }

  // Writes `items` as one picture into `file`: empty, or why it could not be written.
  static std::string WritePicture(const std::string& file, const std::vector<ItemImage>& items,
                                  int scale, int per_row) {
    const TapeRows rows = WrapRows(items, scale, per_row);
    // Drawn at one pixel a dot; the writer makes each dot a scale x scale block.
    const TapeRows dots = rows.Unscaled();
    const int pitch = dots.row_height + dots.gap;
    const FillBand band = [&](int y, IndexedImage& b) {
      // One row of items a band, after the first with the gap above it.
      const int k = y == 0 ? 0 : (y + dots.gap) / pitch;
      b.width = dots.width;
      b.height = k == 0 ? dots.row_height : pitch;
      b.pixels.resize(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height));
      if (k == 0) {
        DrawRows(items, dots, 0, 1, b);
      } else {
        std::memset(b.pixels.data(), kGapIndex,
                    static_cast<std::size_t>(dots.gap) * static_cast<std::size_t>(b.width));
        DrawRows(items, dots, k, 1, b, dots.gap);
      }
      return b.height;
    };
    std::string error;
    if (!WriteIndexedPng(file, dots.width, dots.HeightOf(dots.rows()), scale, TapePalette(), band,
                         &error))
      return error.empty() ? "cannot write " + file : error;
    return {};
  }

  bool Write() {
    if (!page_.empty() && !WritePage(pages_ == 0 ? out_ : PageName(out_, ++pages_))) return false;
    while (!writing_.empty())
      if (!Collect()) return false;
    return true;
  }

  // "a.png, b.png", or the first and the last of many.
  static std::string NameList(const std::vector<std::string>& names) {
    std::string s;
    if (names.size() > 4)
      return names.front() + ", " + names[1] + " ... " + names.back() + " (" +
             std::to_string(names.size()) + " files)";
    for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
    return s;
  }

  // Names the files that were there before and were written over, and, once the whole
  // picture is written (`complete`), the files of an earlier picture of the same name
  // that are left beside it.
  void Report(bool complete) const {
    std::vector<std::string> replaced;
    for (std::size_t i = 0; i < files_.size(); ++i)
      if (pages_ == 0 ? existing_single_ : existing_pages_.contains(static_cast<int>(i) + 1))
        replaced.push_back(files_[i]);
    if (!replaced.empty())
      std::fprintf(stderr, "qxlabel: replaced the existing file(s) %s\n", NameList(replaced).c_str());
    if (!complete || files_.empty()) return;
    std::vector<std::string> stale;
    for (const auto& [n, file] : existing_pages_)
      if (n > pages_) stale.push_back(file);
    const std::string here = pages_ == 0 ? "this picture is " + out_
                                         : "this picture is in " + Files();
    if (pages_ > 0 && existing_single_)
      std::fprintf(stderr, "qxlabel: %s, of an earlier picture, was left as it was; %s\n",
                   out_.c_str(), here.c_str());
    if (!stale.empty())
      std::fprintf(stderr,
                   "qxlabel: page(s) %s, of an earlier picture, were left as they were; %s\n",
                   NameList(stale).c_str(), here.c_str());
  }

  // Hands the page being filled to a writer thread, once one is free.
  bool WritePage(const std::string& file) {
    while (writing_.size() >= max_writing_)
      if (!Collect()) return false;
    writing_.push_back(
        {file, std::async(std::launch::async, [file, items = std::move(page_), scale = scale_,
                                               per_row = per_row_] {
           return WritePicture(file, items, scale, per_row);
         })});
    page_.clear();
    return true;
  }

  // Waits for the oldest page being written, so pages are told in order. False when it
  // could not be written (said on stderr).
  bool Collect() {
    PageWrite w = std::move(writing_.front());
    writing_.pop_front();
    const std::string error = w.error.get();
    if (!error.empty()) {
      std::fprintf(stderr, "qxlabel: %s\n", error.c_str());
      return false;
    }
    files_.push_back(w.file);
    return true;
  }

  struct PageWrite {
    std::string file;
    std::future<std::string> error;  // empty when written
  };

  std::string out_;
  int scale_, per_row_;
  int rows_per_page_ = 1;
  std::vector<ItemImage> page_;
  int rows_ = 0;  // rows begun on the page being filled
  int64_t row_dots_ = 0;
  std::size_t in_row_ = 0;
  int pages_ = 0;  // pages written or named
  std::size_t drawn_ = 0;
  std::vector<std::string> files_;  // written, in page order
  std::deque<PageWrite> writing_;  // oldest first
  // What was there before (Prepare): OUT, and the pages by number.
  bool existing_single_ = false;
  std::map<int, std::string> existing_pages_;
  std::size_t max_writing_ = std::max(1u, std::thread::hardware_concurrency());
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
  } catch (const TooManySegmentsError& e) {
    std::fprintf(stderr, "qxlabel: %s holds %d Segments, more than the %d a document holds\n",
                 file.c_str(), e.segments(), kMaxSegments);
    return false;
  } catch (const TableError& e) {
    NotADocument(e);
    return false;
  }
  ReadDocumentSettings(d.doc.settings, d.doc.file_state);
  return true;
}

// One row as dump prints it: the thirteen columns tab-separated, \N for null, texts as
// UTF-8 with \t, \n, \r and \\ for the characters that would break the line apart.
void AppendDumpLine(const RowValues& row, std::string& line) {
  for (int c = 0; c < kColumnCount; ++c) {
    if (c) line += '\t';
    const FieldValue& v = row[static_cast<std::size_t>(c)];
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
  line += '\n';
}

// The file is read twice, a block at a time, and never held whole: first to check all of
// it, so that a damaged file prints nothing but the reason, then to print it row by row.
int Dump(const std::string& file) {
  if (!CanRead(file)) return 1;
  try {
    ParadoxRowStore::ForEachRow(file, [](const RowValues&) {});
  } catch (const TableError& e) {
    NotADocument(e);
    return 1;
  }
  std::string line;
  try {
    ParadoxRowStore::ForEachRow(file, [&](const RowValues& row) {
      line.clear();
      AppendDumpLine(row, line);
      std::fwrite(line.data(), 1, line.size(), stdout);
    });
  } catch (const TableError& e) {  // the file changed between the two readings
    NotADocument(e);
    return 1;
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
  // A NUL byte would end the text in the file; no text holds one.
  if (utf8.find('\0') != std::string::npos) {
    problem = "the text holds a NUL byte (a zero byte), which no text can hold";
    return false;
  }
  qx::gbk::EncodeResult r = qx::gbk::FromUtf8(utf8);
  if (!r.ok()) {
    problem = "GBK cannot represent \"" + utf8 + "\"";
    return false;
  }
  v = std::move(r.gbk);
  return true;
}

// What a rows file may hold, checked while it is read so that no file can make build hold
// much memory: a document holds at most 65535 Segments and its settings row, and a row of
// the longest texts is well under 2 KB.
constexpr int kMaxSegmentRows = kMaxSegments;
constexpr std::size_t kMaxLineBytes = 64 * 1024;

// The lines of a rows file, one at a time, none longer than kMaxLineBytes.
class LineReader {
 public:
  enum Result { kLine, kEnd, kTooLong, kFailed };
  explicit LineReader(std::FILE* f) : f_(f) {}
  Result Next(std::string& line) {
    line.clear();
    for (int c; (c = getc_unlocked(f_)) != EOF;) {
      if (c == '\n') return kLine;
      if (line.size() == kMaxLineBytes) return kTooLong;
      line += static_cast<char>(c);
    }
    if (std::ferror(f_)) return kFailed;
    return line.empty() ? kEnd : kLine;
  }

 private:
  std::FILE* f_;
};

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool IsUtf8(std::string_view s) {
  for (std::size_t pos = 0; pos < s.size();) {
    std::size_t len = 1;
    if (gbk::DecodeUtf8(s, pos, len) == gbk::kReplacement && s.substr(pos, len) != "\xEF\xBF\xBD")
      return false;
    pos += len;
  }
  return true;
}

bool IsGbk(std::string_view s) {
  bool ok = true;
  gbk::ForEachChar(
      s, [&](std::size_t, std::string_view ch) { ok = ok && gbk::DecodeChar(ch).has_value(); });
  return ok;
}

// The text encoding of a rows file: UTF-8, or GBK as a Chinese Windows saves text. It is
// told by the first line that is not plain ASCII, and every later line must agree.
class RowsEncoding {
 public:
  // `line` as UTF-8, or false with the reason in `problem`.
  bool ToUtf8(const std::string& file, std::string& line, std::string& problem) {
    if (IsAscii(line)) return true;
    if (gbk_ == kUndecided) {
      if (IsUtf8(line)) {
        gbk_ = kNo;
      } else if (IsGbk(line)) {
        gbk_ = kYes;
        std::fprintf(stderr, "qxlabel: %s is not UTF-8; it is read as GBK\n", file.c_str());
      }
    }
    if (gbk_ == kYes && IsGbk(line)) {
      line = gbk::ToUtf8(line);
      return true;
    }
    if (gbk_ == kNo && IsUtf8(line)) return true;
    problem = gbk_ == kYes ? "not GBK like the lines before it" : "not UTF-8";
    return false;
  }

 private:
  enum { kUndecided, kNo, kYes } gbk_ = kUndecided;
};

int Build(const std::string& rows_file, const std::string& out) {
  if (!CanRead(rows_file) || OutputIsInput(rows_file, out)) return 1;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(rows_file.c_str(), "rb"),
                                                     std::fclose);
  if (!in) {
    std::fprintf(stderr, "qxlabel: cannot open %s: %s\n", rows_file.c_str(), std::strerror(errno));
    return 1;
  }
  auto refuse = [&](int n, const std::string& problem) {
    std::fprintf(stderr, "qxlabel: %s, line %d: %s\n", rows_file.c_str(), n, problem.c_str());
    return 1;
  };
  // Every value is checked against its column in a one-row table in memory, so a bad
  // value is reported with its line and no file is written.
  SegmentTable check(std::make_unique<MemoryRowStore>());
  check.Create();
  check.Open();
  check.Append();
  std::vector<RowValues> rows;
  RowsEncoding encoding;
  LineReader lines(in.get());
  std::string line;
  for (int n = 1;; ++n) {
    const LineReader::Result got = lines.Next(line);
    if (got == LineReader::kEnd) break;
    if (got == LineReader::kTooLong)
      return refuse(n,
                    "longer than " + std::to_string(kMaxLineBytes) + " bytes, more than any row");
    if (got == LineReader::kFailed) {
      std::fprintf(stderr, "qxlabel: cannot read %s: %s\n", rows_file.c_str(),
                   std::strerror(errno));
      return 1;
    }
    if (n == 1) {
      if (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF")) {
        std::fprintf(stderr, "qxlabel: %s is UTF-16 text, not UTF-8; save it as UTF-8\n",
                     rows_file.c_str());
        return 1;
      }
      if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);  // a byte-order mark
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::string problem;
    if (!encoding.ToUtf8(rows_file, line, problem)) return refuse(n, problem);
    // One more row than a document holds may still be its settings row.
    if (rows.size() > static_cast<std::size_t>(kMaxSegmentRows)) {
      std::fprintf(stderr, "qxlabel: %s holds more than %d Segments, the most a document holds\n",
                   rows_file.c_str(), kMaxSegmentRows);
      return 1;
    }
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(
          line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() != static_cast<std::size_t>(kColumnCount))
      return refuse(
          n, std::to_string(fields.size()) + " columns, a row has " + std::to_string(kColumnCount));
    RowValues row{};
    for (int c = 0; c < kColumnCount; ++c) {
      FieldValue v;
      const std::string column(kColumns[static_cast<std::size_t>(c)].name);
      if (!ParseField(fields[static_cast<std::size_t>(c)], c, v, problem)) {
        std::fprintf(stderr, "qxlabel: %s, line %d, column %s: %s\n", rows_file.c_str(), n,
                     column.c_str(), problem.c_str());
        return 1;
      }
      try {
        check.SetValue(c, std::move(v));
      } catch (const TableError& e) {  // the message names the column
        return refuse(n, e.what());
      }
      row[static_cast<std::size_t>(c)] = check.Value(c);
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) {
    std::fprintf(stderr, "qxlabel: %s holds no rows\n", rows_file.c_str());
    return 1;
  }
  // The last row carries the settings (Num 0). Without one, every row is a Segment and
  // the document gets the settings of a new Document.
  const FieldValue& last_number = rows.back()[kNumberColumn];
  if (!std::holds_alternative<int64_t>(last_number) || std::get<int64_t>(last_number) != 0) {
    if (rows.size() > static_cast<std::size_t>(kMaxSegmentRows)) {
      std::fprintf(stderr, "qxlabel: %s holds more than %d Segments, the most a document holds\n",
                   rows_file.c_str(), kMaxSegmentRows);
      return 1;
    }
    rows.push_back(DocumentSettingsRow(DocumentSettings{}));
  }
  std::string error;
  WriteFailure failure = WriteFailure::kNone;
  if (!paradox::WriteDocumentTable(out, rows, paradox::kLong, &error, &failure)) {
    // A write failure names the file; a row that does not fit the table does not.
    if (failure == WriteFailure::kNone) error = "cannot write " + out + ": " + error;
    std::fprintf(stderr, "qxlabel: %s\n", error.c_str());
    return 1;
  }
  std::printf("%zu row(s) written to %s\n", rows.size(), out.c_str());
  return 0;
}

int Export(const std::string& file, const std::string& out) {
  LoadedDocument d;
  if (!Load(file, d) || OutputIsInput(file, out)) return 1;
  SegmentTable& t = d.doc.table;
  StoreNumbered(t);
  DropTrailingEmptySegments(t);
  const NativeFile native = BuildNativeFile(t, d.doc.settings);
  if (!native.ok()) {
    std::fprintf(stderr,
                 "qxlabel: cannot export %s: the Segments' texts come to %zu bytes, a native "
                 "file holds at most %zu; export fewer Segments at a time\n",
                 file.c_str(), native.text_bytes, kMaxNativeTextBytes);
    return 1;
  }
  const std::vector<uint8_t>& bytes = native.bytes;
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
      return "not an Excel workbook, LibreOffice spreadsheet or text table";
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

// A workbook error in words; for kTooLarge with the limit it reached.
std::string WorkbookProblem(WorkbookError e, const std::string& limit) {
  std::string s = WorkbookErrorText(e);
  if (e == WorkbookError::kTooLarge && !limit.empty()) s += " (" + limit + ")";
  return s;
}

// A document file that could not be written, in one line naming it once. The writer's
// own message names the file ("cannot write OUT: the disk is full"); a row that does not
// fit the table comes as "OUT: reason".
void DocumentWriteFailed(const std::string& out, const TableError& e) {
  const std::string what = e.what();
  if (dynamic_cast<const FileWriteError*>(&e))
    std::fprintf(stderr, "qxlabel: %s\n", what.c_str());
  else if (what.starts_with(out + ": "))
    std::fprintf(stderr, "qxlabel: cannot write %s\n", what.c_str());
  else
    std::fprintf(stderr, "qxlabel: cannot write %s: %s\n", out.c_str(), what.c_str());
}

// What happened to an imported row, in words; the end of the list is said separately.
const char* RowNoteText(RowNote n) {
  switch (n) {
    case RowNote::kUpperCut: return "the upper line was cut to fit";
    case RowNote::kLowerCut: return "the lower line was cut to fit";
    case RowNote::kReplaced: return "characters GBK cannot hold became '?'";
    case RowNote::kMarked: return "superscript or subscript digits became marks";
    case RowNote::kSkipped: return "left out, its upper cell is empty";
    default: return nullptr;
  }
}

// "--columns A,B" or "--columns C": the upper and lower line's columns.
bool ParseColumns(const std::string& s, ImportOptions& o) {
  const std::size_t comma = s.find(',');
  const auto upper = ColumnIndex(std::string_view(s).substr(0, comma));
  if (!upper || *upper >= kMaxSheetColumns) return false;
  o.upper_column = static_cast<int>(*upper);
  o.lower_column = kNoColumn;
  if (comma == std::string::npos) return true;
  const auto lower = ColumnIndex(std::string_view(s).substr(comma + 1));
  if (!lower || *lower >= kMaxSheetColumns || *lower == *upper) return false;
  o.lower_column = static_cast<int>(*lower);
  return true;
}

int Import(int argc, char** argv) {
  std::vector<std::string> files;
  ImportOptions options;
  std::string append_to;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--sheet") {
      int n = 0;
      if (!has_value || !ParseInt(argv[++i], 1, 65536, n)) return Usage("--sheet takes a sheet number from 1");
      options.sheet = static_cast<std::size_t>(n - 1);
    } else if (a == "--header") {
      options.header = true;
    } else if (a == "--columns") {
      if (!has_value || !ParseColumns(argv[++i], options))
        return Usage("--columns takes one or two different column letters A to Z, like A,B or C");
    } else if (a == "--skip-empty") {
      options.skip_empty_rows = true;
    } else if (a == "--append-to") {
      if (!has_value) return Usage("--append-to takes a document file");
      append_to = argv[++i];
      options.append = true;
    } else if (a.starts_with("--")) {
      return Usage(("bad option " + a).c_str());
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage("import takes a workbook and the output file");
  const std::string& book = files[0];
  const std::string& out = files[1];
  if (!CanRead(book) || OutputIsInput(book, out)) return 1;
  if (!append_to.empty() && OutputIsInput(book, append_to)) return 1;
  WorkbookError error = WorkbookError::kNone;
  std::string limit;
  std::unique_ptr<Workbook> workbook = OpenWorkbook(book, &error, {}, &limit);
  std::unique_ptr<SheetRows> rows;
  if (workbook) {
    const std::size_t sheets = workbook->sheet_names().size();
    if (options.sheet >= sheets) {
      std::fprintf(stderr, "qxlabel: %s has %zu sheet(s); give --sheet 1 to %zu\n", book.c_str(), sheets, sheets);
      return 1;
    }
    rows = workbook->OpenSheet(options.sheet, options.columns(), &error, &limit);
  }
  if (!rows) {
    std::fprintf(stderr, "qxlabel: cannot read %s: %s\n", book.c_str(), WorkbookProblem(error, limit).c_str());
    return 1;
  }
  LoadedDocument d;
  DocumentState& doc = d.doc;
  if (options.append) {
    if (!Load(append_to, d)) return 1;
  } else {
    NewDocument(doc, "working table");
  }
  const ImportResult r = ImportSheet(doc.table, *rows, options);
  const int had = kMaxSegments - r.room;  // the Segments the rows are added after
  // Added rows keep the Document's settings; a new Document takes the material the rows need.
  if (r.two_lines && !options.append) doc.settings.material_index = 5;
  // An import that could not read the whole sheet writes nothing: OUT keeps what it held.
  if (r.error != WorkbookError::kNone) {
    std::fprintf(stderr,
                 "qxlabel: cannot import %s: reading stopped after %d row(s): %s; nothing was "
                 "written\n",
                 book.c_str(), r.segments, WorkbookProblem(r.error, rows->limit_reached()).c_str());
    return 1;
  }
  // One line per row that was cut, changed or left out.
  for (std::size_t i = 0; i < r.reports.size();) {
    const int row = r.reports[i].row;
    std::string what;
    for (; i < r.reports.size() && r.reports[i].row == row; ++i)
      if (const char* text = RowNoteText(r.reports[i].note)) what += (what.empty() ? "" : "; ") + std::string(text);
    if (!what.empty()) std::fprintf(stderr, "qxlabel: row %d: %s\n", row, what.c_str());
  }
  // A document holds kMaxSegments: rows beyond are left out, and a document that is full
  // already takes none.
  if (r.truncated && !options.append)
    std::fprintf(stderr, "qxlabel: only the first %d rows were imported\n", kMaxImportedRows);
  if (r.truncated && options.append && r.segments > 0)
    std::fprintf(stderr,
                 "qxlabel: %s holds %d Segment(s) and a document holds at most %d: only %d "
                 "row(s) were added, row %d and the rows below it were left out "
                 "(文档最多容纳%d个段落,只添加了%d个段落,以下的行未导入。)\n",
                 append_to.c_str(), had, kMaxSegments, r.segments, r.reports.back().row,
                 kMaxSegments, r.segments);
  if (r.stopped_at_row > 0)
    std::fprintf(stderr,
                 "qxlabel: %d row(s) imported; row %d has an empty first cell, so it and the "
                 "rows below it were left out\n",
                 r.segments, r.stopped_at_row);
  if (r.replaced)
    std::fprintf(stderr, "qxlabel: %d character(s) GBK cannot hold became '?'\n", r.replaced);
  // Nothing to import writes nothing: OUT keeps what it held.
  if (r.segments == 0) {
    if (r.truncated)
      std::fprintf(stderr,
                   "qxlabel: %s already holds %d Segments, the most a document holds; nothing "
                   "was added and %s was not written (文档已有%d个段落,不能再添加段落!)\n",
                   append_to.c_str(), had, out.c_str(), kMaxSegments);
    else
      std::fprintf(stderr, "qxlabel: %s has no rows to import; %s was not written\n",
                   book.c_str(), out.c_str());
    return 1;
  }
  StoreNumbered(doc.table);
  DropTrailingEmptySegments(doc.table);
  try {
    WriteDocumentFile(doc.table, doc.settings, out, DocumentRows::kAll);
  } catch (const TableError& e) {
    DocumentWriteFailed(out, e);
    return 1;
  }
  if (options.append)
    std::printf("%d Segment(s) added after those of %s into %s\n", r.segments, append_to.c_str(), out.c_str());
  else
    std::printf("%d Segment(s) imported into %s\n", r.segments, out.c_str());
  return 0;
}

int PreviewDocument(const std::string& file, const std::string& out, int argc, char** argv) {
  Calibration cal;
  int scale = 2, per_row = 0;
  JobChoice choice;
  for (int i = 0; i < argc; ++i) {
    int v = 0;
    const std::string a = argv[i];
    std::string error;
    if (cli::TakeJobOption(argc, argv, i, choice, error)) {
      if (!error.empty()) return Usage(error.c_str());
    } else if (a == "--label-cal" && i + 1 < argc && ParseInt(argv[++i], 1, 255, v)) {
      cal.LabelCalibration = static_cast<uint8_t>(v);
    } else if (a == "--tube-cal" && i + 1 < argc && ParseInt(argv[++i], 1, 255, v)) {
      cal.TubeCalibration = static_cast<uint8_t>(v);
    } else if (a == "--scale" && i + 1 < argc && ParseInt(argv[++i], 1, 16, v)) {
      scale = v;
    } else if (a == "--per-row" && i + 1 < argc && ParseInt(argv[++i], 1, 100000, v)) {
      per_row = v;
    } else {
      return Usage(("unknown or bad option " + a).c_str());
    }
  }
  LoadedDocument d;
  if (!Load(file, d) || OutputIsInput(file, out)) return 1;
  TapePictureWriter picture(out, scale, per_row);
  if (!picture.Prepare(&file)) return 1;
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(d.doc.settings.font_face);
  ImageBuilder builder(glyph_canvas, measurer);
  builder.SelectPrintFont(PrintFontOf(d.doc.settings));  // as the editor prints it
  // The job `qxlabel print` makes with the same choices, walked as it walks it.
  if (!TidyForPrint(d.doc.table)) {
    std::fprintf(stderr, "qxlabel: nothing to print in %s\n", file.c_str());
    return 1;
  }
  PrintJob job = JobOf(choice, d.doc.table);
  job.calibration = cal;
  // Items that will not print are left out of the picture, as the print job skips them.
  // Every copy prints the same items; each is walked in turn and its pictures drawn as
  // they come, so no more than a page of them is held at once.
  cli::SkipReport skipped;
  const JobDocument doc{d.doc.table, d.doc.file_state, measurer, builder};
  for (int copy = 1; copy <= std::max(job.Copies, 1); ++copy) {
    const bool drawn = JobPreview::Walk(doc, job, [&](const JobEntry& entry, const ItemImage* item) {
      if (!item) {
        if (copy == 1) skipped.Add(entry.skipped);
        return true;
      }
      return picture.Add(*item);
    });
    if (!drawn) {
      picture.Abandon();
      return 1;
    }
  }
  skipped.Print();
  if (picture.drawn() == 0) {
    std::fprintf(stderr, "qxlabel: nothing to print in %s\n", file.c_str());
    return 1;
  }
  if (!picture.Finish()) return 1;
  std::printf("%zu item(s) drawn into %s\n", picture.drawn(), picture.Files().c_str());
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
      return Usage("measure takes one text");
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
  int size = 4, length = 25, material = 5, spacing = 4, cut = 1, scale = 3, per_row = 0;
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
    } else if (a == "--per-row") {
      if (!num(1, 100000, per_row)) return Usage("--per-row takes 1 to 100000");
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

  TapePictureWriter picture(out, scale, per_row);
  if (!picture.Prepare(nullptr)) return 1;
  int64_t dots = 0;
  for (uint32_t value = serial.first; value <= serial.last; ++value) {
    const std::string text = qx::SerialText(serial.type, static_cast<uint16_t>(value), serial.last);
    v.SerialWidth = serial.type == qx::kSerialDecimalPadded ? qx::DecimalWidth(serial.last)
                                                            : static_cast<uint8_t>(text.size());
    const qx::LayoutContext c{measurer, v, p, text};
    qx::ItemImage img;
    switch (qx::MakeItem(builder, c, text1, text2, img)) {
      case qx::ItemResult::kBuilt:
        dots += qx::ItemFeedDots(img);
        if (!picture.Add(std::move(img))) {
          picture.Abandon();
          return 1;
        }
        break;
      case qx::ItemResult::kSkipped:
        std::fprintf(stderr, "qxlabel: item %s is skipped: %s\n", text.empty() ? "1" : text.c_str(),
                     cli::NotPrintedReason(qx::ItemResult::kSkipped,
                                           qx::WhyLayoutRefuses(c, text1, text2), 0)
                         .c_str());
        break;
      case qx::ItemResult::kTooLong:
        std::fprintf(stderr, "qxlabel: item %s is skipped: %s\n", text.empty() ? "1" : text.c_str(),
                     cli::NotPrintedReason(qx::ItemResult::kTooLong, {},
                                           static_cast<int>(img.columns.size() / qx::kColumnBytes))
                         .c_str());
        break;
    }
  }
  if (picture.drawn() == 0) {
    std::fprintf(stderr, "qxlabel: nothing to draw; %s was not written\n", out.c_str());
    return 1;
  }
  if (!picture.Finish()) return 1;
  std::printf("%zu item(s), %lld dots of tape (%.1f mm at 11 dots per mm), drawn with %s: %s\n",
              picture.drawn(), static_cast<long long>(dots), static_cast<double>(dots) / 11.0,
              glyph_canvas.UsedFaceName().c_str(), picture.Files().c_str());
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
    if (cmd == "import") return Import(argc - 2, argv + 2);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "qxlabel: out of memory\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qxlabel: %s\n", e.what());
    return 1;
  }
  return Usage(("unknown command " + cmd).c_str());
}
