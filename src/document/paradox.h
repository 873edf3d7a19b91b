// Paradox tables (.DB files; the document files *.kel are Paradox tables).
//
// The reader takes tables of levels 3 to 7 as the Borland Database Engine and Paradox
// write them: header, field descriptors and names, code page and language driver, and
// the records of the data blocks in the order of the block chain. It is meant for files
// from anywhere: every offset and count in a file is checked before it is used, block
// chains that loop are caught, and the number of values is bounded, so a damaged or
// hostile file gives an error and never a crash. Encrypted tables and field types this
// reader does not know are refused.
//
// The writer makes the one table this program needs: the document table with the
// thirteen Segment columns, laid out the way the engine lays out such a table (level 5,
// unkeyed, 2 KiB blocks, code page 936 with the "china" language driver), so the old
// program opens what we write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "document/atomic_file.h"
#include "document/table.h"

namespace qx::paradox {

// Field type codes as stored in the field descriptors.
enum TypeCode : uint8_t {
  kAlpha = 0x01,
  kDate = 0x02,
  kShort = 0x03,
  kLong = 0x04,
  kMoney = 0x05,
  kNumber = 0x06,
  kLogical = 0x09,
  kMemo = 0x0C,
  kBlob = 0x0D,
  kFormattedMemo = 0x0E,
  kOle = 0x0F,
  kGraphic = 0x10,
  kTime = 0x14,
  kTimestamp = 0x15,
  kAutoIncrement = 0x16,
  kBcd = 0x17,
  kBytes = 0x18,
};

struct Field {
  std::string name;  // as stored, in the table's code page
  char type = 0;     // A D S I $ N L M B F O G T @ + # Y
  uint8_t code = 0;  // the stored type code
  int size = 0;      // bytes the field takes in a record
};

// One value of a record. Blank fields (all bytes zero) are null.
//   int64_t      S I + (integers), D (day number, 1 Jan of year 1 = 1), T (ms of the day)
//   double       N $ (numbers, money), @ (timestamp: day number x 86 400 000 + ms)
//   bool         L
//   std::string  A (the bytes up to the first zero byte), and the raw field bytes of
//                M B F O G (leader and reference into the .MB file, which is not read),
//                # (packed BCD) and Y
using Value = std::variant<std::monostate, int64_t, double, bool, std::string>;

struct Table {
  int level = 0;            // 3 (3.0 and 3.5), 4, 5 or 7
  uint8_t version_id = 0;   // the stored file version, 0x03..0x0C
  uint8_t file_type = 0;    // 0 keyed, 2 unkeyed
  int header_size = 0;
  int block_size = 0;
  int record_size = 0;
  int key_fields = 0;       // leading fields of the primary key
  uint16_t code_page = 0;   // 0 when the table does not say (level 3)
  uint8_t sort_order = 0;   // collation code of the language driver
  std::string sort_order_name;  // language driver name, e.g. "china"; empty for level 3
  std::string table_name;       // the name stored in the header
  std::vector<Field> fields;
  std::vector<std::vector<Value>> rows;  // in block chain order
};

// Reads a table from memory. On failure returns nullopt and says why in *error.
std::optional<Table> ReadBytes(std::span<const uint8_t> bytes, std::string* error);

// Reads the table file at `path` (the table file alone; companion files are not needed).
std::optional<Table> Read(const std::filesystem::path& path, std::string* error);

// Reads the table file at `path` one record at a time, holding no more of the file than
// one block: `header` receives the table without its rows, then `each` gets every record
// in block chain order. Returns false at the first fault with *error as Read says it;
// the records before the fault have been given to `each`.
bool ForEachRecord(const std::filesystem::path& path, Table& header,
                   const std::function<void(std::vector<Value>&)>& each, std::string* error);

// How the document table is written.
struct DocumentOptions {
  // Physical type of PitchRep: kLong (4 bytes, holds every unsigned 16-bit value) or
  // kShort (2 bytes, as some older files have it).
  TypeCode repeat_column_type = kLong;
  std::string table_name;    // stored in the header's name area, GBK, cut to fit
  uint32_t update_time = 0;  // seconds since 1970, stored at 0x60
};

// The layout of the document tables this program writes: a 2 KiB header and 2 KiB data
// blocks. Block numbers are 16-bit, so a document table has at most 0xFFFF blocks, and a
// document file is never larger than kMaxDocumentFileBytes (128 MiB): the size beyond
// which a file is refused as a document before it is read.
inline constexpr std::size_t kDocumentHeaderBytes = 0x0800;
inline constexpr std::size_t kDocumentBlockBytes = 2048;
inline constexpr std::size_t kMaxDocumentBlocks = 0xFFFF;
inline constexpr std::uintmax_t kMaxDocumentFileBytes =
    kDocumentHeaderBytes + kMaxDocumentBlocks * kDocumentBlockBytes;

// The bytes of a document table holding `rows` (Segment rows, then the settings row).
// Values must fit their columns: integers in the column's stored type, texts within the
// column width and without zero bytes. Empty texts are stored blank, like nulls.
std::optional<std::vector<uint8_t>> BuildDocumentTable(const std::vector<RowValues>& rows,
                                                       const DocumentOptions& options,
                                                       std::string* error);

// Writes the document table to `path` atomically (WriteFileAtomically). On failure the
// old file is untouched, no temporary file is left, and *error says why; when the bytes
// were built but the file could not be written, *failure says which kind of failure it was
// (it stays kNone for rows that do not fit the table).
bool WriteDocumentTable(const std::filesystem::path& path, const std::vector<RowValues>& rows,
                        std::string* error);
bool WriteDocumentTable(const std::filesystem::path& path, const std::vector<RowValues>& rows,
                        TypeCode repeat_column_type, std::string* error,
                        WriteFailure* failure = nullptr);

}  // namespace qx::paradox
