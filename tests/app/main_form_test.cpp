#include "app/main_form.h"

#include <gtest/gtest.h>

#include "app/messages.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "support/bar_canvas.h"
#include "document/memory_store.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ScriptedUi;
using testing::TempDir;
using S = std::vector<std::string>;

// The window on a 1024 x 768 screen with one new Segment, the upper line focused.
class FormTest : public ::testing::Test {
 protected:
  FormTest() : form_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    measure_canvas_.widths = {{'A', 12}, {'W', 40}, {'i', 4}};
    glyph_canvas_.widths = measure_canvas_.widths;
    form_.FormCreate(1024, 768, dir_.path(), dir_ / "TL.$$$");
    form_.FormActivate();
  }

  SegmentTable& t() { return form_.table(); }
  std::string Flin() { return gbk::ToUtf8(form_.editor(Ctl::FlinEdit).text); }
  std::string Slin() { return gbk::ToUtf8(form_.editor(Ctl::SlinEdit).text); }
  std::string Field(int col) { return gbk::ToUtf8(t().Text(col)); }
  std::string Buttons() {
    std::string s;
    for (Ctl c : {Ctl::FirstBtn, Ctl::LastBtn, Ctl::AppendBtn, Ctl::InsertBtn, Ctl::DeleteBtn,
                  Ctl::PostBtn})
      s += form_.Enabled(c) ? '1' : '0';
    return s;
  }
  // Types a line and stores it, leaving the window as after "存段".
  void Segment(const std::string& flin) {
    form_.TypeText(Ctl::FlinEdit, flin);
    form_.PostClick();
  }
  // Three stored Segments "a", "b", "c"; the third is current.
  void ThreeSegments() {
    Segment("a");
    form_.AppendClick();
    Segment("b");
    form_.AppendClick();
    Segment("c");
  }
  std::vector<int64_t> Numbers() {
    std::vector<int64_t> n;
    const Bookmark b = t().TakeBookmark();
    t().DetachControls();
    for (t().First(); !t().Eof(); t().Next()) n.push_back(t().IsNull(kNum) ? -1 : t().Int(kNum));
    t().GotoBookmark(b);
    t().AttachControls();
    return n;
  }
  void SetField(int col, const std::string& utf8) {
    t().Edit();
    t().SetText(col, gbk::Encode(utf8));
  }

  TempDir dir_;
  ScriptedUi ui_;
  BarCanvas measure_canvas_, glyph_canvas_;
  TPrintForm form_;
};

TEST(FormLayoutRules, LargeAndSmallScreens) {
  const FormLayout big = ComputeLayout(1024, 768);
  EXPECT_EQ(big.slin_top, 598);
  EXPECT_EQ(big.flin_top, 518);
  EXPECT_EQ(big.grid_height, 408);
  EXPECT_EQ(big.grid_width, 864);
  EXPECT_EQ(big.flin_width, 984);
  EXPECT_EQ(big.status0_width, 512);
  EXPECT_TRUE(big.logo_visible);
  EXPECT_EQ(big.logo_left, (864 - 783) / 2 + 623);
  EXPECT_EQ(big.grid_text_col_width, 412);

  const FormLayout small = ComputeLayout(1366, 760);
  EXPECT_FALSE(small.logo_visible);
  EXPECT_EQ(small.slin_top, 600);
  EXPECT_EQ(small.flin_top, 530);
  EXPECT_EQ(small.slin_width, 1191);
  EXPECT_EQ(small.flin_left, 136);
  EXPECT_EQ(small.grid_height, 432);
  EXPECT_EQ(small.grid_width, 1206);
}

