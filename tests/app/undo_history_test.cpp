// Undo and redo: each kind of change walked through do, undo and redo, with the whole
// window state compared against copies taken before and after; typing grouped into steps;
// moving and looking around making no step; the steps' names; the changed flag following
// the saved content; the bound on the history's size.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "editing/control_values.h"
#include "editing/messages.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::SegmentRow;
using testing::ScriptedUi;
using testing::WindowTest;

class UndoTest : public WindowTest {
 public:
  // Everything undo promises to restore, as text so that a difference shows where it is.
  std::string Whole() {
    std::ostringstream s;
    for (int r = 0; r < t().RowCount(); ++r) {
      s << "row " << r + 1 << ":";
      for (int c = 0; c < kColumnCount; ++c) s << " [" << gbk::ToUtf8(t().TextAt(r, c)) << "]";
      s << "\n";
    }
    const DocumentSettings& g = model_.doc().settings;
    const DocumentFileState& p = model_.doc().file_state;
    s << "settings: " << g.material_index << ' ' << g.cut_index << ' ' << g.alignment_index << ' '
      << g.spacing_index << ' ' << g.density_index << ' ' << g.font_face << ' ' << g.bold << ' '
      << g.editor_bold << " codes " << int(p.MaterialCode) << ' ' << int(p.CutCode) << ' '
      << int(p.CharSpacing) << ' ' << int(p.AlignCode) << "\n";
    s << "current: " << t().Position() << " editing " << t().InEditMode() << "\n";
    for (Control c : {Control::UpperLine, Control::LowerLine}) {
      const LineEditor& e = model_.context().editor(c);
      s << "editor: [" << gbk::ToUtf8(e.text) << "] caret " << e.caret << "\n";
    }
    s << "numbers: [" << model_.context().NumberEditText(Control::LengthEdit) << "] ["
      << model_.context().NumberEditText(Control::RepeatEdit) << "]\n";
    s << "changed: " << p.DocModified << " measured in " << model_.measurer().face() << "\n";
    return s.str();
  }
  void Event(const std::function<void()>& f) { ASSERT_TRUE(model_.Run(f)); }
  void Undo() { Event([this] { model_.Undo(); }); }
  void Redo() { Event([this] { model_.Redo(); }); }
  void Type(Control line, const std::string& text) {
    Event([&] { model_.line_editors().TypeText(line, text); });
  }
};

struct StepCase {
  const char* name;  // the step as the commands name it
  std::function<void(UndoTest&, MainWindowModel&, ScriptedUi&)> act;  // one or more events
};

// Three stored Segments "WA", "iW", "A" of 25, 30 and 35 mm; the second is current.
const std::vector<SegmentRow> kRows = {{"WA", "", 25}, {"iW", "", 30}, {"A", "", 35}};

