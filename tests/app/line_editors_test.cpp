// The two line editors: the byte-wise key model with its running length, Backspace,
// Delete, Enter, paste, characters GBK cannot hold, and where a lower line is allowed.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using S = std::vector<std::string>;

// The window on a 1024 x 768 screen with one new Segment, the upper line focused.
using LineEditorsTest = testing::WindowTest;

TEST_F(LineEditorsTest, FirstCharacterTooWideForAnEmptyLine) {
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

// A refused first character goes into the empty line and out again: that change is a
// change of the line, so the Enter a save left to be skipped is no longer skipped; the
// line ends as it was, so the Document is not changed.
TEST_F(LineEditorsTest, ARefusedFirstCharacterIsAChangeOfTheLine) {
  for (Control line : {Control::UpperLine, Control::LowerLine}) {
    SCOPED_TRACE(Info(line).name);
    model_.files().StartNewDocument();
    if (line == Control::LowerLine) SetField(kUpperLineColumn, "A");
    SetField(kLengthColumn, "6");
    SetField(kSizeColumn, "7 号");
    model_.doc().file_state.MaterialCode = 7;  // heat-shrink tube takes a lower line
    model_.context().ShowCurrentRow();
    model_.Focus(line);
    model_.doc().file_state.SkipNextEnter = true;  // as after a save
    model_.context().MarkSaved();
    int typed = -1;
    Event([&] { typed = model_.line_editors().TypeText(line, "中"); });
    EXPECT_EQ(typed, 0);
    EXPECT_EQ(ui_.Take(), (S{"段内容超长.", "段内容超长."}));
    EXPECT_EQ(model_.context().editor(line).text, "");
    EXPECT_FALSE(model_.doc().file_state.DocModified);
    EXPECT_FALSE(model_.doc().file_state.SkipNextEnter);
    model_.line_editors().PressEnter(line);  // appends at once
    EXPECT_EQ(t().RowCount(), 2);
  }
}

TEST_F(LineEditorsTest, DoubleByteCharacterCountsTwoCells) {
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "中"); });
  // The empty line measures 44; each byte adds a 48-dot cell and a spacing of 4.
  EXPECT_EQ(t().Int(kUpperLengthColumn), 44 + 2 * (48 + 4));
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_EQ(Buttons(), "000001");
}

TEST_F(LineEditorsTest, RefusalInATextStopsTypingUntilBackspace) {
  SetField(kLengthColumn, "6");   // 66 dots
  SetField(kSizeColumn, "1 号");  // A is 12 wide, i 4
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "AAAAA"),
            1);  // 44 + 12 -> 60; 72 is refused
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

// A refused key shows beside the preview what the line needs against the Segment's
// length, until the line or the Segment changes.
TEST_F(LineEditorsTest, ARefusedKeySaysWhatTheLineNeeds) {
  SetField(kLengthColumn, "6");   // 66 dots
  SetField(kSizeColumn, "1 号");  // A is 12 wide
  EXPECT_EQ(model_.preview().Make().refusal, "");
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "AA"), 1);  // 60 + 12 > 66
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(model_.preview().Make().refusal, "所需长度 6.5 mm，段长 6 mm");
  model_.line_editors().PressBackspace(Control::UpperLine);
  EXPECT_EQ(model_.preview().Make().refusal, "");

  SetField(kLengthColumn, "0");  // automatic: 1100 dots
  SetField(kSizeColumn, "7 号");
  // Each byte of 中 adds a 96-dot cell and a spacing: 44 + 5 x 200 = 1044, and the next
  // lead byte needs 1140.
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "中中中中中中"), 5);
  ui_.Take();
  EXPECT_EQ(model_.preview().Make().refusal, "所需长度 103.6 mm，段长自动，最长 100 mm");
}

TEST_F(LineEditorsTest, BackspaceAfterTheSerialPlaceholderRemovesTheSerial) {
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
  model_.line_editors().PressBackspace(
      Control::LowerLine);  // in the lower line it is not looked for
  EXPECT_EQ(LowerText(), "");
  EXPECT_EQ(Field(kSerialTypeColumn), "序号0-999");
}