TEST_F(FormTest, NewDocumentWindowState) {
  EXPECT_EQ(Buttons(), "000001");  // only "存段"
  for (Ctl c : {Ctl::OpenBtn, Ctl::SaveBtn, Ctl::CloseBtn, Ctl::FuhaoBtn, Ctl::PitchLenBtn,
                Ctl::XiushiBtn})
    EXPECT_TRUE(form_.Enabled(c)) << Info(c).name;
  EXPECT_FALSE(form_.Enabled(Ctl::StopBtn));
  EXPECT_EQ(form_.status(0), "当前状态:文件编辑");
  EXPECT_EQ(form_.status(1), "文件路径:");
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_TRUE(form_.para().UserEditing);
  EXPECT_EQ(form_.NumberEditText(Ctl::PlenEdit), "25");
  EXPECT_EQ(form_.SelectorText(Ctl::ZhBox), "4 号");
  EXPECT_EQ(form_.SelectorIndex(Ctl::MatBox), 4);
  EXPECT_FALSE(form_.para().DocModified);
}

TEST_F(FormTest, ListButtonStates) {
  struct Step {
    const char* what;
    void (*act)(TPrintForm&);
    const char* buttons;
  };
  ThreeSegments();
  const Step steps[] = {
      {"文首", [](TPrintForm& f) { f.FirstClick(); }, "011110"},
      {"文末", [](TPrintForm& f) { f.LastClick(); }, "101110"},
      {"printable key", [](TPrintForm& f) { f.TypeText(Ctl::FlinEdit, "x"); }, "000001"},
      {"存段", [](TPrintForm& f) { f.PostClick(); }, "111110"},
      {"添加 leaves them", [](TPrintForm& f) { f.AppendClick(); }, "111110"},
      {"entering the length editor", [](TPrintForm& f) { f.Focus(Ctl::PlenEdit); }, "000000"},
      {"leaving it", [](TPrintForm& f) { f.Focus(Ctl::FlinEdit); }, "000001"},
      {"entering the grid", [](TPrintForm& f) { f.Focus(Ctl::DBGrid1); }, "111110"},
      {"插入", [](TPrintForm& f) { f.InsertClick(); }, "000001"},
      {"删段 leaves them", [](TPrintForm& f) { f.DeleteClick(); }, "000001"},
      {"entering the repeat editor", [](TPrintForm& f) { f.Focus(Ctl::RepEdit); }, "000000"},
  };
  for (const Step& s : steps) {
    s.act(form_);
    EXPECT_EQ(Buttons(), s.buttons) << s.what;
  }
  EXPECT_FALSE(form_.Enabled(Ctl::FuhaoBtn));  // tools off in the group box and the grid
  EXPECT_FALSE(form_.Enabled(Ctl::UpBiaoBit));
  EXPECT_FALSE(form_.Enabled(Ctl::ControlBar1));
  EXPECT_FALSE(form_.Enabled(Ctl::OpenBtn));  // through its tool bar
}

TEST_F(FormTest, InsertBeforeTheSecondOfThree) {
  ThreeSegments();
  t().First();
  t().Next();
  SetField(kPitchLen, "30");
  SetField(kZihao, "6 号");
  SetField(kHengShu, "纵向");
  SetField(kXiuShi, "加 边 框");
  SetField(kXuLei, "序号0-999");
  t().SetInt(kPitchRep, 5);
  t().Store();
  form_.para().DocModified = false;
  form_.InsertClick();
  EXPECT_EQ(t().Position(), 2);
  EXPECT_EQ(Field(kFlin), "");
  EXPECT_EQ(t().Int(kPitchLen), 30);
  EXPECT_EQ(Field(kZihao), "6 号");
  EXPECT_EQ(Field(kHengShu), "纵向");
  EXPECT_EQ(Field(kXiuShi), "加 边 框");
  EXPECT_EQ(t().Int(kPitchRep), 5);
  EXPECT_EQ(Field(kXuLei), "无序号");
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(Buttons(), "000001");
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_FALSE(form_.para().DocModified);
}

