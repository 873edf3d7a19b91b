// .xls: an Excel 97-2003 (BIFF8) workbook inside an OLE compound file.
//
// The compound file is read here too: its header, sector tables and directory, just far
// enough to get the "Workbook" stream. Every sector number and chain is checked against
// the file, so a damaged file cannot send the reader outside it or around in a loop. The
// stream is then read record by record: the workbook globals when the file opens, and a
// worksheet's cells in the columns asked for in one pass when the sheet opens, so rows
// come out in order whatever order the file stores its cells in. A cell is kept as the file gives it (a shared string's index,
// a number and its format) and turned into text only when its row is read, so that many
// cells naming one long string take no more memory than the file.
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <variant>

#include "document/gbk.h"
#include "document/workbook.h"

namespace qx::detail {
namespace {

enum : std::uint16_t {
  kFormula = 0x0006,
  kEof = 0x000A,
  kDateMode = 0x0022,
  kFilePass = 0x002F,
  kContinue = 0x003C,
  kBoundSheet = 0x0085,
  kMulRk = 0x00BD,
  kMulBlank = 0x00BE,
  kRString = 0x00D6,
  kXf = 0x00E0,
  kSst = 0x00FC,
  kLabelSst = 0x00FD,
  kBlank = 0x0201,
  kNumber = 0x0203,
  kLabel = 0x0204,
  kBoolErr = 0x0205,
  kString = 0x0207,
  kRk = 0x027E,
  kFormat = 0x041E,
  kBof = 0x0809,
};

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kGlobalsSubstream = 0x0005;
constexpr std::uint16_t kWorksheetSubstream = 0x0010;

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
double F64(const unsigned char* p) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// A number stored in 30 bits: an integer or the high bits of a double, maybe times 100.
double RkValue(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, sizeof v);
  }
  return (rk & 1) ? v / 100 : v;
}

std::string_view ErrorText(unsigned code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    case 0x2B: return "#GETTING_DATA";
    default: return "#N/A";
  }
}

struct Record {
  std::uint16_t type = 0;
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

// The records of the stream from a position on.
class Records {
 public:
  Records(std::span<const unsigned char> stream, std::size_t pos) : s_(stream), pos_(pos) {}

  // False at the end of the stream, and for a record cut off by it (then damaged()).
  bool Next(Record& r) {
    if (pos_ >= s_.size()) return false;
    if (s_.size() - pos_ < 4) return Damage();
    r.type = U16(&s_[pos_]);
    r.size = U16(&s_[pos_ + 2]);
    if (s_.size() - pos_ - 4 < r.size) return Damage();
    r.data = s_.data() + pos_ + 4;
    pos_ += 4 + r.size;
    return true;
  }
  bool NextIsContinue() const { return s_.size() - pos_ >= 4 && pos_ < s_.size() && U16(&s_[pos_]) == kContinue; }
  bool damaged() const { return damaged_; }

 private:
  bool Damage() {
    damaged_ = true;
    return false;
  }
  std::span<const unsigned char> s_;
  std::size_t pos_;
  bool damaged_ = false;
};

// A record's data joined with the data of the CONTINUE records after it. A string's
// characters may be split at such a break; the part after it starts with a fresh flags
// byte telling whether it is stored one or two bytes per character.
struct Joined {
  std::vector<unsigned char> data;
  std::vector<std::size_t> breaks;  // where each CONTINUE's data starts
};

Joined Join(const Record& first, Records& records) {
  Joined j;
  j.data.assign(first.data, first.data + first.size);
  Record r;
  while (records.NextIsContinue() && records.Next(r)) {
    j.breaks.push_back(j.data.size());
    j.data.insert(j.data.end(), r.data, r.data + r.size);
  }
  return j;
}

class Reader {
 public:
  Reader(const unsigned char* data, std::size_t size, const std::vector<std::size_t>* breaks = nullptr)
      : d_(data), n_(size), breaks_(breaks) {}

