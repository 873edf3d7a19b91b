#include "editing/undo_record.h"

#include <vector>

namespace qx {
namespace {

// The first byte of a kept step: a record of another layout is not read.
// Format 4 added renumberings; a step of format 3 reads the same.
constexpr uint8_t kStepFormat = 4, kOldStepFormat = 3;

// Bits of a row change's first byte.
constexpr uint8_t kHasBefore = 1, kHasAfter = 2, kBeforeStored = 4, kAfterStored = 8;
// Rows from the index on numbered by their positions; their numbers before follow as runs.
constexpr uint8_t kRenumbering = 16;
// Tags of a field value.
constexpr uint8_t kNull = 0, kInteger = 1, kText = 2;

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  void Byte(uint8_t b) { out_.push_back(static_cast<char>(b)); }
  void Unsigned(uint64_t v) {
    while (v >= 0x80) {
      Byte(static_cast<uint8_t>(v | 0x80));
      v >>= 7;
    }
    Byte(static_cast<uint8_t>(v));
  }
  void Signed(int64_t v) {
    Unsigned((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63));
  }
  void Bool(bool b) { Byte(b ? 1 : 0); }
  void Text(std::string_view s) {
    Unsigned(s.size());
    out_.append(s);
  }
  void Value(const FieldValue& v) {
    if (const auto* n = std::get_if<int64_t>(&v)) {
      Byte(kInteger);
      Signed(*n);
    } else if (const auto* s = std::get_if<std::string>(&v)) {
      Byte(kText);
      Text(*s);
    } else {
      Byte(kNull);
    }
  }
  void Values(const RowValues& values) {
    for (const FieldValue& v : values) Value(v);
  }

 private:
  std::string& out_;
};

// Reads what Writer wrote; any read past the end or of a value out of range marks the
// record bad, and the values read from then on are zero.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool ok() const { return ok_; }
  bool AtEnd() const { return at_ >= in_.size(); }
  std::size_t offset() const { return at_; }
  uint8_t Byte() {
    if (at_ >= in_.size()) return Bad();
    return static_cast<uint8_t>(in_[at_++]);
  }
  uint64_t Unsigned() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const uint8_t b = Byte();
      v |= static_cast<uint64_t>(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
    return Bad();
  }
  int64_t Signed() {
    const uint64_t u = Unsigned();
    return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
  }
  template <typename T>
  T Number(int64_t lo, int64_t hi) {
    const int64_t v = Signed();
    if (v < lo || v > hi) return static_cast<T>(Bad());
    return static_cast<T>(v);
  }
  int32_t Int() { return Number<int32_t>(INT32_MIN, INT32_MAX); }
  uint8_t Small() { return Number<uint8_t>(0, 255); }
  bool Bool() { return Byte() != 0; }
  std::string Text() {
    const uint64_t n = Unsigned();
    if (n > in_.size() - std::min(at_, in_.size())) return Bad(), std::string();
    std::string s(in_.substr(at_, n));
    at_ += n;
    return s;
  }
  FieldValue Value() {
    switch (Byte()) {
      case kNull: return {};
      case kInteger: return Signed();
      case kText: return Text();
      default: return Bad(), FieldValue{};
    }
  }
  void Values(RowValues& values) {
    for (FieldValue& v : values) v = Value();
  }

