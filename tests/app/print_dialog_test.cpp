#include "app/print_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/scripted_ui.h"

namespace qx {
namespace {

// A transport that only lists paths and opens them (handle = slot + 1).
class ListedPrinters final : public Transport {
 public:
  std::vector<std::string> paths;
  std::vector<std::string> opened;
  bool open_fails = false;
  int32_t EnumrateDevs(DevicePaths& out) override {
    for (std::size_t i = 0; i < paths.size() && i < out.size(); ++i)
      std::strncpy(out[i].data(), paths[i].c_str(), out[i].size() - 1);
    return static_cast<int32_t>(std::min<std::size_t>(paths.size(), 4));
  }
  int32_t OpenByPath(const char* path) override {
    opened.emplace_back(path);
    if (open_fails) return -1;
    for (std::size_t i = 0; i < paths.size(); ++i)
      if (paths[i] == path) return static_cast<int32_t>(i + 1);
    return -1;
  }
  int32_t BulkWrite(int32_t, const uint8_t*, int32_t, uint32_t) override { return -1; }
  int32_t BulkRead(int32_t, uint8_t*, int32_t, uint32_t) override { return -1; }
  int32_t VendorReq(int32_t, uint8_t, uint16_t, StatusBlock&, uint32_t) override { return -1; }
  int32_t CloseHandle(int32_t) override {
    ++closed;
    return 0;
  }
  int closed = 0;
};

constexpr const char* kQa11 = "usb:vid_0471&pid_0666@1-1";
constexpr const char* kQb20 = "usb:vid_5d29&pid_2029@1-2";
constexpr const char* kQb16i = "usb:vid_5d29&pid_202b@1-3";
constexpr const char* kOther = "usb:vid_1234&pid_5678@1-4";

class PrintDialogTest : public ::testing::Test {
 protected:
  PrintDialogTest() : dialog_(ui_, printers_, devices_, job_) {
    dialog_.Start();
    job_.StartRow = 1;
    job_.EndRow = 12;
  }
  std::vector<std::string> Labels() {
    std::vector<std::string> l;
    for (const DeviceEntry& e : dialog_.entries()) l.push_back(e.label);
    return l;
  }