  bool AtEnd() const { return pos_ >= n_; }
  bool U8(unsigned& v) {
    if (n_ - pos_ < 1) return false;
    v = d_[pos_++];
    return true;
  }
  bool U16v(unsigned& v) {
    if (n_ - pos_ < 2) return false;
    v = U16(d_ + pos_);
    pos_ += 2;
    return true;
  }
  bool U32v(std::uint32_t& v) {
    if (n_ - pos_ < 4) return false;
    v = U32(d_ + pos_);
    pos_ += 4;
    return true;
  }
  bool Skip(std::uint64_t k) {
    if (n_ - pos_ < k) return false;
    pos_ += static_cast<std::size_t>(k);
    return true;
  }

  // `count` characters, one byte (Latin-1) or two (UTF-16LE) each, as UTF-8.
  bool Chars(std::size_t count, bool wide, std::string& out) {
    std::u16string units;
    while (count > 0) {
      const std::size_t limit = NextBreak();
      const std::size_t width = wide ? 2 : 1;
      const std::size_t take = std::min((limit - pos_) / width, count);
      for (std::size_t i = 0; i < take; ++i, pos_ += width)
        units += wide ? static_cast<char16_t>(U16(d_ + pos_)) : static_cast<char16_t>(d_[pos_]);
      count -= take;
      if (count == 0) break;
      if (pos_ != limit || limit >= n_) return false;
      wide = d_[pos_++] & 1;
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
      std::uint32_t cp = units[i];
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
        cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00u);
      gbk::AppendUtf8(out, cp);
    }
    return true;
  }

  // A string with a 16-bit length and a flags byte, maybe followed by formatting runs and
  // phonetic data (in the shared string table), which are skipped.
  bool String(std::string& out) {
    unsigned cch, flags, runs = 0;
    std::uint32_t ext = 0;
    if (!U16v(cch) || !U8(flags)) return false;
    if ((flags & 0x08) && !U16v(runs)) return false;
    if ((flags & 0x04) && !U32v(ext)) return false;
    return Chars(cch, flags & 1, out) && Skip(4ull * runs) && Skip(ext);
  }

 private:
  std::size_t NextBreak() const {
    if (breaks_)
      for (std::size_t b : *breaks_)
        if (b > pos_) return b;
    return n_;
  }

  const unsigned char* d_;
  std::size_t n_;
  const std::vector<std::size_t>* breaks_;
  std::size_t pos_ = 0;
};

// A cell as the file gives it: a text, a shared string's index, or a number with the
// cell format (XF) it is shown through.
struct SharedIndex {
  std::uint32_t index;
};
struct NumberCell {
  double value;
  unsigned xf;
};
using XlsCell = std::variant<std::string, SharedIndex, NumberCell>;

// What turns cells into texts: the shared strings and the number formats.
struct CellTexts {
  bool date1904 = false;
  std::unordered_map<unsigned, std::string> formats;
  std::vector<std::uint16_t> xf_formats;
  StringPool sst;

  std::string Number(double v, unsigned xf) const {
    std::string_view code = "General";
    if (xf < xf_formats.size()) {
      const unsigned id = xf_formats[xf];
      auto it = formats.find(id);
      code = it != formats.end() ? std::string_view(it->second) : BuiltinNumberFormat(static_cast<int>(id));
    }
    return FormatNumber(v, code, date1904);
  }
  std::string Text(XlsCell& c) const {
    if (auto* s = std::get_if<std::string>(&c)) return std::move(*s);
    if (const auto* i = std::get_if<SharedIndex>(&c)) return std::string(sst.Get(i->index));
    const NumberCell& n = std::get<NumberCell>(c);
    return Number(n.value, n.xf);
  }
};

// A row's cells from column A; cells the file leaves out are empty texts.
using XlsRow = std::vector<XlsCell>;

