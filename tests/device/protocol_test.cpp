// Both printer protocols and the job around them, against the virtual printers on a fake
// clock: message layouts and boundaries, buffers, resends, stops, faults and lost printers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "device/gen1.h"
#include "device/gen2.h"
#include "device/print_job.h"
#include "device/virtual/virtual_transport.h"
#include "support/print_fixture.h"

namespace qx {
namespace {

using testing::PrintDocument;
using testing::RecordingHost;
using testing::TestSegment;
using S = std::vector<std::string>;

// An item of `columns` columns with recognisable bytes.
ItemImage Item(uint16_t columns) {
  ItemImage it;
  it.LeadBlank = 24;
  it.TrailBlank = 24;
  it.ColumnCount = columns;
  it.columns.resize(std::size_t{columns} * kColumnBytes);
  for (std::size_t i = 0; i < it.columns.size(); ++i) it.columns[i] = static_cast<uint8_t>(i * 7 + 1);
  return it;
}

struct FaultCase {
  std::string printer;
  S texts;
  bool entered;  // whether the job got into its printing state
};

class ProtocolTest : public ::testing::Test {
 protected:
  // Each printer (with its fault) prints one Segment of four items: the messages shown,
  // whether the printing state was entered, and the printer never left claimed.
  void RunFaultCases(const std::vector<FaultCase>& cases) {
    for (const FaultCase& c : cases) {
      SCOPED_TRACE(c.printer);
      host_ = RecordingHost();
      Use(c.printer);
      doc_ = std::make_unique<PrintDocument>();
      doc_->Add({"A", "", 25, 4});
      Run();
      EXPECT_EQ(host_.Texts(), c.texts);
      EXPECT_EQ(!host_.events.empty(), c.entered);
      EXPECT_TRUE(P().violations().empty()) << P().violations().front();
      EXPECT_FALSE(d_.open) << "the printer is left claimed";
    }
  }

