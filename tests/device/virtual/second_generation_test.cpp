// The second-generation virtual printer driven by hand through the transport.
#include <gtest/gtest.h>

#include <memory>

#include "device/virtual/virtual_transport.h"
#include "host_messages.h"
#include "layout/tape.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::Bytes;
using testing::Checksum;
using testing::EchoOf;
using testing::ExpectSameItem;
using testing::G2Messages;
using testing::Link;
using testing::TestItem;
using testing::WordA;
using testing::WordB;

constexpr uint16_t kJobActive = 0x0400, kBusy = 0x1000;
constexpr uint16_t kDone = 0x0040, kAccepted = 0x0080;

VirtualPrinterConfig Qb(std::string_view printers = "qb20") { return testing::ParsedPrinter(printers); }

class SecondGeneration : public testing::VirtualPrinterTest {
 protected:
  void Start(VirtualPrinterConfig config = Qb(), std::filesystem::path dir = {}) {
    VirtualPrinterTest::Start(std::move(config), std::move(dir));
  }

  StatusBlock Req(uint8_t request, uint16_t value = 0) {
    const auto s = link().Vendor(request, value);
    EXPECT_TRUE(s) << (printer().violations().empty() ? "" : printer().violations().back());
    return s.value_or(StatusBlock{});
  }
  // Requests 24, 25 and 16, as a job starts.
  void StartJob(int material = 2, int cut = 0, int density = 4) {
    ASSERT_TRUE(WordB(Req(24, static_cast<uint16_t>(material << 8 | cut))) & kDone);
    ASSERT_TRUE(WordB(Req(25, static_cast<uint16_t>(density << 8))) & kAccepted);
    ASSERT_TRUE(WordA(Req(16, static_cast<uint16_t>(density << 8))) & kJobActive);
  }

};

TEST_F(SecondGeneration, CorrectJobDecodesItemsAndDrawsTheTape) {
  testing::TempDir dir;
  Start(Qb("qb16i:tube=107:label=113"), dir.path());
  const ItemImage items[] = {TestItem(20, 20, 40, 1),  // 480 bytes: one message
                             TestItem(5, 5, 41, 2),    // 492 bytes: two
                             TestItem(0, 0, 83, 3)};   // 996 bytes: three
  const uint8_t rows[] = {1, 2, static_cast<uint8_t>(300)};
  ASSERT_EQ(G2Messages(items[2], 0, 0).size(), 3u);

  const StatusBlock set_up = Req(24, 0x0202);  // material 2, separator line
  EXPECT_EQ(set_up[4], 107);                   // tube
  EXPECT_EQ(set_up[6], 113);                   // label
  EXPECT_EQ(WordA(set_up), 0);
  EXPECT_EQ(WordB(set_up), kDone);
  EXPECT_EQ(WordB(Req(25, 0x0500)), kDone | kAccepted);
  EXPECT_EQ(WordA(Req(16, 0x0500)), kJobActive);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(WordB(Req(19)) & 0x0003, 0) << "buffers are free at once";
    ASSERT_TRUE(link().SendG2(items[k], k % 2, rows[k]));
  }
  StatusBlock s = Req(19);
  ASSERT_EQ(WordB(s) & 0x0003, 0);
  ASSERT_TRUE(WordA(s) & kJobActive);
  Req(17);
  EXPECT_TRUE(WordA(Req(19)) & kJobActive) << "the first poll after the data end";
  EXPECT_FALSE(WordA(Req(19)) & kJobActive);
  EXPECT_TRUE(WordA(Req(20)) & kBusy);
  EXPECT_TRUE(WordA(Req(19)) & kBusy) << "the first poll after the reset";
  EXPECT_FALSE(WordA(Req(19)) & kBusy);
  ASSERT_EQ(link().Close(), 0);

  EXPECT_TRUE(printer().violations().empty());
  ASSERT_EQ(printer().jobs().size(), 1u);
  const VirtualJob& j = job();
  EXPECT_EQ(j.material, 2);
  EXPECT_EQ(j.cut, 2);
  EXPECT_EQ(j.density, 5);
  EXPECT_EQ(j.end, JobEnd::kFinished);
  ASSERT_EQ(j.items.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    ExpectSameItem(j.items[k].image, items[k]);
    EXPECT_EQ(j.items[k].row, rows[k]);
    EXPECT_EQ(j.items[k].buffer, k % 2);
    EXPECT_TRUE(j.items[k].printed);
  }
  EXPECT_EQ(rows[2], 44);

  ASSERT_FALSE(j.picture.empty());
  const auto png = ReadPng(j.picture);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->rgb, RenderJobTape(j).rgb);
  EXPECT_EQ(png->width, (80 + 4) + (51 + 4) + (83 + 4) + 2);
  // The separator line: 2 dots at each end of every item, and the boundary between them.
  // TestItem's separator column sets rows 16 to 79.
  for (const int x : {0, 1, 82, 83, 84, 85, 86}) {
    EXPECT_EQ(png->Get(x, 16), kTapeDot) << x;
    EXPECT_EQ(png->Get(x, 79), kTapeDot) << x;
    EXPECT_EQ(png->Get(x, 80), kTapeBlank) << x;
  }
  EXPECT_EQ(png->Get(2, 16), kTapeBlank);
}