TEST_F(FormTest, AppendCopiesTheFiveValuesAndLeavesTheNumberUnset) {
  ThreeSegments();
  t().First();
  SetField(kPitchLen, "30");
  SetField(kZihao, "6 号");
  SetField(kHengShu, "纵向");
  SetField(kXiuShi, "加 边 框");
  t().SetInt(kPitchRep, 5);
  form_.AppendClick();
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(t().Int(kPitchLen), 30);
  EXPECT_EQ(Field(kZihao), "6 号");
  EXPECT_EQ(Field(kHengShu), "纵向");
  EXPECT_EQ(Field(kXiuShi), "加 边 框");
  EXPECT_EQ(t().Int(kPitchRep), 5);
  EXPECT_EQ(t().Int(kUpLen), 48);
  EXPECT_EQ(t().Int(kDnLen), 0);
  EXPECT_EQ(Flin(), "");
  EXPECT_TRUE(t().IsNull(kNum));
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, -1}));
}

TEST_F(FormTest, DeleteKeepsTheCurrentRowRulesAndNumbers) {
  ThreeSegments();
  t().First();
  t().Next();
  form_.DeleteClick();
  EXPECT_EQ(Flin(), "c");
  EXPECT_EQ(t().Int(kNum), 2);
  form_.AppendClick();
  Segment("d");
  form_.DeleteClick();  // the last of three
  EXPECT_EQ(Flin(), "c");
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FormTest, DeletingTheOnlySegmentEmptiesIt) {
  form_.TypeText(Ctl::FlinEdit, "X1");
  SetField(kXuLei, "序号0-999");
  SetField(kXuFirst, "1");
  SetField(kZihao, "3 号");
  t().SetInt(kPitchRep, 7);
  form_.PostClick();
  form_.DeleteClick();
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_EQ(Flin(), "");
  EXPECT_EQ(Field(kXuLei), "无序号");
  EXPECT_EQ(Field(kXuFirst), "");
  EXPECT_EQ(Field(kZihao), "3 号");
  EXPECT_EQ(t().Int(kPitchRep), 7);
  EXPECT_TRUE(ui_.messages.empty());

  form_.DeleteClick();
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
    Ctl focus_after;
  };
  const Case cases[] = {
      {"5", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Ctl::XsBox},
      {"101", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Ctl::XsBox},
      {"", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Ctl::XsBox},
      {"0", "自动", {"字号已为自动,段长不能再设为自动!"}, 25, Ctl::XsBox},
      {"0", "3 号", {}, 0, Ctl::FlinEdit},
      {"+40", "4 号", {}, 40, Ctl::FlinEdit},
  };
  for (const Case& c : cases) {
    SetField(kPitchLen, "25");
    SetField(kZihao, c.size);
    form_.Focus(Ctl::PlenEdit);
    form_.SetNumberEditText(Ctl::PlenEdit, c.typed);
    form_.Focus(Ctl::XsBox);  // the operator moves on
    EXPECT_EQ(ui_.Take(), c.messages) << c.typed;
    EXPECT_EQ(t().Int(kPitchLen), c.stored) << c.typed;
    EXPECT_EQ(form_.focus(), c.focus_after) << c.typed;
    EXPECT_TRUE(form_.Enabled(Ctl::PostBtn));
    EXPECT_TRUE(form_.Enabled(Ctl::OpenBtn));  // the tool bar is back
    form_.Focus(Ctl::FlinEdit);
  }
  // Not a whole number: the editor keeps the focus and no check runs.
  form_.Focus(Ctl::PlenEdit);
  form_.SetNumberEditText(Ctl::PlenEdit, "-");
  form_.Focus(Ctl::FlinEdit);
  EXPECT_EQ(form_.focus(), Ctl::PlenEdit);
  EXPECT_TRUE(ui_.messages.empty());
  // Only digits, "+" and "-" can be typed, three at most.
  form_.SetNumberEditText(Ctl::PlenEdit, "");
  for (char ch : std::string("1a2.34")) form_.NumberEditKeyPress(Ctl::PlenEdit, ch);
  EXPECT_EQ(form_.NumberEditText(Ctl::PlenEdit), "123");
  EXPECT_EQ(ui_.beeps, 3);
  form_.PlenEditKeyUp(13);  // Enter goes to the upper line
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);  // refused: the focus stays where it went
  EXPECT_EQ(ui_.Take(), S{"指定段长请输入6-100mm,自动段长请输入0!"});
  EXPECT_EQ(t().Int(kPitchLen), 40);  // the length on entry
}

