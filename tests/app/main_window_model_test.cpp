#include "app/main_window_model.h"
#include "editing/control_values.h"
#include "support/window_fixture.h"

#include <gtest/gtest.h>

#include "editing/messages.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "document/memory_store.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::WindowFixture;
using testing::ScriptedUi;
using testing::TempDir;
using S = std::vector<std::string>;

// The window on a 1024 x 768 screen with one new Segment, the upper line focused.
class FormTest : public WindowFixture<> {
 protected:
  FormTest() : WindowFixture<>({{'A', 12}, {'W', 40}, {'i', 4}}) {}

  std::string Buttons() {
    std::string s;
    for (Control c : {Control::FirstButton, Control::LastButton, Control::AppendButton, Control::InsertButton, Control::DeleteButton,
                  Control::StoreButton})
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
  std::vector<int64_t> Numbers() {
    std::vector<int64_t> n;
    const Bookmark b = t().TakeBookmark();
    t().DetachControls();
    for (t().First(); !t().Eof(); t().Next()) n.push_back(t().IsNull(kNumberColumn) ? -1 : t().Int(kNumberColumn));
    t().GotoBookmark(b);
    t().AttachControls();
    return n;
  }
  void SetField(int col, const std::string& utf8) {
    t().Edit();
    t().SetText(col, gbk::Encode(utf8));
  }

};

TEST(FormLayoutRules, LargeAndSmallScreens) {
  const WindowLayout big = ComputeLayout(1024, 768);
  EXPECT_EQ(big.lower_line_top, 598);
  EXPECT_EQ(big.upper_line_top, 518);
  EXPECT_EQ(big.grid_height, 408);
  EXPECT_EQ(big.grid_width, 864);
  EXPECT_EQ(big.upper_line_width, 984);
  EXPECT_EQ(big.status0_width, 512);
  EXPECT_TRUE(big.logo_visible);
  EXPECT_EQ(big.logo_left, (864 - 783) / 2 + 623);
  EXPECT_EQ(big.grid_text_col_width, 412);

  const WindowLayout small = ComputeLayout(1366, 760);
  EXPECT_FALSE(small.logo_visible);
  EXPECT_EQ(small.lower_line_top, 600);
  EXPECT_EQ(small.upper_line_top, 530);
  EXPECT_EQ(small.lower_line_width, 1191);
  EXPECT_EQ(small.upper_line_left, 136);
  EXPECT_EQ(small.grid_height, 432);
  EXPECT_EQ(small.grid_width, 1206);
}

TEST_F(FormTest, NewDocumentWindowState) {
  EXPECT_EQ(Buttons(), "000001");  // only "存段"
  for (Control c : {Control::OpenButton, Control::SaveButton, Control::NewButton, Control::SymbolButton, Control::FollowingLengthButton,
                Control::FollowingDecorationButton})
    EXPECT_TRUE(model_.controls().Enabled(c)) << Info(c).name;
  EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
  EXPECT_EQ(model_.controls().status(0), "当前状态:文件编辑");
  EXPECT_EQ(model_.controls().status(1), "文件路径:");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_TRUE(model_.doc().file_state.UserEditing);
  EXPECT_EQ(model_.context().NumberEditText(Control::LengthEdit), "25");
  EXPECT_EQ(SelectorText(model_.doc(), Control::SizeSelector), "4 号");
  EXPECT_EQ(SelectorIndex(model_.doc(), Control::MaterialSelector), 4);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
}

TEST_F(FormTest, ListButtonStates) {
  struct Step {
    const char* what;
    void (*act)(MainWindowModel&);
    const char* buttons;
  };
  ThreeSegments();
  const Step steps[] = {
      {"文首", [](MainWindowModel& model) { model.segment_list().OnFirstButton(); }, "011110"},
      {"文末", [](MainWindowModel& model) { model.segment_list().OnLastButton(); }, "101110"},
      {"printable key", [](MainWindowModel& model) { model.line_editors().TypeText(Control::UpperLine, "x"); }, "000001"},
      {"存段", [](MainWindowModel& model) { model.segment_list().OnStoreButton(); }, "111110"},
      {"添加 leaves them", [](MainWindowModel& model) { model.segment_list().OnAppendButton(); }, "111110"},
      {"entering the length editor", [](MainWindowModel& model) { model.Focus(Control::LengthEdit); }, "000000"},
      {"leaving it", [](MainWindowModel& model) { model.Focus(Control::UpperLine); }, "000001"},
      {"entering the grid", [](MainWindowModel& model) { model.Focus(Control::SegmentGrid); }, "111110"},
      {"插入", [](MainWindowModel& model) { model.segment_list().OnInsertButton(); }, "000001"},
      {"删段 leaves them", [](MainWindowModel& model) { model.segment_list().OnDeleteButton(); }, "000001"},
      {"entering the repeat editor", [](MainWindowModel& model) { model.Focus(Control::RepeatEdit); }, "000000"},
  };
  for (const Step& s : steps) {
    s.act(model_);
    EXPECT_EQ(Buttons(), s.buttons) << s.what;
  }
  EXPECT_FALSE(model_.controls().Enabled(Control::SymbolButton));  // tools off in the group box and the grid
  EXPECT_FALSE(model_.controls().Enabled(Control::SuperscriptButton));
  EXPECT_FALSE(model_.controls().Enabled(Control::UpperToolBar));
  EXPECT_FALSE(model_.controls().Enabled(Control::OpenButton));  // through its tool bar
}

TEST_F(FormTest, InsertBeforeTheSecondOfThree) {
  ThreeSegments();
  t().First();
  t().Next();
  SetField(kLengthColumn, "30");
  SetField(kSizeColumn, "6 号");
  SetField(kOrientationColumn, "纵向");
  SetField(kDecorationColumn, "加 边 框");
  SetField(kSerialTypeColumn, "序号0-999");
  t().SetInt(kRepeatColumn, 5);
  t().Store();
  model_.doc().file_state.DocModified = false;
  model_.segment_list().OnInsertButton();
  EXPECT_EQ(t().Position(), 2);
  EXPECT_EQ(Field(kUpperLineColumn), "");
  EXPECT_EQ(t().Int(kLengthColumn), 30);
  EXPECT_EQ(Field(kSizeColumn), "6 号");
  EXPECT_EQ(Field(kOrientationColumn), "纵向");
  EXPECT_EQ(Field(kDecorationColumn), "加 边 框");
  EXPECT_EQ(t().Int(kRepeatColumn), 5);
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(Buttons(), "000001");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
}

TEST_F(FormTest, AppendCopiesTheFiveValuesAndLeavesTheNumberUnset) {
  ThreeSegments();
  t().First();
  SetField(kLengthColumn, "30");
  SetField(kSizeColumn, "6 号");
  SetField(kOrientationColumn, "纵向");
  SetField(kDecorationColumn, "加 边 框");
  t().SetInt(kRepeatColumn, 5);
  model_.segment_list().OnAppendButton();
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(t().Int(kLengthColumn), 30);
  EXPECT_EQ(Field(kSizeColumn), "6 号");
  EXPECT_EQ(Field(kOrientationColumn), "纵向");
  EXPECT_EQ(Field(kDecorationColumn), "加 边 框");
  EXPECT_EQ(t().Int(kRepeatColumn), 5);
  EXPECT_EQ(t().Int(kUpperLengthColumn), 48);
  EXPECT_EQ(t().Int(kLowerLengthColumn), 0);
  EXPECT_EQ(UpperText(), "");
  EXPECT_TRUE(t().IsNull(kNumberColumn));
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, -1}));
}