TEST_F(SecondGeneration, ReadyBitAfterSomePolls) {
  Start(Qb("qb20:ready=2"));
  EXPECT_FALSE(WordB(Req(24, 0x0100)) & kDone);
  EXPECT_FALSE(WordB(Req(19)) & kDone);
  EXPECT_TRUE(WordB(Req(19)) & kDone);
  EXPECT_FALSE(WordB(Req(25, 0x0100)) & kDone);
}

TEST_F(SecondGeneration, AtRealSpeedBuffersStayTakenWhilePrinting) {
  Start(Qb("qb20:speed=real"));
  StartJob();
  const ItemImage a = TestItem(20, 20, 40, 1);  // 80 dots: 226 ms at 30 mm/s
  const ItemImage b = TestItem(5, 5, 41, 2);    // 51 dots: 145 ms
  ASSERT_TRUE(link().SendG2(a, 0, 1));
  EXPECT_EQ(WordB(Req(19)) & 0x0003, 0x0001);
  ASSERT_TRUE(link().SendG2(b, 1, 2));
  EXPECT_EQ(WordB(Req(19)) & 0x0003, 0x0003);
  EXPECT_FALSE(link().Vendor(17));
  EXPECT_EQ(printer().violations().back(), "request 17 while buffer 0 is occupied");
  EXPECT_FALSE(link().SendG2(a, 0, 3));
  EXPECT_EQ(printer().violations().back(), "image for buffer 0, which is still occupied");

  clock_.Advance(225);
  EXPECT_EQ(WordB(Req(19)) & 0x0003, 0x0003);
  clock_.Advance(1);
  EXPECT_EQ(WordB(Req(19)) & 0x0003, 0x0002);
  clock_.Advance(145);
  EXPECT_EQ(WordB(Req(19)) & 0x0003, 0);
  EXPECT_TRUE(job().items[1].printed);
}

TEST_F(SecondGeneration, StopDropsWhatWaitsInTheBuffers) {
  Start(Qb("qb20:speed=real"));
  StartJob();
  ASSERT_TRUE(link().SendG2(TestItem(20, 20, 40, 1), 0, 1));
  ASSERT_TRUE(link().SendG2(TestItem(5, 5, 41, 2), 1, 2));
  Req(18);
  EXPECT_TRUE(WordA(Req(19)) & kJobActive);
  clock_.Advance(226);
  const StatusBlock s = Req(19);
  EXPECT_FALSE(WordA(s) & kJobActive);
  EXPECT_EQ(WordB(s) & 0x0003, 0);
  ASSERT_EQ(link().Close(), 0);  // the host closes once the job-active bit is clear
  EXPECT_EQ(job().end, JobEnd::kStopped);
  EXPECT_TRUE(job().items[0].printed);
  EXPECT_FALSE(job().items[1].printed);
  Reopen();
  Req(20);
  EXPECT_TRUE(printer().violations().empty());
}

TEST_F(SecondGeneration, NeverFinishingPrinter) {
  Start(Qb("qb20:hang=finish:hang=reset"));
  StartJob();
  ASSERT_TRUE(link().SendG2(TestItem(1, 1, 2, 1), 0, 1));
  Req(17);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(WordA(Req(19)) & kJobActive);
  Req(18);
  EXPECT_TRUE(WordA(Req(19)) & kJobActive);
  EXPECT_FALSE(WordA(Req(19)) & kJobActive);
  Req(20);
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(WordA(Req(19)) & kBusy);
}