// 11 double-byte characters at size 4 need 11 x 48 + 10 x 4 + 48 = 616 dots, exactly the
// limit of 56 mm: the length editor refuses, the selectors accept.
TEST_F(FormTest, ReachingTheLimitRefusesOnlyInTheLengthEditor) {
  form_.PasteText(Ctl::FlinEdit, "中中中中中中中中中中中");
  form_.PostClick();
  ASSERT_EQ(Flin().size(), 33u);
  form_.Focus(Ctl::PlenEdit);
  form_.SetNumberEditText(Ctl::PlenEdit, "56");
  form_.Focus(Ctl::FlinEdit);
  EXPECT_EQ(ui_.Take(), S{"段内容超长，修改无效!"});
  EXPECT_EQ(t().Int(kPitchLen), 25);
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).caret, 22);  // bytes

  SetField(kPitchLen, "56");
  SetField(kZihao, "3 号");
  form_.PickSelector(Ctl::ZhBox, 4);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kZihao), "4 号");
  EXPECT_EQ(t().Int(kUpLen), 616);
  form_.PickSelector(Ctl::DirxBox, 1);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kHengShu), "纵向");
}

TEST_F(FormTest, RepeatEditor) {
  for (const char* typed : {"0", "201", ""}) {
    form_.Focus(Ctl::RepEdit);
    form_.SetNumberEditText(Ctl::RepEdit, typed);
    form_.RepEditKeyUp(13);
    EXPECT_EQ(ui_.Take(), S{"数据范围1-200."}) << typed;
    EXPECT_EQ(t().Int(kPitchRep), 1);
    EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  }
  form_.Focus(Ctl::RepEdit);
  form_.SetNumberEditText(Ctl::RepEdit, "200");
  form_.Focus(Ctl::FlinEdit);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Int(kPitchRep), 200);
  EXPECT_TRUE(form_.para().DocModified);
}

TEST_F(FormTest, FontSizeSelector) {
  struct Case {
    const char* what;
    const char* length;
    const char* flin;
    const char* slin;
    uint8_t material;
    int pick;  // index: 0 自动, n = "n 号"
    std::vector<std::string> messages;
    const char* kept;
    Ctl focus;
  };
  const Case cases[] = {
      {"自动 with automatic length", "0", "A", "", 5, 0, {"段长字号不能同时设为自动!"}, "4 号", Ctl::FlinEdit},
      {"自动 with a length", "30", "A", "", 5, 0, {}, "自动", Ctl::FlinEdit},
      {"size the material cannot print", "30", "A", "", 5, 5, {"当前材料不能打印此字号,选择无效!"}, "4 号", Ctl::FlinEdit},
      {"upper line too long", "6", "AA", "", 7, 7, {"段内容超长,选择无效!"}, "4 号", Ctl::FlinEdit},
      {"lower line too long", "8", "i", "AA", 7, 3, {"下行内容超长,选择无效!"}, "4 号", Ctl::SlinEdit},
  };
  for (const Case& c : cases) {
    SetField(kPitchLen, c.length);
    SetField(kZihao, "4 号");
    SetField(kFlin, c.flin);
    SetField(kSlin, c.slin);
    t().Store();
    form_.para().MaterialCode = c.material;
    form_.PickSelector(Ctl::ZhBox, c.pick);
    EXPECT_EQ(ui_.Take(), c.messages) << c.what;
    EXPECT_EQ(Field(kZihao), c.kept) << c.what;
    EXPECT_EQ(form_.focus(), c.focus) << c.what;
    EXPECT_EQ(form_.editor(c.focus).caret, static_cast<int>(form_.editor(c.focus).text.size()));
  }
  EXPECT_EQ(ui_.messages.size(), 0u);
}

