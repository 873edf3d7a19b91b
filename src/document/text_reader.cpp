// Text tables: .csv, .tsv and .txt files as spreadsheet programs and CAD exports write them.
//
// The text is UTF-8 (with or without a byte-order mark), UTF-16 with its byte-order mark,
// or else GBK: a file that is not valid UTF-8 is read as GBK, the code page of Chinese
// Windows. Fields are separated by commas, semicolons or tabs, whichever the first lines
// use the most (a .tsv file always by tabs). A field in double quotes may hold separators,
// line breaks and doubled quotes; lines end with CR LF, LF or CR. The file is read whole
// (within the size limit) and split into rows as the caller reads them.
#include <algorithm>
#include <array>

#include "document/gbk.h"
#include "document/workbook.h"

namespace qx::detail {
namespace {

// Lines looked at to tell the separator.
constexpr int kSniffLines = 50;

bool ValidUtf8(std::string_view s) {
  for (std::size_t pos = 0; pos < s.size();) {
    std::size_t len;
    if (gbk::DecodeUtf8(s, pos, len) == gbk::kReplacement) {
      // U+FFFD written out in the file is valid; a malformed sequence is not.
      if (s.substr(pos, 3) != "\xEF\xBF\xBD") return false;
    }
    pos += len;
  }
  return true;
}

std::string FromUtf16(std::span<const unsigned char> b, bool big_endian) {
  std::string out;
  out.reserve(b.size());
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    char32_t u = big_endian ? (b[i] << 8 | b[i + 1]) : (b[i] | b[i + 1] << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size()) {
      const char32_t low = big_endian ? (b[i + 2] << 8 | b[i + 3]) : (b[i + 2] | b[i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    gbk::AppendUtf8(out, u);
  }
  return out;
}

// The file's text as UTF-8.
std::string DecodeText(std::vector<unsigned char>& bytes) {
  std::span<const unsigned char> b(bytes);
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return FromUtf16(b.subspan(2), false);
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return FromUtf16(b.subspan(2), true);
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) b = b.subspan(3);
  std::string text(reinterpret_cast<const char*>(b.data()), b.size());
  bytes = {};
  if (ValidUtf8(text)) return text;
  return gbk::ToUtf8(text);
}

// Splits rows off the text, one at a time.
class FieldScanner {
 public:
  FieldScanner(std::string_view text, char separator) : s_(text), sep_(separator) {}

  bool AtEnd() const { return pos_ >= s_.size(); }

  // The fields of the next row; calls field(index, text) for each; false on a field
  // longer than `cap` (then the rest of the row is skipped).
  template <typename F>
  bool Row(std::size_t cap, F&& field) {
    std::string cell;
    std::size_t index = 0;
    bool ok = true;
    for (;;) {
      cell.clear();
      bool too_long = false;
      const bool row_ends = Field(cell, cap, too_long);
      if (too_long) ok = false;
      field(index++, cell);
      if (row_ends) return ok;
    }
  }

 private:
  // One field into `out`; true when the row ends after it.
  bool Field(std::string& out, std::size_t cap, bool& too_long) {
    auto add = [&](std::string_view piece) {
      if (out.size() + piece.size() > cap) too_long = true;
      else out += piece;
    };
    if (pos_ < s_.size() && s_[pos_] == '"') {
      ++pos_;
      for (;;) {
        const std::size_t q = s_.find('"', pos_);
        if (q == std::string_view::npos) {  // no closing quote: the field runs to the end
          add(s_.substr(pos_));
          pos_ = s_.size();
          return true;
        }
        add(s_.substr(pos_, q - pos_));
        pos_ = q + 1;
        if (pos_ < s_.size() && s_[pos_] == '"') {
          add("\"");
          ++pos_;
          continue;
        }
        break;
      }
    }
    // Unquoted text, or what follows a closing quote, up to the separator or line end.
    const std::size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != sep_ && s_[pos_] != '\n' && s_[pos_] != '\r') ++pos_;
    add(s_.substr(start, pos_ - start));
    if (pos_ >= s_.size()) return true;
    const char c = s_[pos_++];
    if (c == sep_) return false;
    if (c == '\r' && pos_ < s_.size() && s_[pos_] == '\n') ++pos_;
    return true;
  }

  std::string_view s_;
  char sep_;
  std::size_t pos_ = 0;
};

// The separator the first lines use: the one found in most of them, then the one found
// most often; a comma when none is.
char DetectSeparator(std::string_view text) {
  constexpr std::array<char, 3> kCandidates = {',', ';', '\t'};
  std::array<int, 3> lines_with{}, total{};
  bool quoted = false;
  std::array<int, 3> in_line{};
  int lines = 0;
  auto end_line = [&] {
    for (std::size_t k = 0; k < 3; ++k) {
      if (in_line[k] > 0) ++lines_with[k];
      total[k] += in_line[k];
      in_line[k] = 0;
    }
    ++lines;
  };
  for (std::size_t i = 0; i < text.size() && lines < kSniffLines; ++i) {
    const char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n') end_line();
    for (std::size_t k = 0; k < 3; ++k)
      if (c == kCandidates[k]) ++in_line[k];
  }
  end_line();
  std::size_t best = 0;
  for (std::size_t k = 1; k < 3; ++k)
    if (lines_with[k] > lines_with[best] || (lines_with[k] == lines_with[best] && total[k] > total[best])) best = k;
  return lines_with[best] > 0 ? kCandidates[best] : ',';
}

class TextSheet final : public SheetRows {
 public:
  TextSheet(std::shared_ptr<const std::string> text, char separator, std::size_t columns,
            const WorkbookLimits& limits)
      : text_(std::move(text)), scanner_(*text_, separator), columns_(columns), limits_(limits) {}