const StepCase kSteps[] = {
    {"输入", [](UndoTest& f, MainWindowModel&, ScriptedUi&) {
       for (const char* key : {"W", "i", "A"}) f.Type(Control::UpperLine, key);
     }},
    {"删段", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] {
         m.NameStep(Control::DeleteButton);
         m.segment_list().OnDeleteButton();
       });
     }},
    {"添加", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] {
         m.NameStep(Control::AppendButton);
         m.segment_list().OnAppendButton();
       });
     }},
    {"插入", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] {
         m.NameStep(Control::InsertButton);
         m.segment_list().OnInsertButton();
       });
     }},
    {"段长", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.Focus(Control::LengthEdit); });
       f.Event([&] { m.context().SetNumberEditText(Control::LengthEdit, "40"); });
       f.Event([&] { m.Focus(Control::UpperLine); });
     }},
    {"重复", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.Focus(Control::RepeatEdit); });
       f.Event([&] { m.context().SetNumberEditText(Control::RepeatEdit, "3"); });
       f.Event([&] { m.Focus(Control::UpperLine); });
     }},
    {"字号", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::SizeSelector, 1); });
     }},
    {"横竖", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::OrientationSelector, 1); });
     }},
    {"修饰", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::DecorationSelector, 1); });
     }},
    {"段长 (后部段落)", [](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
       ui.yes_no = {Answer::kYes};
       f.Event([&] {
         m.NameStep(Control::FollowingLengthButton);
         m.following().OnFollowingLengthButton();
       });
     }},
    {"材料", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::MaterialSelector, 5); });
     }},
    {"半切", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::CutSelector, 2); });
     }},
    {"排列", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::AlignmentSelector, 1); });
     }},
    {"字距", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::SpacingSelector, 1); });
     }},
    {"字体选择", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::FontFaceSelector, 1); });
     }},
    {"浓度", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] { m.PickSelector(Control::DensitySelector, 6); });
     }},
    {"字体正常或加粗", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] {
         m.NameStep(Control::BoldButton);
         m.settings().OnBoldButton();
       });
     }},
    {"上标", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
       f.Event([&] {
         m.NameStep(Control::SuperscriptButton);
         m.insertions().OnSuperscriptButton();
       });
     }},
    {"序号", [](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
       ui.serial_dialog = [](SerialNumberDialog& d) {
         d.OnTypeChosen(SerialNumberDialog::kDecimal);
         d.OnFirstEdited("1");
         d.OnLastEdited("9");
         d.OnInsertOrChangeButton();
       };
       f.Event([&] { m.OnSerialButton(); });
     }},
    {"符号输入", [](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
       ui.symbol_picker = [](SymbolPicker& p) {
         p.OnCellSelected(1, 1);
         p.OnInsertButton();
         p.OnInsertButton();
         p.OnCloseButton();
       };
       f.Event([&] { m.OnSymbolButton(); });
     }},
};

TEST_F(UndoTest, EveryKindOfStepIsUndoneAndRedoneWhole) {
  model_.settings().SetFaceItems({"黑体", "宋体"});
  for (const StepCase& c : kSteps) {
    SCOPED_TRACE(c.name);
    BuildRows(kRows, 2);
    // The history starts with the rows built (changes outside any step start it anew).
    Event([] {});
    const std::string before = Whole();
    ASSERT_FALSE(model_.CanUndo());
    c.act(*this, model_, ui_);
    const std::string after = Whole();
    ASSERT_NE(after, before);
    EXPECT_EQ(model_.history().position(), 1u);
    EXPECT_EQ(model_.UndoText(), std::string("撤销 ") + c.name);
    Undo();
    EXPECT_EQ(Whole(), before);
    EXPECT_EQ(model_.RedoText(), std::string("重做 ") + c.name);
    EXPECT_FALSE(model_.CanUndo());
    Redo();
    EXPECT_EQ(Whole(), after);
    Undo();
    EXPECT_EQ(Whole(), before);
    // Back to one row for the next case, outside the history.
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
    ui_.messages.clear();
  }
}

}  // namespace
}  // namespace qx