// Deleting characters changes what is saved as typing does.
TEST_F(LineEditorsTest, DeletingCharactersMarksTheDocumentChanged) {
  SetField(kUpperLineColumn, "ABC");
  t().Store();
  model_.context().MarkSaved();
  Event([&] { model_.line_editors().SetCaret(Control::UpperLine, 3); });
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  Event([&] { model_.line_editors().PressBackspace(Control::UpperLine); });
  Event([&] { model_.line_editors().SetCaret(Control::UpperLine, 0); });
  Event([&] { model_.line_editors().PressDelete(Control::UpperLine); });
  EXPECT_EQ(UpperText(), "B");
  EXPECT_TRUE(model_.doc().file_state.DocModified);
}

TEST_F(LineEditorsTest, EnterAppendsAtTheEndUnlessSkipped) {
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

TEST_F(LineEditorsTest, PasteIsNotMeasuredButStaysWithin100Bytes) {
  model_.line_editors().PasteText(Control::UpperLine, std::string(99, 'A') + "中B");
  EXPECT_EQ(model_.context().editor(Control::UpperLine).text.size(),
            99u);                              // 中 would split at byte 100
  EXPECT_EQ(t().Int(kUpperLengthColumn), 48);  // not measured
  EXPECT_TRUE(ui_.messages.empty());
  model_.line_editors().PasteText(Control::UpperLine, "😀");
  EXPECT_EQ(ui_.Take().size(), 1u);
}

// After a refused key the editor takes no more text, pasted text included, until
// Backspace; a pasted text can still replace a selection, within the same length.
TEST_F(LineEditorsTest, PasteKeepsTheMaximumLengthLoweredByARefusal) {
  SetField(kLengthColumn, "6");   // 66 dots
  SetField(kSizeColumn, "1 号");  // A is 12 wide
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "AAA"), 1);
  ui_.Take();
  ASSERT_EQ(model_.context().editor(Control::UpperLine).max_length, 1);
  model_.line_editors().PasteText(Control::UpperLine, "WWW");
  EXPECT_EQ(UpperText(), "A");
  model_.line_editors().SetCaret(Control::UpperLine, 1, 0, 1);
  model_.line_editors().PasteText(Control::UpperLine, "iWW");
  EXPECT_EQ(UpperText(), "i");
  model_.line_editors().PressBackspace(Control::UpperLine);
  model_.line_editors().PasteText(Control::UpperLine, "WWW");
  EXPECT_EQ(UpperText(), "WWW");  // not measured
}

TEST_F(LineEditorsTest, CharactersGbkCannotHoldAreRefused) {
  EXPECT_EQ(model_.line_editors().TypeText(Control::UpperLine, "A©B"), 2);
  EXPECT_EQ(UpperText(), "AB");
  const auto shown = ui_.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("©"), std::string::npos);
}

TEST_F(LineEditorsTest, LowerLineClickRules) {
  struct Case {
    uint8_t material;
    const char* size;
    const char* message;  // empty: allowed
    const char* figures;  // beside the preview: what would allow a lower line
  };
  const char* kAnyMaterialAtSmallSizes =
      "此材料不能双行；当前字号可双行的材料：贴纸 9mm、贴纸 12mm、套管 6.0平方、热缩管";
  const Case cases[] = {
      {1, "1 号", "6mm贴纸不允许双行打印!", kAnyMaterialAtSmallSizes},
      {2, "3 号", "当前字号无法正确打印双行!", "双行字号最大 2 号；当前字号可双行的材料：贴纸 12mm、热缩管"},
      {2, "自动", "", ""},
      {2, "2 号", "", ""},
      {3, "3 号", "", ""},
      {3, "4 号", "当前字号无法正确打印双行!", "双行字号最大 3 号；当前字号可双行的材料：热缩管"},
      {4, "1 号", "当前材料不允许双行打印!", kAnyMaterialAtSmallSizes},
      {5, "自动", "当前材料不允许双行打印!", kAnyMaterialAtSmallSizes},
      {6, "3 号", "当前字号无法正确打印双行!", "双行字号最大 2 号；当前字号可双行的材料：贴纸 12mm、热缩管"},
      {7, "7 号", "", ""},
  };
  model_.line_editors().TypeText(Control::UpperLine, "A");
  for (const Case& c : cases) {
    SetField(kSizeColumn, c.size);
    model_.doc().file_state.MaterialCode = c.material;
    model_.Focus(Control::UpperLine);
    model_.Focus(Control::LowerLine);
    model_.line_editors().OnLowerLineClicked();
    const auto shown = ui_.Take();
    EXPECT_EQ(model_.preview().Make().refusal, c.figures) << int(c.material) << " " << c.size;
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

}  // namespace
}  // namespace qx
