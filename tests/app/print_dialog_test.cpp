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
  PrintDialogTest() : form_(ui_, printers_, devices_, job_) {
    form_.FormCreate();
    job_.StartRow = 1;
    job_.EndRow = 12;
  }
  std::vector<std::string> Labels() {
    std::vector<std::string> l;
    for (const DeviceEntry& e : form_.entries()) l.push_back(e.label);
    return l;
  }

  testing::ScriptedUi ui_;
  ListedPrinters printers_;
  DeviceTable devices_;
  PrintJob job_;
  TPrtSelForm form_;
};

TEST_F(PrintDialogTest, NoPrinterFound) {
  form_.FormActivate();
  EXPECT_EQ(form_.UsbSta(), "没有发现可用设备");
  EXPECT_EQ(form_.DevName(), "未知");
  EXPECT_FALSE(form_.ok_enabled());
  EXPECT_TRUE(form_.entries().empty());
  EXPECT_EQ(form_.EdPitch(), "本文件段落数量: 12");
  EXPECT_EQ(form_.StEdit(), "1");
  EXPECT_EQ(form_.EnEdit(), "12");
  // A printer plugged in afterwards is found by the refresh button.
  printers_.paths = {kQb20};
  form_.BitBtn1Click();
  EXPECT_EQ(form_.UsbSta(), "设备状态正常");
  EXPECT_EQ(form_.DevName(), "Kelmor QB20");
  EXPECT_TRUE(form_.ok_enabled());
}

TEST_F(PrintDialogTest, TwoPrintersListedAndChosen) {
  printers_.paths = {kQa11, kQb16i};
  form_.FormActivate();
  EXPECT_EQ(Labels(), (std::vector<std::string>{"USB#0", "USB#1"}));
  EXPECT_EQ(form_.selection(), 0);
  EXPECT_EQ(form_.DevName(), "Kelmor QA11");
  form_.UsbSelCBoxChange(1);
  EXPECT_EQ(form_.DevName(), "Kelmor QB16i");
  form_.OkBtnClick();
  EXPECT_EQ(form_.result(), TPrtSelForm::kResultOk);
  EXPECT_EQ(devices_.selected, 1);
  EXPECT_TRUE(devices_.open);
  EXPECT_EQ(printers_.opened, (std::vector<std::string>{kQb16i}));
}

TEST_F(PrintDialogTest, EntriesKeepTheirOwnSlotsWhenOneIsNotRecognised) {
  printers_.paths = {kQa11, kOther, kQb20};
  devices_.SetName(1, "old name");
  form_.FormActivate();
  EXPECT_EQ(Labels(), (std::vector<std::string>{"USB#0", "USB#2"}));
  EXPECT_EQ(devices_.Name(1), "old name");  // an unrecognised slot keeps its name
  form_.UsbSelCBoxChange(1);
  EXPECT_EQ(form_.DevName(), "Kelmor QB20");
  form_.OkBtnClick();
  EXPECT_EQ(devices_.selected, 2);
  EXPECT_EQ(printers_.opened, (std::vector<std::string>{kQb20}));
}

TEST_F(PrintDialogTest, OkWithoutAnEntryDoesNothing) {
  printers_.paths = {kOther, kQb20};  // slot 0 unknown: nothing is selected
  form_.FormActivate();
  EXPECT_TRUE(form_.ok_enabled());
  EXPECT_EQ(form_.selection(), -1);
  form_.OkBtnClick();
  EXPECT_EQ(form_.result(), 0);
  EXPECT_TRUE(printers_.opened.empty());
  EXPECT_FALSE(devices_.open);
}

TEST_F(PrintDialogTest, AFailedOpenIsSilent) {
  printers_.paths = {kQb20};
  printers_.open_fails = true;
  form_.FormActivate();
  form_.OkBtnClick();
  EXPECT_EQ(form_.result(), TPrtSelForm::kResultOk);
  EXPECT_FALSE(devices_.open);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PrintDialogTest, ActivationForgetsAHandleFromAnEarlierJob) {
  printers_.paths = {kQb20};
  form_.FormActivate();
  form_.OkBtnClick();
  ASSERT_TRUE(devices_.open);
  form_.FormActivate();
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
           {"5", "3", "2", true, 3, 5, 2},     // reversed range
           {"4", "40", "1", true, 4, 12, 1},   // end cut to the Document
           {"4", "8", "0", false, 1, 12, 1},   // all; 0 copies print once
       }) {
    SCOPED_TRACE(c.start + ".." + c.end);
    job_.StartRow = 1;
    job_.EndRow = 12;
    form_.FormActivate();
    if (c.range) form_.PrtRangeButClick(); else form_.PrtAllButClick();
    form_.StEditChange(c.start);
    form_.EnEditChange(c.end);
    form_.CntEditChange(c.copies);
    form_.OkBtnClick();
    EXPECT_EQ(job_.StartRow, c.want_start);
    EXPECT_EQ(job_.EndRow, c.want_end);
    EXPECT_EQ(job_.Copies, c.want_copies);
  }
  EXPECT_FALSE(job_.RepeatFirst);
  EXPECT_FALSE(form_.image1_in_front());
  form_.RepBtnClick();
  form_.OkBtnClick();
  EXPECT_TRUE(job_.RepeatFirst);
  EXPECT_TRUE(form_.image1_in_front());
  form_.XuhaoBtnClick();
  EXPECT_FALSE(form_.image1_in_front());
}

TEST_F(PrintDialogTest, NumberFieldsRefuseWhatIsNotAWholeNumber) {
  form_.FormActivate();  // end row 12
  form_.StEditChange("13");  // beyond the end row
  form_.StEditChange("");    // the last digit cannot be deleted
  form_.StEditChange("1a");
  EXPECT_EQ(form_.StEdit(), "1");
  form_.StEditChange("12");
  EXPECT_EQ(form_.StEdit(), "12");
  form_.EnEditChange("-3");
  EXPECT_EQ(form_.EnEdit(), "12");
  form_.CntEditChange("");
  EXPECT_EQ(form_.CntEdit(), "1");
  EXPECT_EQ(ui_.beeps, 5);
}

TEST_F(PrintDialogTest, UpDownStaysWithinOneToAHundred) {
  form_.CntUpDnClick(-1);
  EXPECT_EQ(form_.CntEdit(), "1");
  form_.CntEditChange("99");
  form_.CntUpDnClick(+1);
  form_.CntUpDnClick(+1);
  EXPECT_EQ(form_.CntEdit(), "100");
}

}  // namespace
}  // namespace qx