  testing::ScriptedUi ui_;
  ListedPrinters printers_;
  DeviceTable devices_;
  PrintJob job_;
  PrintDialog dialog_;
};

TEST_F(PrintDialogTest, NoPrinterFound) {
  dialog_.OnActivated();
  EXPECT_EQ(dialog_.usb_status(), "没有发现可用设备");
  EXPECT_EQ(dialog_.device_name(), "未知");
  EXPECT_FALSE(dialog_.ok_enabled());
  EXPECT_TRUE(dialog_.entries().empty());
  EXPECT_EQ(dialog_.segment_count_text(), "本文件段落数量: 12");
  EXPECT_EQ(dialog_.first_row_text(), "1");
  EXPECT_EQ(dialog_.last_row_text(), "12");
  // A printer plugged in afterwards is found by the refresh button.
  printers_.paths = {kQb20};
  dialog_.OnRefreshButton();
  EXPECT_EQ(dialog_.usb_status(), "设备状态正常");
  EXPECT_EQ(dialog_.device_name(), "Kelmor QB20");
  EXPECT_TRUE(dialog_.ok_enabled());
}

TEST_F(PrintDialogTest, TwoPrintersListedAndChosen) {
  printers_.paths = {kQa11, kQb16i};
  dialog_.OnActivated();
  EXPECT_EQ(Labels(), (std::vector<std::string>{"USB#0", "USB#1"}));
  EXPECT_EQ(dialog_.selection(), 0);
  EXPECT_EQ(dialog_.device_name(), "Kelmor QA11");
  dialog_.OnPrinterChosen(1);
  EXPECT_EQ(dialog_.device_name(), "Kelmor QB16i");
  dialog_.OnOkButton();
  EXPECT_EQ(dialog_.result(), PrintDialog::kResultOk);
  EXPECT_EQ(devices_.selected, 1);
  EXPECT_TRUE(devices_.open);
  EXPECT_EQ(printers_.opened, (std::vector<std::string>{kQb16i}));
}

TEST_F(PrintDialogTest, EntriesKeepTheirOwnSlotsWhenOneIsNotRecognised) {
  printers_.paths = {kQa11, kOther, kQb20};
  devices_.SetName(1, "old name");
  dialog_.OnActivated();
  EXPECT_EQ(Labels(), (std::vector<std::string>{"USB#0", "USB#2"}));
  EXPECT_EQ(devices_.Name(1), "old name");  // an unrecognised slot keeps its name
  dialog_.OnPrinterChosen(1);
  EXPECT_EQ(dialog_.device_name(), "Kelmor QB20");
  dialog_.OnOkButton();
  EXPECT_EQ(devices_.selected, 2);
  EXPECT_EQ(printers_.opened, (std::vector<std::string>{kQb20}));
}

TEST_F(PrintDialogTest, OkWithoutAnEntryDoesNothing) {
  printers_.paths = {kOther, kQb20};  // slot 0 unknown: nothing is selected
  dialog_.OnActivated();
  EXPECT_TRUE(dialog_.ok_enabled());
  EXPECT_EQ(dialog_.selection(), -1);
  dialog_.OnOkButton();
  EXPECT_EQ(dialog_.result(), 0);
  EXPECT_TRUE(printers_.opened.empty());
  EXPECT_FALSE(devices_.open);
}

TEST_F(PrintDialogTest, AFailedOpenIsSilent) {
  printers_.paths = {kQb20};
  printers_.open_fails = true;
  dialog_.OnActivated();
  dialog_.OnOkButton();
  EXPECT_EQ(dialog_.result(), PrintDialog::kResultOk);
  EXPECT_FALSE(devices_.open);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PrintDialogTest, ActivationForgetsAHandleFromAnEarlierJob) {
  printers_.paths = {kQb20};
  dialog_.OnActivated();
  dialog_.OnOkButton();
  ASSERT_TRUE(devices_.open);
  dialog_.OnActivated();
  EXPECT_FALSE(devices_.open);
  EXPECT_EQ(printers_.closed, 1);  // closed, not leaked: the printer can be claimed again
}

TEST_F(PrintDialogTest, RangeCopiesAndOrder) {
  printers_.paths = {kQb20};
  struct Case {
    std::string start, end, copies;
    bool range;
    int want_start, want_end, want_copies;
  };
  for (const Case& c : std::vector<Case>{
           {"5", "3", "2", true, 3, 5, 2},    // reversed range
           {"4", "40", "1", true, 4, 12, 1},  // end cut to the Document
           {"4", "8", "0", false, 1, 12, 1},  // all; 0 copies print once
       }) {
    SCOPED_TRACE(c.start + ".." + c.end);
    job_.StartRow = 1;
    job_.EndRow = 12;
    dialog_.OnActivated();
    if (c.range)
      dialog_.OnRangeChosen();
    else
      dialog_.OnAllRowsChosen();
    dialog_.OnFirstRowEdited(c.start);
    dialog_.OnLastRowEdited(c.end);
    dialog_.OnCopiesEdited(c.copies);
    dialog_.OnOkButton();
    EXPECT_EQ(job_.StartRow, c.want_start);
    EXPECT_EQ(job_.EndRow, c.want_end);
    EXPECT_EQ(job_.Copies, c.want_copies);
  }
  EXPECT_FALSE(job_.RepeatFirst);
  EXPECT_FALSE(dialog_.repeat_first_picture_shown());
  dialog_.OnRepeatFirstChosen();
  dialog_.OnOkButton();
  EXPECT_TRUE(job_.RepeatFirst);
  EXPECT_TRUE(dialog_.repeat_first_picture_shown());
  dialog_.OnSerialFirstChosen();
  EXPECT_FALSE(dialog_.repeat_first_picture_shown());
}

TEST_F(PrintDialogTest, NumberFieldsRefuseWhatIsNotAWholeNumber) {
  dialog_.OnActivated();           // end row 12
  dialog_.OnFirstRowEdited("13");  // beyond the end row
  dialog_.OnFirstRowEdited("");    // the last digit cannot be deleted
  dialog_.OnFirstRowEdited("1a");
  EXPECT_EQ(dialog_.first_row_text(), "1");
  dialog_.OnFirstRowEdited("12");
  EXPECT_EQ(dialog_.first_row_text(), "12");
  dialog_.OnLastRowEdited("-3");
  EXPECT_EQ(dialog_.last_row_text(), "12");
  dialog_.OnCopiesEdited("");
  EXPECT_EQ(dialog_.copies_text(), "1");
  EXPECT_EQ(ui_.beeps, 5);
}

TEST_F(PrintDialogTest, UpDownStaysWithinOneToAHundred) {
  dialog_.OnCopiesStep(-1);
  EXPECT_EQ(dialog_.copies_text(), "1");
  dialog_.OnCopiesEdited("99");
  dialog_.OnCopiesStep(+1);
  dialog_.OnCopiesStep(+1);
  EXPECT_EQ(dialog_.copies_text(), "100");
}

// The figures follow the copies and the range; one copy of each range is measured once.
TEST_F(PrintDialogTest, FiguresFollowCopiesAndRange) {
  std::vector<std::pair<int, int>> measured;
  dialog_.SetFiguresSource([&](int first, int last) {
    measured.emplace_back(first, last);
    return JobFigures{.items = 10 * (last - first + 1), .metres = 0.2 * (last - first + 1)};
  });
  dialog_.OnActivated();
  EXPECT_EQ(dialog_.figures_text(), "共 120 个标记, 约 2.4 米");
  dialog_.OnCopiesStep(+1);
  EXPECT_EQ(dialog_.figures_text(), "共 240 个标记, 约 4.8 米");
  dialog_.OnCopiesEdited("3");
  EXPECT_EQ(dialog_.figures_text(), "共 360 个标记, 约 7.2 米");
  dialog_.OnCopiesEdited("3x");  // refused: the figures stay
  EXPECT_EQ(dialog_.figures_text(), "共 360 个标记, 约 7.2 米");
  dialog_.OnRangeChosen();
  dialog_.OnFirstRowEdited("11");
  EXPECT_EQ(dialog_.figures_text(), "共 60 个标记, 约 1.2 米");  // rows 11-12, 3 copies
  dialog_.OnLastRowEdited("5");  // a reversed range is taken the right way round
  EXPECT_EQ(dialog_.figures_text(), "共 210 个标记, 约 4.2 米");
  dialog_.OnAllRowsChosen();
  EXPECT_EQ(dialog_.figures_text(), "共 360 个标记, 约 7.2 米");
  EXPECT_EQ(measured, (std::vector<std::pair<int, int>>{{1, 12}, {11, 12}, {5, 11}, {1, 12}}));
}

}  // namespace
}  // namespace qx
