// Insertions into the lines of the main window: superscript and subscript prefixes, the
// serial placeholder through the serial-number dialog, and symbols through the picker,
// with their refusals. Bars of known widths make every needed length an exact number:
// at the default size "4 号" (cell 48 dots) "A" measures 24 dots, "i" 8, a two-byte
// character 48, and the serial placeholder 24 per place; the spacing is 4 dots and each
// line has 24 blank dots at each end.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "editing/control_values.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowFixture;
using S = std::vector<std::string>;

class InsertionsTest : public WindowFixture<> {
 protected:
  InsertionsTest() : WindowFixture<>({{'A', 12}, {'i', 4}}) {}

  int Caret(Control c) { return model_.context().editor(c).caret; }
  void SetInt(int col, int64_t v) {
    t().Edit();
    t().SetInt(col, v);
  }
  // The upper line (and the lower one) holds `upper`, the caret of the upper line at `caret`.
  void Lines(std::string_view upper, int caret, std::string_view lower = "") {
    if (!lower.empty()) model_.line_editors().PasteText(Control::LowerLine, lower);
    model_.line_editors().PasteText(Control::UpperLine, upper);
    model_.line_editors().SetCaret(Control::UpperLine, caret);
  }
  // The operator's part in the serial-number dialog: a type, two values, then 插入/修改.
  void SerialAnswer(int type, std::string first, std::string last) {
    ui_.serial_dialog = [=](SerialNumberDialog& f) {
      f.OnTypeChosen(type);
      f.OnFirstEdited(first);
      f.OnLastEdited(last);
      f.OnInsertOrChangeButton();
      if (f.result() == 0) f.OnReturnButton();  // refused: give up
    };
  }
  // The operator's part in the symbol picker: cell (col, row) of the first zone, 插入 `n`
  // times, 关闭.
  void SymbolAnswer(int col, int row, int n = 1) {
    ui_.symbol_picker = [=](SymbolPicker& f) {
      f.OnCellSelected(col, row);
      for (int i = 0; i < n; ++i) f.OnInsertButton();
      f.OnCloseButton();
    };
  }
};

// --- Superscript and subscript --------------------------------------------------------------

struct MarkRefusal {
  const char* name;
  const char* upper;
  int caret;
  const char* lower;
  bool superscript;
  const char* message;
  bool caret_in_lower = true;  // with a lower line: where the caret is
};

class MarkRefusalTest : public InsertionsTest, public ::testing::WithParamInterface<MarkRefusal> {};

TEST_P(MarkRefusalTest, LeavesTheLineAndTheCaretAlone) {
  const MarkRefusal& r = GetParam();
  Lines(r.upper, r.caret, r.lower);
  if (*r.lower && r.caret_in_lower) model_.Focus(Control::LowerLine);  // either line refuses
  const std::string before = model_.context().editor(Control::UpperLine).text;
  if (r.superscript) {
    model_.insertions().OnSuperscriptButton();
  } else {
    model_.insertions().OnSubscriptButton();
  }
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, r.message);
  EXPECT_EQ(ui_.messages[0].caption, "信息提示");
  EXPECT_EQ(model_.context().editor(Control::UpperLine).text, before);
  EXPECT_EQ(t().Text(kUpperLineColumn), before);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(Caret(Control::UpperLine), r.caret);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, MarkRefusalTest,
    ::testing::Values(
        MarkRefusal{"SuperscriptAtStart", "AB", 0, "", true, "段首不能打印上下标!"},
        MarkRefusal{"SubscriptAtStart", "AB", 0, "", false, "段首不能打印上下标!"},
        MarkRefusal{"SuperscriptAfterSuperscript", "A↖", 3, "", true, "请先输入上标字符!"},
        MarkRefusal{"SubscriptAfterSuperscript", "A↖", 3, "", false, "请先输入上标字符!"},
        MarkRefusal{"SuperscriptAfterSubscript", "A↙", 3, "", true, "请先输入下标字符!"},
        MarkRefusal{"SubscriptAfterSubscript", "A↙", 3, "", false, "请先输入下标字符."},
        MarkRefusal{"SuperscriptWithLowerLine", "AB", 1, "C", true, "双行不能打印上下标!"},
        MarkRefusal{"SubscriptWithLowerLine", "AB", 1, "C", false, "双行不能打印上下标!"},
        MarkRefusal{"SuperscriptWithLowerLineCaretAbove", "AB", 1, "C", true, "双行不能打印上下标!",
                    false},
        MarkRefusal{"SubscriptWithLowerLineCaretAbove", "AB", 1, "C", false, "双行不能打印上下标!",
                    false},
        MarkRefusal{"FullLine",
                    "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"
                    "iiiiiiiiiiiiiiiiiiiii",
                    99, "", true, "段内容超长."}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(InsertionsTest, PrefixGoesInAtTheCaretAndTheLineIsMeasuredAgain) {
  model_.line_editors().TypeText(Control::UpperLine, "ACB");
  model_.line_editors().SetCaret(Control::UpperLine, 1);
  model_.line_editors().PressDelete(Control::UpperLine);  // the operator no longer counts as typing
  model_.context().MarkSaved();
  ASSERT_EQ(UpperText(), "AB");
  ASSERT_FALSE(model_.doc().file_state.UserEditing);

  Event([&] { model_.insertions().OnSuperscriptButton(); });
  EXPECT_EQ(UpperText(), "A↖B");
  EXPECT_EQ(Field(kUpperLineColumn), "A↖B");
  EXPECT_EQ(Caret(Control::UpperLine), 3);  // directly after the prefix
  EXPECT_EQ(t().Int(kUpperLengthColumn), 0);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_FALSE(t().CurrentIsNew());  // the superscript stores the Segment

  // The next key measures the whole line, prefix included, and goes in after it.
  model_.line_editors().TypeText(Control::UpperLine, "2");
  EXPECT_EQ(UpperText(), "A↖2B");
  EXPECT_GT(t().Int(kUpperLengthColumn), 48);

  model_.line_editors().SetCaret(Control::UpperLine, 4);
  model_.insertions().OnSubscriptButton();
  EXPECT_EQ(UpperText(), "A↖2↙B");
  EXPECT_EQ(Caret(Control::UpperLine), 6);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(InsertionsTest, PrefixButtonsWorkOnTheUpperLineFromTheLowerOne) {
  Lines("AB", 2);
  model_.Focus(Control::LowerLine);
  EXPECT_EQ(model_.doc().file_state.ActiveLine, 1);
  model_.insertions().OnSubscriptButton();
  EXPECT_EQ(UpperText(), "AB↙");
  EXPECT_EQ(LowerText(), "");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(model_.doc().file_state.ActiveLine, 0);
}

TEST_F(InsertionsTest, PrefixFillsALineToItsLastByte) {
  Lines(std::string(98, 'i'), 98);
  model_.insertions().OnSuperscriptButton();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kUpperLineColumn).size(), 100u);
}