TEST_F(FormTest, DeleteKeepsTheCurrentRowRulesAndNumbers) {
  ThreeSegments();
  t().First();
  t().Next();
  model_.segment_list().OnDeleteButton();
  EXPECT_EQ(UpperText(), "c");
  EXPECT_EQ(t().Int(kNumberColumn), 2);
  model_.segment_list().OnAppendButton();
  Segment("d");
  model_.segment_list().OnDeleteButton();  // the last of three
  EXPECT_EQ(UpperText(), "c");
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FormTest, DeletingTheOnlySegmentEmptiesIt) {
  model_.line_editors().TypeText(Control::UpperLine, "X1");
  SetField(kSerialTypeColumn, "序号0-999");
  SetField(kSerialFirstColumn, "1");
  SetField(kSizeColumn, "3 号");
  t().SetInt(kRepeatColumn, 7);
  model_.segment_list().OnStoreButton();
  model_.segment_list().OnDeleteButton();
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_EQ(UpperText(), "");
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(Field(kSerialFirstColumn), "");
  EXPECT_EQ(Field(kSizeColumn), "3 号");
  EXPECT_EQ(t().Int(kRepeatColumn), 7);
  EXPECT_TRUE(ui_.messages.empty());

  model_.segment_list().OnDeleteButton();
  EXPECT_EQ(ui_.Take(), S{"文件已空!"});
  EXPECT_EQ(t().RowCount(), 1);
}

