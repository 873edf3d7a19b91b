// The first-generation virtual printer driven by hand through the transport.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "device/virtual/virtual_transport.h"
#include "host_messages.h"
#include "layout/tape.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::Bytes;
using testing::ExpectSameItem;
using testing::G1Command;
using testing::G1Data;
using testing::G1End;
using testing::G1Header;
using testing::G1SetUp;
using testing::Link;
using testing::Reply;
using testing::TestItem;

VirtualPrinterConfig Qa11(std::string_view options = "") {
  return testing::ParsedPrinter("qa11" + std::string(options));
}

class FirstGeneration : public testing::VirtualPrinterTest {
 protected:
  void Start(VirtualPrinterConfig config = Qa11(), std::filesystem::path dir = {}) {
    VirtualPrinterTest::Start(std::move(config), std::move(dir));
  }

  Reply Send(const Bytes& m) {
    const auto r = link().Exchange(m);
    EXPECT_TRUE(r) << (printer().violations().empty() ? "" : printer().violations().back());
    return r.value_or(Reply{0xEE});
  }
  uint8_t Cmd(uint8_t code) { return Send(G1Command(code))[0]; }
  // Commands 1, 5 and 7 and the set-up, as a job starts.
  void OpenJob(int material = 5, int cut = 1) {
    ASSERT_EQ(Cmd(1), 0);
    Cmd(5);
    ASSERT_EQ(Cmd(7), 0);
    ASSERT_EQ(Send(G1SetUp(material, cut))[0], 12);
  }
  // The first item of a job, then command 12.
  void FirstItem(const ItemImage& it) {
    ASSERT_TRUE(link().SendG1(it, 0));
    Cmd(12);
  }
  // Polls until the printer frees a buffer or reports an end state; the buffer, or -1.
  int WaitBuffer(uint8_t* state = nullptr) {
    for (int i = 0; i < 20; ++i) {
      const Reply r = Send(G1Command(4));
      if (state) *state = r[0];
      if (r[0] == 0 || r[0] == 2 || r[0] == 4 || r[0] == 8 || r[0] == 16) return -1;
      if (r[1] == 1 || r[1] == 11) return 0;
      if (r[1] == 10) return 1;
    }
    return -1;
  }

};

TEST_F(FirstGeneration, CorrectJobDecodesItemsAndDrawsTheTape) {
  testing::TempDir dir;
  Start(Qa11(":tube=104:label=112"), dir.path());
  const ItemImage items[] = {TestItem(24, 30, 5, 1), TestItem(10, 10, 6, 2), TestItem(0, 3, 40, 3)};

  ASSERT_EQ(Cmd(1), 0);
  const Reply calibration = Send(G1Command(5));
  EXPECT_EQ(calibration[0], 104);  // tube
  EXPECT_EQ(calibration[1], 112);  // label
  ASSERT_EQ(Cmd(7), 0);
  ASSERT_EQ(Send(G1SetUp(5, 1))[0], 12);
  FirstItem(items[0]);
  for (int k = 1; k < 3; ++k) {
    const int buffer = WaitBuffer();
    ASSERT_EQ(buffer, 0);  // both free at once: code 11
    ASSERT_TRUE(link().SendG1(items[k], buffer));
  }
  Cmd(14);
  EXPECT_EQ(Cmd(4), 1);  // the first poll after the end still shows printing
  EXPECT_EQ(Cmd(4), 0);
  Cmd(11);
  EXPECT_EQ(link().Close(), 0);

  EXPECT_TRUE(printer().violations().empty());
  ASSERT_EQ(printer().jobs().size(), 1u);
  const VirtualJob& j = job();
  EXPECT_EQ(j.material, 5);
  EXPECT_EQ(j.cut, 1);
  EXPECT_EQ(j.end, JobEnd::kFinished);
  ASSERT_EQ(j.items.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    ExpectSameItem(j.items[k].image, items[k]);
    EXPECT_EQ(j.items[k].buffer, 0);
    EXPECT_TRUE(j.items[k].printed);
  }

  ASSERT_FALSE(j.picture.empty());
  const auto png = ReadPng(j.picture);
  ASSERT_TRUE(png);
  const RgbImage expected = RenderJobTape(j);
  EXPECT_EQ(png->width, 59 + 26 + 43 + 2);
  EXPECT_EQ(png->rgb, expected.rgb);
  EXPECT_EQ(png->Get(59, 0), kTapeHalfCut);  // half cut between items 1 and 2
  EXPECT_EQ(png->Get(59, 4), kTapeBlank);
  EXPECT_EQ(png->Get(0, 50), kTapeBlank);

  std::ifstream file(printer().trace_file());
  std::stringstream text;
  text << file.rdbuf();
  std::string joined;
  for (const std::string& line : printer().trace()) joined += line + "\n";
  EXPECT_EQ(text.str(), joined);
  EXPECT_EQ(printer().trace().back(), "close");
  const auto& trace = printer().trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "job-end 1 finished 3"), trace.end());
}

