// Insertions into the lines of the main window: superscript and subscript prefixes, the
// serial placeholder through the serial-number dialog, and symbols through the picker,
// with their refusals. Bars of known widths make every needed length an exact number:
// at the default size "4 号" (cell 48 dots) "A" measures 24 dots, "i" 8, a two-byte
// character 48, and the serial placeholder 24 per place; the spacing is 4 dots and each
// line has 24 blank dots at each end.
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app/messages.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "support/bar_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ScriptedUi;
using testing::TempDir;
using S = std::vector<std::string>;

class InsertionTest : public ::testing::Test {
 protected:
  InsertionTest() : form_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    measure_canvas_.widths = {{'A', 12}, {'i', 4}};
    glyph_canvas_.widths = measure_canvas_.widths;
    form_.FormCreate(1024, 768, dir_.path(), dir_ / "TL.$$$");
    form_.FormActivate();
  }

  SegmentTable& t() { return form_.table(); }
  std::string Flin() { return gbk::ToUtf8(form_.editor(Ctl::FlinEdit).text); }
  std::string Slin() { return gbk::ToUtf8(form_.editor(Ctl::SlinEdit).text); }
  std::string Field(int col) { return gbk::ToUtf8(t().Text(col)); }
  int Caret(Ctl c) { return form_.editor(c).caret; }
  void SetInt(int col, int64_t v) {
    t().Edit();
    t().SetInt(col, v);
  }
  void SetField(int col, std::string_view utf8) {
    t().Edit();
    t().SetText(col, gbk::Encode(utf8));
  }
  // The upper line (and the lower one) holds `upper`, the caret of the upper line at `caret`.
  void Lines(std::string_view upper, int caret, std::string_view lower = "") {
    if (!lower.empty()) form_.PasteText(Ctl::SlinEdit, lower);
    form_.PasteText(Ctl::FlinEdit, upper);
    form_.SetCaret(Ctl::FlinEdit, caret);
  }
  // The operator's part in the serial-number dialog: a type, two values, then 插入/修改.
  void SerialAnswer(int type, std::string first, std::string last) {
    ui_.serial_dialog = [=](TXuhoForm& f) {
      f.XhlxBoxChange(type);
      f.FEditChange(first);
      f.EEditChange(last);
      f.YesBtnClick();
      if (f.result() == 0) f.RetBtnClick();  // refused: give up
    };
  }
  // The operator's part in the symbol picker: cell (col, row) of the first zone, 插入 `n`
  // times, 关闭.
  void SymbolAnswer(int col, int row, int n = 1) {
    ui_.symbol_picker = [=](TFuhaoForm& f) {
      f.StringGrid1SelectCell(col, row);
      for (int i = 0; i < n; ++i) f.InsertBtnClick();
      f.BitBtn2Click();
    };
  }

  TempDir dir_;
  ScriptedUi ui_;
  BarCanvas measure_canvas_, glyph_canvas_;
  TPrintForm form_;
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

class MarkRefusalTest : public InsertionTest, public ::testing::WithParamInterface<MarkRefusal> {};

TEST_P(MarkRefusalTest, LeavesTheLineAndTheCaretAlone) {
  const MarkRefusal& r = GetParam();
  Lines(r.upper, r.caret, r.lower);
  if (*r.lower && r.caret_in_lower) form_.Focus(Ctl::SlinEdit);  // either line refuses
  const std::string before = form_.editor(Ctl::FlinEdit).text;
  if (r.superscript) {
    form_.UpBiaoClick();
  } else {
    form_.DwBiaoClick();
  }
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, r.message);
  EXPECT_EQ(ui_.messages[0].caption, "信息提示");
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).text, before);
  EXPECT_EQ(t().Text(kFlin), before);
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(Caret(Ctl::FlinEdit), r.caret);
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