  void Use(std::string_view printers) {
    VirtualPrinterList l = ParseVirtualPrinters(printers);
    ASSERT_TRUE(l.ok()) << l.error;
    vt_ = std::make_unique<VirtualTransport>(host_.clock, std::move(l.printers), "");
  }
  // What the print dialog's OK does with the first printer.
  void OpenFirst() {
    EnumerateDevices(*vt_, d_);
    d_.selected = 0;
    d_.handle = vt_->OpenByPath(std::string(d_.Path(0)).c_str());
    d_.open = d_.handle != -1;
  }
  // A whole job over the Document (all rows).
  bool Run(int copies = 1) {
    job_.StartRow = 1;
    job_.EndRow = doc_->table.RowCount();
    job_.Copies = copies;
    OpenFirst();
    return RunDeviceJob(*vt_, d_, job_, doc_->Job(), host_, &counts_);
  }
  VirtualPrinter& P() { return vt_->printer(0); }
  // Trace lines that start with `prefix`.
  S Lines(std::string_view prefix) {
    S out;
    for (const std::string& l : P().trace())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  int Count(std::string_view prefix) { return static_cast<int>(Lines(prefix).size()); }
  // The vendor request codes in order, without status polls.
  S Requests() {
    S out;
    for (const std::string& l : Lines("vendor ")) {
      const std::string code = l.substr(7, l.find(' ', 7) - 7);
      if (code != "19") out.push_back(code);
    }
    return out;
  }
  void ExpectClean() {
    EXPECT_TRUE(P().violations().empty()) << P().violations().front();
    EXPECT_FALSE(d_.open);
    EXPECT_EQ(P().trace().back(), "close");
  }

  RecordingHost host_;
  std::unique_ptr<VirtualTransport> vt_;
  DeviceTable d_;
  PrintJob job_;
  std::unique_ptr<PrintDocument> doc_ = std::make_unique<PrintDocument>();
  WalkCounts counts_;
};

// A job that goes on from marker K sends exactly the markers K..N the whole job would
// send, in the same order, with the same serial values, over copies and in both orders.
TEST_F(ProtocolTest, AJobGoesOnFromTheFirstMarkerNotPrinted) {
  for (const char* printer : {"qb20", "qa11"}) {
    for (bool repeat_first : {false, true}) {
      SCOPED_TRACE(std::string(printer) + (repeat_first ? " repeat first" : " serial first"));
      auto run = [&](int from_item) {
        host_ = RecordingHost();
        Use(printer);
        doc_ = std::make_unique<PrintDocument>();
        doc_->Add({"A", "", 25, 2});
        doc_->Add({.upper_text = "B№", .serial = "序号0-999", .first = "7", .last = "9"});
        job_ = PrintJob();
        job_.RepeatFirst = repeat_first;
        job_.FromItem = from_item;
        EXPECT_TRUE(Run(/*copies=*/2));
        std::vector<std::vector<uint8_t>> images;
        for (const VirtualItem& item : P().jobs().at(0).items) images.push_back(item.image.columns);
        return images;
      };
      const auto whole = run(1);
      ASSERT_EQ(whole.size(), 10u);  // (2 + 3) markers, twice
      for (int k : {2, 6, 10}) {
        const auto rest = run(k);
        EXPECT_EQ(rest, decltype(whole)(whole.begin() + (k - 1), whole.end())) << "from " << k;
        EXPECT_EQ(counts_.sent, 11 - k);
      }
    }
  }
}

// --- Second generation ----------------------------------------------------------------

TEST_F(ProtocolTest, SecondGenerationJobFromEndToEnd) {
  Use("qb20:tube=104:label=117");
  doc_->file_state.MaterialCode = 2;
  doc_->file_state.CutCode = 2;
  doc_->Add({"A1", "", 25, 2});
  doc_->Add({"A2"});
  EXPECT_TRUE(Run(2));
  ExpectClean();
  EXPECT_EQ(host_.Texts(), S{"打印完成!"});
  EXPECT_EQ(host_.events, (S{"enter", "stop-enabled", "end"}));
  EXPECT_EQ(job_.calibration.TubeCalibration, 104);
  EXPECT_EQ(job_.calibration.LabelCalibration, 117);
  ASSERT_EQ(P().jobs().size(), 1u);
  const VirtualJob& j = P().jobs()[0];
  EXPECT_EQ(j.material, 2);
  EXPECT_EQ(j.cut, 2);
  EXPECT_EQ(j.density, 4);
  EXPECT_EQ(j.end, JobEnd::kFinished);
  ASSERT_EQ(j.items.size(), 6u);
  std::string rows, buffers;
  for (const VirtualItem& i : j.items) {
    rows += std::to_string(i.row);
    buffers += std::to_string(i.buffer);
    EXPECT_TRUE(i.printed);
  }
  EXPECT_EQ(rows, "112112");
  EXPECT_EQ(buffers, "010101");  // buffers alternate, also across copies
  // Set-up, density, start, one print request per item (22 and 23 alternating), the end
  // of data exactly once, the reset.
  EXPECT_EQ(Requests(), (S{"24", "25", "16", "22", "23", "22", "23", "22", "23", "17", "20"}));
  // The first item is the one the layout built; lengths use the reported calibration.
  ItemImage want;
  doc_->table.First();
  SegmentValues v;
  DecodePrintValues(doc_->table, 2, job_.calibration, v);
  ASSERT_EQ(MakeItem(doc_->builder, LayoutContext{doc_->measurer, v, doc_->file_state}, "A1", "", want),
            ItemResult::kBuilt);
  EXPECT_EQ(j.items[0].image.columns, want.columns);
  EXPECT_EQ(j.items[0].image.LeadBlank, want.LeadBlank);
  EXPECT_EQ(host_.progress.back(), std::make_pair(6, 6));
}

TEST_F(ProtocolTest, SecondGenerationMessageBoundaries) {
  // 486 image bytes fit the first message; every further 508 bytes take one more.
  for (const auto& [columns, messages] : std::vector<std::pair<uint16_t, int>>{
           {40, 1}, {41, 2}, {82, 2}, {83, 3}}) {
    SCOPED_TRACE(columns);
    job_ = PrintJob();
    Use("qb20");
    OpenFirst();
    Gen2Printer g(*vt_, d_, job_, host_);
    ASSERT_TRUE(g.Open(5, 1));
    ASSERT_TRUE(g.StartJob(4));
    ASSERT_TRUE(g.SendSegment(Item(columns), 7));
    EXPECT_EQ(Count("bulk-out 512 "), messages);
    const S out = Lines("bulk-out 512 ");
    // Offsets of the following messages: 508, 1016, ... little-endian.
    if (messages == 3) {
      EXPECT_EQ(out[2].substr(13, 8), "0100f803");
    }
    EXPECT_TRUE(P().violations().empty()) << P().violations().front();
    EXPECT_EQ(P().jobs().back().items.back().image.columns, Item(columns).columns);
  }
}

TEST_F(ProtocolTest, AWrongChecksumEchoIsResentOnceWithoutAMessage) {
  Use("qb20:echo=once");
  doc_->Add({"A"});
  EXPECT_TRUE(Run());
  EXPECT_EQ(host_.Texts(), S{"打印完成!"});
  EXPECT_EQ(Count("bulk-out 512 "), 2);  // one message and its resend
  ExpectClean();
}

TEST_F(ProtocolTest, AnEchoThatStaysWrongEndsTheJob) {
  Use("qb20:echo=always");
  doc_->Add({"A"});
  EXPECT_FALSE(Run());
  // Two tries, a reopen, two more tries; then the job resets the printer.
  EXPECT_EQ(Count("bulk-out 512 "), 4);
  EXPECT_EQ(host_.Texts(), (S{"通讯中断", "打印终止!"}));
  EXPECT_FALSE(d_.open);
}

TEST_F(ProtocolTest, SecondGenerationStopWhileWaitingForABuffer) {
  Use("qb20:speed=real");  // items take their time: the host waits for buffers
  doc_->Add({"A", "", 25, 6});
  host_.on_wait = [&] {
    if (P().jobs().size() == 1 && P().jobs()[0].items.size() == 3 && !job_.StopRequested &&
        Count("vendor 18 ") == 0)
      job_.StopRequested = true;
  };
  EXPECT_FALSE(Run());
  EXPECT_EQ(Count("vendor 18 "), 1);
  EXPECT_FALSE(job_.StopRequested);
  // After the stop the device was closed, reopened and reset.
  const S req = Requests();
  EXPECT_EQ(std::vector<std::string>(req.end() - 2, req.end()), (S{"18", "20"}));
  EXPECT_EQ(host_.Texts(), S{"打印终止!"});  // a stopped job has not finished
  EXPECT_EQ(P().jobs()[0].end, JobEnd::kStopped);
  EXPECT_LT(P().jobs()[0].items.size(), 6u);
  ExpectClean();
}

TEST_F(ProtocolTest, SecondGenerationStopAtTheEndOfTheJob) {
  Use("qb20:hang=finish");  // would never finish on its own
  doc_->Add({"A"});
  host_.on_wait = [&] {
    if (Count("vendor 17 ") == 1 && !job_.StopRequested && Count("vendor 18 ") == 0)
      job_.StopRequested = true;
  };
  EXPECT_FALSE(Run());  // stopped: not everything was printed
  EXPECT_EQ(Count("vendor 17 "), 1);  // sent once, however long the printer takes
  EXPECT_EQ(Count("vendor 18 "), 1);
  EXPECT_EQ(host_.Texts(), S{"打印终止!"});
}

// A second-generation printer whose job never ends, not even when stopped.
class StuckPrinter final : public Transport {
 public:
  int requests18 = 0;
  int32_t EnumrateDevs(DevicePaths& p) override {
    std::snprintf(p[0].data(), p[0].size(), "stuck:vid_5d29&pid_2029");
    return 1;
  }
  int32_t OpenByPath(const char*) override { return 1; }
  int32_t BulkWrite(int32_t, const uint8_t* data, int32_t length, uint32_t) override {
    sum_ = 0;
    for (int i = 4; i < length; ++i) sum_ = static_cast<uint16_t>(sum_ + data[i]);
    return length;
  }
  int32_t BulkRead(int32_t, uint8_t* data, int32_t length, uint32_t) override {
    std::fill(data, data + length, 0);
    data[1] = static_cast<uint8_t>(sum_ & 0xFF);
    data[2] = static_cast<uint8_t>(sum_ >> 8);
    return length;
  }
  int32_t VendorReq(int32_t, uint8_t request, uint16_t, StatusBlock& s, uint32_t) override {
    if (request == gen2::kStop) ++requests18;
    s = {0x00, 0x04, gen2::kDone | gen2::kAccepted, 0, 110, 0, 110, 0};  // job active
    return 8;
  }
  int32_t CloseHandle(int32_t) override { return 0; }