namespace qx {
namespace {

// Typing is one step per visit to a line, split where the operator paused.
TEST_F(UndoTest, TypingGroupsByVisitAndPause) {
  BuildRows(kRows, 2);
  Event([] {});
  const std::string start = Whole();
  Type(Control::UpperLine, "W");
  Type(Control::UpperLine, "i");
  const std::string two_keys = Whole();
  EXPECT_EQ(model_.history().step_count(), 1u);
  ui_.clock.Advance(UndoHistory::kTypingPauseMs + 1);
  Type(Control::UpperLine, "A");
  const std::string after_pause = Whole();
  EXPECT_EQ(model_.history().step_count(), 2u);
  // Another visit: the lower line and back.
  Event([&] { model_.Focus(Control::LowerLine); });
  Event([&] { model_.Focus(Control::UpperLine); });
  const std::string after_visit = Whole();
  Type(Control::UpperLine, "i");
  EXPECT_EQ(model_.history().step_count(), 3u);
  EXPECT_EQ(model_.UndoText(), "撤销 输入");

  Undo();
  EXPECT_EQ(Whole(), after_visit);
  Undo();
  EXPECT_EQ(Whole(), two_keys);
  Undo();
  EXPECT_EQ(Whole(), start);
  Redo();
  Redo();
  EXPECT_EQ(Whole(), after_pause);
  // A new step drops what was undone.
  Event([&] {
    model_.NameStep(Control::AppendButton);
    model_.segment_list().OnAppendButton();
  });
  EXPECT_FALSE(model_.CanRedo());
  EXPECT_EQ(model_.UndoText(), "撤销 添加");
}

// The changed flag follows the history: back at the saved state the Document is unchanged.
TEST_F(UndoTest, ChangedFlagFollowsTheSavedPoint) {
  BuildRows(kRows, 2);
  Event([] {});
  ASSERT_FALSE(model_.doc().file_state.DocModified);
  Type(Control::UpperLine, "W");
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  Undo();
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  Redo();
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  // Away from the saved point, deleting a Segment and taking that back leave it changed.
  Event([&] { model_.segment_list().OnDeleteButton(); });
  Undo();
  EXPECT_TRUE(model_.doc().file_state.DocModified);

  // Saving keeps the history and moves the saved point.
  ui_.files = {dir_ / "saved.kel"};
  Event([&] { model_.files().OnSaveButton(); });
  ASSERT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(model_.CanUndo());
  const std::string saved = Whole();
  Undo();
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  Redo();
  EXPECT_EQ(Whole(), saved);
  // A change made after undoing past the saved point can never come back to it.
  Undo();
  Type(Control::UpperLine, "i");
  Undo();
  EXPECT_TRUE(model_.doc().file_state.DocModified);
}

// A new Document starts a new history.
TEST_F(UndoTest, NewDocumentStartsANewHistory) {
  Type(Control::UpperLine, "W");
  ASSERT_TRUE(model_.CanUndo());
  ui_.yes_no = {Answer::kNo};
  Event([&] { model_.files().OnNewButton(); });
  EXPECT_FALSE(model_.CanUndo());
  EXPECT_FALSE(model_.CanRedo());
}

// A Document replaced by an open is one step; each side keeps its own file and saved
// point, also when the new one is saved under another name before the open is undone.
TEST_F(UndoTest, EachSideOfAnOpenKeepsItsFileAndSavedPoint) {
  const std::filesystem::path sample =
      std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample" / "线号套管.kel";
  const DocumentFileState& p = model_.doc().file_state;
  Type(Control::UpperLine, "W");
  ui_.yes_no = {Answer::kNo};
  Event([&] { model_.OpenGivenFile(sample); });
  ASSERT_EQ(p.DocPath, sample);
  ASSERT_FALSE(p.DocModified);
  ui_.clock.Advance(UndoHistory::kTypingPauseMs + 1);
  Type(Control::UpperLine, "i");
  ui_.files = {dir_ / "mine.kel"};
  Event([&] { model_.files().OnSaveAsButton(); });
  ASSERT_FALSE(p.DocModified);
  const std::string saved = Whole();

  Undo();  // the typing: away from the saved point
  EXPECT_TRUE(p.DocModified);
  Undo();  // the open: the untitled Document, changed
  EXPECT_FALSE(p.HasFile);
  EXPECT_TRUE(p.DocModified);
  EXPECT_EQ(model_.WindowTitle(), "未命名* - QX Editor  8.30");
  Redo();  // the open again: the file it was saved as last, one step before that save
  EXPECT_EQ(p.DocPath, dir_ / "mine.kel");
  EXPECT_TRUE(p.DocModified);
  Redo();
  EXPECT_EQ(Whole(), saved);
  EXPECT_FALSE(p.DocModified);
  EXPECT_EQ(model_.WindowTitle(), "mine.kel - QX Editor  8.30");
}

// The history keeps the last steps; the oldest are dropped.
TEST_F(UndoTest, HistoryKeepsTheLastSteps) {
  const std::size_t extra = 5;
  for (std::size_t i = 0; i < UndoHistory::kMaxSteps + extra; ++i)
    Event([&] { model_.segment_list().OnAppendButton(); });
  EXPECT_EQ(model_.history().step_count(), UndoHistory::kMaxSteps);
  const int rows = t().RowCount();
  while (model_.CanUndo()) Undo();
  EXPECT_EQ(t().RowCount(), rows - static_cast<int>(UndoHistory::kMaxSteps));
  EXPECT_LT(model_.history().bytes(), UndoHistory::kMaxBytes);
  // The history kept beside the working table is bounded alike.
  EXPECT_EQ(t().ReadHistory().steps.size(), UndoHistory::kMaxSteps);
}


// 删段 of the first Segment of a long list moves every other one up: the step keeps the
// Segment and the renumbering as one change, not a change per Segment, and undo and redo
// (also of the step as kept beside the working table) bring each side back whole.
TEST_F(UndoTest, DeletingTheFirstOfALongListIsOneSmallStep) {
  constexpr int kSegments = 3000;
  std::vector<SegmentRow> rows;
  for (int i = 1; i <= kSegments; ++i) rows.push_back({"L" + std::to_string(i) + "→", "", 25});
  BuildRows(rows, 1);
  Event([] {});
  const std::string start = Whole();
  Event([&] { model_.segment_list().OnDeleteButton(); });
  ASSERT_EQ(t().RowCount(), kSegments - 1);
  EXPECT_EQ(gbk::ToUtf8(t().TextAt(0, kUpperLineColumn)), "L2→");
  for (int r : {0, 1, kSegments - 2}) EXPECT_EQ(t().TextAt(r, kNumberColumn), std::to_string(r + 1));
  const std::string deleted = Whole();
  const KeptHistory kept = t().ReadHistory();
  ASSERT_FALSE(kept.steps.empty());
  const std::string& data = kept.steps.back().data;
  // A change per Segment moved up would take some 14 bytes each.
  EXPECT_LT(data.size(), 4000u);
  const std::optional<UndoStep> step = DecodeStep(data);
  ASSERT_TRUE(step);
  EXPECT_EQ(EncodeStep(*step), data);
  Undo();
  EXPECT_EQ(Whole(), start);
  Redo();
  EXPECT_EQ(Whole(), deleted);
  // The kept step's changes, taken back and made again on the table itself.
  ApplyRowChanges(t(), step->changes, /*forward=*/false);
  EXPECT_EQ(t().RowCount(), kSegments);
  EXPECT_EQ(gbk::ToUtf8(t().TextAt(0, kUpperLineColumn)), "L1→");
  for (int r : {0, 1, kSegments - 1}) EXPECT_EQ(t().TextAt(r, kNumberColumn), std::to_string(r + 1));
}

// Undo pressed while a number editor holds a value not yet taken: the value is dropped
// with the step before it, and the editors show the Segment as it was.
TEST_F(UndoTest, UndoInsideANumberEditorTakesBackTheLastStep) {
  BuildRows(kRows, 2);
  Event([] {});
  const std::string start = Whole();
  Type(Control::UpperLine, "W");
  Event([&] { model_.Focus(Control::LengthEdit); });
  Event([&] { model_.context().SetNumberEditText(Control::LengthEdit, "40"); });
  ASSERT_EQ(model_.UndoText(), "撤销 输入");
  Undo();
  EXPECT_EQ(Whole(), start);
  Redo();
  EXPECT_EQ(gbk::ToUtf8(model_.context().editor(Control::UpperLine).text), "iWW");
  EXPECT_EQ(t().Int(kLengthColumn), 30);
}

// A kept step is read back as it was; a damaged or cut record is refused, never trusted.
TEST_F(UndoTest, AKeptStepReadsBackOrIsRefused) {
  BuildRows(kRows, 2);
  Event([] {});
  ui_.yes_no = {Answer::kYes};
  Event([&] {
    model_.NameStep(Control::FollowingLengthButton);
    model_.following().OnFollowingLengthButton();
  });
  const KeptHistory kept = t().ReadHistory();
  ASSERT_EQ(kept.steps.size(), 1u);
  const std::string& data = kept.steps[0].data;
  const std::optional<UndoStep> step = DecodeStep(data);
  ASSERT_TRUE(step);
  EXPECT_EQ(step->name, "段长 (后部段落)");
  EXPECT_EQ(EncodeStep(*step), data);
  for (std::size_t n = 0; n < data.size(); ++n) EXPECT_FALSE(DecodeStep(data.substr(0, n))) << n;
  EXPECT_FALSE(DecodeStep(data + '\0'));
  // Damaged row changes are refused by undo without touching the table.
  std::string damaged = step->changes;
  damaged.resize(damaged.size() - 1);
  const std::string rows = Whole();
  EXPECT_THROW(ApplyRowChanges(t(), damaged, false), TableError);
  EXPECT_EQ(Whole(), rows);
}


// Every change to what is saved marks an unchanged Document changed, so that closing asks
// before the change is lost, including those whose own handlers leave the flag alone;
// undoing it makes the Document unchanged again. An empty Segment added is no change.
TEST_F(UndoTest, EveryChangeToWhatIsSavedMarksTheDocumentChanged) {
  struct Case {
    const char* name;
    std::function<void(UndoTest&, MainWindowModel&, ScriptedUi&)> act;
    bool changes;
  };
  const Case cases[] = {
      {"删段",
       [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.segment_list().OnDeleteButton(); });
       },
       true},
      {"Backspace",
       [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.line_editors().SetCaret(Control::UpperLine, 2); });
         f.Event([&] { m.line_editors().PressBackspace(Control::UpperLine); });
       },
       true},
      {"段长 to the following Segments",
       [](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
         ui.yes_no = {Answer::kYes};
         f.Event([&] {
           m.table().Edit();
           m.table().SetInt(kLengthColumn, 40);
           m.following().OnFollowingLengthButton();
         });
       },
       true},
      {"添加", [](UndoTest& f, MainWindowModel& m,
                ScriptedUi&) { f.Event([&] { m.segment_list().OnAppendButton(); }); },
       false},
      {"材料", [](UndoTest& f, MainWindowModel& m,
                ScriptedUi&) { f.Event([&] { m.PickSelector(Control::MaterialSelector, 5); }); },
       true},
      // The density and the bold switch are not kept in the file.
      {"浓度", [](UndoTest& f, MainWindowModel& m,
                ScriptedUi&) { f.Event([&] { m.PickSelector(Control::DensitySelector, 6); }); },
       false},
      {"字体正常或加粗", [](UndoTest& f, MainWindowModel& m,
                ScriptedUi&) { f.Event([&] { m.settings().OnBoldButton(); }); },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BuildRows(kRows, 2);
    model_.doc().file_state.DocModified = false;
    Event([] {});
    c.act(*this, model_, ui_);
    EXPECT_EQ(model_.doc().file_state.DocModified, c.changes);
    while (model_.CanUndo()) Undo();
    EXPECT_FALSE(model_.doc().file_state.DocModified);
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
  }
}