  bool NextRow(std::vector<std::string>& cells) override {
    if (error_ != WorkbookError::kNone || scanner_.AtEnd() || rows_ >= kMaxSheetRows) return false;
    cells.clear();
    std::size_t last = 0;  // cells up to the last one with text
    const bool ok = scanner_.Row(limits_.cell_text_bytes, [&](std::size_t i, const std::string& field) {
      if (i >= columns_) return;
      cells.push_back(field);
      if (!field.empty()) last = i + 1;
    });
    if (!ok) {
      error_ = WorkbookError::kTooLarge;
      return false;
    }
    cells.resize(last);
    ++rows_;
    return true;
  }
  WorkbookError error() const override { return error_; }
  std::string limit_reached() const override {
    if (error_ != WorkbookError::kTooLarge) return {};
    return "a field with more than " + SizeText(limits_.cell_text_bytes) + " of text";
  }

 private:
  std::shared_ptr<const std::string> text_;
  FieldScanner scanner_;
  std::size_t columns_;
  WorkbookLimits limits_;
  std::uint32_t rows_ = 0;
  WorkbookError error_ = WorkbookError::kNone;
};

class TextTable final : public Workbook {
 public:
  TextTable(std::shared_ptr<const std::string> text, std::string name, char separator, const WorkbookLimits& limits)
      : text_(std::move(text)), names_{std::move(name)}, separator_(separator), limits_(limits) {}

  SourceKind kind() const override { return SourceKind::kText; }
  const std::vector<std::string>& sheet_names() const override { return names_; }
  std::unique_ptr<SheetRows> OpenSheet(std::size_t index, std::size_t columns, WorkbookError* error,
                                       std::string*) override {
    if (index != 0) {
      if (error) *error = WorkbookError::kDamaged;
      return nullptr;
    }
    if (error) *error = WorkbookError::kNone;
    return std::make_unique<TextSheet>(text_, separator_, std::min(columns, kMaxSheetColumns), limits_);
  }

 private:
  std::shared_ptr<const std::string> text_;
  std::vector<std::string> names_;
  char separator_;
  WorkbookLimits limits_;
};

}  // namespace

std::unique_ptr<Workbook> OpenTextTable(std::vector<unsigned char> bytes, std::string sheet_name, bool tabs,
                                        const WorkbookLimits& limits, WorkbookError* error, std::string* limit) {
  if (bytes.size() > limits.text_file_bytes) {
    if (limit) *limit = "the file: larger than " + SizeText(limits.text_file_bytes);
    if (error) *error = WorkbookError::kTooLarge;
    return nullptr;
  }
  auto text = std::make_shared<const std::string>(DecodeText(bytes));
  const char separator = tabs ? '\t' : DetectSeparator(*text);
  if (error) *error = WorkbookError::kNone;
  return std::make_unique<TextTable>(std::move(text), std::move(sheet_name), separator, limits);
}

}  // namespace qx::detail
