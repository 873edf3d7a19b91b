#include "editing/editing_context.h"

#include <algorithm>

#include "editing/messages.h"
#include "layout/fit.h"

namespace qx {

bool ControlStates::Enabled(Control c) const {
  const Control parent = Info(c).parent;
  return OwnEnabled(c) && (parent == Control::None || OwnEnabled(parent));
}

void ControlStates::SetListButtons(bool first, bool last, bool append, bool insert, bool del,
                                   bool store) {
  SetEnabled(Control::FirstButton, first);
  SetEnabled(Control::LastButton, last);
  SetEnabled(Control::AppendButton, append);
  SetEnabled(Control::InsertButton, insert);
  SetEnabled(Control::DeleteButton, del);
  SetEnabled(Control::StoreButton, store);
}

void ControlStates::SetInsertTools(bool on) {
  for (Control c : {Control::SymbolButton, Control::SerialButton, Control::SuperscriptButton,
                    Control::SubscriptButton})
    SetEnabled(c, on);
}

EditingContext::EditingContext(Ui& ui_in, DocumentState& doc_in, GlyphMeasurer& measurer_in)
    : ui(ui_in),
      doc(doc_in),
      measurer(measurer_in),
      route_focus_([this](Control c) { focus_ = c; }) {
  doc.table.SetChangeHandler([this] { ShowCurrentRow(); });
}

EditingContext::~EditingContext() {
  doc.table.SetChangeHandler(nullptr);
}

const std::string& EditingContext::NumberEditText(Control c) const {
  return c == Control::RepeatEdit ? repeat_text_ : length_text_;
}

void EditingContext::SetNumberEditText(Control c, std::string text) {
  (c == Control::RepeatEdit ? repeat_text_ : length_text_) = std::move(text);
  SetNumberEditAllSelected(c, false);
  Changed();
}

void EditingContext::ShowCurrentRow() {
  if (showing_row_) return;
  showing_row_ = true;
  SegmentTable& t = doc.table;
  const bool has_row = t.IsOpen() && !t.IsEmpty();
  for (Control c : {Control::UpperLine, Control::LowerLine}) {
    const std::string text =
        has_row ? t.Text(c == Control::UpperLine ? kUpperLineColumn : kLowerLineColumn)
                : std::string();
    LineEditor& e = Line(c);
    if (e.text != text) {
      e.text = text;
      e.caret = std::min(e.caret, static_cast<int>(text.size()));
      e.sel_start = e.caret;
      e.sel_length = 0;
    }
  }
  if (focus_ != Control::LengthEdit) length_text_ = has_row ? t.Text(kLengthColumn) : std::string();
  if (focus_ != Control::RepeatEdit) repeat_text_ = has_row ? t.Text(kRepeatColumn) : std::string();
  showing_row_ = false;
  Changed();
}

void EditingContext::WriteLineField(Control c) {
  SegmentTable& t = doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return;
  t.Edit();
  showing_row_ = true;  // the field follows the editor; nothing to show back
  t.SetText(c == Control::UpperLine ? kUpperLineColumn : kLowerLineColumn, Line(c).text);
  showing_row_ = false;
}

int EditingContext::LineLengthOf(std::string_view text, bool two_lines) {
  const LayoutContext c{measurer, doc.values, doc.file_state};
  return LineLength(c, text, doc.values.SerialWidth, two_lines);
}

void EditingContext::Changed() {
  PersistSession();
  if (on_refresh) on_refresh();
}

void EditingContext::PersistSession() {
  SegmentTable& t = doc.table;
  if (!t.IsOpen()) return;
  SessionValues now = SessionOf(doc);
  if (t.generation() == session_generation_ && now == session_written_) return;
  try {
    t.WriteSession(now);
  } catch (const TableError& e) {
    if (!session_failed_) {
      session_failed_ = true;
      ReportStorageFailure(e.what());
    }
    return;
  }
  session_failed_ = false;
  session_generation_ = t.generation();
  session_written_ = std::move(now);
}

void EditingContext::ReportStorageFailure(std::string_view reason) {
  std::string text(msg::kStoreFailed);
  text.replace(text.find("%s"), 2, reason);
  ui.Message(text, msg::kInfo);
}

// The current Segment's place and fields (without its number and running lengths, which
// storing and typing change without changing what it prints) and the document settings.
std::string EditingContext::RefusalState() const {
  const SegmentTable& t = doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return {};
  std::string s = std::to_string(t.Position());
  for (int c = 0; c < kColumnCount; ++c) {
    if (c == kNumberColumn || c == kUpperLengthColumn || c == kLowerLengthColumn) continue;
    s += '\x1f' + t.TextAt(t.Position() - 1, c);
  }
  const DocumentFileState& p = doc.file_state;
  for (int v : {p.MaterialCode, p.CharSpacing}) s += '\x1f' + std::to_string(v);
  return s + '\x1f' + doc.settings.font_face;
}

void EditingContext::ReportRefusal(std::string figures) {
  refusal_figures_ = std::move(figures);
  refusal_state_ = RefusalState();
  Changed();
}

std::string EditingContext::RefusalFigures() const {
  if (refusal_figures_.empty() || RefusalState() != refusal_state_) return {};
  return refusal_figures_;
}

void EditingContext::FocusLineEnd(int line) {
  doc.table.Edit();
  const Control c = line == 1 ? Control::LowerLine : Control::UpperLine;
  Focus(c);
  LineEditor& e = Line(c);
  e.caret = static_cast<int>(e.text.size());
  e.sel_start = e.caret;
  e.sel_length = 0;
  doc.file_state.SavedCaret = e.caret;
  Changed();
}

}  // namespace qx
