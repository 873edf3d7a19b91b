// The serial-number dialog on its own: how it fills itself from the current Segment, the
// editors' case and length rules, and the checks of its values before it hands a series
// to the main window.
#include "app/serial_dialog.h"

#include <gtest/gtest.h>

#include "document/gbk.h"
#include "support/scripted_ui.h"

namespace qx {
namespace {

using testing::ScriptedUi;
using Field = SerialNumberDialog::Field;

class SerialDialogTest : public ::testing::Test {
 protected:
  SerialDialogTest()
      : dialog_(ui_, SerialDialogHost{[this] { return current_; },
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
    dialog_.OnTypeChosen(type);
    dialog_.OnFirstEdited(first);
    dialog_.OnLastEdited(last);
  }

  ScriptedUi ui_;
  SerialSeries current_{gbk::Encode("无序号"), "", "", 0};
  std::vector<SerialSeries> committed_;
  std::vector<bool> inserts_;
  bool accept_ = true;
  int give_ups_ = 0;
  SerialNumberDialog dialog_;
};

TEST_F(SerialDialogTest, SegmentWithoutSeriesOpensForInsertion) {
  dialog_.OnActivated();
  EXPECT_TRUE(dialog_.inserting());
  EXPECT_EQ(dialog_.yes_caption(), "插入序号");
  EXPECT_EQ(dialog_.type_index(), SerialNumberDialog::kDecimal);
  EXPECT_EQ(SerialNumberDialog::kTypes[static_cast<std::size_t>(dialog_.type_index())],
            "序号0-999");
  EXPECT_EQ(dialog_.first_text(), "");
  EXPECT_EQ(dialog_.last_text(), "");
  EXPECT_EQ(dialog_.max_length(), 3);
  EXPECT_EQ(dialog_.letter_case(), SerialNumberDialog::Case::kAsTyped);
  EXPECT_EQ(dialog_.focus(), Field::kFirst);
}

TEST_F(SerialDialogTest, SegmentWithSeriesOpensForChangeWithItsValues) {
  struct Case {
    const char* type;
    int index, max_length;
    SerialNumberDialog::Case letter_case;
  };
  for (const Case& c : {Case{"序号0-999", 3, 3, SerialNumberDialog::Case::kAsTyped},
                        Case{"序号000-999", 2, 3, SerialNumberDialog::Case::kAsTyped},
                        Case{"大写字母", 0, 1, SerialNumberDialog::Case::kUpper},
                        Case{"小写字母", 1, 1, SerialNumberDialog::Case::kLower}}) {
    SCOPED_TRACE(c.type);
    Current(c.type, "7", "42");
    dialog_.OnActivated();
    EXPECT_FALSE(dialog_.inserting());
    EXPECT_EQ(dialog_.yes_caption(), "修改序号");
    EXPECT_EQ(dialog_.type_index(), c.index);
    EXPECT_EQ(dialog_.first_text(), "7");
    EXPECT_EQ(dialog_.last_text(), "42");
    EXPECT_EQ(dialog_.max_length(), c.max_length);
    EXPECT_EQ(dialog_.letter_case(), c.letter_case);
    EXPECT_EQ(dialog_.focus(), Field::kFirst);
  }
  // Shown again for a Segment without series, it starts afresh.
  Current("无序号", "", "");
  dialog_.OnActivated();
  EXPECT_TRUE(dialog_.inserting());
  EXPECT_EQ(dialog_.first_text(), "");
  EXPECT_EQ(dialog_.type_index(), SerialNumberDialog::kDecimal);
}

TEST_F(SerialDialogTest, LetterTypesForceTheCaseAndTakeOneCharacter) {
  dialog_.OnActivated();
  dialog_.OnTypeChosen(SerialNumberDialog::kCapitals);
  dialog_.OnFirstEdited("a");
  EXPECT_EQ(dialog_.first_text(), "A");
  dialog_.OnFirstEdited("Ab");  // a second character does not go in
  EXPECT_EQ(dialog_.first_text(), "A");
  dialog_.OnLastEdited("z");
  dialog_.OnInsertOrChangeButton();
  ASSERT_EQ(committed_.size(), 1u);
  EXPECT_EQ(gbk::ToUtf8(committed_[0].type), "大写字母");
  EXPECT_EQ(committed_[0].first, "A");
  EXPECT_EQ(committed_[0].last, "Z");
  EXPECT_EQ(committed_[0].width, 1);
  EXPECT_TRUE(inserts_[0]);
  EXPECT_EQ(dialog_.result(), SerialNumberDialog::kResultDone);
  EXPECT_TRUE(ui_.messages.empty());

  dialog_.OnActivated();
  dialog_.OnTypeChosen(SerialNumberDialog::kSmall);
  dialog_.OnFirstEdited("Q");
  EXPECT_EQ(dialog_.first_text(), "q");
}

TEST_F(SerialDialogTest, ChangingTheTypeKeepsTheTexts) {
  dialog_.OnActivated();
  Enter(SerialNumberDialog::kDecimal, "12", "345");
  dialog_.OnTypeChosen(SerialNumberDialog::kCapitals);
  EXPECT_EQ(dialog_.first_text(), "12");
  EXPECT_EQ(dialog_.last_text(), "345");
  EXPECT_EQ(dialog_.max_length(), 1);
  // Too long for the new type, such a text may still shrink, but not grow.
  dialog_.OnFirstEdited("123");
  EXPECT_EQ(dialog_.first_text(), "12");
  dialog_.OnFirstEdited("1");
  EXPECT_EQ(dialog_.first_text(), "1");
  // The check then refuses what is not a capital letter, and empties that editor.
  dialog_.OnInsertOrChangeButton();
  EXPECT_EQ(ui_.Take(), std::vector<std::string>{"请输入大写字母."});
  EXPECT_EQ(dialog_.first_text(), "");
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
  dialog_.OnActivated();
  Enter(r.type, r.first, r.last);
  dialog_.OnInsertOrChangeButton();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, r.message);
  EXPECT_EQ(ui_.messages[0].caption, "错误提示");
  EXPECT_EQ(dialog_.focus(), r.focus);
  EXPECT_EQ(dialog_.first_text(), r.first_after);
  EXPECT_EQ(dialog_.last_text(), r.last_after);
  EXPECT_EQ(dialog_.result(), 0);
  EXPECT_TRUE(committed_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, SerialRefusalTest,
    ::testing::Values(Refusal{"NoFirst", SerialNumberDialog::kDecimal, "", "9", "请输入起始序号.",
                              Field::kFirst, "", "9"},
                      Refusal{"FirstNotNumber", SerialNumberDialog::kDecimal, "12a", "9",
                              "请输入数字.", Field::kFirst, "", "9"},
                      Refusal{"FirstNegative", SerialNumberDialog::kDecimal, "-5", "9",
                              "数字范围:0-999.", Field::kFirst, "-5", "9"},
                      Refusal{"NoLast", SerialNumberDialog::kPadded, "1", "", "请输入结束序号.",
                              Field::kLast, "1", ""},
                      Refusal{"LastNotNumber", SerialNumberDialog::kPadded, "1", "x", "请输入数字.",
                              Field::kLast, "1", ""},
                      Refusal{"LastNegative", SerialNumberDialog::kDecimal, "1", "-1",
                              "数字范围:0-999.", Field::kLast, "1", "-1"},
                      Refusal{"FirstNotCapital", SerialNumberDialog::kCapitals, "1", "B",
                              "请输入大写字母.", Field::kFirst, "", "B"},
                      Refusal{"NoFirstLetter", SerialNumberDialog::kCapitals, "", "B",
                              "请输入大写字母.", Field::kFirst, "", "B"},
                      Refusal{"LastNotSmall", SerialNumberDialog::kSmall, "a", "",
                              "请输入小写字母.", Field::kLast, "a", ""}),
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
    dialog_.OnActivated();
    Enter(SerialNumberDialog::kPadded, c.first, c.last);
    dialog_.OnInsertOrChangeButton();
    ASSERT_EQ(committed_.size(), 1u);
    EXPECT_EQ(committed_[0].width, c.width);
    EXPECT_EQ(gbk::ToUtf8(committed_[0].type), "序号000-999");
    EXPECT_EQ(dialog_.result(), SerialNumberDialog::kResultDone);
  }
  EXPECT_EQ(committed_[0].first, "5");  // the plus sign is not stored
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SerialDialogTest, ChangeModeHandsOverAChangeAndARefusedFitKeepsTheDialogOpen) {
  Current("序号0-999", "1", "9");
  dialog_.OnActivated();
  accept_ = false;  // the window finds that the line no longer fits
  dialog_.OnLastEdited("999");
  dialog_.OnInsertOrChangeButton();
  ASSERT_EQ(inserts_, std::vector<bool>{false});
  EXPECT_EQ(committed_[0].width, 3);
  EXPECT_EQ(dialog_.result(), 0);
  EXPECT_EQ(dialog_.last_text(), "999");  // ready for correction

  dialog_.OnReturnButton();
  EXPECT_EQ(give_ups_, 1);
  EXPECT_EQ(dialog_.result(), SerialNumberDialog::kResultReturn);
}

}  // namespace
}  // namespace qx
