#include "document/document.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

#include "document/gbk.h"

namespace qx {
namespace {

constexpr std::array<std::string_view, 7> kMaterialItems = {
    "贴纸 6mm", "贴纸 9mm", "贴纸 12mm", "套管 1.0平方", "套管 4.0平方", "套管 6.0平方", "热缩管"};
constexpr std::array<std::string_view, 3> kCutItems = {"全无", "半切", "分隔线"};
constexpr std::array<std::string_view, 2> kAlignItems = {"居中", "左齐"};
constexpr std::array<std::string_view, 20> kSpacingItems = {
    "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10",
    "11", "12", "13", "14", "15", "16", "17", "18", "19", "20"};
constexpr std::array<std::string_view, 7> kDensityItems = {"1", "2", "3", "4", "5", "6", "7"};

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A decimal serial value; anything that is not plain digits reads as 0.
uint16_t DecimalSerial(std::string_view s) {
  if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  unsigned v = 0;
  for (char c : s) v = std::min(v * 10 + static_cast<unsigned>(c - '0'), 65535u);
  return static_cast<uint16_t>(v);
}

void DecodeCommon(const SegmentTable& t, SegmentValues& v) {
  v.RepeatCount = Saturate(t.Int(kRepeatColumn));
  v.SizeCode = SizeCodeOf(t.Text(kSizeColumn));
  v.Vertical = OrientationCodeOf(t.Text(kOrientationColumn));
  v.DecorationCode = DecorationCodeOf(t.Text(kDecorationColumn));

  const uint8_t type = SerialTypeOf(t.Text(kSerialTypeColumn));
  const std::string first = t.Text(kSerialFirstColumn);
  const std::string last = t.Text(kSerialLastColumn);
  uint16_t a, b;
  switch (type) {
    case kSerialDecimal:
    case kSerialDecimalPadded:
      a = DecimalSerial(first);
      b = DecimalSerial(last);
      break;
    case kSerialCapital:
    case kSerialSmall: {
      // The byte code of the first character. An empty value takes the other one; with
      // both empty the range is the first letter alone.
      const uint16_t none = type == kSerialCapital ? 'A' : 'a';
      a = first.empty() ? 0 : static_cast<unsigned char>(first[0]);
      b = last.empty() ? 0 : static_cast<unsigned char>(last[0]);
      if (!a) a = b ? b : none;
      if (!b) b = a;
      break;
    }
    default:
      // No serial: the range keeps whatever it held.
      v.SerialType = kNoSerial;
      v.SerialWidth = 0;
      return;
  }
  v.SerialType = type;
  v.SerialFirst = std::min(a, b);
  v.SerialLast = std::max(a, b);
  if (type == kSerialCapital || type == kSerialSmall) {
    v.SerialWidth = 1;
  } else {
    v.SerialWidth = DecimalWidth(v.SerialLast);
  }
}

}  // namespace

std::span<const std::string_view> MaterialItems() { return kMaterialItems; }
std::span<const std::string_view> CutItems() { return kCutItems; }
std::span<const std::string_view> AlignItems() { return kAlignItems; }
std::span<const std::string_view> SpacingItems() { return kSpacingItems; }
std::span<const std::string_view> DensityItems() { return kDensityItems; }

int32_t PrintLengthDots(int64_t length_mm, int factor) {
  // Far beyond any marker (an item is at most its image store and twice 65535 dots of
  // feed) and far from overflow in the layout's sums, whatever a file stores.
  constexpr int64_t kFar = int64_t{1} << 24;
  const int64_t mm = std::clamp<int64_t>(length_mm, -kFar, kFar);
  return static_cast<int32_t>(std::clamp<int64_t>(mm * factor / 10, -kFar, kFar));
}

void ReloadWorkingValues(SegmentTable& t, SegmentValues& v) {
  t.Edit();
  v.LengthDots = LengthLimit(t.Int(kLengthColumn));
  DecodeCommon(t, v);
}

void DecodePrintValues(const SegmentTable& t, uint8_t material_code, const Calibration& cal,
                       SegmentValues& v) {
  v.RowNumber = static_cast<uint8_t>(t.Position() & 0xFF);
  const int k = IsLabelMaterial(material_code) ? cal.LabelCalibration : cal.TubeCalibration;
  v.LengthDots = PrintLengthDots(t.Int(kLengthColumn), k);
  DecodeCommon(t, v);
}

namespace {

// A selector index from its stored text, when it is a whole number of the selector's range.
void TakeIndex(const SessionValues& v, const char* name, std::size_t items, int& index) {
  const auto it = v.find(name);
  if (it == v.end()) return;
  int n = 0;
  const char* end = it->second.data() + it->second.size();
  const auto [p, ec] = std::from_chars(it->second.data(), end, n);
  if (ec == std::errc() && p == end && n >= 0 && static_cast<std::size_t>(n) < items) index = n;
}

void TakeFlag(const SessionValues& v, const char* name, bool& flag) {
  const auto it = v.find(name);
  if (it != v.end() && (it->second == "0" || it->second == "1")) flag = it->second == "1";
}

}  // namespace

SessionValues SessionOf(const DocumentState& doc) {
  const DocumentSettings& s = doc.settings;
  const DocumentFileState& p = doc.file_state;
  return {
      {"material", std::to_string(s.material_index)},
      {"cut", std::to_string(s.cut_index)},
      {"alignment", std::to_string(s.alignment_index)},
      {"spacing", std::to_string(s.spacing_index)},
      {"density", std::to_string(s.density_index)},
      {"font_face", s.font_face},
      {"bold", s.bold ? "1" : "0"},
      {"editor_bold", s.editor_bold ? "1" : "0"},
      {"document_path", p.DocPath.string()},
      {"has_file", p.HasFile ? "1" : "0"},
      {"modified", p.DocModified ? "1" : "0"},
  };
}

void RestoreSession(const SessionValues& v, DocumentState& doc) {
  DocumentSettings& s = doc.settings;
  DocumentFileState& p = doc.file_state;
  TakeIndex(v, "material", MaterialItems().size(), s.material_index);
  TakeIndex(v, "cut", CutItems().size(), s.cut_index);
  TakeIndex(v, "alignment", AlignItems().size(), s.alignment_index);
  TakeIndex(v, "spacing", SpacingItems().size(), s.spacing_index);
  TakeIndex(v, "density", DensityItems().size(), s.density_index);
  if (const auto it = v.find("font_face"); it != v.end() && !it->second.empty())
    s.font_face = it->second;
  TakeFlag(v, "bold", s.bold);
  TakeFlag(v, "editor_bold", s.editor_bold);
  TakeFlag(v, "has_file", p.HasFile);
  TakeFlag(v, "modified", p.DocModified);
  if (const auto it = v.find("document_path"); it != v.end()) p.DocPath = it->second;
  if (p.DocPath.empty()) p.HasFile = false;
}

void GoToPosition(SegmentTable& t, int position) {
  if (t.IsEmpty()) return;
  position = std::clamp(position, 1, t.RowCount());
  if (position == t.Position() && !t.Eof()) return;
  t.First();
  for (int i = 1; i < position; ++i) t.Next();
}

PrintFont PrintFontOf(const DocumentSettings& s) {
  return {s.font_face, s.editor_bold};
}

void ReadDocumentSettings(const DocumentSettings& s, DocumentFileState& p) {
  p.MaterialCode = static_cast<uint8_t>(s.material_index + 1);
  p.CutCode = static_cast<uint8_t>(s.cut_index);
  p.AlignCode = static_cast<uint8_t>(s.alignment_index);
  p.CharSpacing = static_cast<uint8_t>(s.spacing_index + 1);
}

void DeleteAllRows(SegmentTable& t) {
  t.DetachControls();
  {
    SegmentTable::Batch batch(t);
    while (!t.IsEmpty()) {
      t.Last();
      t.Delete();
    }
    batch.Commit();
  }
  t.AttachControls();
}

namespace {

void StartEmptyDocument(DocumentState& doc, const std::filesystem::path* temp_path) {
  DocumentFileState& p = doc.file_state;
  p.UserEditing = false;
  if (temp_path) p.TempPath = *temp_path;
  p.DocPath.clear();

  // The font face stays the line editors' face; their bold style is cleared (the bold
  // switch itself keeps its state).
  doc.settings.editor_bold = false;

  SegmentTable& t = doc.table;
  if (temp_path) {
    t.Bind(*temp_path);
    t.Create();
    t.Open();
  } else {
    DeleteAllRows(t);
  }
  t.Append();

  doc.settings.material_index = 4;
  doc.settings.cut_index = 1;
  doc.settings.alignment_index = 0;
  doc.settings.spacing_index = 3;
  p.MaterialCode = 5;
  p.CutCode = 1;
  p.AlignCode = 0;
  p.CharSpacing = 4;

  FillNewSegment(t);

  SegmentValues& v = doc.values;
  v.LengthDots = LengthLimit(defaults::kLength);
  v.RepeatCount = defaults::kRepeat;
  v.SizeCode = defaults::kSizeCode;
  v.Vertical = defaults::kOrientation;
  v.DecorationCode = defaults::kDecoration;
  v.SerialType = kNoSerial;
  v.SerialWidth = 0;

  p.HasFile = false;
  p.DocModified = false;
  p.UserEditing = false;
  p.DocBusy = false;
  p.ActiveLine = 0;
}

}  // namespace

void NewDocument(DocumentState& doc, const std::filesystem::path& temp_path) {
  StartEmptyDocument(doc, &temp_path);
}

void NewDocumentInOpenTable(DocumentState& doc) {
  StartEmptyDocument(doc, nullptr);
}

void FillNewSegment(SegmentTable& t) {
  t.SetInt(kLengthColumn, defaults::kLength);
  t.SetInt(kRepeatColumn, defaults::kRepeat);
  t.SetText(kSizeColumn, SizeText(defaults::kSizeCode));
  t.SetText(kOrientationColumn, OrientationText(defaults::kOrientation));
  t.SetText(kDecorationColumn, DecorationText(defaults::kDecoration));
  t.SetText(kSerialTypeColumn, SerialTypeText(kNoSerial));
  t.SetText(kSerialFirstColumn, "");
  t.SetText(kSerialLastColumn, "");
  t.SetInt(kUpperLengthColumn, defaults::kUpperLength);
  t.SetInt(kLowerLengthColumn, defaults::kLowerLength);
}

void StoreNumbered(SegmentTable& t) {
  // Storing never moves a row, so the position written is the one the row is stored at.
  t.Edit();
  t.SetInt(kNumberColumn, t.Position());
  t.Store();
}

void RenumberToEnd(SegmentTable& t) {
  SegmentTable::Batch batch(t);
  ForEachRowToEnd(t, [&] {
    t.Edit();
    t.SetInt(kNumberColumn, t.Position());
    t.Store();
    return true;
  });
  batch.Commit();
}

}  // namespace qx