class XlsSheet final : public SheetRows {
 public:
  XlsSheet(std::vector<XlsRow> rows, std::shared_ptr<const CellTexts> texts)
      : rows_(std::move(rows)), texts_(std::move(texts)) {}
  bool NextRow(std::vector<std::string>& cells) override {
    if (next_ >= rows_.size()) return false;
    XlsRow& row = rows_[next_];
    cells.resize(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) cells[i] = texts_->Text(row[i]);
    row = {};
    ++next_;
    return true;
  }
  WorkbookError error() const override { return WorkbookError::kNone; }

 private:
  std::vector<XlsRow> rows_;
  std::shared_ptr<const CellTexts> texts_;
  std::size_t next_ = 0;
};

struct XlsSheetEntry {
  std::string name;
  std::size_t pos;  // of the worksheet's BOF record in the stream
};

// The workbook globals, and a worksheet's cells on request.
class Biff8 {
 public:
  Biff8(std::span<const unsigned char> stream, const WorkbookLimits& limits) : s_(stream), limits_(limits) {}

  // The cells of the worksheet at `pos`, in its first `columns` columns.
  WorkbookError ReadSheet(std::size_t pos, std::size_t columns, std::vector<XlsRow>& rows) {
    rows_.clear();
    columns_ = columns;
    const WorkbookError e = ReadCells(pos);
    rows = std::move(rows_);
    rows_ = {};
    return e;
  }
  std::vector<XlsSheetEntry>& sheets() { return sheets_; }
  std::shared_ptr<const CellTexts> texts() const { return shared_texts_; }
  const std::string& limit() const { return limit_; }

  WorkbookError ReadGlobals() {
    Records records(s_, 0);
    Record r;
    if (!records.Next(r) || r.type != kBof || r.size < 4) return WorkbookError::kDamaged;
    if (U16(r.data) != kBiff8) return WorkbookError::kUnsupported;  // Excel 5.0/95 and older
    if (U16(r.data + 2) != kGlobalsSubstream) return WorkbookError::kDamaged;
    for (;;) {
      if (!records.Next(r)) return WorkbookError::kDamaged;  // no end of the globals
      switch (r.type) {
        case kEof:
          return sheets_.empty() ? WorkbookError::kDamaged : WorkbookError::kNone;
        case kFilePass:
          return WorkbookError::kProtected;
        case kDateMode:
          if (r.size >= 2) texts_->date1904 = U16(r.data) == 1;
          break;
        case kFormat:
          if (r.size >= 2) {
            Reader rd(r.data + 2, r.size - 2);
            std::string code;
            if (rd.String(code)) texts_->formats[U16(r.data)] = std::move(code);
          }
          break;
        case kXf:
          if (r.size >= 4) texts_->xf_formats.push_back(U16(r.data + 2));
          break;
        case kSst:
          if (WorkbookError e = ReadSst(Join(r, records)); e != WorkbookError::kNone) return e;
          break;
        case kBoundSheet:
          // The worksheets in tab order; charts and macros are left out.
          if (r.size >= 6 && r.data[5] == 0) {
            Reader rd(r.data + 6, r.size - 6);
            unsigned cch = 0, flags = 0;
            std::string name;
            if (!rd.U8(cch) || !rd.U8(flags) || !rd.Chars(cch, flags & 1, name)) name.clear();
            sheets_.push_back({std::move(name), U32(r.data)});
          }
          break;
        default:
          break;
      }
    }
  }

 private:
  WorkbookError ReadSst(const Joined& j) {
    Reader rd(j.data.data(), j.data.size(), &j.breaks);
    std::uint32_t total, unique;
    if (!rd.U32v(total) || !rd.U32v(unique)) return WorkbookError::kDamaged;
    std::string s;
    // Some writers state a wrong count; the strings present are what counts.
    for (std::uint32_t i = 0; i < unique && !rd.AtEnd(); ++i) {
      s.clear();
      if (!rd.String(s)) return WorkbookError::kDamaged;
      StringPool& sst = texts_->sst;
      if (sst.size() >= limits_.shared_string_count) {
        limit_ = "the shared strings: more than " + std::to_string(limits_.shared_string_count) + " strings";
        return WorkbookError::kTooLarge;
      }
      if (sst.text_bytes() + s.size() > limits_.shared_text_bytes) {
        limit_ = "the shared strings: more than " + SizeText(limits_.shared_text_bytes) + " of text";
        return WorkbookError::kTooLarge;
      }
      sst.Add(s);
    }
    return WorkbookError::kNone;
  }