 private:
  uint16_t sum_ = 0;
};

TEST_F(ProtocolTest, APrinterThatNeverEndsAfterAStopIsGivenUp) {
  StuckPrinter stuck;
  EnumerateDevices(stuck, d_);
  d_.handle = stuck.OpenByPath("");
  d_.open = true;
  doc_->Add({"A"});
  job_.EndRow = 1;
  host_.on_wait = [&] {
    if (host_.clock.NowMs() > 60000 && stuck.requests18 == 0) job_.StopRequested = true;
  };
  // The stop is sent, but the job-active bit never clears: the job ends anyway.
  EXPECT_FALSE(RunDeviceJob(stuck, d_, job_, doc_->Job(), host_));
  EXPECT_EQ(stuck.requests18, 1);
  EXPECT_EQ(host_.Texts(), (S{"设备无响应", "打印终止!"}));
  EXPECT_EQ(host_.events.back(), "end");
  EXPECT_FALSE(d_.open);
}

TEST_F(ProtocolTest, SecondGenerationFaultMessages) {
  const std::vector<FaultCase> cases{
      // At the printer check.
      {"qb20:fault=busy", {"设备忙，稍后再试"}, false},
      {"qb20:fault=no-ribbon-cassette", {"没检测到色带盒"}, false},
      {"qb20:fault=ribbon-out", {"色带用完，请更换"}, false},
      {"qb20:fault=no-label-cassette", {"没检测到贴纸盒"}, false},
      {"qb20:fault=labels-out", {"贴纸用完，请更换"}, false},
      {"qb20:fault=cover-open", {"上盖未盖好"}, false},
      {"qb20:fault=material-out", {"测不到打印材料"}, false},
      {"qb20:fault=no-response", {"设备无响应"}, false},
      // At the job start.
      {"qb20:fault=setup-rejected", {"信息通信出错"}, true},
      {"qb20:fault=cover-open@start", {"上盖异常打开"}, true},
      {"qb20:fault=material-out@start", {"测不到打印材料"}, true},
      {"qb20:fault=no-ribbon@start", {"光电检测不到色带"}, true},
      {"qb20:fault=feed-failed", {"自动进管失败"}, true},
      // While printing: the fault, then the reset reports the end.
      {"qb20:fault=ribbon-out@2", {"当前色带余量为0,打印终止!", "打印终止!"}, true},
      {"qb20:fault=no-ribbon@2", {"色带用完，打印终止!", "打印终止!"}, true},
      {"qb20:fault=labels-out@2", {"贴纸用完，请更换", "打印终止!"}, true},
      {"qb20:fault=cover-open@2", {"上盖异常打开,打印终止!", "打印终止!"}, true},
      {"qb20:fault=material-out@2", {"耗材用完,打印终止!", "打印终止!"}, true},
      {"qb20:fault=ended@2", {"打印终止!"}, true},
      // At the end of the job.
      {"qb20:fault=ribbon-out@finish", {"当前色带余量为0,打印终止!", "打印终止!"}, true},
      {"qb20:fault=labels-out@finish", {"贴纸用完，请更换", "打印终止!"}, true},
  };
  RunFaultCases(cases);
}

TEST_F(ProtocolTest, SecondGenerationReopensAfterAFailedTransfer) {
  Use("qb20:fail=item2");
  doc_->Add({"A", "", 25, 3});
  EXPECT_TRUE(Run());
  EXPECT_EQ(host_.Texts(), S{"打印完成!"});
  EXPECT_EQ(Count("open "), 2);
  EXPECT_EQ(P().jobs()[0].items.size(), 3u);
}

TEST_F(ProtocolTest, SecondGenerationPrinterUnpluggedDuringTheJob) {
  Use("qb20:unplug=item2");
  doc_->Add({"A", "", 25, 3});
  EXPECT_FALSE(Run());
  // The resend cannot reopen it; the job's own reopen before the reset fails too.
  EXPECT_EQ(host_.Texts(), (S{"通讯中断!", "通讯中断!"}));
  EXPECT_EQ(host_.events.back(), "end");
  EXPECT_FALSE(d_.open);
}

// Image lengths that are not whole columns never come from the builder; the message
// counts still follow the byte boundaries exactly.
class CountingPrinter final : public Transport {
 public:
  std::vector<int> writes;  // lengths
  int32_t EnumrateDevs(DevicePaths&) override { return 0; }
  int32_t OpenByPath(const char*) override { return 1; }
  int32_t BulkWrite(int32_t, const uint8_t* data, int32_t length, uint32_t) override {
    writes.push_back(length);
    sum_ = 0;
    for (int i = 4; i < length; ++i) sum_ = static_cast<uint16_t>(sum_ + data[i]);
    return length;
  }
  int32_t BulkRead(int32_t, uint8_t* data, int32_t length, uint32_t) override {
    std::fill(data, data + length, 0);
    data[1] = static_cast<uint8_t>(sum_ & 0xFF);
    data[2] = static_cast<uint8_t>(sum_ >> 8);
    return length;
  }
  int32_t VendorReq(int32_t, uint8_t, uint16_t, StatusBlock& s, uint32_t) override {
    s = {0x00, 0x04, 0, 0, 0, 0, 0, 0};  // job active, both buffers free
    return 8;
  }
  int32_t CloseHandle(int32_t) override { return 0; }
  int Count(int length) const { return static_cast<int>(std::count(writes.begin(), writes.end(), length)); }