// --- Serial number ----------------------------------------------------------------------------

TEST_F(InsertionsTest, SerialPlaceholderGoesInAtTheUpperCaret) {
  Lines("AAAA", 2);
  model_.doc().file_state.SavedCaret = 0;
  SerialAnswer(SerialNumberDialog::kDecimal, "1", "9");
  Event([&] { model_.OnSerialButton(); });
  EXPECT_EQ(ui_.serial_dialogs, 1);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(UpperText(), "AA№AA");
  EXPECT_EQ(Field(kSerialTypeColumn), "序号0-999");
  EXPECT_EQ(Field(kSerialFirstColumn), "1");
  EXPECT_EQ(Field(kSerialLastColumn), "9");
  // 4 x 24 + 1 place x 24 + 4 spacings x 4 + 48.
  EXPECT_EQ(t().Int(kUpperLengthColumn), 184);
  EXPECT_EQ(t().TextAt(0, kUpperLineColumn), gbk::Encode("AA№AA"));  // stored
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(Caret(Control::UpperLine), 4);  // directly after the placeholder
  EXPECT_EQ(model_.doc().file_state.SavedCaret, 4);
  EXPECT_EQ(SelectorText(model_.doc(), Control::SerialTypeField), "序号0-999");
  // The new series is a change of the Document: closing asks before dropping it.
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  model_.context().MarkSaved();

  // A second opening is a change of the series, and the text stays.
  ui_.serial_dialog = [](SerialNumberDialog& f) {
    EXPECT_FALSE(f.inserting());
    EXPECT_EQ(f.first_text(), "1");
    f.OnLastEdited("50");
    f.OnInsertOrChangeButton();
  };
  Event([&] { model_.OnSerialButton(); });
  EXPECT_EQ(UpperText(), "AA№AA");
  EXPECT_EQ(Field(kSerialLastColumn), "50");
  EXPECT_EQ(t().Int(kUpperLengthColumn), 212);  // two places now
  EXPECT_EQ(Caret(Control::UpperLine), 4);      // where it was
  EXPECT_TRUE(model_.doc().file_state.DocModified);
}

TEST_F(InsertionsTest, SerialPlaceholderGoesIntoTheLowerLineAtItsCaret) {
  model_.line_editors().TypeText(Control::UpperLine, "A");
  model_.line_editors().TypeText(Control::LowerLine, "AB");
  model_.line_editors().SetCaret(Control::LowerLine, 1);
  SerialAnswer(SerialNumberDialog::kCapitals, "a", "z");
  model_.OnSerialButton();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(UpperText(), "A");
  EXPECT_EQ(LowerText(), "A№B");
  EXPECT_EQ(Field(kSerialTypeColumn), "大写字母");
  EXPECT_EQ(Field(kSerialFirstColumn), "A");
  EXPECT_EQ(Field(kSerialLastColumn), "Z");
  EXPECT_EQ(t().Int(kLowerLengthColumn), 24 + 24 + 24 + 2 * 4 + 48);
  EXPECT_EQ(model_.focus(), Control::LowerLine);
  EXPECT_EQ(Caret(Control::LowerLine), 3);
}

