// The main window model as the window tests use it: a 1024 x 768 screen, a working table in
// a temporary folder, a scripted WindowUi and bar-glyph canvases of exact widths. The window
// starts with one new Segment and the upper line focused.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "support/bar_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::testing {

// A stored Segment as a test lays it out (UTF-8 texts).
struct SegmentRow {
  SegmentRow(std::string upper = "a", std::string lower = "", int length = 25,
             std::string size = "4 号", std::string orientation = "横向")
      : upper_text(std::move(upper)),
        lower_text(std::move(lower)),
        length_mm(length),
        size_text(std::move(size)),
        orientation_text(std::move(orientation)) {}
  std::string upper_text, lower_text;
  int length_mm;  // 25 mm: limit 275 dots
  std::string size_text;
  std::string orientation_text;
};

// `MeasureCanvas` is what lines are measured with (a suite may give widths per face);
// `widths` are the bar widths of both canvases, set before the window starts.
template <class MeasureCanvas = BarCanvas>
class WindowFixture : public ::testing::Test {
 protected:
  explicit WindowFixture(std::map<char, int> widths = {})
      : model_(ui_, std::make_unique<SqliteRowStore>(), measure_, glyph_) {
    measure_.widths = widths;
    glyph_.widths = std::move(widths);
    model_.Start(1024, 768, dir_.path(), dir_ / "TL.$$$");
    model_.OnActivated();
  }

  SegmentTable& t() { return model_.table(); }
  // A field of the current row, in UTF-8.
  std::string Field(int col) { return gbk::ToUtf8(t().Text(col)); }
  std::string UpperText() { return gbk::ToUtf8(model_.context().editor(Control::UpperLine).text); }
  std::string LowerText() { return gbk::ToUtf8(model_.context().editor(Control::LowerLine).text); }
  // A column of every row as stored or being edited, in UTF-8.
  std::vector<std::string> Column(int col) {
    std::vector<std::string> v;
    for (int r = 0; r < t().RowCount(); ++r) v.push_back(gbk::ToUtf8(t().TextAt(r, col)));
    return v;
  }
  // Stored Segments built from `rows` (numbered), then the upper line of Segment `current`
  // (1-based) focused with the caret at its end; the Document counts as unchanged.
  void BuildRows(const std::vector<SegmentRow>& rows, int current) {
    SegmentTable& table = t();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i > 0) {
        table.Append();
        FillNewSegment(table);
      }
      table.Edit();
      table.SetText(kUpperLineColumn, gbk::Encode(rows[i].upper_text));
      table.SetText(kLowerLineColumn, gbk::Encode(rows[i].lower_text));
      table.SetInt(kLengthColumn, rows[i].length_mm);
      table.SetText(kSizeColumn, gbk::Encode(rows[i].size_text));
      table.SetText(kOrientationColumn, gbk::Encode(rows[i].orientation_text));
      StoreNumbered(table);
    }
    model_.segment_list().OnGridRowClicked(current);
    model_.context().FocusLineEnd(0);
    model_.context().MarkSaved();
  }
  // Runs `f` as one event of the window, as the window runs the operator's events: the
  // undo history records it and sets the changed flag after it.
  void Event(const std::function<void()>& f) { ASSERT_TRUE(model_.Run(f)); }
  // The states of the six list buttons, "1" enabled: first, last, append, insert, delete,
  // store.
  std::string Buttons() {
    std::string s;
    for (Control c : {Control::FirstButton, Control::LastButton, Control::AppendButton,
                      Control::InsertButton, Control::DeleteButton, Control::StoreButton})
      s += model_.controls().Enabled(c) ? '1' : '0';
    return s;
  }
  // Types a line and stores it, leaving the window as after "存段".
  void Segment(const std::string& upper_text) {
    model_.line_editors().TypeText(Control::UpperLine, upper_text);
    model_.segment_list().OnStoreButton();
  }
  // Three stored Segments "a", "b", "c"; the third is current.
  void ThreeSegments() {
    Segment("a");
    model_.segment_list().OnAppendButton();
    Segment("b");
    model_.segment_list().OnAppendButton();
    Segment("c");
  }
  // The number column of every row (-1 where it is null).
  std::vector<int64_t> Numbers() {
    std::vector<int64_t> n;
    const Bookmark b = t().TakeBookmark();
    t().DetachControls();
    for (t().First(); !t().Eof(); t().Next())
      n.push_back(t().IsNull(kNumberColumn) ? -1 : t().Int(kNumberColumn));
    t().GotoBookmark(b);
    t().AttachControls();
    return n;
  }
  // A text field of the current row changed without any editor.
  void SetField(int col, std::string_view utf8) {
    t().Edit();
    t().SetText(col, gbk::Encode(utf8));
  }
  // The texts of the messages shown so far, without their captions.
  std::vector<std::string> Texts() {
    std::vector<std::string> v;
    for (const auto& m : ui_.messages) v.push_back(m.text);
    return v;
  }

  TempDir dir_;
  ScriptedUi ui_;
  MeasureCanvas measure_;
  BarCanvas glyph_;
  MainWindowModel model_;
};

// The bar widths most window tests measure with: "A" 12, "W" 40 and "i" 4 at cell 24.
class WindowTest : public WindowFixture<> {
 protected:
  WindowTest() : WindowFixture<>({{'A', 12}, {'W', 40}, {'i', 4}}) {}
};

}  // namespace qx::testing