TEST_F(SecondGeneration, ChecksumEcho) {
  const ItemImage a = TestItem(1, 1, 2, 1), b = TestItem(1, 1, 3, 2);
  const Bytes first_a = G2Messages(a, 0, 1)[0], first_b = G2Messages(b, 1, 2)[0];
  const struct {
    const char* printers;
    bool a_wrong, a_resend_wrong, b_wrong;
  } cases[] = {
      {"qb20", false, false, false},
      {"qb20:echo=once", true, false, false},
      {"qb20:echo=once@2", false, false, true},
      {"qb20:echo=always", true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printers);
    Start(Qb(c.printers));
    StartJob();
    auto wrong = [&](const Bytes& m) {
      const auto r = link().Exchange(m);
      EXPECT_TRUE(r);
      return r && EchoOf(*r) != Checksum(m);
    };
    EXPECT_EQ(wrong(first_a), c.a_wrong);
    EXPECT_EQ(wrong(first_a), c.a_resend_wrong);  // the same message again: a resend
    Req(22);
    EXPECT_EQ(wrong(first_b), c.b_wrong);
    Req(23);
    EXPECT_TRUE(printer().violations().empty());
    ASSERT_EQ(job().items.size(), 2u);
    ExpectSameItem(job().items[0].image, a);
  }
}

