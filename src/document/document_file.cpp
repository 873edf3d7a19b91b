#include "document/document_file.h"

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

std::unique_ptr<SegmentTable> MakeDocumentFileTable(const std::filesystem::path& file) {
  auto t = std::make_unique<SegmentTable>(std::make_unique<ParadoxRowStore>());
  t->Bind(file);
  return t;
}

void WriteDocumentFile(SegmentTable& working, const SettingsSelectors& settings,
                       const std::filesystem::path& file, DocumentRows which) {
  // The rows go straight into the file's store, which writes the file once, on Close,
  // through a temporary file renamed over the old one. Nothing touches an existing file
  // before the whole new table is ready, so a failed save leaves it as it was.
  ParadoxRowStore out;
  out.Create(file);
  // Read the rows where they are, without moving the working table.
  int64_t number = 0;
  for (int r = 0; r < working.RowCount(); ++r) {
    if (which == DocumentRows::kWithUpperLine && working.TextAt(r, kFlin).empty()) continue;
    RowValues row{};
    for (int c = 0; c < kCopiedColumns; ++c)
      row[static_cast<std::size_t>(c)] = working.ValueAt(r, c);
    if (which == DocumentRows::kWithUpperLine) row[kNum] = ++number;
    out.Insert(row, std::nullopt);
  }
  // The settings row.
  RowValues s{};
  s[kNum] = int64_t{0};
  s[kFlin] = ItemText(MaterialItems(), settings.MatBox);
  s[kSlin] = std::string(gbk::TruncateToBytes(gbk::FromUtf8(settings.ZitiBox).gbk, 100));
  s[kHengShu] = ItemText(AlignItems(), settings.PlBox);
  s[kXiuShi] = ItemText(CutItems(), settings.CutBox);
  s[kXuFirst] = ItemText(SpacingItems(), settings.ZjBox);
  out.Insert(s, std::nullopt);
  out.Close();  // writes the file; throws when it cannot
}

bool ReadDocumentFile(const std::filesystem::path& file, SegmentTable& working,
                      SettingsSelectors& settings) {
  std::unique_ptr<SegmentTable> in = MakeDocumentFileTable(file);
  in->Open();
  if (in->IsEmpty()) {
    in->Close();
    return false;
  }
  working.Create();
  working.Open();
  // The views hear of the new rows once, when all are in (also when reading fails).
  struct Detached {
    SegmentTable& t;
    explicit Detached(SegmentTable& table) : t(table) { t.DetachControls(); }
    ~Detached() { t.AttachControls(); }
  } detached(working);
  {
    SegmentTable::Batch batch(working);
    for (int r = 0; r + 1 < in->RowCount(); ++r) {
      working.Append();
      for (int c = 0; c < kCopiedColumns; ++c) {
        FieldValue v = in->ValueAt(r, c);
        // Texts wider than the column (files from elsewhere) keep their whole characters.
        const ColumnDef& def = kColumns[static_cast<std::size_t>(c)];
        if (auto* text = std::get_if<std::string>(&v); text && def.type == ColumnType::kText)
          *text = std::string(gbk::TruncateToBytes(*text, static_cast<std::size_t>(def.max_bytes)));
        working.SetValue(c, std::move(v));
      }
      working.SetInt(kUpLen, 0);
      working.SetInt(kDnLen, 0);
      working.Store();
    }
    // A file with nothing but its settings row is an empty Document: it gets the one
    // default Segment every Document has.
    if (working.IsEmpty()) {
      working.Append();
      FillNewSegment(working);
      working.SetInt(kUpLen, 0);
      working.Store();
    }
    batch.Commit();
  }
  // The last row carries the settings.
  const int s = in->RowCount() - 1;
  const SettingsSelectors fresh;
  auto pick = [&](std::span<const std::string_view> items, int col, int fallback) {
    const int i = ItemIndex(items, in->TextAt(s, col));
    return i >= 0 ? i : fallback;
  };
  settings.MatBox = pick(MaterialItems(), kFlin, fresh.MatBox);
  settings.PlBox = pick(AlignItems(), kHengShu, fresh.PlBox);
  settings.CutBox = pick(CutItems(), kXiuShi, fresh.CutBox);
  settings.ZjBox = pick(SpacingItems(), kXuFirst, fresh.ZjBox);
  const std::string face = gbk::ToUtf8(in->TextAt(s, kSlin));
  if (!face.empty()) settings.ZitiBox = face;
  in->Close();
  working.First();
  return true;
}

}  // namespace qx