TEST_F(FirstGeneration, BlockNumbersAbove255AndBufferOne) {
  Start();
  OpenJob(1, 0);
  const ItemImage big = TestItem(3, 3, 1285, 9);  // 15420 bytes: blocks 0 to 256
  const std::vector<Bytes> data = G1Data(big, 1);
  ASSERT_EQ(data.size(), 257u);
  EXPECT_EQ(data[256][1], 0x81);
  EXPECT_EQ(data[256][2], 0x00);
  FirstItem(big);  // FirstItem sends to buffer 0; a second item goes to buffer 1 below
  ASSERT_EQ(WaitBuffer(), 0);
  ASSERT_TRUE(link().SendG1(big, 1));
  EXPECT_TRUE(printer().violations().empty());
  ASSERT_EQ(job().items.size(), 2u);
  ExpectSameItem(job().items[1].image, big);
  EXPECT_EQ(job().items[1].buffer, 1);
}

TEST_F(FirstGeneration, AtRealSpeedBuffersAlternateAndFreeWithTime) {
  Start(Qa11(":speed=real"));
  OpenJob();
  const ItemImage a = TestItem(24, 30, 5, 1);  // 59 dots: 167 ms at 30 mm/s
  const ItemImage b = TestItem(10, 10, 6, 2);  // 26 dots: 74 ms
  FirstItem(a);
  Reply r = Send(G1Command(4));
  EXPECT_EQ(r[0], 1);
  EXPECT_EQ(r[1], 10);  // buffer 0 is being printed
  ASSERT_TRUE(link().SendG1(b, 1));
  EXPECT_EQ(Send(G1Command(4))[1], 0);  // both taken: wait

  EXPECT_LT(link().Write(G1Header(b, 0)), 0);  // an image only goes into a free buffer
  ASSERT_EQ(printer().violations().size(), 1u);
  EXPECT_EQ(printer().violations()[0], "image header for buffer 0, which is not free");

  clock_.Advance(166);
  EXPECT_EQ(Send(G1Command(4))[1], 0);
  clock_.Advance(1);
  EXPECT_EQ(Send(G1Command(4))[1], 1);
  EXPECT_TRUE(job().items[0].printed);
  EXPECT_FALSE(job().items[1].printed);
  Cmd(14);
  EXPECT_EQ(Cmd(4), 1);
  clock_.Advance(73);
  EXPECT_EQ(Cmd(4), 1);
  clock_.Advance(1);
  EXPECT_EQ(Cmd(4), 0);
  EXPECT_TRUE(job().items[1].printed);
}

TEST_F(FirstGeneration, StopFinishesTheItemUnderTheHeadAndDropsTheRest) {
  Start(Qa11(":speed=real"));
  OpenJob();
  FirstItem(TestItem(24, 30, 5, 1));
  ASSERT_EQ(WaitBuffer(), 1);
  ASSERT_TRUE(link().SendG1(TestItem(10, 10, 6, 2), 1));
  Cmd(13);
  EXPECT_EQ(Cmd(4), 1);
  clock_.Advance(167);
  EXPECT_EQ(Cmd(4), 16);
  Cmd(11);
  EXPECT_EQ(job().end, JobEnd::kStopped);
  EXPECT_TRUE(job().items[0].printed);
  EXPECT_FALSE(job().items[1].printed);
  EXPECT_TRUE(printer().violations().empty());
}

// A job whose every item was refused by the layout sends its data end straight after the
// set-up; the printer ends it as finished with nothing on the tape, and the next job runs.
TEST_F(FirstGeneration, AJobWithoutItemsIsAcceptedAndFinishes) {
  testing::TempDir dir;
  Start(Qa11(), dir.path());
  OpenJob();
  EXPECT_EQ(Cmd(14), 1);
  EXPECT_EQ(Cmd(4), 1);  // the first poll after the end still shows printing
  EXPECT_EQ(Cmd(4), 0);
  Cmd(11);
  EXPECT_TRUE(printer().violations().empty()) << printer().violations().front();
  ASSERT_EQ(printer().jobs().size(), 1u);
  EXPECT_EQ(job().end, JobEnd::kFinished);
  EXPECT_TRUE(job().items.empty());
  EXPECT_TRUE(job().picture.empty());
  const std::vector<std::string>& trace = printer().trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "job-end 1 finished 0"), trace.end());

  OpenJob();
  FirstItem(TestItem(2, 2, 5, 1));
  Cmd(14);
  EXPECT_EQ(Cmd(4), 1);
  EXPECT_EQ(Cmd(4), 0);
  Cmd(11);
  EXPECT_TRUE(printer().violations().empty()) << printer().violations().front();
  EXPECT_EQ(job().end, JobEnd::kFinished);
  EXPECT_FALSE(job().picture.empty());
}

