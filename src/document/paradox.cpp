#include "document/paradox.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>

#include "document/atomic_file.h"
#include "document/gbk.h"

namespace qx::paradox {
namespace {

// Header offsets (little-endian values).
constexpr std::size_t kRecordSizeAt = 0x00;
constexpr std::size_t kHeaderSizeAt = 0x02;
constexpr std::size_t kFileTypeAt = 0x04;
constexpr std::size_t kMaxTableSizeAt = 0x05;
constexpr std::size_t kNumRecordsAt = 0x06;
constexpr std::size_t kUsedBlocksAt = 0x0A;
constexpr std::size_t kFileBlocksAt = 0x0C;
constexpr std::size_t kFirstBlockAt = 0x0E;
constexpr std::size_t kLastBlockAt = 0x10;
constexpr std::size_t kNumFieldsAt = 0x21;
constexpr std::size_t kKeyFieldsAt = 0x23;
constexpr std::size_t kEncryption1At = 0x25;
constexpr std::size_t kSortOrderAt = 0x29;
constexpr std::size_t kChangeCount1At = 0x2D;
constexpr std::size_t kChangeCount2At = 0x2E;
constexpr std::size_t kTableNamePtrPtrAt = 0x30;
constexpr std::size_t kFieldInfoPtrAt = 0x34;
constexpr std::size_t kVersionAt = 0x39;
constexpr std::size_t kMaxBlocksAt = 0x3A;
constexpr std::size_t kDataFileMarkAt = 0x3E;
constexpr std::size_t kRealHeaderSizeAt = 0x51;
constexpr std::size_t kDataFileFlagAt = 0x56;
// The extension of level 4 and later data files.
constexpr std::size_t kExtensionAt = 0x58;
constexpr std::size_t kVersionWordAt = 0x58;
constexpr std::size_t kVersionWord2At = 0x5A;
constexpr std::size_t kEncryption2At = 0x5C;
constexpr std::size_t kUpdateTimeAt = 0x60;
constexpr std::size_t kHiFieldIdAt = 0x64;
constexpr std::size_t kFieldNumbersAt = 0x66;
constexpr std::size_t kCodePageAt = 0x6A;
constexpr std::size_t kUnknown6CAt = 0x6C;
constexpr std::size_t kSortOrderNameAt = 0x6E;
constexpr std::size_t kExtensionEnd = 0x78;

constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kTableNameWidth = 79;        // levels 3 to 5
constexpr std::size_t kTableNameWidthLevel7 = 261;

// Bounds for what a file may make us allocate: the file itself and the decoded values.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{256} << 20;
constexpr std::size_t kMaxValues = std::size_t{1} << 22;

struct TypeInfo {
  uint8_t code;
  char letter;
  int fixed_size;  // 0: the descriptor gives the size
};

constexpr std::array<TypeInfo, 17> kTypes = {{
    {kAlpha, 'A', 0},     {kDate, 'D', 4},          {kShort, 'S', 2},
    {kLong, 'I', 4},      {kMoney, '$', 8},         {kNumber, 'N', 8},
    {kLogical, 'L', 1},   {kMemo, 'M', 0},          {kBlob, 'B', 0},
    {kFormattedMemo, 'F', 0}, {kOle, 'O', 0},       {kGraphic, 'G', 0},
    {kTime, 'T', 4},      {kTimestamp, '@', 8},     {kAutoIncrement, '+', 4},
    {kBcd, '#', 17},      {kBytes, 'Y', 0},
}};

const TypeInfo* FindType(uint8_t code) {
  for (const TypeInfo& t : kTypes)
    if (t.code == code) return &t;
  return nullptr;
}

uint16_t U16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t U32(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string Hex(unsigned v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  s += kDigits[(v >> 4) & 0xF];
  s += kDigits[v & 0xF];
  return s;
}

int LevelOf(uint8_t version_id) {
  if (version_id <= 0x04) return 3;
  if (version_id <= 0x09) return 4;
  if (version_id <= 0x0B) return 5;
  return 7;
}

// The text at `at` up to its zero byte, looked for before `end`; nullopt when there is none.
std::optional<std::string> CString(std::span<const uint8_t> b, std::size_t at, std::size_t end) {
  if (at >= end) return std::nullopt;
  const auto first = b.begin() + static_cast<std::ptrdiff_t>(at);
  const auto last = b.begin() + static_cast<std::ptrdiff_t>(end);
  const auto zero = std::find(first, last, uint8_t{0});
  if (zero == last) return std::nullopt;
  return std::string(first, zero);
}

bool AllZero(const uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](uint8_t c) { return c == 0; });
}

// Numbers are stored big-endian with the sign bit inverted, so that bytes compare like
// the numbers; all-zero bytes are a blank field.
int64_t DecodeInt(const uint8_t* p, std::size_t n) {
  uint64_t u = p[0] ^ 0x80u;
  for (std::size_t i = 1; i < n; ++i) u = (u << 8) | p[i];
  const unsigned bits = static_cast<unsigned>(n * 8);
  // Sign-extend from `bits`.
  const uint64_t sign = uint64_t{1} << (bits - 1);
  return static_cast<int64_t>((u ^ sign) - sign);
}

double DecodeDouble(const uint8_t* p) {
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u = (u << 8) | p[i];
  // Positive numbers have the sign bit set; negative ones are stored with every bit inverted.
  u = (p[0] & 0x80) ? (u ^ (uint64_t{1} << 63)) : ~u;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

Value DecodeField(const Field& f, const uint8_t* p) {
  const auto n = static_cast<std::size_t>(f.size);
  if (AllZero(p, n)) return std::monostate{};
  switch (f.code) {
    case kAlpha: {
      const auto* zero = std::find(p, p + n, uint8_t{0});
      if (zero == p) return std::monostate{};
      return std::string(p, zero);
    }
    case kShort:
    case kLong:
    case kAutoIncrement:
    case kDate:
    case kTime:
      return DecodeInt(p, n);
    case kMoney:
    case kNumber:
    case kTimestamp:
      return DecodeDouble(p);
    case kLogical:
      return p[0] != 0x80;
    default:  // blobs, BCD and bytes: as stored
      return std::string(p, p + n);
  }
}

}  // namespace

namespace {

// The header of a table: everything of it but its rows. `b` holds the file's first bytes,
// at least the whole header when the file has it (a header is never larger than 64 KiB);
// `file_size` is the size of the whole file.
std::optional<Table> ReadHeader(std::span<const uint8_t> b, std::size_t file_size,
                                std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<Table> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (file_size == 0) return fail("the file is empty");
  if (file_size < kExtensionAt) return fail("the file is too short for a Paradox table");

  Table t;
  t.version_id = b[kVersionAt];
  if (t.version_id < 0x03 || t.version_id > 0x0C)
    return fail("not a Paradox table (unknown file version " + Hex(t.version_id) + ")");
  t.level = LevelOf(t.version_id);
  t.file_type = b[kFileTypeAt];
  if (t.file_type == 1 || (t.file_type >= 3 && t.file_type <= 8))
    return fail("this is a Paradox index file, not a table");
  if (t.file_type != 0 && t.file_type != 2)
    return fail("not a Paradox table (unknown file type " + Hex(t.file_type) + ")");

  const uint8_t kib = b[kMaxTableSizeAt];
  if (kib != 1 && kib != 2 && kib != 3 && kib != 4 && kib != 8 && kib != 16 && kib != 32)
    return fail("the table header is damaged (block size " + std::to_string(kib) + " KiB)");
  t.block_size = kib * 1024;

  const bool has_extension = t.version_id >= 0x05;
  const std::size_t descriptors_at = has_extension ? kExtensionEnd : kExtensionAt;
  t.header_size = U16(b, kHeaderSizeAt);
  const auto header_size = static_cast<std::size_t>(t.header_size);
  if (header_size < descriptors_at) return fail("the table header is damaged (header size)");
  if (header_size > file_size) return fail("the file is truncated inside its header");

  const bool encrypted =
      has_extension ? U32(b, kEncryption2At) != 0 : U32(b, kEncryption1At) != 0;
  if (encrypted) return fail("the table is encrypted (password protected)");

  const std::size_t num_fields = U16(b, kNumFieldsAt);
  if (num_fields == 0) return fail("the table has no fields");
  t.key_fields = U16(b, kKeyFieldsAt);
  if (static_cast<std::size_t>(t.key_fields) > num_fields)
    return fail("the table header is damaged (key fields)");

  // The variable part: descriptors, pointers, table name, field names, and from level 4
  // on the field numbers and the language driver name. Everything must lie in the header.
  std::size_t pos = descriptors_at;
  if (pos + 2 * num_fields > header_size) return fail("the table header is damaged (fields)");
  int record_size = 0;
  t.fields.resize(num_fields);
  for (std::size_t i = 0; i < num_fields; ++i) {
    Field& f = t.fields[i];
    f.code = b[pos];
    const int declared = b[pos + 1];
    pos += 2;
    const TypeInfo* type = FindType(f.code);
    if (!type)
      return fail("the table has a field of a type this program cannot read (type code " +
                  Hex(f.code) + ")");
    f.type = type->letter;
    if (f.code == kBcd) {
      f.size = 17;  // the descriptor holds the number of decimals
      if (declared > 32) return fail("the table header is damaged (BCD field)");
    } else if (type->fixed_size != 0) {
      f.size = type->fixed_size;
      if (declared != f.size)
        return fail("the table header is damaged (size of field " + std::to_string(i + 1) + ")");
    } else {
      f.size = declared;
      const bool blob = f.code >= kMemo && f.code <= kGraphic;
      if (declared == 0 || (blob && declared < 10))
        return fail("the table header is damaged (size of field " + std::to_string(i + 1) + ")");
    }
    record_size += f.size;
  }
  t.record_size = U16(b, kRecordSizeAt);
  if (record_size != t.record_size)
    return fail("the table header is damaged (field sizes do not add up to the record size)");

  pos += 4 + 4 * num_fields;  // table name pointer and field name pointers (run-time only)
  const std::size_t name_width = t.version_id >= 0x0C ? kTableNameWidthLevel7 : kTableNameWidth;
  if (pos + name_width > header_size) return fail("the table header is damaged (table name)");
  {
    const auto first = b.begin() + static_cast<std::ptrdiff_t>(pos);
    const auto last = first + static_cast<std::ptrdiff_t>(name_width);
    t.table_name.assign(first, std::find(first, last, uint8_t{0}));
  }
  pos += name_width;
  for (Field& f : t.fields) {
    auto name = CString(b, pos, header_size);
    if (!name) return fail("the table header is damaged (field names)");
    pos += name->size() + 1;
    f.name = std::move(*name);
  }
  t.sort_order = b[kSortOrderAt];
  if (has_extension) {
    t.code_page = U16(b, kCodePageAt);
    // The language driver name follows the field numbers; a header without it still reads.
    if (pos + 2 * num_fields < header_size)
      t.sort_order_name = CString(b, pos + 2 * num_fields, header_size).value_or("");
  }

  return t;
}

// The records of the table whose header `t` holds (read from the header bytes `b`), in
// block chain order, each given to `each` as it is read. `read(at, n)` gives `n` bytes of the file from `at` (within
// `file_size`), or null when they cannot be read. Stops at the first fault, false with
// *error saying why; the records before it have been given.
bool WalkRecords(const Table& t, std::span<const uint8_t> b, std::size_t file_size,
                 const std::function<const uint8_t*(std::size_t, std::size_t)>& read,
                 const std::function<void(std::vector<Value>&)>& each, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  const std::size_t num_fields = t.fields.size();
  const auto header_size = static_cast<std::size_t>(t.header_size);
  // Data blocks, in chain order.
  const auto rec = static_cast<std::size_t>(t.record_size);
  const auto block_size = static_cast<std::size_t>(t.block_size);
  if (rec + kBlockHeaderSize > block_size)
    return fail("the table header is damaged (records larger than a block)");
  const std::size_t per_block = (block_size - kBlockHeaderSize) / rec;
  const std::size_t num_records = U32(b, kNumRecordsAt);
  const std::size_t file_blocks = U16(b, kFileBlocksAt);
  std::size_t block = U16(b, kFirstBlockAt);

  std::size_t records = 0;
  std::vector<bool> visited(file_blocks + 1, false);
  while (block != 0) {
    if (block > file_blocks) return fail("the table is damaged (block chain leaves the table)");
    if (visited[block]) return fail("the table is damaged (block chain loops)");
    visited[block] = true;
    const std::size_t start = header_size + (block - 1) * block_size;
    if (start + kBlockHeaderSize > file_size) return fail("the file is truncated (data blocks missing)");
    const uint8_t* head = read(start, kBlockHeaderSize);
    if (!head) return fail("cannot read the file");
    const std::size_t next = U16({head, kBlockHeaderSize}, 0);
    const auto last_offset = static_cast<int16_t>(U16({head, kBlockHeaderSize}, 4));
    std::size_t count = 0;
    if (last_offset >= 0) {
      const auto off = static_cast<std::size_t>(last_offset);
      if (off % rec != 0 || off / rec + 1 > per_block)
        return fail("the table is damaged (record count of block " + std::to_string(block) + ")");
      count = off / rec + 1;
    }
    const std::size_t data = start + kBlockHeaderSize;
    if (data + count * rec > file_size) return fail("the file is truncated (records missing)");
    if ((records + count) * num_fields > kMaxValues)
      return fail("the table is too large to read");
    const uint8_t* records_at = count == 0 ? nullptr : read(data, count * rec);
    if (count != 0 && !records_at) return fail("cannot read the file");
    for (std::size_t r = 0; r < count; ++r) {
      const uint8_t* p = records_at + r * rec;
      std::vector<Value> row;
      row.reserve(num_fields);
      for (const Field& f : t.fields) {
        row.push_back(DecodeField(f, p));
        p += f.size;
      }
      each(row);
      ++records;
    }
    block = next;
  }
  if (records != num_records)
    return fail("the table is damaged (the header counts " + std::to_string(num_records) +
                " records, the data blocks hold " + std::to_string(records) + ")");
  return true;
}

}  // namespace

std::optional<Table> ReadBytes(std::span<const uint8_t> b, std::string* error) {
  std::optional<Table> t = ReadHeader(b, b.size(), error);
  if (!t) return t;
  // The file holds at most this many records; the header's count is not trusted further.
  const std::size_t rec = static_cast<std::size_t>(t->record_size);
  t->rows.reserve(std::min({static_cast<std::size_t>(U32(b, kNumRecordsAt)),
                            (b.size() - static_cast<std::size_t>(t->header_size)) / rec,
                            kMaxValues / t->fields.size()}));
  const auto read = [&](std::size_t at, std::size_t) { return b.data() + at; };
  const auto each = [&](std::vector<Value>& row) { t->rows.push_back(std::move(row)); };
  if (!WalkRecords(*t, b, b.size(), read, each, error)) return std::nullopt;
  return t;
}

std::optional<Table> Read(const std::filesystem::path& path, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<Table> {
    if (error) *error = why;
    return std::nullopt;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot open " + path.string() + ": " + std::strerror(errno));
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return fail("cannot read " + path.string() + ": " + ec.message());
  if (size > kMaxFileBytes) return fail("the file is too large for a Paradox table");
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()),
                                 static_cast<std::streamsize>(bytes.size())))
    return fail("cannot read " + path.string());
  return ReadBytes(bytes, error);
}