  static XlsCell Number(double v, unsigned xf) { return NumberCell{v, xf}; }

  void Put(unsigned row, unsigned col, XlsCell cell) {
    if (rows_.size() <= row) rows_.resize(row + 1);
    if (col >= columns_) return;
    XlsRow& r = rows_[row];
    if (r.size() <= col) r.resize(col + 1);
    r[col] = std::move(cell);
  }

  WorkbookError ReadCells(std::size_t pos) {
    if (pos >= s_.size()) return WorkbookError::kDamaged;
    Records records(s_, pos);
    Record r;
    if (!records.Next(r) || r.type != kBof || r.size < 4 || U16(r.data + 2) != kWorksheetSubstream)
      return WorkbookError::kDamaged;
    int nested = 0;  // depth inside an embedded chart's substream
    bool pending_string = false;
    unsigned pending_row = 0, pending_col = 0;
    for (;;) {
      if (!records.Next(r)) return WorkbookError::kDamaged;  // no end of the sheet
      if (nested > 0) {
        if (r.type == kBof) ++nested;
        if (r.type == kEof) --nested;
        continue;
      }
      const unsigned row = r.size >= 6 ? U16(r.data) : 0, col = r.size >= 6 ? U16(r.data + 2) : 0;
      const unsigned xf = r.size >= 6 ? U16(r.data + 4) : 0;
      switch (r.type) {
        case kBof:
          nested = 1;
          break;
        case kEof:
          return WorkbookError::kNone;
        case kLabelSst:
          if (r.size < 10) return WorkbookError::kDamaged;
          if (const std::uint32_t i = U32(r.data + 6); i < texts_->sst.size()) Put(row, col, SharedIndex{i});
          else return WorkbookError::kDamaged;
          break;
        case kLabel:
        case kRString: {
          if (r.size < 9) return WorkbookError::kDamaged;
          Reader rd(r.data + 6, r.size - 6);
          unsigned cch, flags;
          std::string text;
          if (!rd.U16v(cch) || !rd.U8(flags) || !rd.Chars(cch, flags & 1, text)) return WorkbookError::kDamaged;
          Put(row, col, std::move(text));
          break;
        }
        case kRk:
          if (r.size < 10) return WorkbookError::kDamaged;
          Put(row, col, Number(RkValue(U32(r.data + 6)), xf));
          break;
        case kMulRk: {
          if (r.size < 6) return WorkbookError::kDamaged;
          const std::size_t n = (r.size - 6) / 6;
          for (std::size_t i = 0; i < n; ++i)
            Put(row, col + static_cast<unsigned>(i), Number(RkValue(U32(r.data + 6 + 6 * i)), U16(r.data + 4 + 6 * i)));
          if (n == 0) Put(row, col, {});
          break;
        }
        case kNumber:
          if (r.size < 14) return WorkbookError::kDamaged;
          Put(row, col, Number(F64(r.data + 6), xf));
          break;
        case kBoolErr:
          if (r.size < 8) return WorkbookError::kDamaged;
          Put(row, col, r.data[7] ? std::string(ErrorText(r.data[6])) : r.data[6] ? "TRUE" : "FALSE");
          break;
        case kFormula:
          if (r.size < 20) return WorkbookError::kDamaged;
          pending_string = false;
          if (U16(r.data + 12) != 0xFFFF) {
            Put(row, col, Number(F64(r.data + 6), xf));
          } else if (r.data[6] == 0) {  // a text result: the STRING record after it holds it
            Put(row, col, {});
            pending_string = true;
            pending_row = row;
            pending_col = col;
          } else if (r.data[6] == 1) {
            Put(row, col, r.data[8] ? "TRUE" : "FALSE");
          } else if (r.data[6] == 2) {
            Put(row, col, std::string(ErrorText(r.data[8])));
          } else {
            Put(row, col, {});
          }
          break;
        case kString: {
          const Joined j = Join(r, records);
          if (!pending_string) break;
          pending_string = false;
          Reader rd(j.data.data(), j.data.size(), &j.breaks);
          unsigned cch, flags;
          std::string text;
          if (!rd.U16v(cch) || !rd.U8(flags) || !rd.Chars(cch, flags & 1, text)) return WorkbookError::kDamaged;
          Put(pending_row, pending_col, std::move(text));
          break;
        }
        case kBlank:
        case kMulBlank:
          if (r.size >= 6) Put(row, col, {});
          break;
        default:
          break;
      }
      if (records.damaged()) return WorkbookError::kDamaged;
    }
  }