// --- Property editors ------------------------------------------------------------------

TEST_F(FormTest, LengthEditor) {
  struct Case {
    const char* typed;
    const char* size;
    std::vector<std::string> messages;
    int64_t stored;
    Control focus_after;
  };
  const Case cases[] = {
      {"5", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Control::DecorationSelector},
      {"101", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Control::DecorationSelector},
      {"", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Control::DecorationSelector},
      {"0", "自动", {"字号已为自动,段长不能再设为自动!"}, 25, Control::DecorationSelector},
      {"0", "3 号", {}, 0, Control::UpperLine},
      {"+40", "4 号", {}, 40, Control::UpperLine},
  };
  for (const Case& c : cases) {
    SetField(kLengthColumn, "25");
    SetField(kSizeColumn, c.size);
    model_.Focus(Control::LengthEdit);
    model_.context().SetNumberEditText(Control::LengthEdit, c.typed);
    model_.Focus(Control::DecorationSelector);  // the operator moves on
    EXPECT_EQ(ui_.Take(), c.messages) << c.typed;
    EXPECT_EQ(t().Int(kLengthColumn), c.stored) << c.typed;
    EXPECT_EQ(model_.focus(), c.focus_after) << c.typed;
    EXPECT_TRUE(model_.controls().Enabled(Control::StoreButton));
    EXPECT_TRUE(model_.controls().Enabled(Control::OpenButton));  // the tool bar is back
    model_.Focus(Control::UpperLine);
  }
  // Not a whole number: the editor keeps the focus and no check runs.
  model_.Focus(Control::LengthEdit);
  model_.context().SetNumberEditText(Control::LengthEdit, "-");
  model_.Focus(Control::UpperLine);
  EXPECT_EQ(model_.focus(), Control::LengthEdit);
  EXPECT_TRUE(ui_.messages.empty());
  // Only digits, "+" and "-" can be typed, three at most.
  model_.context().SetNumberEditText(Control::LengthEdit, "");
  for (char ch : std::string("1a2.34")) model_.property_editors().OnNumberEditKey(Control::LengthEdit, ch);
  EXPECT_EQ(model_.context().NumberEditText(Control::LengthEdit), "123");
  EXPECT_EQ(ui_.beeps, 3);
  model_.property_editors().OnLengthEditKeyUp(13);  // Enter goes to the upper line
  EXPECT_EQ(model_.focus(), Control::UpperLine);  // refused: the focus stays where it went
  EXPECT_EQ(ui_.Take(), S{"指定段长请输入6-100mm,自动段长请输入0!"});
  EXPECT_EQ(t().Int(kLengthColumn), 40);  // the length on entry
}

// 11 double-byte characters at size 4 need 11 x 48 + 10 x 4 + 48 = 616 dots, exactly the
// limit of 56 mm: the length editor refuses, the selectors accept.
TEST_F(FormTest, ReachingTheLimitRefusesOnlyInTheLengthEditor) {
  model_.line_editors().PasteText(Control::UpperLine, "中中中中中中中中中中中");
  model_.segment_list().OnStoreButton();
  ASSERT_EQ(UpperText().size(), 33u);
  model_.Focus(Control::LengthEdit);
  model_.context().SetNumberEditText(Control::LengthEdit, "56");
  model_.Focus(Control::UpperLine);
  EXPECT_EQ(ui_.Take(), S{"段内容超长，修改无效!"});
  EXPECT_EQ(t().Int(kLengthColumn), 25);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(model_.context().editor(Control::UpperLine).caret, 22);  // bytes

  SetField(kLengthColumn, "56");
  SetField(kSizeColumn, "3 号");
  model_.PickSelector(Control::SizeSelector, 4);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kSizeColumn), "4 号");
  EXPECT_EQ(t().Int(kUpperLengthColumn), 616);
  model_.PickSelector(Control::OrientationSelector, 1);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kOrientationColumn), "纵向");
}