bool ForEachRecord(const std::filesystem::path& path, Table& header,
                   const std::function<void(std::vector<Value>&)>& each, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!in) return fail("cannot open " + path.string() + ": " + std::strerror(errno));
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return fail("cannot read " + path.string() + ": " + ec.message());
  if (size > kMaxFileBytes) return fail("the file is too large for a Paradox table");
  const auto file_size = static_cast<std::size_t>(size);
  // One buffer for the header, then for each block's records in turn.
  std::vector<uint8_t> buffer(std::min<std::size_t>(file_size, 0x10000));
  std::size_t pos = 0;  // where the file is read next
  const auto read = [&](std::size_t at, std::size_t n) -> const uint8_t* {
    if (buffer.size() < n) buffer.resize(n);
    if (at != pos && fseeko(in.get(), static_cast<off_t>(at), SEEK_SET) != 0) return nullptr;
    pos = at + n;
    if (n != 0 && std::fread(buffer.data(), 1, n, in.get()) != n) {
      pos = static_cast<std::size_t>(-1);
      return nullptr;
    }
    return buffer.data();
  };
  if (!buffer.empty() && !read(0, buffer.size())) return fail("cannot read " + path.string());
  std::optional<Table> t = ReadHeader(buffer, file_size, error);
  if (!t) return false;
  header = std::move(*t);
  const std::vector<uint8_t> head(buffer.begin(), buffer.begin() + header.header_size);
  return WalkRecords(header, head, file_size, read, each, error);
}