TEST_F(InsertionsTest, SerialThatNoLongerFitsChangesNothing) {
  SetInt(kLengthColumn, 20);  // limit 220 dots
  Lines("AAAA", 4);
  SerialAnswer(SerialNumberDialog::kDecimal, "0", "9");
  model_.OnSerialButton();
  ASSERT_EQ(UpperText(), "AAAA№");
  ASSERT_EQ(t().Int(kUpperLengthColumn), 184);

  // Three places need 240 dots: refused, the old series stays.
  SerialAnswer(SerialNumberDialog::kDecimal, "0", "999");
  model_.OnSerialButton();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "段内容超长.");
  EXPECT_EQ(ui_.messages[0].caption, "提示");
  EXPECT_EQ(Field(kSerialLastColumn), "9");
  EXPECT_EQ(t().Int(kUpperLengthColumn), 184);
  EXPECT_EQ(UpperText(), "AAAA№");
  ui_.messages.clear();

  // Nor does an insertion that would not fit: a new Segment of 15 mm (165 dots).
  model_.segment_list().OnAppendButton();
  SetInt(kLengthColumn, 15);
  Lines("AAAA", 4);
  SerialAnswer(SerialNumberDialog::kDecimal, "100", "1");
  model_.OnSerialButton();
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(UpperText(), "AAAA");
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(Field(kSerialFirstColumn), "");
}

TEST_F(InsertionsTest, SerialPlaceholderNeverTakesALinePast100Bytes) {
  SetField(kSizeColumn, "1 号");  // small enough that 99 bytes fit the length
  SetInt(kLengthColumn, 0);
  Lines(std::string(99, 'i'), 99);
  SerialAnswer(SerialNumberDialog::kDecimal, "1", "2");
  model_.OnSerialButton();
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(t().Text(kUpperLineColumn).size(), 99u);
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");

  model_.line_editors().SetCaret(Control::UpperLine, 0);
  model_.line_editors().PressDelete(Control::UpperLine);
  model_.OnSerialButton();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kUpperLineColumn).size(), 100u);
  EXPECT_EQ(Field(kSerialTypeColumn), "序号0-999");
}

TEST_F(InsertionsTest, GivingUpStoresTheSegmentAndKeepsTheSeries) {
  Lines("AB", 1);
  ui_.serial_dialog = [](SerialNumberDialog& f) {
    f.OnFirstEdited("1");
    f.OnReturnButton();
  };
  model_.OnSerialButton();
  EXPECT_FALSE(t().CurrentIsNew());
  EXPECT_EQ(UpperText(), "AB");
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(Caret(Control::UpperLine), 1);
}

// --- Symbols ----------------------------------------------------------------------------------

TEST_F(InsertionsTest, SymbolGoesInAtTheCaretUpToTheLengthLimit) {
  SetInt(kLengthColumn, 24);  // limit 264 dots
  Lines("AAAAAA", 4);
  model_.context().MarkSaved();
  SymbolAnswer(2, 0, 2);  // A1 A2, twice
  Event([&] { model_.OnSymbolButton(); });
  EXPECT_EQ(ui_.symbol_pickers, 1);
  // 6 x 24 + 48 + 6 spacings x 4 + 48 = 264: exactly the limit, accepted.
  EXPECT_EQ(t().Text(kUpperLineColumn),
            "AAAA\xA1\xA2"
            "AA");
  EXPECT_EQ(t().Int(kUpperLengthColumn), 264);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  // The second would need 316: refused, the caret back where it was.
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "段内容超长.");
  EXPECT_EQ(ui_.messages[0].caption, "提示");
  EXPECT_EQ(Caret(Control::UpperLine), 6);
  EXPECT_EQ(model_.doc().file_state.SavedCaret, 6);
}

TEST_F(InsertionsTest, SymbolGoesIntoTheActiveLowerLine) {
  model_.line_editors().TypeText(Control::UpperLine, "A");
  model_.line_editors().TypeText(Control::LowerLine, "AB");
  model_.line_editors().SetCaret(Control::LowerLine, 0);
  SymbolAnswer(1, 0);  // A1 A1
  model_.OnSymbolButton();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kLowerLineColumn),
            "\xA1\xA1"
            "AB");
  EXPECT_EQ(t().Text(kUpperLineColumn), "A");
  EXPECT_EQ(t().Int(kLowerLengthColumn), 48 + 24 + 24 + 2 * 4 + 48);
  EXPECT_EQ(Caret(Control::LowerLine), 2);
}

TEST_F(InsertionsTest, SymbolNeverTakesALinePast100Bytes) {
  SetField(kSizeColumn, "1 号");
  SetInt(kLengthColumn, 0);
  Lines(std::string(99, 'i'), 99);
  SymbolAnswer(1, 0);
  model_.OnSymbolButton();
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(t().Text(kUpperLineColumn).size(), 99u);

  model_.line_editors().SetCaret(Control::UpperLine, 99);
  model_.line_editors().PressBackspace(Control::UpperLine);
  model_.OnSymbolButton();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kUpperLineColumn), std::string(98, 'i') + "\xA1\xA1");
}

}  // namespace
}  // namespace qx