 private:
  uint8_t Bad() {
    ok_ = false;
    at_ = in_.size();
    return 0;
  }
  std::string_view in_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

void WriteEditor(Writer& w, const LineEditor& e) {
  w.Text(e.text);
  w.Signed(e.caret);
  w.Signed(e.sel_start);
  w.Signed(e.sel_length);
  w.Signed(e.max_length);
}

void ReadEditor(Reader& r, LineEditor& e) {
  e.text = r.Text();
  e.caret = r.Int();
  e.sel_start = r.Int();
  e.sel_length = r.Int();
  e.max_length = r.Int();
}

void WriteState(Writer& w, const WindowState& s) {
  const DocumentSettings& g = s.settings;
  for (int v : {g.material_index, g.cut_index, g.alignment_index, g.spacing_index,
                g.density_index})
    w.Signed(v);
  w.Text(g.font_face);
  w.Bool(g.bold);
  w.Bool(g.editor_bold);
  for (uint8_t v : {s.MaterialCode, s.CutCode, s.CharSpacing, s.AlignCode, s.ActiveLine})
    w.Byte(v);
  w.Signed(s.SavedCaret);
  const SegmentValues& v = s.values;
  w.Signed(v.LengthDots);
  w.Signed(v.RepeatCount);
  for (uint8_t b : {v.SizeCode, v.Vertical, v.DecorationCode, v.SerialType, v.SerialWidth})
    w.Byte(b);
  w.Signed(v.SerialFirst);
  w.Signed(v.SerialLast);
  w.Byte(v.RowNumber);
  const ValuesBeforeEdit& b = s.before_edit;
  w.Signed(b.RepeatOnEntry);
  w.Signed(b.LengthOnEntry);
  w.Text(b.SizeOnPick);
  w.Text(b.OrientationOnPick);
  w.Signed(b.SpacingOnEntry);
  w.Signed(b.MaterialOnEntry);
  w.Signed(b.FaceOnEntry);
  w.Signed(s.cursor.current);
  w.Bool(s.cursor.eof);
  w.Bool(s.cursor.editing);
  w.Values(s.cursor.edit_buffer);
  w.Signed(s.row_count);
  w.Values(s.current_row);
  WriteEditor(w, s.upper);
  WriteEditor(w, s.lower);
  w.Text(s.length_text);
  w.Text(s.repeat_text);
  for (int c = 0; c < kControlCount; ++c) w.Bool(s.controls.OwnEnabled(static_cast<Control>(c)));
  w.Text(s.controls.status(0));
  w.Text(s.controls.status(1));
  w.Bool(s.modified);
  w.Text(s.doc_path.string());
  w.Bool(s.has_file);
}

void ReadState(Reader& r, WindowState& s) {
  DocumentSettings& g = s.settings;
  for (int* v : {&g.material_index, &g.cut_index, &g.alignment_index, &g.spacing_index,
                 &g.density_index})
    *v = r.Int();
  g.font_face = r.Text();
  g.bold = r.Bool();
  g.editor_bold = r.Bool();
  for (uint8_t* v : {&s.MaterialCode, &s.CutCode, &s.CharSpacing, &s.AlignCode, &s.ActiveLine})
    *v = r.Byte();
  s.SavedCaret = r.Int();
  SegmentValues& v = s.values;
  v.LengthDots = r.Int();
  v.RepeatCount = r.Int();
  for (uint8_t* b : {&v.SizeCode, &v.Vertical, &v.DecorationCode, &v.SerialType, &v.SerialWidth})
    *b = r.Byte();
  v.SerialFirst = r.Number<uint16_t>(0, UINT16_MAX);
  v.SerialLast = r.Number<uint16_t>(0, UINT16_MAX);
  v.RowNumber = r.Byte();
  ValuesBeforeEdit& b = s.before_edit;
  b.RepeatOnEntry = r.Int();
  b.LengthOnEntry = r.Int();
  b.SizeOnPick = r.Text();
  b.OrientationOnPick = r.Text();
  b.SpacingOnEntry = r.Int();
  b.MaterialOnEntry = r.Int();
  b.FaceOnEntry = r.Int();
  s.cursor.current = r.Int();
  s.cursor.eof = r.Bool();
  s.cursor.editing = r.Bool();
  r.Values(s.cursor.edit_buffer);
  s.row_count = r.Int();
  r.Values(s.current_row);
  ReadEditor(r, s.upper);
  ReadEditor(r, s.lower);
  s.length_text = r.Text();
  s.repeat_text = r.Text();
  for (int c = 0; c < kControlCount; ++c) s.controls.SetEnabled(static_cast<Control>(c), r.Bool());
  s.controls.SetStatus(0, r.Text());
  s.controls.SetStatus(1, r.Text());
  s.modified = r.Bool();
  s.doc_path = r.Text();
  s.has_file = r.Bool();
}

std::size_t BytesOf(const WindowState& s) {
  std::size_t n = sizeof(WindowState) + s.settings.font_face.capacity() +
                  s.doc_path.native().capacity() +
                  s.upper.text.capacity() + s.lower.text.capacity();
  for (const RowValues* values : {&s.cursor.edit_buffer, &s.current_row})
    for (const FieldValue& v : *values)
      if (const auto* t = std::get_if<std::string>(&v)) n += t->capacity();
  return n;
}

// The runs of numbers of a renumbering (see AppendRowChanges).
std::vector<NumberRun> ReadRuns(Reader& r) {
  std::vector<NumberRun> runs;
  const uint64_t count = r.Unsigned();
  for (uint64_t i = 0; i < count && r.ok() && !r.AtEnd(); ++i) {
    NumberRun run;
    run.rows = static_cast<int>(std::min<uint64_t>(r.Unsigned(), uint64_t{1} << 20));
    const bool has = r.Bool();
    const int64_t first = r.Signed();
    if (has) run.first = first;
    runs.push_back(run);
  }
  return runs;
}

}  // namespace