  std::span<const unsigned char> s_;
  const WorkbookLimits& limits_;
  std::shared_ptr<CellTexts> texts_ = std::make_shared<CellTexts>();
  std::shared_ptr<const CellTexts> shared_texts_ = texts_;
  std::string limit_;
  std::vector<XlsSheetEntry> sheets_;
  std::size_t columns_ = 2;
  std::vector<XlsRow> rows_;
};

// ---- The compound file ---------------------------------------------------------------

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

class CompoundFile {
 public:
  explicit CompoundFile(const std::vector<unsigned char>& f) : f_(f) {}

  // The stream named "Workbook" among the root storage's streams.
  WorkbookError ReadWorkbook(std::vector<unsigned char>& out) {
    if (f_.size() < 512 || U16(&f_[0x1C]) != 0xFFFE) return WorkbookError::kDamaged;
    const unsigned shift = U16(&f_[0x1E]), mini_shift = U16(&f_[0x20]);
    if ((shift != 9 && shift != 12) || mini_shift != 6) return WorkbookError::kDamaged;
    sector_ = std::size_t{1} << shift;
    wide_sizes_ = U16(&f_[0x1A]) == 4;
    if (WorkbookError e = ReadFat(); e != WorkbookError::kNone) return e;

    std::vector<unsigned char> dir;
    if (!ReadChain(fat_, U32(&f_[0x30]), f_.size(), dir, false) || dir.size() < 128) return WorkbookError::kDamaged;
    const std::size_t entries = dir.size() / 128;
    auto entry = [&](std::size_t i) { return &dir[i * 128]; };
    if (entry(0)[0x42] != 5) return WorkbookError::kDamaged;  // the root storage

    // The root's children form a tree through their left and right links.
    WorkbookError result = WorkbookError::kNotWorkbook;
    std::size_t workbook = entries;
    std::vector<std::uint32_t> todo{U32(entry(0) + 0x4C)};
    std::vector<bool> seen(entries, false);
    while (!todo.empty()) {
      const std::uint32_t i = todo.back();
      todo.pop_back();
      if (i == kNoStream) continue;
      if (i >= entries || seen[i]) return WorkbookError::kDamaged;
      seen[i] = true;
      const unsigned char* e = entry(i);
      todo.push_back(U32(e + 0x44));
      todo.push_back(U32(e + 0x48));
      const std::string name = EntryName(e);
      if (e[0x42] != 2) continue;
      if (name == "WORKBOOK") workbook = i;
      // An Excel 5.0/95 workbook, or an encrypted .xlsx package.
      else if (name == "BOOK" && result == WorkbookError::kNotWorkbook) result = WorkbookError::kUnsupported;
      else if (name == "ENCRYPTEDPACKAGE") result = WorkbookError::kProtected;
    }
    if (workbook == entries) return result;

    const unsigned char* e = entry(workbook);
    std::uint64_t size = wide_sizes_ ? (static_cast<std::uint64_t>(U32(e + 0x7C)) << 32) | U32(e + 0x78) : U32(e + 0x78);
    if (size > f_.size()) return WorkbookError::kDamaged;  // larger than the file holding it
    const std::uint32_t start = U32(e + 0x74);
    if (size >= U32(&f_[0x38])) {  // at or above the cutoff: in ordinary sectors
      if (!ReadChain(fat_, start, size, out, true)) return WorkbookError::kDamaged;
    } else {
      // Small streams live in 64-byte sectors inside the root's "mini stream".
      std::vector<std::uint32_t> mini_fat;
      std::vector<unsigned char> raw, mini_stream;
      if (!ReadChain(fat_, U32(&f_[0x3C]), f_.size(), raw, false)) return WorkbookError::kDamaged;
      for (std::size_t i = 0; i + 4 <= raw.size(); i += 4) mini_fat.push_back(U32(&raw[i]));
      const std::uint64_t root_size = U32(entry(0) + 0x78);
      if (!ReadChain(fat_, U32(entry(0) + 0x74), std::min<std::uint64_t>(root_size, f_.size()), mini_stream, false))
        return WorkbookError::kDamaged;
      if (!ReadMiniChain(mini_fat, mini_stream, start, size, out)) return WorkbookError::kDamaged;
    }
    out.resize(static_cast<std::size_t>(size));
    return WorkbookError::kNone;
  }