TEST_F(InsertionTest, PrefixGoesInAtTheCaretAndTheLineIsMeasuredAgain) {
  form_.TypeText(Ctl::FlinEdit, "ACB");
  form_.SetCaret(Ctl::FlinEdit, 1);
  form_.PressDelete(Ctl::FlinEdit);  // the operator no longer counts as typing
  form_.para().DocModified = false;
  ASSERT_EQ(Flin(), "AB");
  ASSERT_FALSE(form_.para().UserEditing);

  form_.UpBiaoClick();
  EXPECT_EQ(Flin(), "A↖B");
  EXPECT_EQ(Field(kFlin), "A↖B");
  EXPECT_EQ(Caret(Ctl::FlinEdit), 3);  // directly after the prefix
  EXPECT_EQ(t().Int(kUpLen), 0);
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_FALSE(t().CurrentIsNew());  // the superscript stores the Segment

  // The next key measures the whole line, prefix included, and goes in after it.
  form_.TypeText(Ctl::FlinEdit, "2");
  EXPECT_EQ(Flin(), "A↖2B");
  EXPECT_GT(t().Int(kUpLen), 48);

  form_.SetCaret(Ctl::FlinEdit, 4);
  form_.DwBiaoClick();
  EXPECT_EQ(Flin(), "A↖2↙B");
  EXPECT_EQ(Caret(Ctl::FlinEdit), 6);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(InsertionTest, PrefixButtonsWorkOnTheUpperLineFromTheLowerOne) {
  Lines("AB", 2);
  form_.Focus(Ctl::SlinEdit);
  EXPECT_EQ(form_.para().ActiveLine, 1);
  form_.DwBiaoClick();
  EXPECT_EQ(Flin(), "AB↙");
  EXPECT_EQ(Slin(), "");
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(form_.para().ActiveLine, 0);
}

TEST_F(InsertionTest, PrefixFillsALineToItsLastByte) {
  Lines(std::string(98, 'i'), 98);
  form_.UpBiaoClick();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kFlin).size(), 100u);
}

// --- Serial number ----------------------------------------------------------------------------

TEST_F(InsertionTest, SerialPlaceholderGoesInAtTheUpperCaret) {
  Lines("AAAA", 2);
  form_.para().SavedCaret = 0;
  SerialAnswer(TXuhoForm::kDecimal, "1", "9");
  form_.XuhaoBitClick();
  EXPECT_EQ(ui_.serial_dialogs, 1);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Flin(), "AA№AA");
  EXPECT_EQ(Field(kXuLei), "序号0-999");
  EXPECT_EQ(Field(kXuFirst), "1");
  EXPECT_EQ(Field(kXuEnd), "9");
  // 4 x 24 + 1 place x 24 + 4 spacings x 4 + 48.
  EXPECT_EQ(t().Int(kUpLen), 184);
  EXPECT_EQ(t().TextAt(0, kFlin), gbk::Encode("AA№AA"));  // stored
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(Caret(Ctl::FlinEdit), 4);  // directly after the placeholder
  EXPECT_EQ(form_.para().SavedCaret, 4);
  EXPECT_EQ(form_.SelectorText(Ctl::XhlxEdit), "序号0-999");
  // The new series is a change of the Document: closing asks before dropping it.
  EXPECT_TRUE(form_.para().DocModified);
  form_.para().DocModified = false;

  // A second opening is a change of the series, and the text stays.
  ui_.serial_dialog = [](TXuhoForm& f) {
    EXPECT_FALSE(f.inserting());
    EXPECT_EQ(f.FEdit(), "1");
    f.EEditChange("50");
    f.YesBtnClick();
  };
  form_.XuhaoBitClick();
  EXPECT_EQ(Flin(), "AA№AA");
  EXPECT_EQ(Field(kXuEnd), "50");
  EXPECT_EQ(t().Int(kUpLen), 212);     // two places now
  EXPECT_EQ(Caret(Ctl::FlinEdit), 4);  // where it was
  EXPECT_TRUE(form_.para().DocModified);
}

TEST_F(InsertionTest, SerialPlaceholderGoesIntoTheLowerLineAtItsCaret) {
  form_.TypeText(Ctl::FlinEdit, "A");
  form_.TypeText(Ctl::SlinEdit, "AB");
  form_.SetCaret(Ctl::SlinEdit, 1);
  SerialAnswer(TXuhoForm::kCapitals, "a", "z");
  form_.XuhaoBitClick();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Flin(), "A");
  EXPECT_EQ(Slin(), "A№B");
  EXPECT_EQ(Field(kXuLei), "大写字母");
  EXPECT_EQ(Field(kXuFirst), "A");
  EXPECT_EQ(Field(kXuEnd), "Z");
  EXPECT_EQ(t().Int(kDnLen), 24 + 24 + 24 + 2 * 4 + 48);
  EXPECT_EQ(form_.focus(), Ctl::SlinEdit);
  EXPECT_EQ(Caret(Ctl::SlinEdit), 3);
}