TEST_F(FirstGeneration, NeverFinishingPrinterStillStops) {
  Start(Qa11(":hang=finish"));
  OpenJob();
  FirstItem(TestItem(1, 1, 5, 1));
  Cmd(14);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Cmd(4), 1);
  Cmd(13);
  EXPECT_EQ(Cmd(4), 1);
  EXPECT_EQ(Cmd(4), 16);
}

// Every message below breaks the protocol: its transfer fails and the violation says why.
TEST_F(FirstGeneration, ProtocolViolationsFailTheTransfer) {
  const ItemImage a = TestItem(2, 2, 5, 1);  // one data block
  const ItemImage b = TestItem(2, 2, 6, 2);  // two data blocks
  auto with = [](Bytes m, std::size_t at, uint8_t v) {
    m[at] = v;
    return m;
  };
  Bytes swapped = G1Header(b, 0);  // header fields low byte first, as the other generation
  const auto le = b.HeaderBytes("Kelmor QB20");
  std::copy(le.begin(), le.end(), swapped.begin() + 4);
  Bytes extra_block = G1Data(b, 0)[1];
  extra_block[1] = 0;
  extra_block[2] = 1;

  enum Ready { kOpened, kSetUp, kFirstItem, kPrinting };
  const struct {
    Ready ready;
    std::vector<Bytes> before;
    Bytes bad;
    const char* says;
  } cases[] = {
      {kOpened, {}, {1, 4, 0, 4, 0, 0, 0}, "message of 7 bytes (expected 4, 5, 23 or 64)"},
      {kOpened, {}, {1, 4, 0, 5}, "command message 01 04 00 05 has two different codes"},
      {kOpened, {}, {2, 4, 0, 4}, "message 02 04 00 04 does not start 01 xx 00"},
      {kOpened, {}, {1, 6, 0, 6}, "command 6 of 4 bytes (only command 6 has the fifth byte)"},
      {kOpened, {}, {1, 4, 0, 4, 0}, "command 4 of 5 bytes"},
      {kOpened, {}, G1SetUp(8, 0), "set-up byte 80: material must be 1 to 7"},
      {kOpened, {}, G1SetUp(1, 3), "set-up byte 13: material must be 1 to 7 and cut code 0 to 2"},
      {kOpened, {}, G1Command(9), "unknown command 9"},
      {kOpened, {}, G1Command(12), "command 12 without a set-up (command 6)"},
      {kOpened, {}, G1Header(a, 0), "image header without a set-up (command 6)"},
      {kSetUp, {}, with(G1Header(a, 0), 22, 5), "header byte 22 is 05 (expected 00)"},
      {kSetUp, {}, with(G1Header(a, 0), 3, 21), "header message starts 01 00 00 15"},
      {kSetUp, {}, G1Data(a, 0)[0], "data block 0 without an image header"},
      {kSetUp, {G1Header(b, 0)}, G1Data(b, 0)[1], "data block 1 out of order (expected 0)"},
      {kSetUp,
       {G1Header(b, 0)},
       G1Data(b, 1)[0],
       "data block for buffer 1 inside the image for buffer 0"},
      {kSetUp,
       {G1Header(a, 0), G1Data(a, 0)[0]},
       extra_block,
       "data block 1 past the image end (the image has 1 blocks)"},
      {kSetUp,
       {G1Header(b, 0), G1Data(b, 0)[0]},
       with(G1Data(b, 0)[1], 63, 1),
       "data block 1 has bytes other than zero past the image end"},
      {kSetUp, {G1Header(b, 0), G1Data(b, 0)[0]}, G1End(0), "end message after 1 of 2 data blocks"},
      {kSetUp,
       {G1Header(b, 0), G1Data(b, 0)[0]},
       G1End(1),
       "end message for buffer 1 after the image for buffer 0"},
      {kSetUp,
       {swapped, G1Data(b, 0)[0], G1Data(b, 0)[1]},
       G1End(0),
       "end message after 2 of 308 data blocks"},
      {kSetUp,
       {G1Header(b, 0)},
       G1Command(4),
       "command 4 while the image for buffer 0 is incomplete"},
      {kSetUp,
       {G1Header(b, 0)},
       G1Header(a, 1),
       "image header for buffer 1 while the image for buffer 0 is incomplete"},
      {kSetUp, {}, G1Command(4), "command 4 (status) before printing started with command 12"},
      {kSetUp, {}, G1Command(12), "command 12 before the first image was complete"},
      {kSetUp, {}, G1Command(13), "command 13 (stop) before printing started with command 12"},
      {kFirstItem, {}, G1Header(b, 1), "second image before printing started with command 12"},
      {kFirstItem, {}, G1Command(14), "command 14 before printing started with command 12"},
      {kPrinting, {}, G1Command(12), "command 12 sent twice in a job"},
      {kPrinting, {G1Command(14)}, G1Command(14), "command 14 sent twice in a job"},
      {kPrinting, {G1Command(14)}, G1Header(b, 0), "image header after command 14"},
      {kPrinting, {G1Command(13)}, G1Header(b, 0), "image header after a stop (command 13)"},
      {kPrinting, {G1Command(13)}, G1Command(14), "command 14 after a stop (command 13)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    Start();
    if (c.ready >= kSetUp) OpenJob();
    if (c.ready >= kFirstItem) {
      ASSERT_TRUE(link().SendG1(a, 0));
    }
    if (c.ready >= kPrinting) Cmd(12);
    for (const Bytes& m : c.before) Send(m);
    ASSERT_TRUE(printer().violations().empty());
    EXPECT_LT(link().Write(c.bad), 0);
    ASSERT_EQ(printer().violations().size(), 1u);
    EXPECT_EQ(printer().violations()[0].rfind(c.says, 0), 0u) << printer().violations()[0];
    EXPECT_EQ(printer().trace().back(), "error " + printer().violations()[0]);
    EXPECT_FALSE(link().Read()) << "a failed message leaves nothing to read";
  }
}

TEST_F(FirstGeneration, TransferRules) {
  Start();
  EXPECT_FALSE(link().Read());
  EXPECT_GE(link().Write(G1Command(1)), 0);
  EXPECT_FALSE(link().Read(8));
  EXPECT_GE(link().Write(G1Command(1)), 0);
  EXPECT_LT(link().Write(G1Command(5)), 0);
  EXPECT_FALSE(link().Vendor(19));
  const std::vector<std::string> expected = {
      "read without a message to answer",
      "read of 8 bytes (replies are 16 bytes)",
      "message written before the reply to the previous one was read",
      "vendor request 19 to a first-generation printer (it takes bulk messages only)",
  };
  EXPECT_EQ(printer().violations(), expected);
}

TEST_F(FirstGeneration, FaultsShownWhileOpening) {
  const struct {
    const char* fault;
    uint8_t command;
    uint8_t state;
  } cases[] = {
      {"busy", 1, 12},      {"no-ribbon-cassette", 7, 2}, {"no-ribbon", 7, 4},
      {"ribbon-out", 7, 4}, {"cover-open", 7, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Start(Qa11(std::string(":fault=") + c.fault));
    EXPECT_EQ(Cmd(5), 110);
    EXPECT_EQ(Cmd(c.command), c.state);
    if (c.command == 7) {
      EXPECT_EQ(Cmd(7), c.state) << "the fault stays until the printer is closed";
    }
    ASSERT_EQ(link().Close(), 0);
    Reopen();
    EXPECT_EQ(Cmd(c.command), 0) << "reported and closed: gone";
  }
}

TEST_F(FirstGeneration, SetUpRejected) {
  Start(Qa11(":fault=setup-rejected"));
  ASSERT_EQ(Cmd(1), 0);
  EXPECT_EQ(Send(G1SetUp(2, 0))[0], 0);
  ASSERT_EQ(printer().jobs().size(), 1u);
  EXPECT_EQ(job().end, JobEnd::kFault);
  EXPECT_EQ(job().fault, FaultKind::kSetupRejected);
  ASSERT_EQ(link().Close(), 0);  // as the host does after the refusal
  Reopen();
  ASSERT_EQ(Cmd(1), 0);
  EXPECT_EQ(Send(G1SetUp(2, 0))[0], 12) << "rejected once";
}

TEST_F(FirstGeneration, FaultsWhilePrintingHaltTheTape) {
  const struct {
    const char* fault;
    uint8_t state;
    std::size_t sent, printed;  // items sent before the fault showed, items on the tape
  } cases[] = {
      {"no-ribbon-cassette@1", 2, 1, 0}, {"ribbon-out@2", 4, 2, 1},
      {"cover-open@3", 8, 3, 2},         {"ended@2", 16, 2, 1},
      {"finished@2", 0, 2, 1},           {"cover-open@finish", 8, 3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Start(Qa11(std::string(":fault=") + c.fault));
    OpenJob();
    FirstItem(TestItem(2, 2, 5, 1));
    uint8_t state = 1;
    for (int k = 2; k <= 3 && state == 1; ++k) {
      const int buffer = WaitBuffer(&state);
      if (buffer >= 0) {
        ASSERT_TRUE(link().SendG1(TestItem(2, 2, 5, 1), buffer));
      }
    }
    if (state == 1) {
      Cmd(14);
      state = Cmd(4);
    }
    EXPECT_EQ(state, c.state);
    Cmd(11);
    EXPECT_EQ(job().items.size(), c.sent);
    EXPECT_EQ(std::count_if(job().items.begin(), job().items.end(),
                            [](const VirtualItem& it) { return it.printed; }),
              static_cast<long>(c.printed));
    EXPECT_EQ(job().end, JobEnd::kFault);
    EXPECT_TRUE(printer().violations().empty());
  }
}

TEST_F(FirstGeneration, FailedTransfersAndResends) {
  // Transfers: command 1 = 1 and 2, 5 = 3 and 4, 7 = 5 and 6, set-up = 7 and 8, header 9
  // and 10, data block 0 11 and 12 (failed), again 13 and 14, block 1 15 and 16, end 17
  // and 18 (failed).
  Start(Qa11(":fail=12:fail=18:fail=item2*2"));
  const ItemImage a = TestItem(4, 4, 6, 1), b = TestItem(1, 2, 7, 2);
  OpenJob();
  ASSERT_TRUE(link().Exchange(G1Header(a, 0)));
  const Bytes block0 = G1Data(a, 0)[0];
  EXPECT_FALSE(link().Exchange(block0));  // its reply is lost
  EXPECT_EQ(printer().trace()[printer().trace().size() - 2], "bulk-in 16 -");
  EXPECT_EQ(printer().trace().back(), "failed injected failure");
  ASSERT_TRUE(link().Exchange(block0));  // resent: taken once
  ASSERT_TRUE(link().Exchange(G1Data(a, 0)[1]));
  EXPECT_FALSE(link().Exchange(G1End(0)));
  ASSERT_TRUE(link().Exchange(G1End(0)));  // the end again: still one item
  Cmd(12);
  ASSERT_EQ(WaitBuffer(), 0);
  EXPECT_LT(link().Write(G1Header(b, 0)), 0);  // item 2's header fails twice
  EXPECT_LT(link().Write(G1Header(b, 0)), 0);
  ASSERT_TRUE(link().SendG1(b, 0));
  EXPECT_TRUE(printer().violations().empty());
  ASSERT_EQ(job().items.size(), 2u);
  ExpectSameItem(job().items[0].image, a);
  ExpectSameItem(job().items[1].image, b);
}

TEST_F(FirstGeneration, UnplugAndReplug) {
  Start(Qa11(":unplug=item2:replug=5000"));
  const ItemImage a = TestItem(4, 4, 6, 1), b = TestItem(1, 2, 7, 2);
  OpenJob();
  FirstItem(a);
  ASSERT_EQ(WaitBuffer(), 0);
  EXPECT_LT(link().Write(G1Header(b, 0)), 0);
  const std::vector<std::string> tail(printer().trace().end() - 3, printer().trace().end());
  EXPECT_EQ(tail[1], "unplug");
  EXPECT_EQ(tail[2], "failed unplugged");
  EXPECT_FALSE(link().Exchange(G1Command(4)));
  DevicePaths paths{};
  EXPECT_EQ(transport_->EnumrateDevs(paths), 0);
  EXPECT_EQ(transport_->OpenByPath(printer().path().c_str()), -1);
  EXPECT_EQ(link().Close(), 0);

  clock_.Advance(5000);
  Reopen();  // enumerated and opened again
  ASSERT_EQ(WaitBuffer(), 0);
  ASSERT_TRUE(link().SendG1(b, 0));
  Cmd(14);
  Cmd(4);
  EXPECT_EQ(Cmd(4), 0);
  Cmd(11);
  EXPECT_EQ(job().end, JobEnd::kFinished);
  EXPECT_EQ(job().items.size(), 2u);
  EXPECT_TRUE(printer().violations().empty());
}

}  // namespace
}  // namespace qx