// --- Writing the document table -------------------------------------------------------

namespace {

constexpr std::size_t kDocHeaderSize = kDocumentHeaderBytes;
constexpr std::size_t kDocBlockSize = kDocumentBlockBytes;
constexpr uint8_t kLevel5 = 0x0B;
constexpr uint16_t kCodePage936 = 936;
constexpr uint8_t kChinaSortOrder = 0x03;
constexpr std::string_view kChinaDriver = "china";

void Put16(std::vector<uint8_t>& b, std::size_t at, std::size_t v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void Put32(std::vector<uint8_t>& b, std::size_t at, std::size_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, (v >> 16) & 0xFFFF);
}

void EncodeInt(uint8_t* p, int64_t v, std::size_t n) {
  auto u = static_cast<uint64_t>(v);
  for (std::size_t i = n; i-- > 0;) {
    p[i] = static_cast<uint8_t>(u & 0xFF);
    u >>= 8;
  }
  p[0] ^= 0x80;
}

struct Column {
  uint8_t code;
  std::size_t size;
};

}  // namespace

std::optional<std::vector<uint8_t>> BuildDocumentTable(const std::vector<RowValues>& rows,
                                                       const DocumentOptions& options,
                                                       std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<std::vector<uint8_t>> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (options.repeat_column_type != kShort && options.repeat_column_type != kLong)
    return fail("PitchRep can only be stored as a short or a long integer");

  std::array<Column, kColumnCount> cols{};
  std::size_t record_size = 0;
  for (std::size_t c = 0; c < cols.size(); ++c) {
    const ColumnDef& def = kColumns[c];
    if (def.type == ColumnType::kText)
      cols[c] = {kAlpha, static_cast<std::size_t>(def.max_bytes)};
    else if (def.type == ColumnType::kUInt16)
      cols[c] = {options.repeat_column_type, options.repeat_column_type == kShort ? 2u : 4u};
    else
      cols[c] = {kLong, 4};
    record_size += cols[c].size;
  }
  const std::size_t per_block = (kDocBlockSize - kBlockHeaderSize) / record_size;
  const std::size_t n = rows.size();
  const std::size_t blocks = (n + per_block - 1) / per_block;
  if (blocks > kMaxDocumentBlocks) return fail("too many rows for a document table");

  std::vector<uint8_t> out(kDocHeaderSize + blocks * kDocBlockSize, 0);

  // Fixed header.
  Put16(out, kRecordSizeAt, record_size);
  Put16(out, kHeaderSizeAt, kDocHeaderSize);
  out[kFileTypeAt] = 2;  // unkeyed
  out[kMaxTableSizeAt] = static_cast<uint8_t>(kDocBlockSize / 1024);
  Put32(out, kNumRecordsAt, n);
  Put16(out, kUsedBlocksAt, blocks);
  Put16(out, kFileBlocksAt, blocks);
  Put16(out, kFirstBlockAt, blocks ? 1 : 0);
  Put16(out, kLastBlockAt, blocks);
  Put16(out, kNumFieldsAt, kColumnCount);
  Put32(out, kEncryption1At, 0xFF00FF00u);  // the constant of level 4+ data files
  out[kSortOrderAt] = kChinaSortOrder;
  out[kChangeCount1At] = 2;
  out[kChangeCount2At] = 1;
  out[kVersionAt] = kLevel5;
  Put16(out, kMaxBlocksAt, blocks);
  out[kDataFileMarkAt] = 0x1F;
  out[kDataFileMarkAt + 1] = 0x0F;
  out[kDataFileFlagAt] = 0x20;
  // Level 5 extension.
  Put16(out, kVersionWordAt, 0x0100 | kLevel5);
  Put16(out, kVersionWord2At, 0x0100 | kLevel5);
  Put32(out, kUpdateTimeAt, options.update_time);
  Put16(out, kHiFieldIdAt, kColumnCount + 1);
  Put16(out, kCodePageAt, kCodePage936);
  out[kUnknown6CAt] = 1;
  out[kUnknown6CAt + 1] = 1;

  // Variable part.
  std::size_t pos = kExtensionEnd;
  for (const Column& c : cols) {
    out[pos++] = c.code;
    out[pos++] = static_cast<uint8_t>(c.size);
  }
  const std::size_t table_name_ptr_at = pos;
  pos += 4;
  const std::size_t field_name_ptrs_at = pos;
  pos += 4 * kColumnCount;
  const std::size_t table_name_at = pos;
  const std::string_view table_name = gbk::TruncateToBytes(options.table_name, kTableNameWidth - 1);
  std::copy(table_name.begin(), table_name.end(), out.begin() + static_cast<std::ptrdiff_t>(pos));
  pos += kTableNameWidth;
  // The pointers are the engine's run-time memory; like other writers we put the offsets
  // of what they point to, which no reader relies on.
  Put32(out, kTableNamePtrPtrAt, table_name_ptr_at);
  Put32(out, kFieldInfoPtrAt, kExtensionEnd);
  Put32(out, table_name_ptr_at, table_name_at);
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    Put32(out, field_name_ptrs_at + 4 * c, pos);
    const std::string_view name = kColumns[c].name;
    std::copy(name.begin(), name.end(), out.begin() + static_cast<std::ptrdiff_t>(pos));
    pos += name.size() + 1;
  }
  Put16(out, kFieldNumbersAt, pos - kExtensionAt);
  for (std::size_t c = 0; c < kColumns.size(); ++c, pos += 2) Put16(out, pos, c + 1);
  Put16(out, kSortOrderNameAt, pos - kExtensionAt);
  std::copy(kChinaDriver.begin(), kChinaDriver.end(), out.begin() + static_cast<std::ptrdiff_t>(pos));
  pos += kChinaDriver.size() + 1;
  Put16(out, kRealHeaderSizeAt, pos);

  // Records, eight to a 2 KiB block, blocks chained in file order.
  for (std::size_t r = 0; r < n; ++r) {
    const std::size_t block = r / per_block;  // 0-based
    const std::size_t start = kDocHeaderSize + block * kDocBlockSize;
    if (r % per_block == 0) {
      const std::size_t in_block = std::min(per_block, n - r);
      Put16(out, start, block + 1 < blocks ? block + 2 : 0);
      Put16(out, start + 2, block);
      Put16(out, start + 4, (in_block - 1) * record_size);
    }
    uint8_t* p = out.data() + start + kBlockHeaderSize + (r % per_block) * record_size;
    const std::string where = " in row " + std::to_string(r + 1);
    for (std::size_t c = 0; c < cols.size(); ++c) {
      const FieldValue& v = rows[r][c];
      const std::string name(kColumns[c].name);
      if (cols[c].code == kAlpha) {
        if (std::holds_alternative<int64_t>(v))
          return fail("column " + name + " holds a number instead of text" + where);
        if (const auto* s = std::get_if<std::string>(&v)) {
          if (s->size() > cols[c].size)
            return fail("text too long for column " + name + where + " (" +
                        std::to_string(s->size()) + " bytes, at most " +
                        std::to_string(cols[c].size) + ")");
          if (s->find('\0') != std::string::npos)
            return fail("text with a zero byte in column " + name + where);
          std::memcpy(p, s->data(), s->size());
        }
      } else {
        if (std::holds_alternative<std::string>(v))
          return fail("column " + name + " holds text instead of a number" + where);
        if (const auto* i = std::get_if<int64_t>(&v)) {
          // The most negative value would be stored as all zeros, which means blank.
          const int64_t limit = cols[c].size == 2 ? 32767 : 2147483647;
          if (*i < -limit || *i > limit)
            return fail("value out of range for column " + name + where);
          EncodeInt(p, *i, cols[c].size);
        }
      }
      p += cols[c].size;
    }
  }
  return out;
}

bool WriteDocumentTable(const std::filesystem::path& path, const std::vector<RowValues>& rows,
                        TypeCode repeat_column_type, std::string* error, WriteFailure* failure) {
  if (failure) *failure = WriteFailure::kNone;
  DocumentOptions options;
  options.repeat_column_type = repeat_column_type;
  options.table_name = gbk::FromUtf8(path.filename().string()).gbk;
  options.update_time = static_cast<uint32_t>(std::time(nullptr));
  const auto bytes = BuildDocumentTable(rows, options, error);
  if (!bytes) return false;
  return WriteFileAtomically(path, *bytes, error, failure);
}

bool WriteDocumentTable(const std::filesystem::path& path, const std::vector<RowValues>& rows,
                        std::string* error) {
  return WriteDocumentTable(path, rows, kLong, error);
}

}  // namespace qx::paradox