void AppendRowChanges(std::string& out, std::span<const RowChange> changes) {
  Writer w(out);
  for (const RowChange& c : changes) {
    if (c.renumbering) {
      w.Byte(kRenumbering);
      w.Unsigned(static_cast<uint64_t>(c.index));
      w.Unsigned(c.numbers_before.size());
      for (const NumberRun& run : c.numbers_before) {
        w.Unsigned(static_cast<uint64_t>(run.rows));
        w.Bool(run.first.has_value());
        w.Signed(run.first.value_or(0));
      }
      continue;
    }
    unsigned kind = 0;
    if (c.before) kind |= kHasBefore | (c.before->stored ? kBeforeStored : 0u);
    if (c.after) kind |= kHasAfter | (c.after->stored ? kAfterStored : 0u);
    w.Byte(static_cast<uint8_t>(kind));
    w.Unsigned(static_cast<uint64_t>(c.index));
    if (c.before && c.after) {
      // Only the fields that changed, with their values on both sides.
      uint32_t mask = 0;
      for (int col = 0; col < kColumnCount; ++col)
        if (c.before->values[static_cast<std::size_t>(col)] !=
            c.after->values[static_cast<std::size_t>(col)])
          mask |= 1u << col;
      w.Unsigned(mask);
      for (int col = 0; col < kColumnCount; ++col) {
        if (!(mask & (1u << col))) continue;
        w.Value(c.before->values[static_cast<std::size_t>(col)]);
        w.Value(c.after->values[static_cast<std::size_t>(col)]);
      }
    } else if (c.before) {
      w.Values(c.before->values);
    } else if (c.after) {
      w.Values(c.after->values);
    }
  }
}

void ApplyRowChanges(SegmentTable& t, std::string_view changes, bool forward) {
  // Where each change starts, so that they can be taken back last first.
  std::vector<std::size_t> starts;
  {
    Reader r(changes);
    while (!r.AtEnd()) {
      starts.push_back(r.offset());
      const uint8_t kind = r.Byte();
      r.Unsigned();
      if (kind == kRenumbering) {
        ReadRuns(r);
      } else if ((kind & kHasBefore) && (kind & kHasAfter)) {
        const uint64_t mask = r.Unsigned();
        for (int col = 0; col < kColumnCount; ++col)
          if (mask & (1u << col)) r.Value(), r.Value();
      } else if (kind & (kHasBefore | kHasAfter)) {
        RowValues skipped;
        r.Values(skipped);
      }
    }
    if (!r.ok()) throw TableError("recorded changes are damaged");
  }
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t start = forward ? starts[i] : starts[starts.size() - 1 - i];
    Reader r(changes.substr(start));
    const uint8_t kind = r.Byte();
    RowChange c;
    c.index = static_cast<int>(r.Unsigned());
    if (kind == kRenumbering) {
      c.renumbering = true;
      c.numbers_before = ReadRuns(r);
    } else if ((kind & kHasBefore) && (kind & kHasAfter)) {
      // The table holds the side the change goes from; the other fields are the same on
      // both sides.
      if (c.index < 0 || c.index >= t.RowCount())
        throw TableError("recorded change does not fit the table");
      c.before = RowSlot{(kind & kBeforeStored) != 0, t.KeptValuesAt(c.index)};
      c.after = RowSlot{(kind & kAfterStored) != 0, c.before->values};
      const uint64_t mask = r.Unsigned();
      for (int col = 0; col < kColumnCount; ++col) {
        if (!(mask & (1u << col))) continue;
        c.before->values[static_cast<std::size_t>(col)] = r.Value();
        c.after->values[static_cast<std::size_t>(col)] = r.Value();
      }
    } else if (kind & kHasBefore) {
      c.before = RowSlot{(kind & kBeforeStored) != 0, {}};
      r.Values(c.before->values);
    } else if (kind & kHasAfter) {
      c.after = RowSlot{(kind & kAfterStored) != 0, {}};
      r.Values(c.after->values);
    }
    t.ApplyRowChange(c, forward);
  }
}

std::string EncodeStep(const UndoStep& step) {
  std::string out;
  Writer w(out);
  w.Byte(kStepFormat);
  w.Text(step.name);
  w.Bool(step.marks_changed);
  w.Bool(step.replaces_document);
  if (step.replaces_document) {
    w.Text(step.parked.doc_path.string());
    w.Bool(step.parked.has_file);
    w.Signed(step.parked.saved_distance);
  }
  WriteState(w, step.before);
  WriteState(w, step.after);
  w.Text(step.changes);
  return out;
}

std::optional<UndoStep> DecodeStep(std::string_view data) {
  Reader r(data);
  if (const uint8_t format = r.Byte(); format != kStepFormat && format != kOldStepFormat)
    return std::nullopt;
  UndoStep step;
  step.name = r.Text();
  step.marks_changed = r.Bool();
  step.replaces_document = r.Bool();
  if (step.replaces_document) {
    step.parked.doc_path = r.Text();
    step.parked.has_file = r.Bool();
    step.parked.saved_distance = r.Number<long>(-1, INT32_MAX);
  }
  ReadState(r, step.before);
  ReadState(r, step.after);
  step.changes = r.Text();
  if (!r.ok() || !r.AtEnd()) return std::nullopt;
  step.bytes = BytesOf(step);
  return step;
}

std::size_t BytesOf(const UndoStep& step) {
  return sizeof(UndoStep) + step.name.capacity() + step.changes.capacity() +
         step.parked.doc_path.native().capacity() +
         BytesOf(step.before) + BytesOf(step.after);
}

}  // namespace qx