TEST_F(InsertionTest, SerialThatNoLongerFitsChangesNothing) {
  SetInt(kPitchLen, 20);  // limit 220 dots
  Lines("AAAA", 4);
  SerialAnswer(TXuhoForm::kDecimal, "0", "9");
  form_.XuhaoBitClick();
  ASSERT_EQ(Flin(), "AAAA№");
  ASSERT_EQ(t().Int(kUpLen), 184);

  // Three places need 240 dots: refused, the old series stays.
  SerialAnswer(TXuhoForm::kDecimal, "0", "999");
  form_.XuhaoBitClick();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "段内容超长.");
  EXPECT_EQ(ui_.messages[0].caption, "提示");
  EXPECT_EQ(Field(kXuEnd), "9");
  EXPECT_EQ(t().Int(kUpLen), 184);
  EXPECT_EQ(Flin(), "AAAA№");
  ui_.messages.clear();

  // Nor does an insertion that would not fit: a new Segment of 15 mm (165 dots).
  form_.AppendClick();
  SetInt(kPitchLen, 15);
  Lines("AAAA", 4);
  SerialAnswer(TXuhoForm::kDecimal, "100", "1");
  form_.XuhaoBitClick();
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(Flin(), "AAAA");
  EXPECT_EQ(Field(kXuLei), "无序号");
  EXPECT_EQ(Field(kXuFirst), "");
}

TEST_F(InsertionTest, SerialPlaceholderNeverTakesALinePast100Bytes) {
  SetField(kZihao, "1 号");  // small enough that 99 bytes fit the length
  SetInt(kPitchLen, 0);
  Lines(std::string(99, 'i'), 99);
  SerialAnswer(TXuhoForm::kDecimal, "1", "2");
  form_.XuhaoBitClick();
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(t().Text(kFlin).size(), 99u);
  EXPECT_EQ(Field(kXuLei), "无序号");

  form_.SetCaret(Ctl::FlinEdit, 0);
  form_.PressDelete(Ctl::FlinEdit);
  form_.XuhaoBitClick();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kFlin).size(), 100u);
  EXPECT_EQ(Field(kXuLei), "序号0-999");
}

TEST_F(InsertionTest, GivingUpStoresTheSegmentAndKeepsTheSeries) {
  Lines("AB", 1);
  ui_.serial_dialog = [](TXuhoForm& f) {
    f.FEditChange("1");
    f.RetBtnClick();
  };
  form_.XuhaoBitClick();
  EXPECT_FALSE(t().CurrentIsNew());
  EXPECT_EQ(Flin(), "AB");
  EXPECT_EQ(Field(kXuLei), "无序号");
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(Caret(Ctl::FlinEdit), 1);
}

// --- Symbols ----------------------------------------------------------------------------------

TEST_F(InsertionTest, SymbolGoesInAtTheCaretUpToTheLengthLimit) {
  SetInt(kPitchLen, 24);  // limit 264 dots
  Lines("AAAAAA", 4);
  form_.para().DocModified = false;
  SymbolAnswer(2, 0, 2);  // A1 A2, twice
  form_.FuhaoBtnClick();
  EXPECT_EQ(ui_.symbol_pickers, 1);
  // 6 x 24 + 48 + 6 spacings x 4 + 48 = 264: exactly the limit, accepted.
  EXPECT_EQ(t().Text(kFlin),
            "AAAA\xA1\xA2"
            "AA");
  EXPECT_EQ(t().Int(kUpLen), 264);
  EXPECT_TRUE(form_.para().DocModified);
  // The second would need 316: refused, the caret back where it was.
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "段内容超长.");
  EXPECT_EQ(ui_.messages[0].caption, "提示");
  EXPECT_EQ(Caret(Ctl::FlinEdit), 6);
  EXPECT_EQ(form_.para().SavedCaret, 6);
}

TEST_F(InsertionTest, SymbolGoesIntoTheActiveLowerLine) {
  form_.TypeText(Ctl::FlinEdit, "A");
  form_.TypeText(Ctl::SlinEdit, "AB");
  form_.SetCaret(Ctl::SlinEdit, 0);
  SymbolAnswer(1, 0);  // A1 A1
  form_.FuhaoBtnClick();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kSlin),
            "\xA1\xA1"
            "AB");
  EXPECT_EQ(t().Text(kFlin), "A");
  EXPECT_EQ(t().Int(kDnLen), 48 + 24 + 24 + 2 * 4 + 48);
  EXPECT_EQ(Caret(Ctl::SlinEdit), 2);
}

TEST_F(InsertionTest, SymbolNeverTakesALinePast100Bytes) {
  SetField(kZihao, "1 号");
  SetInt(kPitchLen, 0);
  Lines(std::string(99, 'i'), 99);
  SymbolAnswer(1, 0);
  form_.FuhaoBtnClick();
  EXPECT_EQ(ui_.Take(), S{"段内容超长."});
  EXPECT_EQ(t().Text(kFlin).size(), 99u);

  form_.SetCaret(Ctl::FlinEdit, 99);
  form_.PressBackspace(Ctl::FlinEdit);
  form_.FuhaoBtnClick();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Text(kFlin), std::string(98, 'i') + "\xA1\xA1");
}

}  // namespace
}  // namespace qx
