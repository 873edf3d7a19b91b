#include "document/document_file.h"

#include <string>
#include <vector>

#include "document/gbk.h"
#include "document/paradox_store.h"

namespace qx {
namespace {

constexpr int kCopiedColumns = 11;  // Num .. XuEnd; the running lengths are not kept

// Index of the item whose GBK text equals `text`, or -1.
int ItemIndex(std::span<const std::string_view> items, const std::string& text) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (gbk::FromUtf8(items[i]).gbk == text) return static_cast<int>(i);
  return -1;
}

std::string ItemText(std::span<const std::string_view> items, int index) {
  if (index < 0 || index >= static_cast<int>(items.size())) return {};
  return gbk::FromUtf8(items[static_cast<std::size_t>(index)]).gbk;
}

}  // namespace

TooManySegmentsError::TooManySegmentsError(const std::filesystem::path& file, int segments)
    : TableError(file.string() + ": " + std::to_string(segments) + " Segments, more than the " +
                 std::to_string(kMaxSegments) + " a document holds"),
      segments_(segments) {}

std::unique_ptr<SegmentTable> MakeDocumentFileTable(const std::filesystem::path& file) {
  auto t = std::make_unique<SegmentTable>(std::make_unique<ParadoxRowStore>());
  t->Bind(file);
  return t;
}

void WriteDocumentFile(SegmentTable& working, const DocumentSettings& settings,
                       const std::filesystem::path& file, DocumentRows which) {
  // The rows go straight into the file's store, which writes the file once, on Close,
  // through a temporary file renamed over the old one. Nothing touches an existing file
  // before the whole new table is ready, so a failed save leaves it as it was.
  int rows = working.RowCount();
  if (which == DocumentRows::kAsSavedWithoutTidying)
    while (rows > 1 && working.TextAt(rows - 1, kUpperLineColumn).empty()) --rows;
  auto written = [&](int r) {
    return r < rows && (which != DocumentRows::kWithUpperLine ||
                        !working.TextAt(r, kUpperLineColumn).empty());
  };
  int segments = 0;
  for (int r = 0; r < working.RowCount(); ++r) segments += written(r) ? 1 : 0;
  if (segments > kMaxSegments) throw TooManySegmentsError(file, segments);
  ParadoxRowStore out;
  out.Create(file);
  // Read the rows where they are, without moving the working table.
  int64_t number = 0;
  for (int r = 0; r < working.RowCount(); ++r) {
    if (!written(r)) continue;
    RowValues row{};
    for (int c = 0; c < kCopiedColumns; ++c)
      row[static_cast<std::size_t>(c)] = working.ValueAt(r, c);
    ++number;
    if (which != DocumentRows::kAll) row[kNumberColumn] = number;
    out.Insert(row, std::nullopt);
  }
  out.Insert(DocumentSettingsRow(settings), std::nullopt);
  out.Close();  // writes the file; throws when it cannot
}

RowValues DocumentSettingsRow(const DocumentSettings& settings) {
  RowValues s{};
  s[kNumberColumn] = int64_t{0};
  s[kUpperLineColumn] = ItemText(MaterialItems(), settings.material_index);
  s[kLowerLineColumn] = std::string(gbk::TruncateToBytes(gbk::FromUtf8(settings.font_face).gbk, 100));
  s[kOrientationColumn] = ItemText(AlignItems(), settings.alignment_index);
  s[kDecorationColumn] = ItemText(CutItems(), settings.cut_index);
  s[kSerialFirstColumn] = ItemText(SpacingItems(), settings.spacing_index);
  return s;
}

int CheckDocumentFile(const std::filesystem::path& file, DocumentSettings& settings) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (!ec && size > kMaxDocumentFileBytes)
    throw TableError(file.string() + ": larger than a document file can be");
  // Read a block at a time and never held whole: all of it is checked, and its last row
  // carries the settings.
  int rows = 0;
  RowValues last{};
  ParadoxRowStore::ForEachRow(file, [&](const RowValues& row) {
    ++rows;
    last = row;
  });
  if (rows == 0) return 0;
  // The last row is the settings row.
  if (rows - 1 > kMaxSegments) throw TooManySegmentsError(file, rows - 1);
  const DocumentSettings fresh;
  auto text_of = [&](int col) {
    const auto* text = std::get_if<std::string>(&last[static_cast<std::size_t>(col)]);
    return text ? *text : std::string();
  };
  auto pick = [&](std::span<const std::string_view> items, int col, int fallback) {
    const int i = ItemIndex(items, text_of(col));
    return i >= 0 ? i : fallback;
  };
  settings.material_index = pick(MaterialItems(), kUpperLineColumn, fresh.material_index);
  settings.alignment_index = pick(AlignItems(), kOrientationColumn, fresh.alignment_index);
  settings.cut_index = pick(CutItems(), kDecorationColumn, fresh.cut_index);
  settings.spacing_index = pick(SpacingItems(), kSerialFirstColumn, fresh.spacing_index);
  const std::string face = gbk::ToUtf8(text_of(kLowerLineColumn));
  if (!face.empty()) settings.font_face = face;
  return rows;
}

void AppendDocumentSegments(const std::filesystem::path& file, int rows, SegmentTable& into) {
  SegmentTable::Batch batch(into);
  into.ReserveRows(into.RowCount() + rows);
  int r = 0;
  ParadoxRowStore::ForEachRow(file, [&](const RowValues& row) {
    if (++r >= rows) return;  // the settings row, or rows the file gained since
    into.Append();
    for (int c = 0; c < kCopiedColumns; ++c) {
      FieldValue v = row[static_cast<std::size_t>(c)];
      // Texts wider than the column (files from elsewhere) keep their whole characters.
      const ColumnDef& def = kColumns[static_cast<std::size_t>(c)];
      if (auto* text = std::get_if<std::string>(&v); text && def.type == ColumnType::kText)
        *text = std::string(gbk::TruncateToBytes(*text, static_cast<std::size_t>(def.max_bytes)));
      into.SetValue(c, std::move(v));
    }
    into.SetInt(kUpperLengthColumn, 0);
    into.SetInt(kLowerLengthColumn, 0);
    into.Store();
  });
  // A file with nothing but its settings row is an empty Document: it gets the one
  // default Segment every Document has.
  if (into.IsEmpty()) {
    into.Append();
    FillNewSegment(into);
    into.SetInt(kUpperLengthColumn, 0);
    into.Store();
  }
  batch.Commit();
}

bool ReadDocumentFile(const std::filesystem::path& file, SegmentTable& working,
                      DocumentSettings& settings) {
  // The file is read twice: first to check all of it, so that `working` is only touched
  // once the file is known to be good, then to copy its Segments one at a time.
  DocumentSettings carried = settings;
  const int rows = CheckDocumentFile(file, carried);
  if (rows == 0) return false;
  working.Create();
  working.Open();
  // The views hear of the new rows once, when all are in (also when reading fails).
  struct Detached {
    SegmentTable& t;
    explicit Detached(SegmentTable& table) : t(table) { t.DetachControls(); }
    ~Detached() { t.AttachControls(); }
  } detached(working);
  AppendDocumentSegments(file, rows, working);
  settings = carried;
  working.First();
  return true;
}

}  // namespace qx