TEST_F(FormTest, LowerLineRefusalUsesTheHintCaption) {
  SetField(kPitchLen, "8");
  SetField(kFlin, "i");
  SetField(kSlin, "AA");
  form_.para().MaterialCode = 7;
  form_.PickSelector(Ctl::ZhBox, 3);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "提示");
}

TEST_F(FormTest, OrientationSelector) {
  SetField(kPitchLen, "6");
  SetField(kFlin, "i");
  form_.PickSelector(Ctl::DirxBox, 1);  // vertical "i" needs 48 + 48 = 96 > 66
  EXPECT_EQ(ui_.Take(), S{"段内容超长,修改无效!"});
  EXPECT_EQ(Field(kHengShu), "横向");
  EXPECT_EQ(form_.values().Vertical, 0);
  SetField(kFlin, "");
  SetField(kSlin, "i");
  form_.PickSelector(Ctl::DirxBox, 1);
  EXPECT_EQ(ui_.Take(), S{"下行内容超长,修改无效!"});
  EXPECT_EQ(form_.focus(), Ctl::SlinEdit);
  SetField(kHengShu, "纵向");
  form_.PickSelector(Ctl::DirxBox, 0);  // turning horizontal is never refused
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kHengShu), "横向");
}

TEST_F(FormTest, ShowingAnotherSegmentRunsNoCheck) {
  ThreeSegments();
  form_.PickSelector(Ctl::XsBox, 1);
  EXPECT_TRUE(form_.para().DocModified);
  form_.PostClick();
  form_.para().DocModified = false;
  form_.FirstClick();  // the selectors now show the first Segment's values
  form_.LastClick();
  EXPECT_FALSE(form_.para().DocModified);
  EXPECT_TRUE(ui_.messages.empty());
}

// --- Line editors ----------------------------------------------------------------------

TEST_F(FormTest, FirstCharacterTooWideForAnEmptyLine) {
  SetField(kPitchLen, "6");
  SetField(kZihao, "7 号");
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "中"), 0);
  EXPECT_EQ(ui_.Take(), (S{"段内容超长.", "段内容超长."}));  // lead byte and trail byte
  EXPECT_EQ(Flin(), "");
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).max_length, 100);
  SetField(kZihao, "1 号");  // the next key measures again
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "A"), 1);
  EXPECT_EQ(Flin(), "A");
}

TEST_F(FormTest, DoubleByteCharacterCountsTwoCells) {
  form_.TypeText(Ctl::FlinEdit, "中");
  // The empty line measures 44; each byte adds a 48-dot cell and a spacing of 4.
  EXPECT_EQ(t().Int(kUpLen), 44 + 2 * (48 + 4));
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_EQ(Buttons(), "000001");
}

TEST_F(FormTest, RefusalInATextStopsTypingUntilBackspace) {
  SetField(kPitchLen, "6");  // 66 dots
  SetField(kZihao, "1 号");  // A is 12 wide, i 4
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "AAAAA"), 1);  // 44 + 12 -> 60; 72 is refused
  EXPECT_EQ(Flin(), "A");
  EXPECT_EQ(ui_.Take().size(), 4u);
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).max_length, 1);
  form_.SetCaret(Ctl::FlinEdit, 1, 0, 1);  // replacing a selection still works
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "i"), 1);
  EXPECT_EQ(Flin(), "i");
  EXPECT_EQ(t().Int(kUpLen), 68);
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "i"), 0);  // the editor is full
  EXPECT_EQ(ui_.Take().size(), 1u);
  form_.PressBackspace(Ctl::FlinEdit);
  EXPECT_EQ(Flin(), "");
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).max_length, 100);
  EXPECT_EQ(t().Int(kUpLen), 0);  // measured afresh at the next key
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "AA"), 1);
  EXPECT_EQ(t().Int(kUpLen), 60);
}

