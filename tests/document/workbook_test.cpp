#include "document/workbook.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace qx {
namespace {

const std::filesystem::path kDir = std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel";

std::vector<unsigned char> Bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

using Rows = std::vector<std::pair<std::string, std::string>>;

// The rows a fixture's .tsv expects: "A<tab>B" per line, with \t \n \r \\ escaped.
Rows Expected(const std::string& name) {
  std::ifstream in(kDir / (name + ".tsv"), std::ios::binary);
  Rows rows;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    rows.emplace_back(Unescape(line.substr(0, tab)), tab == std::string::npos ? "" : Unescape(line.substr(tab + 1)));
  }
  return rows;
}

// Every row of the sheet; the error it ended with.
Rows ReadAll(SheetRows& sheet, WorkbookError* end_error) {
  Rows rows;
  std::string a, b;
  while (sheet.Next(a, b)) rows.emplace_back(a, b);
  *end_error = sheet.error();
  return rows;
}

// ---- Fixtures written by other programs: every row as the .tsv beside them says --------

struct Fixture {
  const char* name;
  const char* ext;
};

class WorkbookFixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(WorkbookFixtureTest, ReadsEveryRowAsDisplayed) {
  const Fixture& f = GetParam();
  const Rows expected = Expected(f.name);
  ASSERT_FALSE(expected.empty());
  const std::filesystem::path file = kDir / (std::string(f.name) + f.ext);
  const std::vector<unsigned char> bytes = Bytes(file);

  // From the file, and from the same bytes in memory.
  for (bool from_memory : {false, true}) {
    SCOPED_TRACE(from_memory ? "from memory" : "from file");
    WorkbookError error = WorkbookError::kCannotRead;
    auto sheet = from_memory ? OpenFirstSheet(std::span(bytes), &error) : OpenFirstSheet(file, &error);
    ASSERT_TRUE(sheet) << static_cast<int>(error);
    EXPECT_EQ(error, WorkbookError::kNone);
    WorkbookError end = WorkbookError::kCannotRead;
    const Rows got = ReadAll(*sheet, &end);
    EXPECT_EQ(end, WorkbookError::kNone);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first, expected[i].first) << "row " << i + 1 << " column A";
      EXPECT_EQ(got[i].second, expected[i].second) << "row " << i + 1 << " column B";
    }
  }
}