// Every call below breaks the protocol: it fails and the violation says why.
TEST_F(SecondGeneration, ProtocolViolationsFailTheTransfer) {
  const ItemImage a = TestItem(2, 2, 40, 1);  // one message
  const ItemImage b = TestItem(2, 2, 41, 2);  // two messages
  const Bytes a0 = G2Messages(a, 0, 1)[0];
  const std::vector<Bytes> b0 = G2Messages(b, 0, 1), b1 = G2Messages(b, 1, 1);
  auto with = [](Bytes m, std::size_t at, uint8_t v) {
    m[at] = v;
    return m;
  };
  Bytes swapped = G2Messages(TestItem(0, 0, 2, 3), 0, 1)[0];  // header high byte first
  const auto be = TestItem(0, 0, 2, 3).HeaderBytes(kFirstGenerationPrinter);
  std::copy(be.begin(), be.end(), swapped.begin() + 8);

  // A step is a message to write, or (when `message` is empty) a vendor request.
  struct Step {
    Bytes message;
    uint8_t request = 0;
    uint16_t value = 0;
  };
  auto req = [](uint8_t r, uint16_t v = 0) { return Step{{}, r, v}; };
  auto msg = [](Bytes m) { return Step{std::move(m), 0, 0}; };
  enum Ready { kOpened, kSetUp, kDensity, kStarted };
  const struct {
    Ready ready;
    std::vector<Step> before;
    Step bad;
    const char* says;
  } cases[] = {
      {kOpened, {}, msg(Bytes(64, 0)), "bulk message of 64 bytes (expected 512)"},
      {kOpened, {}, req(24, 0x0800), "request 24 value 0800: material must be 1 to 7"},
      {kOpened,
       {},
       req(24, 0x0103),
       "request 24 value 0103: material must be 1 to 7 (high byte) and cut code 0 to 2"},
      {kOpened, {}, req(19, 1), "request 19 with value 1 (expected 0)"},
      {kOpened, {}, req(21), "unknown request 21"},
      {kOpened, {}, req(25, 0x0400), "request 25 without a set-up (request 24)"},
      {kSetUp, {}, req(25, 0x0801), "request 25 value 0801: density must be 1 to 7"},
      {kSetUp, {}, req(16, 0x0400), "request 16 before the density was accepted (request 25)"},
      {kSetUp, {}, req(18), "request 18 (stop) before the job start (request 16)"},
      {kDensity, {}, req(25, 0x0400), "request 25 sent twice in a job"},
      {kDensity, {}, req(16, 0x0300), "request 16 value 0300 differs from request 25 value 0400"},
      {kDensity, {}, req(17), "request 17 before the job start (request 16)"},
      {kDensity, {}, msg(a0), "image message before the job start (request 16)"},
      {kStarted, {}, req(16, 0x0400), "request 16 sent twice in a job"},
      {kStarted, {}, msg(with(a0, 0, 2)), "image message starts 0200 (expected 0100 or 0140)"},
      {kStarted, {}, msg(with(a0, 1, 0x80)), "image message starts 0180"},
      {kStarted, {}, msg(with(a0, 4, 0)), "first image message bytes 4-6 are not 01 00 00"},
      {kStarted,
       {},
       msg(with(a0, 511, 9)),
       "first image message has bytes other than zero past the image end"},
      {kStarted, {}, msg(b0[1]), "image message at offset 508 without a first message"},
      {kStarted,
       {msg(b0[0])},
       msg(b1[1]),
       "image message at offset 508 for buffer 1 inside the image for buffer 0"},
      {kStarted,
       {msg(b0[0])},
       msg(with(with(b0[1], 2, 0xF8), 3, 0x03)),
       "image message at offset 1016 out of order (expected 508)"},
      {kStarted,
       {msg(b0[0])},
       msg(with(b0[1], 511, 1)),
       "image message at offset 508 has bytes other than zero past the image end"},
      {kStarted, {msg(a0)}, msg(b0[1]), "image message at offset 508 past the image end"},
      {kStarted,
       {msg(a0)},
       msg(b1[0]),
       "first image message for buffer 1 while the image in buffer 0 has not been printed with "
       "request 22/23"},
      {kStarted, {msg(a0)}, req(19), "request 19 while an image is being loaded into buffer 0"},
      {kStarted,
       {msg(a0)},
       req(23),
       "request 23 (buffer 1) but the image just loaded went to buffer 0"},
      {kStarted,
       {msg(b0[0])},
       req(22),
       "request 22 before the image was complete (1 of 2 messages)"},
      {kStarted,
       {msg(swapped)},
       req(22),
       "request 22 before the image was complete (1 of 13 messages)"},
      {kStarted, {}, req(22), "request 22 without an image loaded into buffer 0"},
      {kStarted, {req(17)}, req(17), "request 17 sent twice in a job"},
      {kStarted, {req(17)}, msg(a0), "image message after the end of data (request 17)"},
      {kStarted, {req(18)}, msg(a0), "image message after a stop (request 18)"},
      {kStarted, {req(18)}, req(17), "request 17 after a stop (request 18)"},
  };
  auto run = [&](const Step& s) {
    if (!s.message.empty()) return link().Exchange(s.message).has_value();
    return link().Vendor(s.request, s.value).has_value();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    Start();
    if (c.ready >= kSetUp) Req(24, 0x0100);
    if (c.ready >= kDensity) Req(25, 0x0400);
    if (c.ready >= kStarted) Req(16, 0x0400);
    for (const Step& s : c.before) ASSERT_TRUE(run(s));
    ASSERT_TRUE(printer().violations().empty());
    if (c.bad.message.empty()) {
      StatusBlock status{};
      status.fill(0xAA);
      EXPECT_LT(transport_->VendorReq(link().handle(), c.bad.request, c.bad.value, status, 500), 0);
      EXPECT_EQ(status, StatusBlock{});
    } else {
      EXPECT_LT(link().Write(c.bad.message), 0);
    }
    ASSERT_EQ(printer().violations().size(), 1u);
    EXPECT_EQ(printer().violations()[0].rfind(c.says, 0), 0u) << printer().violations()[0];
    EXPECT_EQ(printer().trace().back(), "error " + printer().violations()[0]);
  }
}

TEST_F(SecondGeneration, FaultBits) {
  const struct {
    const char* printers;
    uint8_t after;              // the request whose reply shows it
    uint16_t a, b;              // bits that must be set
    uint16_t a_clear, b_clear;  // bits that must be clear
  } cases[] = {
      {"qb20:fault=busy", 24, 0x1000, 0, 0, 0},
      {"qb20:fault=no-ribbon-cassette", 24, 0, 0x0010, 0, 0},
      {"qb20:fault=no-ribbon", 24, 0x0200, 0, 0, 0},
      {"qb20:fault=ribbon-out", 24, 0, 0x0020, 0, 0},
      {"qb20:fault=cover-open", 24, 0x0100, 0, 0, 0},
      {"qb20:fault=material-out", 24, 0x0040, 0, 0, 0},
      {"qb20:fault=no-label-cassette", 24, 0, 0x0004, 0, 0},
      {"qb20:fault=labels-out", 24, 0, 0x0008, 0, 0},
      {"qb20:fault=no-response", 24, 0, 0, 0, kDone},
      {"qb20:fault=setup-rejected", 25, 0, kDone, 0, kAccepted},
      {"qb20:fault=cover-open@start", 25, 0x0100, kAccepted, 0, 0},
      {"qb20:fault=feed-failed", 16, 0, kDone, kJobActive, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printers);
    Start(Qb(c.printers));
    StatusBlock s = Req(24, 0x0100);
    if (c.after != 24) s = Req(25, 0x0400);
    if (c.after == 16) s = Req(16, 0x0400);
    for (int poll = 0; poll < 2; ++poll) {
      EXPECT_EQ(WordA(s) & c.a, c.a);
      EXPECT_EQ(WordB(s) & c.b, c.b);
      EXPECT_EQ(WordA(s) & c.a_clear, 0);
      EXPECT_EQ(WordB(s) & c.b_clear, 0);
      s = Req(19);  // it stays
    }
    ASSERT_EQ(link().Close(), 0);
    Reopen();
    s = Req(24, 0x0100);
    EXPECT_EQ(WordA(s), 0) << "reported and closed: gone";
    EXPECT_EQ(WordB(s), kDone);
  }
}