 private:
  // The sector allocation table, from the sectors the header and the DIFAT chain list.
  WorkbookError ReadFat() {
    std::vector<std::uint32_t> fat_sectors;
    for (std::size_t i = 0; i < 109; ++i) fat_sectors.push_back(U32(&f_[0x4C + 4 * i]));
    std::uint32_t next = U32(&f_[0x44]);
    const std::size_t per = sector_ / 4 - 1;
    for (std::size_t steps = 0; next < kEndOfChain - 3; ++steps) {  // below the special values
      const unsigned char* p = Sector(next);
      if (!p || steps > SectorCount()) return WorkbookError::kDamaged;
      for (std::size_t i = 0; i < per; ++i) fat_sectors.push_back(U32(p + 4 * i));
      next = U32(p + 4 * per);
    }
    for (std::uint32_t s : fat_sectors) {
      if (s >= kEndOfChain - 3) continue;
      const unsigned char* p = Sector(s);
      if (!p) return WorkbookError::kDamaged;
      if (fat_.size() > SectorCount() * 2 + 1024) break;  // more entries than the file has sectors
      for (std::size_t i = 0; i < sector_ / 4; ++i) fat_.push_back(U32(p + 4 * i));
    }
    return WorkbookError::kNone;
  }

  std::size_t SectorCount() const { return f_.size() / sector_; }

  // Sector n, or nullptr when it lies outside the file.
  const unsigned char* Sector(std::uint32_t n) const {
    const std::uint64_t off = (static_cast<std::uint64_t>(n) + 1) * sector_;
    if (off + sector_ > f_.size()) return nullptr;
    return f_.data() + off;
  }

  // Follows a chain of sectors, at most `limit` bytes; with `exact` the chain must hold
  // `limit` bytes. A chain that leaves the table or runs in a circle is damage.
  bool ReadChain(const std::vector<std::uint32_t>& fat, std::uint32_t n, std::uint64_t limit,
                 std::vector<unsigned char>& out, bool exact) const {
    std::size_t steps = 0;
    while (n != kEndOfChain && out.size() < limit) {
      const unsigned char* p = Sector(n);
      if (!p || n >= fat.size() || ++steps > fat.size()) return false;
      out.insert(out.end(), p, p + sector_);
      n = fat[n];
    }
    return !exact || out.size() >= limit;
  }