TEST_F(FormTest, RepeatEditor) {
  for (const char* typed : {"0", "201", ""}) {
    model_.Focus(Control::RepeatEdit);
    model_.context().SetNumberEditText(Control::RepeatEdit, typed);
    model_.property_editors().OnRepeatEditKeyUp(13);
    EXPECT_EQ(ui_.Take(), S{"数据范围1-200."}) << typed;
    EXPECT_EQ(t().Int(kRepeatColumn), 1);
    EXPECT_EQ(model_.focus(), Control::UpperLine);
  }
  model_.Focus(Control::RepeatEdit);
  model_.context().SetNumberEditText(Control::RepeatEdit, "200");
  model_.Focus(Control::UpperLine);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Int(kRepeatColumn), 200);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
}

TEST_F(FormTest, FontSizeSelector) {
  struct Case {
    const char* what;
    const char* length;
    const char* upper_text;
    const char* lower_text;
    uint8_t material;
    int pick;  // index: 0 自动, n = "n 号"
    std::vector<std::string> messages;
    const char* kept;
    Control focus;
  };
  const Case cases[] = {
      {"自动 with automatic length", "0", "A", "", 5, 0, {"段长字号不能同时设为自动!"}, "4 号", Control::UpperLine},
      {"自动 with a length", "30", "A", "", 5, 0, {}, "自动", Control::UpperLine},
      {"size the material cannot print", "30", "A", "", 5, 5, {"当前材料不能打印此字号,选择无效!"}, "4 号", Control::UpperLine},
      {"upper line too long", "6", "AA", "", 7, 7, {"段内容超长,选择无效!"}, "4 号", Control::UpperLine},
      {"lower line too long", "8", "i", "AA", 7, 3, {"下行内容超长,选择无效!"}, "4 号", Control::LowerLine},
  };
  for (const Case& c : cases) {
    SetField(kLengthColumn, c.length);
    SetField(kSizeColumn, "4 号");
    SetField(kUpperLineColumn, c.upper_text);
    SetField(kLowerLineColumn, c.lower_text);
    t().Store();
    model_.doc().file_state.MaterialCode = c.material;
    model_.PickSelector(Control::SizeSelector, c.pick);
    EXPECT_EQ(ui_.Take(), c.messages) << c.what;
    EXPECT_EQ(Field(kSizeColumn), c.kept) << c.what;
    EXPECT_EQ(model_.focus(), c.focus) << c.what;
    EXPECT_EQ(model_.context().editor(c.focus).caret, static_cast<int>(model_.context().editor(c.focus).text.size()));
  }
  EXPECT_EQ(ui_.messages.size(), 0u);
}

TEST_F(FormTest, LowerLineRefusalUsesTheHintCaption) {
  SetField(kLengthColumn, "8");
  SetField(kUpperLineColumn, "i");
  SetField(kLowerLineColumn, "AA");
  model_.doc().file_state.MaterialCode = 7;
  model_.PickSelector(Control::SizeSelector, 3);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "提示");
}

TEST_F(FormTest, OrientationSelector) {
  SetField(kLengthColumn, "6");
  SetField(kUpperLineColumn, "i");
  model_.PickSelector(Control::OrientationSelector, 1);  // vertical "i" needs 48 + 48 = 96 > 66
  EXPECT_EQ(ui_.Take(), S{"段内容超长,修改无效!"});
  EXPECT_EQ(Field(kOrientationColumn), "横向");
  EXPECT_EQ(model_.doc().values.Vertical, 0);
  SetField(kUpperLineColumn, "");
  SetField(kLowerLineColumn, "i");
  model_.PickSelector(Control::OrientationSelector, 1);
  EXPECT_EQ(ui_.Take(), S{"下行内容超长,修改无效!"});
  EXPECT_EQ(model_.focus(), Control::LowerLine);
  SetField(kOrientationColumn, "纵向");
  model_.PickSelector(Control::OrientationSelector, 0);  // turning horizontal is never refused
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kOrientationColumn), "横向");
}

