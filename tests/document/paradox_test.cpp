#include "document/paradox.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "document/gbk.h"
#include "document/paradox_store.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(QX_TEST_DATA_DIR) / "fixtures" / "paradox";

std::vector<uint8_t> Load(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  EXPECT_TRUE(in) << p;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Save(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(s);
  while (std::getline(in, item, sep)) out.push_back(item);
  if (!s.empty() && s.back() == sep) out.emplace_back();
  return out;
}

std::vector<std::string> Lines(const fs::path& p) {
  std::ifstream in(p);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

uint16_t U16(const std::vector<uint8_t>& b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
  return U16(b, at) | (static_cast<uint32_t>(U16(b, at + 2)) << 16);
}
void Put16(std::vector<uint8_t>& b, std::size_t at, unsigned v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<uint8_t> out;
  for (int x : v) out.push_back(static_cast<uint8_t>(x));
  return out;
}
std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, std::size_t at, std::size_t n) {
  return {b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

// The rows of sample.rows.tsv (UTF-8, \N for null) as Segment values (GBK).
std::vector<RowValues> SampleRows() {
  std::vector<RowValues> rows;
  for (const std::string& line : Lines(kFixtures / "kel" / "sample.rows.tsv")) {
    const auto cells = Split(line, '\t');
    EXPECT_EQ(cells.size(), static_cast<std::size_t>(kColumnCount)) << line;
    RowValues r{};
    for (std::size_t c = 0; c < cells.size() && c < r.size(); ++c) {
      if (cells[c] == "\\N") continue;
      if (kColumns[c].type == ColumnType::kText)
        r[c] = gbk::Encode(cells[c]);
      else
        r[c] = static_cast<int64_t>(std::stoll(cells[c]));
    }
    rows.push_back(r);
  }
  return rows;
}

std::string Show(const FieldValue& v) {
  if (const auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (const auto* s = std::get_if<std::string>(&v)) return "'" + gbk::ToUtf8(*s) + "'";
  return "null";
}

std::vector<RowValues> RowsOf(SegmentTable& t) {
  std::vector<RowValues> out;
  for (int r = 0; r < t.RowCount(); ++r) {
    RowValues v{};
    for (int c = 0; c < kColumnCount; ++c) v[static_cast<std::size_t>(c)] = t.ValueAt(r, c);
    out.push_back(v);
  }
  return out;
}

void ExpectSameRows(const std::vector<RowValues>& got, const std::vector<RowValues>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t r = 0; r < got.size(); ++r)
    for (std::size_t c = 0; c < static_cast<std::size_t>(kColumnCount); ++c)
      EXPECT_EQ(got[r][c], want[r][c]) << "row " << r + 1 << " column " << kColumns[c].name
                                       << ": " << Show(got[r][c]) << " vs " << Show(want[r][c]);
}

std::unique_ptr<SegmentTable> DocumentTable(const fs::path& path) {
  auto t = std::make_unique<SegmentTable>(std::make_unique<ParadoxRowStore>());
  t->Bind(path);
  return t;
}

std::vector<RowValues> ReadThroughTable(const fs::path& path) {
  auto t = DocumentTable(path);
  t->Open();
  auto rows = RowsOf(*t);
  t->Close();
  return rows;
}

paradox::Table MustRead(const fs::path& p) {
  std::string error;
  auto t = paradox::Read(p, &error);
  EXPECT_TRUE(t) << p << ": " << error;
  return t ? *t : paradox::Table{};
}

std::string ReadError(std::span<const uint8_t> bytes) {
  std::string error;
  const auto t = paradox::ReadBytes(bytes, &error);
  EXPECT_FALSE(t);
  EXPECT_FALSE(error.empty());
  return error;
}

// --- The document tables written by pxlib -----------------------------------------------

struct KelCase {
  const char* file;
  int level;
  int block_size;
  char repeat_type;
  int record_size;
};

const KelCase kKelCases[] = {
    {"sample-level5.kel", 5, 2048, 'S', 252},
    {"sample-level7-long.kel", 7, 4096, 'I', 254},
};

TEST(ParadoxRead, DocumentTablesOfBothPitchRepTypesReadAsTheirRows) {
  const std::vector<RowValues> want = SampleRows();
  ASSERT_EQ(want.size(), 5u);
  for (const KelCase& k : kKelCases) {
    SCOPED_TRACE(k.file);
    const fs::path path = kFixtures / "kel" / k.file;
    const paradox::Table t = MustRead(path);
    EXPECT_EQ(t.level, k.level);
    EXPECT_EQ(t.block_size, k.block_size);
    EXPECT_EQ(t.record_size, k.record_size);
    EXPECT_EQ(t.file_type, 2);
    EXPECT_EQ(t.code_page, 936);
    EXPECT_EQ(t.sort_order, 0x03);
    EXPECT_EQ(t.sort_order_name, "china");
    ASSERT_EQ(t.fields.size(), 13u);
    for (std::size_t c = 0; c < t.fields.size(); ++c) {
      EXPECT_EQ(t.fields[c].name, kColumns[c].name);
      const char want_type = kColumns[c].type == ColumnType::kText    ? 'A'
                             : kColumns[c].type == ColumnType::kInt32 ? 'I'
                                                                      : k.repeat_type;
      EXPECT_EQ(t.fields[c].type, want_type) << kColumns[c].name;
    }
    // The same rows through the document store and the table engine.
    ExpectSameRows(ReadThroughTable(path), want);
  }
}

// --- Tables written by the Borland engine, against what pxlib reads from them ----------

struct Dump {
  std::map<std::string, std::string> facts;  // "# key: value" lines, first word of value
  struct F {
    std::string name;
    char type;
    int size;
  };
  std::vector<F> fields;
  std::vector<std::vector<std::string>> rows;
};

Dump ParseDump(const fs::path& p) {
  Dump d;
  for (const std::string& line : Lines(p)) {
    if (line.rfind("# field ", 0) == 0) {
      // "# field 3: Name with spaces T 4"
      const auto colon = line.find(": ");
      const std::string rest = line.substr(colon + 2);
      const auto last = rest.rfind(' ');
      const auto type_at = rest.rfind(' ', last - 1);
      d.fields.push_back({rest.substr(0, type_at), rest[type_at + 1], std::stoi(rest.substr(last + 1))});
    } else if (line.rfind("# ", 0) == 0) {
      const auto colon = line.find(": ");
      if (colon == std::string::npos || line.find('\t') < colon) continue;
      std::string value = line.substr(colon + 2);
      value = value.substr(0, value.find(' '));
      d.facts[line.substr(2, colon - 2)] = value;
    } else if (!line.empty()) {
      d.rows.push_back(Split(line, '\t'));
    }
  }
  return d;
}

std::string FromHex(const std::string& h) {
  std::string out;
  for (std::size_t i = 2; i + 1 < h.size(); i += 2)
    out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// Whether our value is what pxlib printed for a field of type `type`.
::testing::AssertionResult SameValue(char type, const paradox::Value& v, const std::string& dumped) {
  const bool null = std::holds_alternative<std::monostate>(v);
  auto result = [&](bool ok) {
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "type " << type << ", pxlib read '" << dumped << "'";
  };
  switch (type) {
    case 'A':
      if (dumped == "\\N") return result(null);
      return result(!null && std::get<std::string>(v) == dumped);
    case 'S': case 'I': case '+': case 'D': case 'T':
      if (dumped == "\\N") return result(null);
      return result(!null && std::get<int64_t>(v) == std::stoll(dumped));
    case 'N': case '$': case '@':
      if (dumped == "\\N") return result(null);
      return result(!null && std::get<double>(v) == std::strtod(dumped.c_str(), nullptr));
    case 'L':
      if (dumped == "\\N") return result(null);
      return result(!null && std::get<bool>(v) == (dumped == "true"));
    default: {  // raw bytes, printed as hex; pxlib prints some blank fields as zeros
      if (dumped == "\\N") return result(null);
      const std::string bytes = FromHex(dumped);
      if (null) return result(bytes.find_first_not_of('\0') == std::string::npos);
      return result(std::get<std::string>(v) == bytes);
    }
  }
}

const char* const kBdeTables[] = {
    // level 3.0: header sizes that are not 0x800, 1 KiB blocks, a free block
    "mtdemo__FILMS.DB", "mtdemo__AMOUNT.DB", "mtdemo__EMPLOYEE.DB",
    // level 3.5 and 4
    "fields__date35.db", "fields__date4.db", "db__AREACODE.DB", "joins__joina.db",
    // level 5: code page 936 with the china driver, and one table per field type
    "db__GENERAL.DB", "fields__long.db", "fields__bcd.db", "fields__bytes.db",
    "fields__date5.db", "fields__time.db", "fields__timestamp.db", "fields__logical.db",
    "fields__memo.db", "fields__graphic.db", "joins__fk1.db",
    // level 7: 16 KiB blocks, autoincrement, memo, negative numbers, an empty table
    "db__CUSTOMER.DB", "db__DECIMAL.DB", "geog__tblsttes.DB", "joins__indexed.db",
};

TEST(ParadoxRead, EngineWrittenTablesReadAsPxlibReadsThem) {
  for (const char* file : kBdeTables) {
    SCOPED_TRACE(file);
    const fs::path path = kFixtures / "bde" / file;
    const Dump d = ParseDump(path.string() + ".dump.txt");
    const paradox::Table t = MustRead(path);

    auto fact = [&](const char* key) { return d.facts.at(key); };
    EXPECT_EQ(t.file_type, std::stoi(fact("fileType")));
    EXPECT_EQ(t.version_id, std::stoi(fact("fileVersionID"), nullptr, 16));
    EXPECT_EQ(t.header_size, std::stoi(fact("headerSize")));
    EXPECT_EQ(t.block_size, std::stoi(fact("blockSize")));
    EXPECT_EQ(t.record_size, std::stoi(fact("recordSize")));
    EXPECT_EQ(t.key_fields, std::stoi(fact("primaryKeyFields")));
    EXPECT_EQ(t.sort_order, std::stoi(fact("sortOrder"), nullptr, 16));
    EXPECT_EQ(t.table_name, fact("tableName"));
    if (d.facts.count("codePage")) {
      EXPECT_EQ(t.code_page, std::stoi(fact("codePage")));
      EXPECT_EQ(t.sort_order_name, fact("sortOrderId"));
    } else {
      EXPECT_EQ(t.level, 3);
    }

    ASSERT_EQ(t.fields.size(), d.fields.size());
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
      EXPECT_EQ(t.fields[i].name, d.fields[i].name);
      EXPECT_EQ(t.fields[i].type, d.fields[i].type);
      EXPECT_EQ(t.fields[i].size, d.fields[i].size);
    }

    ASSERT_EQ(t.rows.size(), std::stoul(fact("numRecords")));
    ASSERT_EQ(d.rows.size(), t.rows.size());
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
      const auto& dumped = d.rows[r];
      ASSERT_EQ(dumped.size(), t.fields.size()) << "row " << r + 1;
      for (std::size_t c = 0; c < dumped.size(); ++c)
        EXPECT_TRUE(SameValue(t.fields[c].type, t.rows[r][c], dumped[c]))
            << "row " << r + 1 << " field " << t.fields[c].name;
    }
  }
}

TEST(ParadoxRead, KnownValuesOfTheFieldEncodings) {
  // Values spelled out, so that a fault shared with the dump comparison would show.
  const paradox::Table money = MustRead(kFixtures / "bde" / "db__GENERAL.DB");
  ASSERT_EQ(money.rows.size(), 3u);
  EXPECT_EQ(money.rows[0][0], paradox::Value(int64_t{1}));
  EXPECT_EQ(money.rows[0][1], paradox::Value(std::string("Mari")));
  EXPECT_EQ(money.rows[0][2], paradox::Value(100.0));

  const paradox::Table decimal = MustRead(kFixtures / "bde" / "db__DECIMAL.DB");
  EXPECT_EQ(decimal.rows[0][0], paradox::Value(-200.0));
  EXPECT_EQ(decimal.rows[2][0], paradox::Value(-1.0));

  const paradox::Table logical = MustRead(kFixtures / "bde" / "fields__logical.db");
  EXPECT_EQ(logical.rows[1][0], paradox::Value(false));

  const paradox::Table date = MustRead(kFixtures / "bde" / "fields__date5.db");
  EXPECT_EQ(date.rows[0][0], paradox::Value(int64_t{736695}));    // 1 Jan 2018, 1 Jan 1 = day 1
  EXPECT_EQ(date.rows[0][1], paradox::Value(int64_t{36000000}));  // 10:00 in ms
}

TEST(ParadoxRead, RefusesWhatItCannotReadWithAReason) {
  struct Case {
    const char* file;
    const char* reason;
  };
  const Case cases[] = {
      {"encrypt__encrypted.db", "encrypted"},      // level 5, key at 0x5C
      {"encrypt__encrypted35.db", "encrypted"},    // level 3.5, key at 0x25
      {"encrypt__encryptedmemo.db", "encrypted"},  // level 4
      {"geog__tblZCode.DB", "empty"},              // 0 bytes; pxlib could not read it either
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(paradox::Read(kFixtures / "bde" / c.file, &error)) << c.file;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
  }
  std::string error;
  EXPECT_FALSE(paradox::Read(kFixtures / "bde" / "no-such-file.db", &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

  // Patched copies of a good table.
  const std::vector<uint8_t> good = Load(kFixtures / "kel" / "sample-level5.kel");
  struct Patch {
    std::size_t at;
    uint8_t value;
    const char* reason;
  };
  const Patch patches[] = {
      {0x78, 0x07, "type code 0x07"},  // first field of an unknown type
      {0x78, 0x19, "type code 0x19"},
      {0x04, 1, "index file"},         // a .PX file
      {0x39, 0x0D, "unknown file version"},
      {0x05, 5, "block size"},
      {0x79, 3, "size of field 1"},    // an I field that says it has 3 bytes
      {0x00, 0xFD, "record size"},
      {0x5C, 1, "encrypted"},
  };
  for (const Patch& p : patches) {
    std::vector<uint8_t> b = good;
    b[p.at] = p.value;
    const std::string e = ReadError(b);
    EXPECT_NE(e.find(p.reason), std::string::npos) << "patch at " << p.at << ": " << e;
  }
}

// --- Block chains and damaged files -----------------------------------------------------

// n rows with Num 1..n and Flin "L1".."Ln"; 20 rows fill three blocks with 8, 8 and 4.
std::vector<RowValues> NumberedRows(int n) {
  std::vector<RowValues> rows(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    rows[static_cast<std::size_t>(i)][kNumberColumn] = int64_t{i + 1};
    rows[static_cast<std::size_t>(i)][kUpperLineColumn] = "L" + std::to_string(i + 1);
  }
  return rows;
}

std::vector<uint8_t> Build(const std::vector<RowValues>& rows,
                           paradox::TypeCode repeat_type = paradox::kLong) {
  paradox::DocumentOptions o;
  o.repeat_column_type = repeat_type;
  std::string error;
  auto b = paradox::BuildDocumentTable(rows, o, &error);
  EXPECT_TRUE(b) << error;
  return b ? *b : std::vector<uint8_t>{};
}

std::vector<int64_t> NumsOf(const paradox::Table& t) {
  std::vector<int64_t> out;
  for (const auto& r : t.rows) out.push_back(std::get<int64_t>(r[0]));
  return out;
}

TEST(ParadoxRead, RecordsFollowTheBlockChainNotTheFileOrder) {
  std::vector<uint8_t> b = Build(NumberedRows(20));
  const std::size_t block[] = {0, 0x800, 0x1000, 0x1800};
  // Chain 3 -> 1 -> 2.
  Put16(b, 0x0E, 3);
  Put16(b, block[3], 1);
  Put16(b, block[1], 2);
  Put16(b, block[2], 0);
  std::string error;
  const auto t = paradox::ReadBytes(b, &error);
  ASSERT_TRUE(t) << error;
  std::vector<int64_t> want;
  for (int i : {17, 18, 19, 20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}) want.push_back(i);
  EXPECT_EQ(NumsOf(*t), want);

  // A block emptied by deletes (offset -recordSize) holds no records.
  std::vector<uint8_t> emptied = Build(NumberedRows(20));
  Put16(emptied, block[2] + 4, static_cast<uint16_t>(-254));
  Put16(emptied, 0x06, 12);
  const auto e = paradox::ReadBytes(emptied, &error);
  ASSERT_TRUE(e) << error;
  EXPECT_EQ(e->rows.size(), 12u);
}

TEST(ParadoxRead, DamagedChainsAndCountsAreErrors) {
  const std::vector<uint8_t> good = Build(NumberedRows(20));
  struct Damage {
    std::size_t at;
    unsigned value;
    const char* reason;
  };
  const Damage cases[] = {
      {0x1000, 1, "loops"},             // block 2 points back to block 1
      {0x1800, 3, "loops"},             // block 3 points to itself
      {0x1800, 4, "leaves the table"},  // past fileBlocks
      {0x0E, 9, "leaves the table"},    // first block
      {0x0C, 2, "leaves the table"},    // fileBlocks too small for the chain
      {0x06, 21, "header counts 21"},   // numRecords disagrees
      {0x1804, 5, "record count"},      // offset not a multiple of the record size
      {0x1804, 8 * 254, "record count"},  // more records than a block holds
  };
  for (const Damage& d : cases) {
    std::vector<uint8_t> b = good;
    Put16(b, d.at, d.value);
    const std::string e = ReadError(b);
    EXPECT_NE(e.find(d.reason), std::string::npos) << "damage at " << d.at << ": " << e;
  }
}

TEST(ParadoxRead, TruncatedFilesAreErrorsExceptAfterTheLastRecord) {
  const std::vector<uint8_t> good = Load(kFixtures / "kel" / "sample-level5.kel");
  const std::size_t end_of_records = 0x806 + 5 * 252;
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::string error;
    const auto t = paradox::ReadBytes(std::span(good).first(n), &error);
    if (n >= end_of_records) {
      // The engine itself leaves the last block short; the records are all there.
      ASSERT_TRUE(t) << n << ": " << error;
      EXPECT_EQ(t->rows.size(), 5u);
    } else {
      ASSERT_FALSE(t) << n;
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(ParadoxRead, EveryHeaderByteCorruptedGivesATableOrAnError) {
  // Each byte of the used header, and the block header, set to values that break counts,
  // offsets and signs. Run under the sanitizers, this finds reads out of bounds.
  const std::vector<uint8_t> good = Load(kFixtures / "kel" / "sample-level7-long.kel");
  const std::size_t used = U16(good, 0x51);
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < used; ++i) offsets.push_back(i);
  for (std::size_t i = 0x800; i < 0x806; ++i) offsets.push_back(i);
  for (std::size_t at : offsets) {
    for (int v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> b = good;
      b[at] = static_cast<uint8_t>(v);
      std::string error;
      const auto t = paradox::ReadBytes(b, &error);
      if (t) {
        EXPECT_LE(t->rows.size(), 5u);
      } else {
        EXPECT_FALSE(error.empty());
      }
    }
  }
}

TEST(ParadoxRead, InputsFoundByTheFuzzerAreHandled) {
  // Every input kept from fuzzing gives a table or an error; these ones a known result.
  const std::map<std::string, std::string> known = {
      {"reads-small-table.db", ""},
      {"chain-loops.db", "loops"},
      {"chain-leaves-table.db", "leaves the table"},
      {"block-record-count.db", "record count of block 1"},
      {"records-missing.db", "truncated"},
      {"record-total-mismatch.db", "header counts 61717"},
      {"field-names-unterminated.db", "field names"},
      {"table-name-past-header.db", "table name"},
  };
  std::size_t found = 0;
  for (const auto& entry : fs::directory_iterator(kFixtures / "fuzz")) {
    const std::string name = entry.path().filename().string();
    std::string error;
    const auto t = paradox::ReadBytes(Load(entry.path()), &error);
    EXPECT_TRUE(t || !error.empty()) << name;
    const auto k = known.find(name);
    if (k == known.end()) continue;
    ++found;
    if (k->second.empty())
      EXPECT_TRUE(t) << name << ": " << error;
    else
      EXPECT_NE(error.find(k->second), std::string::npos) << name << ": " << error;
  }
  EXPECT_EQ(found, known.size());
}

// --- Writing ----------------------------------------------------------------------------

TEST(ParadoxWrite, MatchesTheIndependentWriterByteForByte) {
  // The pxlib-written fixture, PitchRep as a short, with its table name and update time.
  const std::vector<uint8_t> want = Load(kFixtures / "kel" / "sample-level5.kel");
  paradox::DocumentOptions o;
  o.repeat_column_type = paradox::kShort;
  o.table_name = "sample-level5.kel";
  o.update_time = 0x6553F100;
  std::string error;
  const auto got = paradox::BuildDocumentTable(SampleRows(), o, &error);
  ASSERT_TRUE(got) << error;
  ASSERT_EQ(got->size(), want.size());
  const std::size_t used = U16(want, 0x51);
  ASSERT_EQ(used, 398u);
  for (std::size_t i = 0; i < got->size(); ++i) {
    // pxlib leaves stale bytes after the used header; we write zeros there.
    const uint8_t expected = (i >= used && i < 0x800) ? 0 : want[i];
    ASSERT_EQ((*got)[i], expected) << "offset 0x" << std::hex << i;
  }
}

TEST(ParadoxWrite, HeaderFieldsAndRecordsAreWhatTheEngineWrites) {
  std::vector<RowValues> rows = NumberedRows(9);
  rows[0][kLengthColumn] = int64_t{25};
  rows[0][kSizeColumn] = gbk::Encode("4 号");
  rows[0][kRepeatColumn] = int64_t{200};
  rows[0][kUpperLengthColumn] = int64_t{-25};
  rows[0][kSerialTypeColumn] = gbk::Encode("无序号");
  rows[1][kRepeatColumn] = int64_t{65535};  // the whole unsigned 16-bit range fits a long
  const std::vector<uint8_t> b = Build(rows);

  ASSERT_EQ(b.size(), 0x800u + 2 * 2048);
  struct Fact {
    std::size_t at;
    std::size_t size;
    uint32_t value;
    const char* what;
  };
  const Fact facts[] = {
      {0x00, 2, 254, "record size"},     {0x02, 2, 0x800, "header size"},
      {0x04, 1, 2, "unkeyed"},           {0x05, 1, 2, "2 KiB blocks"},
      {0x06, 4, 9, "records"},           {0x0A, 2, 2, "blocks in use"},
      {0x0C, 2, 2, "file blocks"},       {0x0E, 2, 1, "first block"},
      {0x10, 2, 2, "last block"},        {0x14, 1, 0, "modified flags 1"},
      {0x21, 2, 13, "fields"},           {0x23, 2, 0, "key fields"},
      {0x25, 4, 0xFF00FF00, "constant of level 4+ data files"},
      {0x29, 1, 0x03, "china sort order"}, {0x2A, 1, 0, "modified flags 2"},
      {0x38, 1, 0, "write protected"},   {0x39, 1, 0x0B, "level 5"},
      {0x3A, 2, 2, "max blocks"},        {0x3E, 2, 0x0F1F, "data file mark"},
      {0x40, 4, 0, "crypt info start"},  {0x4D, 2, 0, "free blocks"},
      {0x51, 2, 398, "real header size"}, {0x55, 1, 0, "referential integrity"},
      {0x56, 1, 0x20, "data file flag"}, {0x58, 2, 0x010B, "version word"},
      {0x5A, 2, 0x010B, "version word again"}, {0x5C, 4, 0, "not encrypted"},
      {0x64, 2, 14, "fields + 1"},       {0x66, 2, 0x116, "field numbers - 0x58"},
      {0x6A, 2, 936, "code page"},       {0x6C, 2, 0x0101, "0x6C"},
      {0x6E, 2, 0x130, "sort order name - 0x58"},
  };
  for (const Fact& f : facts) {
    const uint32_t v = f.size == 1 ? b[f.at] : f.size == 2 ? U16(b, f.at) : U32(b, f.at);
    EXPECT_EQ(v, f.value) << f.what << " at 0x" << std::hex << f.at;
  }

  // Field descriptors: I, A100, A100, I, A4, A4, A8, I (PitchRep), A12, A3, A3, I, I.
  EXPECT_EQ(Slice(b, 0x78, 26), Bytes({0x04, 0x04, 0x01, 0x64, 0x01, 0x64, 0x04, 0x04, 0x01,
                                       0x04, 0x01, 0x04, 0x01, 0x08, 0x04, 0x04, 0x01, 0x0C,
                                       0x01, 0x03, 0x01, 0x03, 0x04, 0x04, 0x04, 0x04}));
  std::string names;
  for (const ColumnDef& c : kColumns) names += std::string(c.name) + '\0';
  EXPECT_EQ(std::string(b.begin() + 0x119, b.begin() + 0x119 + 85), names);
  for (unsigned i = 0; i < 13; ++i) EXPECT_EQ(U16(b, 0x16E + 2 * i), i + 1);
  EXPECT_EQ(std::string(b.begin() + 0x188, b.begin() + 0x18E), std::string("china\0", 6));
  EXPECT_TRUE(std::all_of(b.begin() + 0x18E, b.begin() + 0x800, [](uint8_t x) { return x == 0; }));

  // Block headers: next, previous, offset of the last record.
  EXPECT_EQ(Slice(b, 0x800, 6), Bytes({2, 0, 0, 0, 0xF2, 0x06}));  // 7 x 254
  EXPECT_EQ(Slice(b, 0x1000, 6), Bytes({0, 0, 1, 0, 0, 0}));

  // Record 1, field by field (offsets with PitchRep as a long).
  const std::size_t r = 0x806;
  EXPECT_EQ(Slice(b, r + 0, 4), Bytes({0x80, 0, 0, 0x01}));           // Num 1
  EXPECT_EQ(Slice(b, r + 4, 3), Bytes({'L', '1', 0}));                // Flin, zero padded
  EXPECT_EQ(Slice(b, r + 104, 4), Bytes({0, 0, 0, 0}));               // Slin blank
  EXPECT_EQ(Slice(b, r + 204, 4), Bytes({0x80, 0, 0, 0x19}));         // PitchLen 25
  EXPECT_EQ(Slice(b, r + 208, 4), Bytes({0x34, 0x20, 0xBA, 0xC5}));   // Zihao, fills the field
  EXPECT_EQ(Slice(b, r + 224, 4), Bytes({0x80, 0, 0, 0xC8}));         // PitchRep 200
  EXPECT_EQ(Slice(b, r + 228, 12), Bytes({0xCE, 0xDE, 0xD0, 0xF2, 0xBA, 0xC5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(b, r + 246, 4), Bytes({0x7F, 0xFF, 0xFF, 0xE7}));   // UpLen -25
  EXPECT_EQ(Slice(b, r + 250, 4), Bytes({0, 0, 0, 0}));               // DnLen null
  EXPECT_EQ(Slice(b, r + 254 + 224, 4), Bytes({0x80, 0, 0xFF, 0xFF}));  // PitchRep 65535
  // After the last record of the last block: zeros.
  EXPECT_TRUE(std::all_of(b.begin() + 0x1006 + 254, b.end(), [](uint8_t x) { return x == 0; }));

  // An empty table is the header alone.
  const std::vector<uint8_t> empty = Build({});
  ASSERT_EQ(empty.size(), 0x800u);
  for (std::size_t at : {0x06, 0x0A, 0x0C, 0x0E, 0x10, 0x3A}) EXPECT_EQ(U16(empty, at), 0) << at;
  std::string error;
  const auto t = paradox::ReadBytes(empty, &error);
  ASSERT_TRUE(t) << error;
  EXPECT_TRUE(t->rows.empty());
}

TEST(ParadoxWrite, RefusesValuesTheColumnsCannotHold) {
  struct Case {
    int col;
    FieldValue value;
    paradox::TypeCode repeat_type;
    const char* reason;
  };
  const Case cases[] = {
      {kUpperLineColumn, std::string(101, 'x'), paradox::kLong, "too long for column Flin"},
      {kSerialFirstColumn, gbk::Encode("一二"), paradox::kLong, "too long for column XuFirst"},
      {kLowerLineColumn, std::string("a\0b", 3), paradox::kLong, "zero byte in column Slin"},
      {kNumberColumn, int64_t{-2147483648LL}, paradox::kLong, "out of range for column Num"},
      {kUpperLengthColumn, int64_t{2147483648LL}, paradox::kLong, "out of range for column UpLen"},
      {kRepeatColumn, int64_t{40000}, paradox::kShort, "out of range for column PitchRep"},
      {kLengthColumn, std::string("25"), paradox::kLong, "text instead of a number"},
      {kSizeColumn, int64_t{4}, paradox::kLong, "number instead of text"},
  };
  for (const Case& c : cases) {
    std::vector<RowValues> rows = NumberedRows(3);
    rows[1][static_cast<std::size_t>(c.col)] = c.value;
    paradox::DocumentOptions o;
    o.repeat_column_type = c.repeat_type;
    std::string error;
    EXPECT_FALSE(paradox::BuildDocumentTable(rows, o, &error)) << c.reason;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find("row 2"), std::string::npos) << error;
  }
  // The largest values that fit.
  std::vector<RowValues> rows = NumberedRows(1);
  rows[0][kNumberColumn] = int64_t{-2147483647};
  rows[0][kRepeatColumn] = int64_t{32767};
  rows[0][kUpperLineColumn] = std::string(100, 'x');
  const auto t = paradox::ReadBytes(Build(rows, paradox::kShort), nullptr);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->rows[0][0], paradox::Value(int64_t{-2147483647}));
  EXPECT_EQ(t->rows[0][7], paradox::Value(int64_t{32767}));
  EXPECT_EQ(t->rows[0][1], paradox::Value(std::string(100, 'x')));
}

// --- The document store -----------------------------------------------------------------

TEST(ParadoxStore, TableWrittenThroughTheEngineReadsBackUnchanged) {
  TempDir dir;
  const fs::path path = dir / "doc.kel";
  const std::vector<RowValues> sample = SampleRows();
  {
    auto t = DocumentTable(path);
    t->Create();
    EXPECT_TRUE(fs::exists(path));  // creating writes the empty table
    t->Open();
    for (const RowValues& r : sample) {
      t->Append();
      for (int c = 0; c < kColumnCount; ++c) t->SetValue(c, r[static_cast<std::size_t>(c)]);
    }
    t->Store();
    t->Close();
  }
  ExpectSameRows(ReadThroughTable(path), sample);
  const paradox::Table file = MustRead(path);
  EXPECT_EQ(file.fields[kRepeatColumn].type, 'I');
  EXPECT_EQ(file.level, 5);
  EXPECT_EQ(file.table_name, "doc.kel");
  EXPECT_NE(U32(Load(path), 0x60), 0u);  // update time

  // Edits: insert before the second row, change the third, delete the last Segment.
  std::vector<RowValues> want = sample;
  {
    auto t = DocumentTable(path);
    t->Open();
    t->First();
    t->Next();
    t->Insert();
    t->SetText(kUpperLineColumn, gbk::Encode("新行"));
    t->SetInt(kRepeatColumn, 200);
    t->Next();  // stores the new row; on the second Segment
    t->Next();
    t->Edit();
    t->SetText(kLowerLineColumn, "B2");
    t->Store();
    t->Next();
    t->Delete();  // the fourth Segment
    t->Close();
  }
  RowValues inserted{};
  inserted[kUpperLineColumn] = gbk::Encode("新行");
  inserted[kRepeatColumn] = int64_t{200};
  want.insert(want.begin() + 1, inserted);
  want[3][kLowerLineColumn] = std::string("B2");
  want.erase(want.begin() + 4);
  ExpectSameRows(ReadThroughTable(path), want);
}

TEST(ParadoxStore, ClosingWithoutChangesLeavesTheFileAsItWas) {
  TempDir dir;
  const fs::path path = dir / "old.kel";
  const std::vector<uint8_t> original = Load(kFixtures / "kel" / "sample-level5.kel");
  Save(path, original);
  auto t = DocumentTable(path);
  t->Open();
  t->Last();
  t->Edit();
  t->Store();  // unchanged rows are not stored again
  t->Close();
  EXPECT_EQ(Load(path), original);
}

TEST(ParadoxStore, RewritingAFileKeepsItsPitchRepType) {
  for (const KelCase& k : kKelCases) {
    SCOPED_TRACE(k.file);
    TempDir dir;
    const fs::path path = dir / "doc.kel";
    Save(path, Load(kFixtures / "kel" / k.file));
    {
      auto t = DocumentTable(path);
      t->Open();
      t->First();
      t->Edit();
      t->SetInt(kRepeatColumn, 9);
      t->Store();
      t->Close();
    }
    const paradox::Table file = MustRead(path);
    EXPECT_EQ(file.fields[kRepeatColumn].type, k.repeat_type);
    EXPECT_EQ(file.rows[0][kRepeatColumn], paradox::Value(int64_t{9}));
    EXPECT_EQ(file.rows.size(), 5u);
  }
}

// A document table of the level-5 fixture with its first field changed to `descriptor`
// (code, size) and the first bytes of record 1 to `bytes`, so that its total stays 252.
std::vector<uint8_t> WithFirstField(std::initializer_list<int> descriptor,
                                    std::initializer_list<int> bytes) {
  std::vector<uint8_t> b = Load(kFixtures / "kel" / "sample-level5.kel");
  std::size_t i = 0x78;
  for (int d : descriptor) b[i++] = static_cast<uint8_t>(d);
  i = 0x806;
  for (int x : bytes) b[i++] = static_cast<uint8_t>(x);
  return b;
}

TEST(ParadoxStore, OpenMapsNumericFieldTypesAndRefusesOthers) {
  // Num as a Number field (N8) with Flin narrowed to 96 bytes, as autoincrement, as a date.
  struct Case {
    std::vector<uint8_t> file;
    std::optional<int64_t> num;  // nullopt: Open must fail
    const char* reason;
  };
  const Case cases[] = {
      {WithFirstField({0x06, 0x08, 0x01, 0x60}, {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}), 1, ""},
      {WithFirstField({0x06, 0x08, 0x01, 0x60}, {0xC0, 0x59, 0, 0, 0, 0, 0, 0}), 100, ""},
      {WithFirstField({0x06, 0x08, 0x01, 0x60}, {0x3F, 0x96, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), -200, ""},
      {WithFirstField({0x06, 0x08, 0x01, 0x60}, {0xC0, 0x04, 0, 0, 0, 0, 0, 0}), 3, ""},  // 2.5 rounds
      {WithFirstField({0x06, 0x08, 0x01, 0x60}, {0xFF, 0xF8, 0, 0, 0, 0, 0, 0}), std::nullopt, "out of range"},  // NaN
      {WithFirstField({0x06, 0x08, 0x01, 0x60}, {0xC2, 0x00, 0, 0, 0, 0, 0, 0}), std::nullopt, "out of range"},  // 2^33
      {WithFirstField({0x16, 0x04}, {0x80, 0, 0, 0x07}), 7, ""},
      {WithFirstField({0x02, 0x04}, {0x80, 0, 0, 0x07}), std::nullopt, "Num has the wrong type"},
      {WithFirstField({0x04, 0x04, 0x06, 0x08, 0x01, 0xC0}, {}), std::nullopt, "Flin has the wrong type"},
  };
  TempDir dir;
  const fs::path path = dir / "t.kel";
  for (const Case& c : cases) {
    Save(path, c.file);
    ParadoxRowStore store;
    if (c.num) {
      const auto rows = store.Open(path);
      ASSERT_EQ(rows.size(), 5u);
      EXPECT_EQ(rows[0].values[kNumberColumn], FieldValue(*c.num));
      EXPECT_EQ(rows[4].values[kNumberColumn], FieldValue(int64_t{0}));
      store.Close();
    } else {
      try {
        store.Open(path);
        ADD_FAILURE() << "opened: " << c.reason;
      } catch (const TableError& e) {
        EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      }
    }
  }

  // Too few columns; a table that is not there.
  for (const fs::path& p : {kFixtures / "bde" / "db__GENERAL.DB", dir / "missing.kel"}) {
    ParadoxRowStore store;
    EXPECT_THROW(store.Open(p), TableError) << p;
  }
  try {
    ParadoxRowStore store;
    store.Open(kFixtures / "bde" / "db__GENERAL.DB");
  } catch (const TableError& e) {
    EXPECT_NE(std::string(e.what()).find("not a document table (3 columns)"), std::string::npos)
        << e.what();
  }
}

TEST(ParadoxStore, WiderTextFieldsOfOtherTablesAreCutAtWholeCharacters) {
  // A table whose text fields are wider than ours opens; its texts keep what fits.
  ParadoxRowStore store;
  const auto rows = store.Open(kFixtures / "kel" / "wide-text-field.kel");
  ASSERT_FALSE(rows.empty());
  for (const auto& r : rows)
    for (std::size_t c = 0; c < r.values.size(); ++c) {
      if (const auto* text = std::get_if<std::string>(&r.values[c])) {
        EXPECT_LE(text->size(), static_cast<std::size_t>(kColumns[c].max_bytes)) << c;
      }
    }
  store.Close();
}

using testing::FileSizeLimit;

TEST(ParadoxStore, FailedWriteLeavesTheOldFileIntact) {
  TempDir dir;
  const fs::path path = dir / "doc.kel";
  const std::vector<uint8_t> original = Load(kFixtures / "kel" / "sample-level5.kel");
  Save(path, original);

  auto table = DocumentTable(path);
  table->Open();
  table->Append();
  table->SetText(kUpperLineColumn, "new");
  table->Store();
  {
    FileSizeLimit limit(1000);
    try {
      table->Close();
      ADD_FAILURE() << "the write did not fail";
    } catch (const TableError& e) {
      EXPECT_NE(std::string(e.what()).find("doc.kel"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Load(path), original);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left

  // The table is still open with its change; once writing works, Close saves it.
  EXPECT_TRUE(table->IsOpen());
  table->Close();
  const auto rows = ReadThroughTable(path);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[5][kUpperLineColumn], FieldValue(std::string("new")));

  // A folder that cannot be written to, where permissions apply.
  if (geteuid() != 0) {
    const fs::path ro = dir / "ro";
    fs::create_directory(ro);
    Save(ro / "doc.kel", original);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    std::string error;
    EXPECT_FALSE(paradox::WriteDocumentTable(ro / "doc.kel", NumberedRows(2), &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    fs::permissions(ro, fs::perms::owner_all);
    EXPECT_EQ(Load(ro / "doc.kel"), original);
  }

  // A value that cannot be stored fails before anything is written.
  std::vector<RowValues> bad = NumberedRows(2);
  bad[1][kUpperLineColumn] = std::string(101, 'x');
  std::string error;
  EXPECT_FALSE(paradox::WriteDocumentTable(path, bad, &error));
  EXPECT_EQ(ReadThroughTable(path).size(), 6u);
}

}  // namespace
}  // namespace qx