// What only moves the selection or the focus, opens a list and closes it, or chooses the
// value a selector already shows is no step and no change: the Document stays unchanged,
// and after a change that change stays the one undo takes back, in the Segment it was
// made in, which leaves the Document unchanged again.
TEST_F(UndoTest, MovingAndLookingAreNoStepsAndNoChange) {
  using Act = std::function<void(UndoTest&, MainWindowModel&)>;
  const auto click = [](int row) {
    return [row](UndoTest& f, MainWindowModel& m) {
      f.Event([&] { m.segment_list().OnGridRowClicked(row); });
    };
  };
  const auto focus_and_back = [](Control c) {
    return [c](UndoTest& f, MainWindowModel& m) {
      f.Event([&] { m.Focus(c); });
      f.Event([&] { m.Focus(Control::UpperLine); });
    };
  };
  const auto pick_again = [](Control c) {
    return [c](UndoTest& f, MainWindowModel& m) {
      const int shown = SelectorIndex(m.doc(), c);
      f.Event([&] { m.PickSelector(c, shown); });
    };
  };
  const auto list_button = [](Control c) {
    return [c](UndoTest& f, MainWindowModel& m) {
      f.Event([&] {
        m.NameStep(c);
        c == Control::FirstButton ? m.segment_list().OnFirstButton()
                                  : m.segment_list().OnLastButton();
      });
    };
  };
  struct Case {
    const char* name;
    Act act;
  };
  const Case cases[] = {
      {"focus 段长 and leave it", focus_and_back(Control::LengthEdit)},
      {"focus 重复 and leave it", focus_and_back(Control::RepeatEdit)},
      {"open the 材料 list and close it", focus_and_back(Control::MaterialSelector)},
      {"open the 字距 list and close it", focus_and_back(Control::SpacingSelector)},
      {"focus the font faces and leave them", focus_and_back(Control::FontFaceSelector)},
      {"choose the same 材料 again", pick_again(Control::MaterialSelector)},
      {"choose the same 半切 again", pick_again(Control::CutSelector)},
      {"choose the same 字号 again", pick_again(Control::SizeSelector)},
      {"choose the same 横竖 again", pick_again(Control::OrientationSelector)},
      {"click the first row, then the last", [&](UndoTest& f, MainWindowModel& m) {
         click(1)(f, m);
         click(3)(f, m);
       }},
      {"click the current row", click(2)},
      // The keys of the list choose the row as a click does.
      {"into the list, Up, Down", [&](UndoTest& f, MainWindowModel& m) {
         f.Event([&] { m.Focus(Control::SegmentGrid); });
         click(1)(f, m);
         click(2)(f, m);
       }},
      {"Home, End, PgDn", [&](UndoTest& f, MainWindowModel& m) {
         f.Event([&] { m.Focus(Control::SegmentGrid); });
         click(1)(f, m);
         click(3)(f, m);
         click(3)(f, m);
       }},
      {"文首", list_button(Control::FirstButton)},
      {"文末", list_button(Control::LastButton)},
  };
  for (const Case& c : cases) {
    for (const bool after_change : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (after_change ? ", after typing" : ""));
      BuildRows(kRows, 2);
      Event([] {});
      if (after_change) Type(Control::UpperLine, "W");
      const std::size_t steps = model_.history().step_count();
      const std::size_t position = model_.history().position();
      const std::string undo = model_.UndoText();
      c.act(*this, model_);
      EXPECT_EQ(model_.doc().file_state.DocModified, after_change);
      EXPECT_EQ(model_.history().step_count(), steps);
      EXPECT_EQ(model_.history().position(), position);
      EXPECT_EQ(model_.UndoText(), undo);
      EXPECT_EQ(ui_.messages.size(), 0u);
      if (after_change) {
        Undo();
        EXPECT_FALSE(model_.CanUndo());
        EXPECT_FALSE(model_.doc().file_state.DocModified);
        EXPECT_EQ(t().Position(), 2);
        EXPECT_EQ(UpperText(), "iW");
        EXPECT_EQ(Column(kUpperLineColumn), (std::vector<std::string>{"WA", "iW", "A"}));
      }
      while (t().RowCount() > 1) {
        t().Last();
        t().Delete();
      }
      ui_.messages.clear();
    }
  }
}