TEST_F(FormTest, ShowingAnotherSegmentRunsNoCheck) {
  ThreeSegments();
  model_.PickSelector(Control::DecorationSelector, 1);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  model_.segment_list().OnStoreButton();
  model_.doc().file_state.DocModified = false;
  model_.segment_list().OnFirstButton();  // the selectors now show the first Segment's values
  model_.segment_list().OnLastButton();
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(ui_.messages.empty());
}

// --- Line editors ----------------------------------------------------------------------

TEST_F(FormTest, FirstCharacterTooWideForAnEmptyLine) {
  SetField(kLengthColumn, "6");
  SetField(kSizeColumn, "7 号");
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "中"), 0);
  EXPECT_EQ(ui_.Take(), (S{"段内容超长.", "段内容超长."}));  // lead byte and trail byte
  EXPECT_EQ(UpperText(), "");
  EXPECT_EQ(model_.context().editor(Control::UpperLine).max_length, 100);
  SetField(kSizeColumn, "1 号");  // the next key measures again
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "A"), 1);
  EXPECT_EQ(UpperText(), "A");
}

TEST_F(FormTest, DoubleByteCharacterCountsTwoCells) {
  model_.line_editors().TypeText(Control::UpperLine, "中");
  // The empty line measures 44; each byte adds a 48-dot cell and a spacing of 4.
  EXPECT_EQ(t().Int(kUpperLengthColumn), 44 + 2 * (48 + 4));
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_EQ(Buttons(), "000001");
}

TEST_F(FormTest, RefusalInATextStopsTypingUntilBackspace) {
  SetField(kLengthColumn, "6");  // 66 dots
  SetField(kSizeColumn, "1 号");  // A is 12 wide, i 4
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "AAAAA"), 1);  // 44 + 12 -> 60; 72 is refused
  EXPECT_EQ(UpperText(), "A");
  EXPECT_EQ(ui_.Take().size(), 4u);
  EXPECT_EQ(model_.context().editor(Control::UpperLine).max_length, 1);
  model_.line_editors().SetCaret(Control::UpperLine, 1, 0, 1);  // replacing a selection still works
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "i"), 1);
  EXPECT_EQ(UpperText(), "i");
  EXPECT_EQ(t().Int(kUpperLengthColumn), 68);
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "i"), 0);  // the editor is full
  EXPECT_EQ(ui_.Take().size(), 1u);
  model_.line_editors().PressBackspace(Control::UpperLine);
  EXPECT_EQ(UpperText(), "");
  EXPECT_EQ(model_.context().editor(Control::UpperLine).max_length, 100);
  EXPECT_EQ(t().Int(kUpperLengthColumn), 0);  // measured afresh at the next key
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "AA"), 1);
  EXPECT_EQ(t().Int(kUpperLengthColumn), 60);
}

TEST_F(FormTest, BackspaceAfterTheSerialPlaceholderRemovesTheSerial) {
  auto with_serial = [&](const std::string& upper_text, int caret) {
    SetField(kUpperLineColumn, upper_text);
    SetField(kSerialTypeColumn, "序号0-999");
    SetField(kSerialFirstColumn, "1");
    SetField(kSerialLastColumn, "9");
    t().Store();
    model_.line_editors().SetCaret(Control::UpperLine, caret);
  };
  with_serial("K№", 3);
  model_.line_editors().PressBackspace(Control::UpperLine);
  EXPECT_EQ(UpperText(), "K");
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(Field(kSerialLastColumn), "");

  with_serial("K№", 1);
  model_.line_editors().PressDelete(Control::UpperLine);  // Delete in front of it keeps the serial
  EXPECT_EQ(UpperText(), "K");
  EXPECT_EQ(Field(kSerialTypeColumn), "序号0-999");

  SetField(kUpperLineColumn, "K");
  with_serial("K", 1);
  SetField(kLowerLineColumn, "№");
  model_.Focus(Control::LowerLine);
  model_.line_editors().SetCaret(Control::LowerLine, 2);
  model_.line_editors().PressBackspace(Control::LowerLine);  // in the lower line it is not looked for
  EXPECT_EQ(LowerText(), "");
  EXPECT_EQ(Field(kSerialTypeColumn), "序号0-999");
}