constexpr Fixture kFixtures[] = {
    {"basic", ".xlsx"},      {"basic", ".xls"},      {"one-column", ".xlsx"}, {"one-column", ".xls"},
    {"chinese", ".xlsx"},    {"chinese", ".xls"},    {"blanks", ".xlsx"},     {"blanks", ".xls"},
    {"numbers", ".xlsx"},    {"numbers", ".xls"},    {"formats", ".xlsx"},    {"formats", ".xls"},
    {"formulas", ".xlsx"},   {"formulas", ".xls"},   {"bool-error", ".xlsx"}, {"bool-error", ".xls"},
    {"gap", ".xlsx"},        {"gap", ".xls"},        {"two-sheets", ".xlsx"}, {"two-sheets", ".xls"},
    {"date1904", ".xlsx"},   {"date1904", ".xls"},   {"many", ".xlsx"},       {"many", ".xls"},
    {"rk", ".xls"},          {"split-strings", ".xls"},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, WorkbookFixtureTest, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<Fixture>& param) {
                           std::string n = std::string(param.param.name) + param.param.ext;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

// The first tab is "Zeta", the second "Alpha": tab order wins over the names' order.
TEST(WorkbookSheetOrder, FirstTabWinsOverAlphabeticalOrder) {
  for (const char* ext : {".xlsx", ".xls"}) {
    SCOPED_TRACE(ext);
    WorkbookError error;
    auto sheet = OpenFirstSheet(kDir / (std::string("two-sheets") + ext), &error);
    ASSERT_TRUE(sheet);
    std::string a, b;
    ASSERT_TRUE(sheet->Next(a, b));
    EXPECT_EQ(a, "zeta row 1");
  }
}

// ---- Files that are not workbooks, or cannot be read --------------------------------

struct BadFile {
  const char* name;
  WorkbookError error;
};

TEST(WorkbookBadFiles, OpenReportsWhatIsWrong) {
  const BadFile cases[] = {
      {"truncated.xlsx", WorkbookError::kDamaged},
      {"truncated.xls", WorkbookError::kDamaged},
      {"random-zip-head.xlsx", WorkbookError::kDamaged},
      {"random-ole-head.xls", WorkbookError::kDamaged},
      {"billion-laughs.xlsx", WorkbookError::kDamaged},
      {"html.xls", WorkbookError::kNotWorkbook},
      {"random.xlsx", WorkbookError::kNotWorkbook},
      {"empty.xlsx", WorkbookError::kNotWorkbook},
      {"binary-workbook.xlsx", WorkbookError::kUnsupported},
      {"excel95.xls", WorkbookError::kUnsupported},
      {"encrypted.xlsx", WorkbookError::kProtected},
      {"encrypted.xls", WorkbookError::kProtected},
      {"no-such-file.xlsx", WorkbookError::kCannotRead},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path file = kDir / "bad" / c.name;
    WorkbookError error = WorkbookError::kNone;
    EXPECT_FALSE(OpenFirstSheet(file, &error));
    EXPECT_EQ(error, c.error);
    if (c.error == WorkbookError::kCannotRead) continue;
    const std::vector<unsigned char> bytes = Bytes(file);
    error = WorkbookError::kNone;
    EXPECT_FALSE(OpenFirstSheet(std::span(bytes), &error));
    EXPECT_EQ(error, c.error);
  }
}

// bomb.xlsx: 100 KB on disk; its sheet is one row, then 100 MB of blanks, then a broken
// end. The first row comes out at once: the sheet is parsed only as far as it is read.
TEST(WorkbookBadFiles, HugeSheetIsStreamedAndItsLimitHolds) {
  const std::filesystem::path file = kDir / "bad" / "bomb.xlsx";
  WorkbookError error;
  auto sheet = OpenFirstSheet(file, &error);
  ASSERT_TRUE(sheet);
  std::string a, b;
  ASSERT_TRUE(sheet->Next(a, b));
  EXPECT_EQ(a, "bomb");
  EXPECT_EQ(sheet->error(), WorkbookError::kNone);

  // Read on: the broken end shows as damage, after all the blanks.
  EXPECT_FALSE(sheet->Next(a, b));
  EXPECT_EQ(sheet->error(), WorkbookError::kDamaged);

  // With a smaller limit on the inflated sheet, the workbook is refused before any of it
  // is inflated: the zip states the sheet's size.
  WorkbookLimits limits;
  limits.sheet_bytes = 1 << 20;
  std::string limit;
  EXPECT_FALSE(OpenFirstSheet(file, &error, limits, &limit));
  EXPECT_EQ(error, WorkbookError::kTooLarge);
  EXPECT_EQ(limit, "the worksheet: larger than 1 MB unpacked");
}

TEST(WorkbookBadFiles, LimitsRefuseLargePartsAndSayWhichLimit) {
  struct Case {
    const char* file;
    void (*set)(WorkbookLimits&);
    const char* limit;
  };
  const Case cases[] = {
      {"many.xlsx", [](WorkbookLimits& l) { l.shared_string_count = 100; },
       "the shared strings: more than 100 strings"},
      {"many.xls", [](WorkbookLimits& l) { l.shared_string_count = 100; },
       "the shared strings: more than 100 strings"},
      {"many.xlsx", [](WorkbookLimits& l) { l.shared_text_bytes = 1000; },
       "the shared strings: more than 1000 bytes of text"},
      {"many.xls", [](WorkbookLimits& l) { l.shared_text_bytes = 1000; },
       "the shared strings: more than 1000 bytes of text"},
      {"basic.xlsx", [](WorkbookLimits& l) { l.xlsx_part_bytes = 100; },
       "the package relationships: larger than 100 bytes unpacked"},
      {"basic.xls", [](WorkbookLimits& l) { l.xls_file_bytes = 1000; },
       "the file: larger than 1000 bytes"},
      {"basic.xlsx", [](WorkbookLimits& l) { l.xml_depth = 2; },
       "the workbook: XML elements nested more than 2 deep"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WorkbookLimits limits;
    c.set(limits);
    WorkbookError error = WorkbookError::kNone;
    std::string limit;
    EXPECT_FALSE(OpenFirstSheet(kDir / c.file, &error, limits, &limit));
    EXPECT_EQ(error, WorkbookError::kTooLarge);
    EXPECT_EQ(limit, c.limit);
    // The same from memory.
    const std::vector<unsigned char> bytes = Bytes(kDir / c.file);
    limit.clear();
    EXPECT_FALSE(OpenFirstSheet(std::span(bytes), &error, limits, &limit));
    EXPECT_EQ(limit, c.limit);
  }
}

// Runs `f` in a child process whose address space is limited to what it has now plus
// `extra` bytes; true when f returned true there. A reader that holds more than the limit
// fails its allocation and the child fails.
bool InLimitedMemory(std::size_t extra, const std::function<bool()>& f) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    const rlimit lim{now + extra, now + extra};
    setrlimit(RLIMIT_AS, &lim);
    bool ok = false;
    try {
      ok = f();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Small files that would make a reader hold far more than their size: deep nesting, one
// huge start tag, one long shared string named by every cell. They are refused, naming the
// limit, or read in little memory.
TEST(WorkbookBadFiles, SmallFilesCannotMakeTheReaderHoldMuchMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit";
#else
  struct Case {
    const char* file;
    std::size_t rows;  // rows read before the end
    WorkbookError error;
    const char* limit;
    std::string first_a;
  };
  const Case cases[] = {
      {"deep.xlsx", 0, WorkbookError::kTooLarge,
       "the worksheet: XML elements nested more than 100 deep", ""},
      {"long-tag.xlsx", 0, WorkbookError::kTooLarge,
       "the worksheet: XML that needs more than 32 MB of memory to read", ""},
      {"one-string-many-cells.xlsx", 100000, WorkbookError::kNone, "", std::string(1000000, 'W')},
      {"one-string-many-cells.xls", 4000, WorkbookError::kNone, "",
       [] {
         std::string s;
         for (int i = 0; i < 32767; ++i) s += "线";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_TRUE(InLimitedMemory(100u << 20, [&] {
      WorkbookError error = WorkbookError::kNone;
      auto sheet = OpenFirstSheet(kDir / "bad" / c.file, &error);
      if (!sheet) return false;
      std::string a, b;
      std::size_t rows = 0;
      // Rows of a long string are checked for the first few only: copying each of them
      // takes time, not memory.
      while (rows < std::min<std::size_t>(c.rows, 50) && sheet->Next(a, b))
        if (rows++ == 0 && a != c.first_a) return false;
      if (c.rows > 50) return rows == 50;
      return !sheet->Next(a, b) && rows == c.rows && sheet->error() == c.error &&
             sheet->limit_reached() == c.limit;
    }));
  }
#endif
}

// Inputs that once made the reader fail under the fuzzer: each must be read (or refused)
// without a crash, a leak or undefined behaviour.
TEST(WorkbookBadFiles, FuzzFindingsAreReadSafely) {
  const std::filesystem::path dir = kDir / "fuzz";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no findings";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<unsigned char> bytes = Bytes(entry.path());
    WorkbookError error = WorkbookError::kNone;
    auto sheet = OpenFirstSheet(std::span(bytes), &error);
    if (!sheet) {
      EXPECT_NE(error, WorkbookError::kNone);
      continue;
    }
    std::string a, b;
    for (int i = 0; i < 100000 && sheet->Next(a, b); ++i) {
    }
  }
}

// ---- Numbers as text ------------------------------------------------------------------

TEST(WorkbookNumberText, GeneralUsesFifteenDigitsAndScientificOutsidePlainRange) {
  const std::pair<double, const char*> cases[] = {
      {123, "123"},
      {4.5, "4.5"},
      {-12.5, "-12.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {123456789012345, "123456789012345"},
      {1234567890123456, "1.23456789012346E+15"},
      {999999999999999.9, "1E+15"},  // rounding to 15 digits carries into the exponent
      {1e15, "1E+15"},
      {1e20, "1E+20"},
      {-1.5e300, "-1.5E+300"},
      {0.00001, "0.00001"},
      {0.000012345, "0.000012345"},
      {0.000001, "1E-06"},
      {1.5e-7, "1.5E-07"},
      {45366.3541666667, "45366.3541666667"},
      {0, "0"},
      {-0.0, "0"},
  };
  for (const auto& [v, text] : cases) EXPECT_EQ(GeneralNumberText(v), text) << v;
}

TEST(WorkbookNumberText, FormatCodes) {
  struct Case {
    double v;
    const char* code;
    const char* text;
  };
  const Case cases[] = {
      // Digit placeholders, grouping, scaling, rounding.
      {5, "00000", "00005"},
      {123456, "000-000", "123-456"},
      {1234567, "000-000", "1234-567"},
      {9.995, "0.00", "10.00"},
      {0.5, "0", "1"},
      {-0.4, "0", "-0"},
      {1.5, "0.##", "1.5"},
      {2, "0.##", "2."},
      {2, "#.00", "2.00"},
      {0.25, "#.00", ".25"},
      {1.2, "0.0?", "1.2 "},
      {1234567, "#,##0,", "1,235"},
      {1234567, "0.0,,", "1.2"},
      {1e20, "0", "100000000000000000000"},
      {1234.5, "#,##0.00", "1,234.50"},
      // Sections, literals, tags.
      {-5, "0;(0)", "(5)"},
      {-5, "0;[Red]-0", "-5"},
      {0, "0;-0;\"none\"", "none"},
      {0, "0;-0;", ""},
      {12.5, "[$\xC2\xA5-804]#,##0.00", "\xC2\xA5" "12.50"},
      {1234, "_(* #,##0_)", " 1,234 "},
      {7, "\"No.\"\\ 000", "No. 007"},
      {3, "0 \"pcs\"", "3 pcs"},
      {0.5, "0.0%", "50.0%"},
      {42, "@", "42"},
      {42, "\"ID:\"General", "ID:42"},
      // Left to General: conditions, fractions, exponents.
      {5, "[<10]0.0;0", "5"},
      {1.25, "# ?/?", "1.25"},
      {12345, "0.00E+00", "12345"},
      // Dates and times (1900 system).
      {1, "yyyy-mm-dd", "1900-01-01"},
      {59, "yyyy-mm-dd", "1900-02-28"},
      {60, "yyyy-mm-dd", "1900-02-29"},
      {61, "yyyy-mm-dd", "1900-03-01"},
      {45366, "dddd d mmmm yyyy", "Friday 15 March 2024"},
      {45366, "ddd mmm yy", "Fri Mar 24"},
      {45366, "aaaa", "\xE6\x98\x9F\xE6\x9C\x9F\xE4\xBA\x94"},  // 星期五
      {45366.99999999, "yyyy-mm-dd hh:mm:ss", "2024-03-16 00:00:00"},
      {0.5 + 1.0 / 86400 * 0.4, "hh:mm:ss", "12:00:00"},
      {0.000011574, "hh:mm:ss.00", "00:00:01.00"},
      {0, "h:mm AM/PM", "12:00 AM"},
      {0.5, "h:mm a/p", "12:00 p"},
      {0.25, "mm:ss", "00:00"},
      {0.0104166666666667, "[mm]:ss", "15:00"},
      {2.5, "[h]\"h\"", "60h"},
      {0.75, "\xE4\xB8\x8A\xE5\x8D\x88/\xE4\xB8\x8B\xE5\x8D\x88h\"\xE6\x97\xB6\"", "\xE4\xB8\x8B\xE5\x8D\x88" "6\xE6\x97\xB6"},
      {-1, "yyyy-mm-dd", "-1"},  // no negative dates: General
      {3e6, "yyyy-mm-dd", "3000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatNumber(c.v, c.code, false), c.text) << c.v << " " << c.code;
  EXPECT_EQ(FormatNumber(0, "yyyy-mm-dd", true), "1904-01-01");
  EXPECT_EQ(FormatNumber(45366 - 1462, "yyyy-mm-dd ddd", true), "2024-03-15 Fri");
}

TEST(WorkbookNumberText, BuiltinFormats) {
  const std::pair<int, const char*> cases[] = {
      {0, "1234.5"}, {1, "1235"}, {2, "1234.50"}, {3, "1,235"}, {4, "1,234.50"}, {9, "123450%"},
      {14, "1903-05-18"}, {22, "1903-05-18 12:00"}, {31, "1903\xE5\xB9\xB4" "5\xE6\x9C\x88" "18\xE6\x97\xA5"},
      {49, "1234.5"}, {200, "1234.5"},
  };
  for (const auto& [id, text] : cases) EXPECT_EQ(FormatNumber(1234.5, BuiltinNumberFormat(id), false), text) << id;
}

}  // namespace
}  // namespace qx