// The changed flag is on exactly while the Document differs from what was saved: a change
// undone, or made again after a save and undone back to it, leaves it unchanged; a save
// between a change and its undo makes the undo the change.
TEST_F(UndoTest, TheChangedFlagFollowsTheSavedContent) {
  struct Case {
    const char* name;
    std::function<void(UndoTest&, MainWindowModel&, ScriptedUi&)> act;
  };
  const Case cases[] = {
      {"输入", [](UndoTest& f, MainWindowModel&, ScriptedUi&) { f.Type(Control::UpperLine, "W"); }},
      {"段长", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.Focus(Control::LengthEdit); });
         f.Event([&] { m.context().SetNumberEditText(Control::LengthEdit, "40"); });
         f.Event([&] { m.Focus(Control::UpperLine); });
       }},
      {"段长 (后部段落)", [](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
         ui.yes_no = {Answer::kYes};
         f.Event([&] {
           m.NameStep(Control::FollowingLengthButton);
           m.following().OnFollowingLengthButton();
         });
       }},
      {"删段", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.segment_list().OnDeleteButton(); });
       }},
      {"材料", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.PickSelector(Control::MaterialSelector, 5); });
       }},
  };
  int saves = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BuildRows(kRows, 2);
    Event([] {});
    const auto changed = [&] { return model_.doc().file_state.DocModified; };
    c.act(*this, model_, ui_);
    ASSERT_TRUE(changed());
    Undo();
    EXPECT_FALSE(changed());
    Redo();
    EXPECT_TRUE(changed());
    // Saved with the change: undoing it is now the change, redoing it is back to the file.
    ui_.files = {dir_ / ("saved" + std::to_string(++saves) + ".kel")};
    Event([&] { model_.files().OnSaveAsButton(); });
    ASSERT_FALSE(changed());
    Undo();
    EXPECT_TRUE(changed());
    Redo();
    EXPECT_FALSE(changed());
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
    ui_.messages.clear();
  }
}