TEST_F(FormTest, DeletingCharactersDoesNotMarkTheDocumentChanged) {
  SetField(kUpperLineColumn, "ABC");
  t().Store();
  model_.doc().file_state.DocModified = false;
  model_.line_editors().SetCaret(Control::UpperLine, 3);
  model_.line_editors().PressBackspace(Control::UpperLine);
  model_.line_editors().SetCaret(Control::UpperLine, 0);
  model_.line_editors().PressDelete(Control::UpperLine);
  EXPECT_EQ(UpperText(), "B");
  EXPECT_FALSE(model_.doc().file_state.DocModified);
}

TEST_F(FormTest, EnterAppendsAtTheEndUnlessSkipped) {
  ThreeSegments();
  model_.segment_list().OnFirstButton();
  model_.Focus(Control::UpperLine);
  model_.doc().file_state.SkipNextEnter = true;  // as after a save or a new Document
  model_.line_editors().PressEnter(Control::UpperLine);
  EXPECT_EQ(t().RowCount(), 3);
  EXPECT_FALSE(model_.doc().file_state.SkipNextEnter);
  model_.line_editors().PressEnter(Control::UpperLine);
  EXPECT_EQ(t().RowCount(), 4);
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, -1}));
  EXPECT_EQ(model_.focus(), Control::UpperLine);

  model_.line_editors().TypeText(Control::UpperLine, "d");
  model_.doc().file_state.MaterialCode = 7;
  model_.Focus(Control::LowerLine);
  model_.line_editors().OnLowerLineClicked();
  model_.doc().file_state.SkipNextEnter = true;
  model_.line_editors().PressEnter(Control::LowerLine);  // the lower line always appends
  EXPECT_EQ(t().RowCount(), 5);
}

TEST_F(FormTest, PasteIsNotMeasuredButStaysWithin100Bytes) {
  model_.line_editors().PasteText(Control::UpperLine, std::string(99, 'A') + "中B");
  EXPECT_EQ(model_.context().editor(Control::UpperLine).text.size(), 99u);  // 中 would split at byte 100
  EXPECT_EQ(t().Int(kUpperLengthColumn), 48);  // not measured
  EXPECT_TRUE(ui_.messages.empty());
  model_.line_editors().PasteText(Control::UpperLine, "😀");
  EXPECT_EQ(ui_.Take().size(), 1u);
}

TEST_F(FormTest, CharactersGbkCannotHoldAreRefused) {
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "A©B"), 2);
  EXPECT_EQ(UpperText(), "AB");
  const auto shown = ui_.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("©"), std::string::npos);
}

TEST_F(FormTest, LowerLineClickRules) {
  struct Case {
    uint8_t material;
    const char* size;
    const char* message;  // empty: allowed
  };
  const Case cases[] = {
      {1, "1 号", "6mm贴纸不允许双行打印!"}, {2, "3 号", "当前字号无法正确打印双行!"},
      {2, "自动", ""},                       {2, "2 号", ""},
      {3, "3 号", ""},                       {3, "4 号", "当前字号无法正确打印双行!"},
      {4, "1 号", "当前材料不允许双行打印!"}, {5, "自动", "当前材料不允许双行打印!"},
      {6, "3 号", "当前字号无法正确打印双行!"}, {7, "7 号", ""},
  };
  model_.line_editors().TypeText(Control::UpperLine, "A");
  for (const Case& c : cases) {
    SetField(kSizeColumn, c.size);
    model_.doc().file_state.MaterialCode = c.material;
    model_.Focus(Control::UpperLine);
    model_.Focus(Control::LowerLine);
    model_.line_editors().OnLowerLineClicked();
    const auto shown = ui_.Take();
    if (*c.message) {
      EXPECT_EQ(shown, S{c.message}) << int(c.material) << " " << c.size;
      EXPECT_EQ(model_.focus(), Control::UpperLine);
    } else {
      EXPECT_TRUE(shown.empty()) << int(c.material) << " " << c.size;
      EXPECT_EQ(model_.focus(), Control::LowerLine);
      EXPECT_EQ(Buttons(), "000001");
    }
  }
  SetField(kUpperLineColumn, "");
  t().Store();
  model_.Focus(Control::LowerLine);
  model_.line_editors().OnLowerLineClicked();
  EXPECT_EQ(ui_.Take(), S{"请先输入上行字符!"});
  EXPECT_EQ(model_.focus(), Control::UpperLine);
}