TEST_F(FormTest, BackspaceAfterTheSerialPlaceholderRemovesTheSerial) {
  auto with_serial = [&](const std::string& flin, int caret) {
    SetField(kFlin, flin);
    SetField(kXuLei, "序号0-999");
    SetField(kXuFirst, "1");
    SetField(kXuEnd, "9");
    t().Store();
    form_.SetCaret(Ctl::FlinEdit, caret);
  };
  with_serial("K№", 3);
  form_.PressBackspace(Ctl::FlinEdit);
  EXPECT_EQ(Flin(), "K");
  EXPECT_EQ(Field(kXuLei), "无序号");
  EXPECT_EQ(Field(kXuEnd), "");

  with_serial("K№", 1);
  form_.PressDelete(Ctl::FlinEdit);  // Delete in front of it keeps the serial
  EXPECT_EQ(Flin(), "K");
  EXPECT_EQ(Field(kXuLei), "序号0-999");

  SetField(kFlin, "K");
  with_serial("K", 1);
  SetField(kSlin, "№");
  form_.Focus(Ctl::SlinEdit);
  form_.SetCaret(Ctl::SlinEdit, 2);
  form_.PressBackspace(Ctl::SlinEdit);  // in the lower line it is not looked for
  EXPECT_EQ(Slin(), "");
  EXPECT_EQ(Field(kXuLei), "序号0-999");
}

TEST_F(FormTest, DeletingCharactersDoesNotMarkTheDocumentChanged) {
  SetField(kFlin, "ABC");
  t().Store();
  form_.para().DocModified = false;
  form_.SetCaret(Ctl::FlinEdit, 3);
  form_.PressBackspace(Ctl::FlinEdit);
  form_.SetCaret(Ctl::FlinEdit, 0);
  form_.PressDelete(Ctl::FlinEdit);
  EXPECT_EQ(Flin(), "B");
  EXPECT_FALSE(form_.para().DocModified);
}

TEST_F(FormTest, EnterAppendsAtTheEndUnlessSkipped) {
  ThreeSegments();
  form_.FirstClick();
  form_.Focus(Ctl::FlinEdit);
  form_.para().SkipNextEnter = true;  // as after a save or a new Document
  form_.PressEnter(Ctl::FlinEdit);
  EXPECT_EQ(t().RowCount(), 3);
  EXPECT_FALSE(form_.para().SkipNextEnter);
  form_.PressEnter(Ctl::FlinEdit);
  EXPECT_EQ(t().RowCount(), 4);
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, -1}));
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);

  form_.TypeText(Ctl::FlinEdit, "d");
  form_.para().MaterialCode = 7;
  form_.Focus(Ctl::SlinEdit);
  form_.OnSlinClick();
  form_.para().SkipNextEnter = true;
  form_.PressEnter(Ctl::SlinEdit);  // the lower line always appends
  EXPECT_EQ(t().RowCount(), 5);
}

TEST_F(FormTest, PasteIsNotMeasuredButStaysWithin100Bytes) {
  form_.PasteText(Ctl::FlinEdit, std::string(99, 'A') + "中B");
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).text.size(), 99u);  // 中 would split at byte 100
  EXPECT_EQ(t().Int(kUpLen), 48);  // not measured
  EXPECT_TRUE(ui_.messages.empty());
  form_.PasteText(Ctl::FlinEdit, "😀");
  EXPECT_EQ(ui_.Take().size(), 1u);
}

TEST_F(FormTest, CharactersGbkCannotHoldAreRefused) {
  EXPECT_EQ(form_.TypeText(Ctl::FlinEdit, "A©B"), 2);
  EXPECT_EQ(Flin(), "AB");
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
  form_.TypeText(Ctl::FlinEdit, "A");
  for (const Case& c : cases) {
    SetField(kZihao, c.size);
    form_.para().MaterialCode = c.material;
    form_.Focus(Ctl::FlinEdit);
    form_.Focus(Ctl::SlinEdit);
    form_.OnSlinClick();
    const auto shown = ui_.Take();
    if (*c.message) {
      EXPECT_EQ(shown, S{c.message}) << int(c.material) << " " << c.size;
      EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
    } else {
      EXPECT_TRUE(shown.empty()) << int(c.material) << " " << c.size;
      EXPECT_EQ(form_.focus(), Ctl::SlinEdit);
      EXPECT_EQ(Buttons(), "000001");
    }
  }
  SetField(kFlin, "");
  t().Store();
  form_.Focus(Ctl::SlinEdit);
  form_.OnSlinClick();
  EXPECT_EQ(ui_.Take(), S{"请先输入上行字符!"});
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
}