// A step is named after its command, the same however the command is given; the commands
// that change the following Segments say so beside the caption they share with the current
// Segment's editor.
TEST_F(UndoTest, StepsAreNamedAfterTheirCommand) {
  const std::filesystem::path workbook =
      std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "import" / "wires.csv";
  ui_.import_window = [](ImportWindow& w) {
    w.SetAppend(true);
    return true;
  };
  const auto following = [](Control button, std::function<void(UndoTest&, MainWindowModel&)> before) {
    return [button, before](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
      if (before) before(f, m);
      ui.yes_no = {Answer::kYes};
      f.Event([&] {
        m.NameStep(button);
        switch (button) {
          case Control::FollowingLengthButton:
            return m.following().OnFollowingLengthButton();
          case Control::FollowingRepeatButton:
            return m.following().OnFollowingRepeatButton();
          case Control::FollowingSizeButton:
            return m.following().OnFollowingSizeButton();
          case Control::FollowingOrientationButton:
            return m.following().OnFollowingOrientationButton();
          default:
            return m.following().OnFollowingDecorationButton();
        }
      });
    };
  };
  const auto pick = [](Control c, int index) {
    return [c, index](UndoTest& f, MainWindowModel& m) {
      f.Event([&] { m.PickSelector(c, index); });
    };
  };
  const StepCase cases[] = {
      {"导入", [&](UndoTest& f, MainWindowModel& m, ScriptedUi& ui) {
         ui.files = {workbook};
         f.Event([&] {
           m.NameStep(Control::ImportExcelButton);
           m.OnImportButton();
         });
       }},
      {"导入", [&](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.OpenGivenFile(workbook); });
       }},
      {"段长", [](UndoTest& f, MainWindowModel& m, ScriptedUi&) {
         f.Event([&] { m.Focus(Control::LengthEdit); });
         f.Event([&] { m.context().SetNumberEditText(Control::LengthEdit, "40"); });
         f.Event([&] { m.Focus(Control::UpperLine); });
       }},
      {"段长 (后部段落)", following(Control::FollowingLengthButton, nullptr)},
      {"重复 (后部段落)",
       following(Control::FollowingRepeatButton,
                 [](UndoTest& f, MainWindowModel& m) {
                   f.Event([&] { m.Focus(Control::RepeatEdit); });
                   f.Event([&] { m.context().SetNumberEditText(Control::RepeatEdit, "3"); });
                 })},
      {"字号 (后部段落)", following(Control::FollowingSizeButton, pick(Control::SizeSelector, 1))},
      {"横竖 (后部段落)",
       following(Control::FollowingOrientationButton, pick(Control::OrientationSelector, 1))},
      {"修饰 (后部段落)",
       following(Control::FollowingDecorationButton, pick(Control::DecorationSelector, 1))},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.name);
    BuildRows(kRows, 2);
    Event([] {});
    c.act(*this, model_, ui_);
    EXPECT_EQ(model_.UndoText(), std::string("撤销 ") + c.name);
    EXPECT_TRUE(model_.doc().file_state.DocModified);
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
    ui_.messages.clear();
  }
}

}  // namespace
}  // namespace qx