// --- Window ----------------------------------------------------------------------------

TEST_F(FormTest, ClosingWhilePrintingIsRefusedUntilStopped) {
  model_.doc().file_state.DocBusy = true;
  EXPECT_FALSE(model_.CanClose());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "请先终止打印,再退出.");
  EXPECT_EQ(ui_.messages[0].caption, "信息确认");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
  // After the stop the job still walks the table until the printer has ended it: the
  // window closes then (see the printing tests), never under the running job.
  model_.printing().OnStopButton();
  ui_.messages.clear();
  EXPECT_FALSE(model_.CanClose());
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
  model_.doc().file_state.DocBusy = false;
  EXPECT_TRUE(model_.CanClose());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "TL.$$$"));
}

TEST_F(FormTest, HelpLeavesTheCurrentDirectory) {
  const auto before = std::filesystem::current_path();
  model_.OnHelpButton();
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_TRUE(model_.help_opened_from_app_dir());
  ASSERT_EQ(ui_.opened.size(), 1u);
  EXPECT_EQ(ui_.opened[0], dir_ / "help" / "index.html");
  EXPECT_TRUE(ui_.messages.empty());  // a missing help file is not reported
}

TEST_F(FormTest, ReturnToEditing) {
  model_.doc().file_state.DocBusy = true;
  model_.printing().StopRequested() = true;
  model_.context().controls.SetEnabled(Control::UpperLine, false);
  model_.context().controls.SetEnabled(Control::StopButton, true);
  model_.Focus(Control::SegmentGrid);
  model_.printing().ReturnToEditing();
  EXPECT_FALSE(model_.doc().file_state.DocBusy);
  EXPECT_FALSE(model_.printing().StopRequested());
  EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
  EXPECT_TRUE(model_.controls().Enabled(Control::UpperLine));
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(model_.controls().status(0), "当前状态:文件编辑");
}

TEST(FormRestore, ALeftoverTableIsOfferedAndRestored) {
  TempDir dir;
  {
    DocumentState doc(std::make_unique<SqliteRowStore>());
    NewDocument(doc, dir / "TL.$$$");
    doc.table.SetText(kUpperLineColumn, gbk::Encode("保存过的"));
    StoreNumbered(doc.table);
    doc.table.Append();  // a Segment that was never stored is not there to restore
  }
  for (bool restore : {true, false}) {
    ScriptedUi ui;
    ui.answers = {restore};
    BarCanvas a, b;
    MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
    model.Start(1024, 768, dir.path(), dir / "TL.$$$", /*offer_restore=*/true);
    EXPECT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(model.table().RowCount(), 1);
    EXPECT_EQ(gbk::ToUtf8(model.table().Text(kUpperLineColumn)), restore ? "保存过的" : "");
    EXPECT_EQ(model.doc().file_state.DocModified, restore);
    if (restore) {
      EXPECT_EQ(model.table().Int(kNumberColumn), 1);
    }
  }
}

TEST_F(FormTest, PreviewOfTheCurrentSegment) {
  SegmentPreview p = model_.preview().Make();
  EXPECT_FALSE(p.item);
  EXPECT_EQ(p.note, "上行为空,此段不打印。");
  model_.line_editors().TypeText(Control::UpperLine, "AA");
  p = model_.preview().Make();
  ASSERT_TRUE(p.item);
  EXPECT_EQ(p.item->ColumnCount, 24 + 4 + 24);
  EXPECT_NEAR(p.length_mm, 25.0, 0.1);  // the Segment's 25 mm at the nominal 11 dots per mm
}

}  // namespace
}  // namespace qx