// --- Window ----------------------------------------------------------------------------

TEST_F(FormTest, ClosingWhilePrintingIsRefusedUntilStopped) {
  form_.para().DocBusy = true;
  EXPECT_FALSE(form_.FormCloseQuery());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "请先终止打印,再退出.");
  EXPECT_EQ(ui_.messages[0].caption, "信息确认");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
  // After the stop the job still walks the table until the printer has ended it: the
  // window closes then (see the printing tests), never under the running job.
  form_.StopPrtBtn();
  ui_.messages.clear();
  EXPECT_FALSE(form_.FormCloseQuery());
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
  form_.para().DocBusy = false;
  EXPECT_TRUE(form_.FormCloseQuery());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "TL.$$$"));
}

TEST_F(FormTest, HelpLeavesTheCurrentDirectory) {
  const auto before = std::filesystem::current_path();
  form_.AboutBtnClick();
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_TRUE(form_.help_opened_from_app_dir());
  ASSERT_EQ(ui_.opened.size(), 1u);
  EXPECT_EQ(ui_.opened[0], dir_ / "help" / "index.html");
  EXPECT_TRUE(ui_.messages.empty());  // a missing help file is not reported
}

TEST_F(FormTest, ReturnToEditing) {
  form_.para().DocBusy = true;
  form_.StopRequested() = true;
  form_.SetEnabled(Ctl::FlinEdit, false);
  form_.SetEnabled(Ctl::StopBtn, true);
  form_.Focus(Ctl::DBGrid1);
  form_.ReturnToEditing();
  EXPECT_FALSE(form_.para().DocBusy);
  EXPECT_FALSE(form_.StopRequested());
  EXPECT_FALSE(form_.Enabled(Ctl::StopBtn));
  EXPECT_TRUE(form_.Enabled(Ctl::FlinEdit));
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(form_.status(0), "当前状态:文件编辑");
}

TEST(FormRestore, ALeftoverTableIsOfferedAndRestored) {
  TempDir dir;
  {
    DocumentState doc(std::make_unique<SqliteRowStore>());
    NewDocument(doc, dir / "TL.$$$");
    doc.table.SetText(kFlin, gbk::Encode("保存过的"));
    StoreNumbered(doc.table);
    doc.table.Append();  // a Segment that was never stored is not there to restore
  }
  for (bool restore : {true, false}) {
    ScriptedUi ui;
    ui.answers = {restore};
    BarCanvas a, b;
    TPrintForm form(ui, std::make_unique<SqliteRowStore>(), a, b);
    form.FormCreate(1024, 768, dir.path(), dir / "TL.$$$", /*offer_restore=*/true);
    EXPECT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(form.table().RowCount(), 1);
    EXPECT_EQ(gbk::ToUtf8(form.table().Text(kFlin)), restore ? "保存过的" : "");
    EXPECT_EQ(form.para().DocModified, restore);
    if (restore) {
      EXPECT_EQ(form.table().Int(kNum), 1);
    }
  }
}

TEST_F(FormTest, PreviewOfTheCurrentSegment) {
  SegmentPreview p = form_.PreviewCurrent();
  EXPECT_FALSE(p.item);
  EXPECT_EQ(p.note, "上行为空,此段不打印。");
  form_.TypeText(Ctl::FlinEdit, "AA");
  p = form_.PreviewCurrent();
  ASSERT_TRUE(p.item);
  EXPECT_EQ(p.item->ColumnCount, 24 + 4 + 24);
  EXPECT_NEAR(p.length_mm, 25.0, 0.1);  // the Segment's 25 mm at the nominal 11 dots per mm
}

}  // namespace
}  // namespace qx