 private:
  uint16_t sum_ = 0;
};

TEST_F(ProtocolTest, MessageCountsAtTheExactByteBoundaries) {
  ItemImage item;
  for (const auto& [bytes, data_messages] :
       std::vector<std::pair<std::size_t, int>>{{60, 1}, {61, 2}, {120, 2}, {121, 3}}) {
    CountingPrinter p;
    d_.handle = 1;
    d_.open = true;
    job_.FirstSegment = true;
    item.columns.assign(bytes, 0x5A);
    Gen1Printer g(p, d_, job_, host_);
    ASSERT_TRUE(g.SendSegment(item)) << bytes;
    EXPECT_EQ(p.Count(64), data_messages) << bytes;
  }
  for (const auto& [bytes, messages] : std::vector<std::pair<std::size_t, int>>{
           {486, 1}, {487, 2}, {994, 2}, {995, 3}}) {
    CountingPrinter p;
    d_.handle = 1;
    d_.open = true;
    item.columns.assign(bytes, 0x5A);
    Gen2Printer g(p, d_, job_, host_);
    ASSERT_TRUE(g.SendSegment(item, 1)) << bytes;
    EXPECT_EQ(p.Count(512), messages) << bytes;
  }
}

// --- First generation -----------------------------------------------------------------

TEST_F(ProtocolTest, FirstGenerationJobFromEndToEnd) {
  Use("qa11");
  doc_->file_state.MaterialCode = 5;
  doc_->file_state.CutCode = 1;
  doc_->Add({"A1", "", 25, 2});
  doc_->Add({"A2"});
  EXPECT_TRUE(Run(2));
  ExpectClean();
  EXPECT_EQ(host_.Texts(), S{"打印完成!"});
  // Material 5 with half cut: the set-up byte is 0x51.
  EXPECT_EQ(Lines("bulk-out 5 "), S{"bulk-out 5 0106000651"});
  // Command 12 once, after the first item; command 14 at the end; 11 closes.
  EXPECT_EQ(Count("bulk-out 4 010c000c"), 1);
  EXPECT_EQ(Count("bulk-out 4 010e000e"), 1);
  EXPECT_EQ(Count("bulk-out 4 010b000b"), 1);
  const S out = Lines("bulk-out ");
  const auto first_end = std::find_if(out.begin(), out.end(), [](const std::string& l) {
    return l.rfind("bulk-out 4 01", 0) == 0 && l.substr(17, 2) == "16";
  });
  ASSERT_NE(first_end, out.end());
  EXPECT_EQ(*(first_end + 1), "bulk-out 4 010c000c");
  ASSERT_EQ(P().jobs().size(), 1u);
  EXPECT_EQ(P().jobs()[0].items.size(), 6u);
  EXPECT_EQ(P().jobs()[0].end, JobEnd::kFinished);
}

TEST_F(ProtocolTest, FirstGenerationBlocksAndTheirNumbers) {
  for (const auto& [columns, blocks] :
       std::vector<std::pair<uint16_t, int>>{{5, 1}, {6, 2}, {1300, 260}}) {
    SCOPED_TRACE(columns);
    job_ = PrintJob();
    Use("qa11");
    OpenFirst();
    job_.FirstSegment = true;
    Gen1Printer g(*vt_, d_, job_, host_);
    ASSERT_TRUE(g.Open(5, 1));
    ASSERT_TRUE(g.SendSegment(Item(columns)));
    ASSERT_EQ(Count("bulk-out 64 "), blocks);
    const S data = Lines("bulk-out 64 ");
    EXPECT_EQ(data[0].substr(12, 8), "01000015");
    if (blocks > 256) {
      EXPECT_EQ(data[256].substr(12, 8), "01010015");  // block 256
    }
    EXPECT_TRUE(P().violations().empty()) << P().violations().front();
    EXPECT_EQ(P().jobs().back().items.back().image.columns, Item(columns).columns);
  }
}

TEST_F(ProtocolTest, FirstGenerationUsesTheBufferThePrinterNames) {
  Use("qa11:speed=real");
  doc_->Add({"A", "", 25, 4});
  EXPECT_TRUE(Run());
  std::string buffers;
  for (const VirtualItem& i : P().jobs()[0].items) buffers += std::to_string(i.buffer);
  EXPECT_NE(buffers.find('1'), std::string::npos);
  EXPECT_EQ(buffers[0], '0');
  EXPECT_EQ(host_.Texts(), S{"打印完成!"});
}

TEST_F(ProtocolTest, FirstGenerationStop) {
  Use("qa11:speed=real");
  doc_->Add({"A", "", 25, 8});
  host_.on_wait = [&] {
    if (P().jobs().size() == 1 && P().jobs()[0].items.size() == 3 &&
        Count("bulk-out 4 010d000d") == 0)
      job_.StopRequested = true;
  };
  EXPECT_FALSE(Run());
  EXPECT_EQ(Count("bulk-out 4 010d000d"), 1);  // command 13
  EXPECT_EQ(host_.Texts(), S{"打印终止!"});
  EXPECT_EQ(Count("bulk-out 4 010b000b"), 1);  // command 11
  EXPECT_EQ(P().jobs()[0].end, JobEnd::kStopped);
  ExpectClean();
}

TEST_F(ProtocolTest, FirstGenerationFaultMessages) {
  const std::vector<FaultCase> cases{
      {"qa11:fault=busy", {"设备忙,稍后再试"}, false},
      {"qa11:fault=no-ribbon-cassette", {"没有色带盒!"}, false},
      {"qa11:fault=no-ribbon", {"没有色带!"}, false},
      {"qa11:fault=cover-open", {"上盖未盖好!"}, false},
      {"qa11:fault=setup-rejected", {"设置材料错误!"}, false},
      {"qa11:fault=ribbon-out@2", {"色带用完,打印终止!"}, true},
      {"qa11:fault=cover-open@2", {"上盖异常打开,打印终止!"}, true},
      {"qa11:fault=ended@2", {"打印终止!"}, true},
      {"qa11:fault=finished@2", {"打印终止!"}, true},  // while items are still to be sent
      {"qa11:fault=cover-open@finish", {"上盖异常打开,打印终止!"}, true},
  };
  RunFaultCases(cases);
}

TEST_F(ProtocolTest, FirstGenerationRetriesAMessageAfterAPauseAndAReopen) {
  Use("qa11:fail=item2");
  doc_->Add({"A", "", 25, 3});
  const uint64_t before = host_.clock.NowMs();
  EXPECT_TRUE(Run());
  EXPECT_GE(host_.clock.NowMs() - before, 6000u);  // the pause before the second try
  EXPECT_EQ(host_.Texts(), S{"打印完成!"});
  EXPECT_EQ(Count("open "), 2);
  EXPECT_EQ(P().jobs()[0].items.size(), 3u);
}

TEST_F(ProtocolTest, FirstGenerationPrinterLostWhileTheJobWaitsForIt) {
  Use("qa11:hang=finish");
  doc_->Add({"A"});
  host_.on_wait = [&] {
    if (Count("bulk-out 4 010e000e") == 1 && P().connected()) P().Unplug();
  };
  EXPECT_FALSE(Run());
  EXPECT_EQ(host_.Texts(), S{"通讯中断"});
  EXPECT_EQ(host_.events.back(), "end");
}

TEST_F(ProtocolTest, AnUnknownOrUnopenedPrinterEndsBeforePrinting) {
  Use("qb20");
  doc_->Add({"A"});
  job_.EndRow = 1;
  EXPECT_FALSE(RunDeviceJob(*vt_, d_, job_, doc_->Job(), host_));  // not opened
  EXPECT_EQ(host_.messages, S{"|打开设备出错"});
  OpenFirst();
  d_.SetName(0, "Someone Else");
  host_.messages.clear();
  EXPECT_FALSE(RunDeviceJob(*vt_, d_, job_, doc_->Job(), host_));
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_TRUE(host_.events.empty());
  EXPECT_FALSE(d_.open);
}

}  // namespace
}  // namespace qx