  static bool ReadMiniChain(const std::vector<std::uint32_t>& mini_fat, const std::vector<unsigned char>& stream,
                            std::uint32_t n, std::uint64_t size, std::vector<unsigned char>& out) {
    std::size_t steps = 0;
    while (out.size() < size) {
      const std::uint64_t off = static_cast<std::uint64_t>(n) * 64;
      if (n >= mini_fat.size() || off + 64 > stream.size() || ++steps > mini_fat.size()) return false;
      out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(off),
                 stream.begin() + static_cast<std::ptrdiff_t>(off + 64));
      n = mini_fat[n];
    }
    return true;
  }

  // A directory entry's name in ASCII capitals (other characters as '?'), for comparing
  // the way the format does: without regard to case.
  static std::string EntryName(const unsigned char* e) {
    const unsigned bytes = std::min<unsigned>(U16(e + 0x40), 64);
    std::string name;
    for (unsigned i = 0; i + 1 < bytes; i += 2) {
      const unsigned c = U16(e + i);
      if (c == 0) break;
      name += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c < 0x80 ? static_cast<char>(c) : '?';
    }
    return name;
  }

  const std::vector<unsigned char>& f_;
  std::size_t sector_ = 512;
  bool wide_sizes_ = false;
  std::vector<std::uint32_t> fat_;
};

}  // namespace

namespace {

// The workbook stream and its globals, kept for opening worksheets.
class XlsWorkbook final : public Workbook {
 public:
  XlsWorkbook(std::vector<unsigned char> stream, const WorkbookLimits& limits)
      : stream_(std::move(stream)), limits_(limits), book_(stream_, limits_) {}

  WorkbookError Read() {
    const WorkbookError e = book_.ReadGlobals();
    if (e != WorkbookError::kNone) return e;
    for (const XlsSheetEntry& s : book_.sheets()) names_.push_back(s.name);
    texts_ = book_.texts();
    return e;
  }
  const std::string& limit() const { return book_.limit(); }

  SourceKind kind() const override { return SourceKind::kXls; }
  const std::vector<std::string>& sheet_names() const override { return names_; }

  std::unique_ptr<SheetRows> OpenSheet(std::size_t index, std::size_t columns, WorkbookError* error,
                                       std::string*) override {
    std::vector<XlsRow> rows;
    const WorkbookError e = index < book_.sheets().size()
                                ? book_.ReadSheet(book_.sheets()[index].pos, std::min(columns, kMaxSheetColumns), rows)
                                : WorkbookError::kDamaged;
    if (error) *error = e;
    if (e != WorkbookError::kNone) return nullptr;
    return std::make_unique<XlsSheet>(std::move(rows), texts_);
  }

 private:
  std::vector<unsigned char> stream_;
  WorkbookLimits limits_;
  Biff8 book_;
  std::vector<std::string> names_;
  std::shared_ptr<const CellTexts> texts_;
};

}  // namespace

std::unique_ptr<Workbook> OpenXls(std::vector<unsigned char> bytes, const WorkbookLimits& limits,
                                  WorkbookError* error, std::string* limit) {
  auto refuse = [&](WorkbookError e) -> std::unique_ptr<Workbook> {
    if (error) *error = e;
    return nullptr;
  };
  if (bytes.size() > limits.xls_file_bytes) {
    if (limit) *limit = "the file: larger than " + SizeText(limits.xls_file_bytes);
    return refuse(WorkbookError::kTooLarge);
  }
  std::vector<unsigned char> stream;
  if (WorkbookError e = CompoundFile(bytes).ReadWorkbook(stream); e != WorkbookError::kNone) return refuse(e);
  bytes = {};
  auto book = std::make_unique<XlsWorkbook>(std::move(stream), limits);
  if (WorkbookError e = book->Read(); e != WorkbookError::kNone) {
    if (e == WorkbookError::kTooLarge && limit) *limit = book->limit();
    return refuse(e);
  }
  if (error) *error = WorkbookError::kNone;
  return book;
}

}  // namespace qx::detail
