// The serial-number dialog on its own: how it fills itself from the current Segment, the
// editors' case and length rules, and the checks of its values before it hands a series
// to the main window.
#include "app/serial_dialog.h"

#include <gtest/gtest.h>

#include "app/messages.h"
#include "document/gbk.h"
#include "support/scripted_ui.h"

namespace qx {
namespace {

using testing::ScriptedUi;
using Field = TXuhoForm::Field;

class SerialDialogTest : public ::testing::Test {
 protected:
  SerialDialogTest()
      : form_(ui_, SerialDialogHost{[this] { return current_; },
                                    [this](const SerialSeries& s, bool insert) {
                                      committed_.push_back(s);
                                      inserts_.push_back(insert);
                                      return accept_;
                                    },
                                    [this] { ++give_ups_; }}) {}

  void Current(std::string_view type, std::string_view first, std::string_view last) {
    current_ = {gbk::Encode(type), gbk::Encode(first), gbk::Encode(last), 0};
  }
  // The operator picks a type and types the two values.
  void Enter(int type, std::string_view first, std::string_view last) {
    form_.XhlxBoxChange(type);
    form_.FEditChange(first);
    form_.EEditChange(last);
  }

  ScriptedUi ui_;
  SerialSeries current_{gbk::Encode("无序号"), "", "", 0};
  std::vector<SerialSeries> committed_;
  std::vector<bool> inserts_;
  bool accept_ = true;
  int give_ups_ = 0;
  TXuhoForm form_;
};

TEST_F(SerialDialogTest, SegmentWithoutSeriesOpensForInsertion) {
  form_.FormActivate();
  EXPECT_TRUE(form_.inserting());
  EXPECT_EQ(form_.yes_caption(), "插入序号");
  EXPECT_EQ(form_.type_index(), TXuhoForm::kDecimal);
  EXPECT_EQ(TXuhoForm::kTypes[static_cast<std::size_t>(form_.type_index())], "序号0-999");
  EXPECT_EQ(form_.FEdit(), "");
  EXPECT_EQ(form_.EEdit(), "");
  EXPECT_EQ(form_.max_length(), 3);
  EXPECT_EQ(form_.letter_case(), TXuhoForm::Case::kAsTyped);
  EXPECT_EQ(form_.focus(), Field::kFEdit);
}

TEST_F(SerialDialogTest, SegmentWithSeriesOpensForChangeWithItsValues) {
  struct Case {
    const char* type;
    int index, max_length;
    TXuhoForm::Case letter_case;
  };
  for (const Case& c : {Case{"序号0-999", 3, 3, TXuhoForm::Case::kAsTyped},
                        Case{"序号000-999", 2, 3, TXuhoForm::Case::kAsTyped},
                        Case{"大写字母", 0, 1, TXuhoForm::Case::kUpper},
                        Case{"小写字母", 1, 1, TXuhoForm::Case::kLower}}) {
    SCOPED_TRACE(c.type);
    Current(c.type, "7", "42");
    form_.FormActivate();
    EXPECT_FALSE(form_.inserting());
    EXPECT_EQ(form_.yes_caption(), "修改序号");
    EXPECT_EQ(form_.type_index(), c.index);
    EXPECT_EQ(form_.FEdit(), "7");
    EXPECT_EQ(form_.EEdit(), "42");
    EXPECT_EQ(form_.max_length(), c.max_length);
    EXPECT_EQ(form_.letter_case(), c.letter_case);
    EXPECT_EQ(form_.focus(), Field::kFEdit);
  }
  // Shown again for a Segment without series, it starts afresh.
  Current("无序号", "", "");
  form_.FormActivate();
  EXPECT_TRUE(form_.inserting());
  EXPECT_EQ(form_.FEdit(), "");
  EXPECT_EQ(form_.type_index(), TXuhoForm::kDecimal);
}

TEST_F(SerialDialogTest, LetterTypesForceTheCaseAndTakeOneCharacter) {
  form_.FormActivate();
  form_.XhlxBoxChange(TXuhoForm::kCapitals);
  form_.FEditChange("a");
  EXPECT_EQ(form_.FEdit(), "A");
  form_.FEditChange("Ab");  // a second character does not go in
  EXPECT_EQ(form_.FEdit(), "A");
  form_.EEditChange("z");
  form_.YesBtnClick();
  ASSERT_EQ(committed_.size(), 1u);
  EXPECT_EQ(gbk::ToUtf8(committed_[0].type), "大写字母");
  EXPECT_EQ(committed_[0].first, "A");
  EXPECT_EQ(committed_[0].last, "Z");
  EXPECT_EQ(committed_[0].width, 1);
  EXPECT_TRUE(inserts_[0]);
  EXPECT_EQ(form_.result(), TXuhoForm::kResultDone);
  EXPECT_TRUE(ui_.messages.empty());

  form_.FormActivate();
  form_.XhlxBoxChange(TXuhoForm::kSmall);
  form_.FEditChange("Q");
  EXPECT_EQ(form_.FEdit(), "q");
}

TEST_F(SerialDialogTest, ChangingTheTypeKeepsTheTexts) {
  form_.FormActivate();
  Enter(TXuhoForm::kDecimal, "12", "345");
  form_.XhlxBoxChange(TXuhoForm::kCapitals);
  EXPECT_EQ(form_.FEdit(), "12");
  EXPECT_EQ(form_.EEdit(), "345");
  EXPECT_EQ(form_.max_length(), 1);
  // Too long for the new type, such a text may still shrink, but not grow.
  form_.FEditChange("123");
  EXPECT_EQ(form_.FEdit(), "12");
  form_.FEditChange("1");
  EXPECT_EQ(form_.FEdit(), "1");
  // The check then refuses what is not a capital letter, and empties that editor.
  form_.YesBtnClick();
  EXPECT_EQ(ui_.Take(), std::vector<std::string>{"请输入大写字母."});
  EXPECT_EQ(form_.FEdit(), "");
  EXPECT_TRUE(committed_.empty());
}

struct Refusal {
  const char* name;
  int type;
  const char* first;
  const char* last;
  const char* message;
  Field focus;
  const char* first_after;  // what the editors hold afterwards
  const char* last_after;
};

class SerialRefusalTest : public SerialDialogTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SerialRefusalTest, RefusedWithErrorCaptionAndTheDialogStaysOpen) {
  const Refusal& r = GetParam();
  form_.FormActivate();
  Enter(r.type, r.first, r.last);
  form_.YesBtnClick();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, r.message);
  EXPECT_EQ(ui_.messages[0].caption, "错误提示");
  EXPECT_EQ(form_.focus(), r.focus);
  EXPECT_EQ(form_.FEdit(), r.first_after);
  EXPECT_EQ(form_.EEdit(), r.last_after);
  EXPECT_EQ(form_.result(), 0);
  EXPECT_TRUE(committed_.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, SerialRefusalTest,
                         ::testing::Values(Refusal{"NoFirst", TXuhoForm::kDecimal, "", "9",
                                                   "请输入起始序号.", Field::kFEdit, "", "9"},
                                           Refusal{"FirstNotNumber", TXuhoForm::kDecimal, "12a",
                                                   "9", "请输入数字.", Field::kFEdit, "", "9"},
                                           Refusal{"FirstNegative", TXuhoForm::kDecimal, "-5", "9",
                                                   "数字范围:0-999.", Field::kFEdit, "-5", "9"},
                                           Refusal{"NoLast", TXuhoForm::kPadded, "1", "",
                                                   "请输入结束序号.", Field::kEEdit, "1", ""},
                                           Refusal{"LastNotNumber", TXuhoForm::kPadded, "1", "x",
                                                   "请输入数字.", Field::kEEdit, "1", ""},
                                           Refusal{"LastNegative", TXuhoForm::kDecimal, "1", "-1",
                                                   "数字范围:0-999.", Field::kEEdit, "1", "-1"},
                                           Refusal{"FirstNotCapital", TXuhoForm::kCapitals, "1",
                                                   "B", "请输入大写字母.", Field::kFEdit, "", "B"},
                                           Refusal{"NoFirstLetter", TXuhoForm::kCapitals, "", "B",
                                                   "请输入大写字母.", Field::kFEdit, "", "B"},
                                           Refusal{"LastNotSmall", TXuhoForm::kSmall, "a", "",
                                                   "请输入小写字母.", Field::kEEdit, "a", ""}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(SerialDialogTest, WidthComesFromTheLargerValueInEitherOrder) {
  struct Case {
    const char* first;
    const char* last;
    int width;
  };
  for (const Case& c :
       {Case{"5", "120", 3}, Case{"120", "5", 3}, Case{"0", "9", 1}, Case{"10", "3", 2},
        Case{"99", "99", 2}, Case{"007", "100", 3}, Case{"+5", "8", 1}}) {
    SCOPED_TRACE(std::string(c.first) + ".." + c.last);
    committed_.clear();
    form_.FormActivate();
    Enter(TXuhoForm::kPadded, c.first, c.last);
    form_.YesBtnClick();
    ASSERT_EQ(committed_.size(), 1u);
    EXPECT_EQ(committed_[0].width, c.width);
    EXPECT_EQ(gbk::ToUtf8(committed_[0].type), "序号000-999");
    EXPECT_EQ(form_.result(), TXuhoForm::kResultDone);
  }
  EXPECT_EQ(committed_[0].first, "5");  // the plus sign is not stored
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SerialDialogTest, ChangeModeHandsOverAChangeAndARefusedFitKeepsTheDialogOpen) {
  Current("序号0-999", "1", "9");
  form_.FormActivate();
  accept_ = false;  // the window finds that the line no longer fits
  form_.EEditChange("999");
  form_.YesBtnClick();
  ASSERT_EQ(inserts_, std::vector<bool>{false});
  EXPECT_EQ(committed_[0].width, 3);
  EXPECT_EQ(form_.result(), 0);
  EXPECT_EQ(form_.EEdit(), "999");  // ready for correction

  form_.RetBtnClick();
  EXPECT_EQ(give_ups_, 1);
  EXPECT_EQ(form_.result(), TXuhoForm::kResultReturn);
}

}  // namespace
}  // namespace qx