TEST_F(SecondGeneration, FaultsWhilePrintingHaltTheTape) {
  const struct {
    const char* printers;
    uint16_t a, b;  // what the poll before item 3 (or after the data end) shows
    std::size_t printed;
  } cases[] = {
      {"qb20:fault=labels-out@2", 0, 0x0008, 1},      {"qb20:fault=ribbon-out@2", 0, 0x0020, 1},
      {"qb20:fault=no-ribbon@1", 0x0200, 0, 0},       {"qb20:fault=material-out@2", 0x0040, 0, 1},
      {"qb20:fault=cover-open@finish", 0x0100, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printers);
    Start(Qb(c.printers));
    StartJob();
    ASSERT_TRUE(link().SendG2(TestItem(1, 1, 2, 1), 0, 1));
    auto clean = [](const StatusBlock& st) {
      return WordA(st) == kJobActive && WordB(st) == (kDone | kAccepted);
    };
    StatusBlock s = Req(19);
    if (clean(s)) {
      ASSERT_TRUE(link().SendG2(TestItem(1, 1, 2, 2), 1, 2));
      s = Req(19);
    }
    if (clean(s)) {
      Req(17);
      s = Req(19);
    }
    EXPECT_EQ(WordA(s) & c.a, c.a);
    EXPECT_EQ(WordB(s) & c.b, c.b);
    EXPECT_TRUE(WordA(s) & kJobActive);
    Req(20);
    EXPECT_EQ(job().end, JobEnd::kFault);
    EXPECT_EQ(std::count_if(job().items.begin(), job().items.end(),
                            [](const VirtualItem& it) { return it.printed; }),
              static_cast<long>(c.printed));
  }

  Start(Qb("qb20:fault=ended@2"));
  StartJob();
  ASSERT_TRUE(link().SendG2(TestItem(1, 1, 2, 1), 0, 1));
  ASSERT_TRUE(link().SendG2(TestItem(1, 1, 2, 2), 1, 2));
  EXPECT_FALSE(WordA(Req(19)) & kJobActive);
  ASSERT_EQ(link().Close(), 0);
  EXPECT_EQ(job().end, JobEnd::kFault);
  EXPECT_EQ(job().fault, FaultKind::kEnded);
}

TEST_F(SecondGeneration, FailedExchangeIsResent) {
  // Transfers: 24, 25, 16 = 1 to 3; item 1's first message 4 and 5 (its reply fails).
  Start(Qb("qb20:fail=5:fail=item2"));
  StartJob();
  const ItemImage a = TestItem(3, 3, 50, 1), b = TestItem(1, 1, 2, 2);
  const std::vector<Bytes> ma = G2Messages(a, 0, 1);
  EXPECT_FALSE(link().Exchange(ma[0]));
  ASSERT_EQ(link().Close(), 0);
  Reopen();
  ASSERT_TRUE(link().Exchange(ma[0]));
  ASSERT_TRUE(link().Exchange(ma[1]));
  Req(22);
  EXPECT_LT(link().Write(G2Messages(b, 1, 2)[0]), 0);
  ASSERT_TRUE(link().SendG2(b, 1, 2));
  EXPECT_TRUE(printer().violations().empty());
  ASSERT_EQ(job().items.size(), 2u);
  ExpectSameItem(job().items[0].image, a);
  ExpectSameItem(job().items[1].image, b);
}

}  // namespace
}  // namespace qx
