// The transports over the virtual printers: enumeration, handles, the trace, and the
// combined transport.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "device/virtual/combined_transport.h"
#include "device/virtual/virtual_transport.h"
#include "host_messages.h"
#include "layout/png.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::G1Command;
using testing::Link;

std::vector<VirtualPrinterConfig> Printers(std::string_view printers) {
  VirtualPrinterList list = ParseVirtualPrinters(printers);
  EXPECT_TRUE(list.ok()) << list.error;
  return list.printers;
}

std::vector<std::string> Enumerate(Transport& t) {
  DevicePaths paths;
  for (DevicePath& p : paths) p.fill('x');
  const int32_t n = t.EnumrateDevs(paths);
  std::vector<std::string> out;
  for (int32_t i = 0; i < n; ++i) out.emplace_back(paths[static_cast<std::size_t>(i)].data());
  return out;
}

// Whether `line` is one of the documented trace lines.
bool HasTraceForm(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  if (w.empty() || std::count(line.begin(), line.end(), ' ') + 1 != std::ssize(w)) return false;
  auto number = [](const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  auto hex = [](const std::string& s, std::size_t bytes) {
    return (bytes == 0 ? s.size() % 2 == 0 : s.size() == 2 * bytes) &&
           std::all_of(s.begin(), s.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
  };
  const std::string& k = w[0];
  if (k == "close" || k == "unplug" || k == "replug") return w.size() == 1;
  if (k == "open" || k == "fault") return w.size() == 2;
  if (k == "error" || k == "failed") return w.size() >= 2;
  if (k == "bulk-out")
    return w.size() == 3 && number(w[1]) && hex(w[2], 0) && w[2].size() == 2 * std::stoul(w[1]);
  if (k == "bulk-in") return w.size() == 3 && number(w[1]) && (w[2] == "-" || hex(w[2], 16));
  if (k == "vendor")
    return w.size() == 4 && number(w[1]) && number(w[2]) && (w[3] == "-" || hex(w[3], 8));
  if (k == "job-end")
    return w.size() == 4 && number(w[1]) && number(w[3]) &&
           (w[2] == "finished" || w[2] == "stopped" || w[2] == "fault" || w[2] == "aborted");
  return false;
}

TEST(VirtualTransport, ListsConnectedPrintersInOrderAtMostFour) {
  FakeClock clock;
  VirtualTransport t(clock, Printers("qa11,qb20,qb16i,qb20"), {});
  const std::vector<std::string> all = {
      "virtual:vid_0471&pid_0666#0", "virtual:vid_5d29&pid_2029#1", "virtual:vid_5d29&pid_202b#2",
      "virtual:vid_5d29&pid_2029#3"};
  EXPECT_EQ(Enumerate(t), all);

  t.printer(1).Unplug();
  EXPECT_EQ(Enumerate(t), (std::vector<std::string>{all[0], all[2], all[3]}));
  EXPECT_EQ(t.OpenByPath(all[1].c_str()), -1);
  t.printer(1).Replug();
  EXPECT_EQ(Enumerate(t), all);

  std::vector<VirtualPrinterConfig> five(5);
  VirtualTransport t5(clock, five, {});
  EXPECT_EQ(Enumerate(t5).size(), 4u);
}

TEST(VirtualTransport, HandlesAreDistinctAndNeverReused) {
  FakeClock clock;
  VirtualTransport t(clock, Printers("qa11,qb20"), {});
  const int32_t a = t.OpenByPath("virtual:vid_0471&pid_0666#0");
  const int32_t b = t.OpenByPath("virtual:vid_0471&pid_0666#0");
  const int32_t c = t.OpenByPath("virtual:vid_5d29&pid_2029#1");
  EXPECT_EQ(t.OpenByPath("virtual:vid_5d29&pid_2029#7"), -1);
  EXPECT_EQ(t.OpenByPath(nullptr), -1);
  ASSERT_GE(a, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(b, c);
  EXPECT_EQ(t.CloseHandle(a), 0);
  const int32_t d = t.OpenByPath("virtual:vid_0471&pid_0666#0");
  EXPECT_NE(d, a);

  Link closed(t, a), other(t, c);
  EXPECT_FALSE(closed.Exchange(G1Command(1)));
  EXPECT_EQ(t.printer(0).violations().back(),
            "transfer on handle " + std::to_string(a) + " after it was closed");
  EXPECT_EQ(t.CloseHandle(a), -1);
  EXPECT_EQ(t.printer(0).violations().back(),
            "close of handle " + std::to_string(a) + ", which is not open");
  EXPECT_TRUE(other.Vendor(19)) << "the second-generation printer answers on its own handle";
  EXPECT_EQ(t.BulkWrite(999, nullptr, 0, 500), -1);
  StatusBlock s{};
  EXPECT_EQ(t.VendorReq(999, 19, 0, s, 500), -1);
}

// One line per call in the documented form, the same in memory and in the file.
TEST(VirtualTransport, TraceLines) {
  FakeClock clock;
  VirtualTransport t(clock, Printers("qa11,qb20:tube=100:label=101"), {});
  Link g1(t, t.OpenByPath("virtual:vid_0471&pid_0666#0"));
  ASSERT_TRUE(g1.Exchange(G1Command(1)));
  ASSERT_TRUE(g1.Exchange(G1Command(5)));
  EXPECT_FALSE(g1.Read());
  g1.Close();
  EXPECT_EQ(t.printer(0).trace(), (std::vector<std::string>{
                                      "open virtual:vid_0471&pid_0666#0",
                                      "bulk-out 4 01010001",
                                      "bulk-in 16 000b0000000000000000000000000000",
                                      "bulk-out 4 01050005",
                                      "bulk-in 16 6e6e0000000000000000000000000000",
                                      "bulk-in 16 -",
                                      "error read without a message to answer",
                                      "close",
                                  }));

  Link g2(t, t.OpenByPath("virtual:vid_5d29&pid_2029#1"));
  ASSERT_TRUE(g2.Vendor(24, 0x0301));
  EXPECT_FALSE(g2.Vendor(19, 5));
  EXPECT_EQ(t.printer(1).trace(), (std::vector<std::string>{
                                      "open virtual:vid_5d29&pid_2029#1",
                                      "vendor 24 769 0000400064006500",
                                      "vendor 19 5 -",
                                      "error request 19 with value 5 (expected 0)",
                                  }));
}

TEST(VirtualTransport, EveryTraceLineHasItsForm) {
  FakeClock clock;
  testing::TempDir dir;
  std::filesystem::path run;
  {
    VirtualTransport t(clock, Printers("qb20:fail=4:unplug=9:replug=10:fault=cover-open@1"),
                       dir.path());
    run = t.run_dir();
    const std::string path = t.printer(0).path();
    Link l(t, t.OpenByPath(path.c_str()));
    l.Vendor(24, 0x0100);
    l.Vendor(25, 0x0100);
    l.Vendor(16, 0x0100);
    l.Vendor(19);  // fails: injected
    const auto m = testing::G2Messages(testing::TestItem(1, 1, 2, 1), 0, 1);
    l.Exchange(m[0]);
    l.Vendor(22);
    l.Vendor(19);
    l.Vendor(19);  // fails: unplugged
    clock.Advance(10);
    Link again(t, t.OpenByPath(path.c_str()));
    again.Vendor(20);
    again.Close();
    const std::vector<std::string>& trace = t.printer(0).trace();
    for (const std::string& line : trace) EXPECT_TRUE(HasTraceForm(line)) << line;
    for (const char* line : {"failed injected failure", "unplug", "failed unplugged", "replug",
                             "fault cover-open", "job-end 1 fault 0"})
      EXPECT_NE(std::find(trace.begin(), trace.end(), line), trace.end()) << line;
  }
  EXPECT_EQ(run, dir / "run-001");
  EXPECT_TRUE(std::filesystem::exists(run / "qb20-0.trace"));
  EXPECT_FALSE(std::filesystem::exists(run / "qb20-0-job1.png")) << "nothing was printed";
}

// With kFilesOnly a printer writes the same trace and tape pictures as with its records
// kept, and keeps nothing of them: no trace lines, no items, only the last job's figures.
// The tape goes into pages of at most kTapePageDots dots as it prints, an item longer
// than that on a page of its own; joined with a boundary dot between them, the pages make
// the job's tape.
TEST(VirtualTransport, FilesOnlyWritesTheSameFilesAndKeepsNothing) {
  FakeClock clock;
  testing::TempDir kept_dir, files_dir;
  std::vector<ItemImage> first_job;
  for (uint32_t n = 0; n < 10; ++n) first_job.push_back(testing::TestItem(20, 20, 1500, n + 1));
  first_job.push_back(testing::TestItem(30000, 1000, 2000, 99));  // longer than a page
  for (uint32_t n = 0; n < 10; ++n) first_job.push_back(testing::TestItem(5, 40, 1500, n + 50));
  const std::vector<ItemImage> second_job = {testing::TestItem(3, 9, 30, 7),
                                             testing::TestItem(12, 1, 44, 8),
                                             testing::TestItem(2, 2, 5, 9)};
  auto print_job = [](Link& l, const std::vector<ItemImage>& items, int cut) {
    l.Exchange(G1Command(1));
    l.Exchange(testing::G1SetUp(5, cut));
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (k > 0) l.Exchange(G1Command(4));  // frees the buffer the item before printed from
      EXPECT_TRUE(l.SendG1(items[k], 0));
      if (k == 0) l.Exchange(G1Command(12));
    }
    l.Exchange(G1Command(14));
    l.Exchange(G1Command(4));
    l.Exchange(G1Command(4));
    l.Exchange(G1Command(11));
  };
  VirtualTransport kept(clock, Printers("qa11"), kept_dir.path(), VirtualRecords::kKept);
  VirtualTransport files(clock, Printers("qa11"), files_dir.path(), VirtualRecords::kFilesOnly);
  for (VirtualTransport* t : {&kept, &files}) {
    Link l(*t, t->OpenByPath(t->printer(0).path().c_str()));
    print_job(l, first_job, 1);
    print_job(l, second_job, 2);
    l.Close();
  }

  const VirtualPrinter& k = kept.printer(0);
  const VirtualPrinter& f = files.printer(0);
  ASSERT_TRUE(k.violations().empty()) << k.violations().front();
  EXPECT_EQ(f.records(), VirtualRecords::kFilesOnly);
  EXPECT_TRUE(f.trace().empty());
  EXPECT_TRUE(f.violations().empty());
  ASSERT_EQ(f.jobs().size(), 1u);
  const VirtualJob& last = f.jobs()[0];
  EXPECT_EQ(last.number, 2);
  EXPECT_EQ(last.cut, 2);
  EXPECT_EQ(last.end, JobEnd::kFinished);
  EXPECT_EQ(last.loaded, 3);
  EXPECT_EQ(last.printed, 3);
  EXPECT_TRUE(last.items.empty());
  EXPECT_EQ(last.picture, files.run_dir() / "qa11-0-job2.png");
  EXPECT_EQ(last.pages, 1);

  auto text = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(kept.run_dir()))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"qa11-0-job1-2.png", "qa11-0-job1-3.png",
                                             "qa11-0-job1.png", "qa11-0-job2.png",
                                             "qa11-0.trace"}));
  for (const std::string& name : names)
    EXPECT_EQ(text(files.run_dir() / name), text(kept.run_dir() / name)) << name;

  // The first job's pages: ten items, the long one alone, ten items.
  ASSERT_EQ(k.jobs().size(), 2u);
  EXPECT_EQ(k.jobs()[0].pages, 3);
  const RgbImage whole = RenderJobTape(k.jobs()[0]);
  int x = 0;
  const std::vector<int> widths = {10 * 1540 + 9, 33000, 10 * 1545 + 9};
  for (int page = 0; page < 3; ++page) {
    SCOPED_TRACE(page);
    const auto png = ReadPng(kept.run_dir() / (page == 0 ? std::string("qa11-0-job1.png")
                                                         : "qa11-0-job1-" +
                                                               std::to_string(page + 1) + ".png"));
    ASSERT_TRUE(png);
    ASSERT_EQ(png->width, widths[static_cast<std::size_t>(page)]);
    ASSERT_EQ(png->height, whole.height);
    for (int y = 0; y < png->height; y += 7)
      for (int px = 0; px < png->width; ++px)
        ASSERT_EQ(png->Get(px, y), whole.Get(x + px, y)) << px << "," << y;
    x += png->width + 1;  // the boundary between the pages is on neither
  }
  EXPECT_EQ(x - 1, whole.width);
}

// Every transport (every program start) writes into a run folder of its own, numbered
// after the highest one there, so the traces and tapes of earlier runs stay.
TEST(VirtualTransport, EachRunKeepsItsOwnFolder) {
  FakeClock clock;
  testing::TempDir dir;
  const ItemImage item = testing::TestItem(2, 3, 4, 1);
  auto print_one_job = [&](const std::string& printers) {
    VirtualTransport t(clock, Printers(printers), dir.path());
    Link l(t, t.OpenByPath(t.printer(0).path().c_str()));
    l.Exchange(G1Command(1));
    l.Exchange(testing::G1SetUp(5, 0));
    EXPECT_TRUE(l.SendG1(item, 0));
    l.Exchange(G1Command(12));
    l.Exchange(G1Command(14));
    l.Exchange(G1Command(4));
    l.Exchange(G1Command(4));
    l.Exchange(G1Command(11));
    EXPECT_TRUE(t.printer(0).violations().empty());
    EXPECT_EQ(t.printer(0).jobs().at(0).end, JobEnd::kFinished);
    return t.run_dir();
  };
  const std::filesystem::path first = print_one_job("qa11");
  const std::filesystem::path second = print_one_job("qa11:tube=90");
  EXPECT_EQ(first, dir / "run-001");
  EXPECT_EQ(second, dir / "run-002");
  for (const auto& run : {first, second}) {
    EXPECT_TRUE(std::filesystem::exists(run / "qa11-0-job1.png")) << run;
    EXPECT_TRUE(std::filesystem::exists(run / "qa11-0.trace")) << run;
  }
  std::ifstream trace(first / "qa11-0.trace");
  std::string open_line;
  std::getline(trace, open_line);
  EXPECT_EQ(open_line, "open virtual:vid_0471&pid_0666#0") << "the first run's trace kept";

  // Other names beside the runs are left alone and do not count; numbers go on past gaps.
  std::filesystem::create_directory(dir / "run-041");
  std::filesystem::create_directory(dir / "run-x9");
  std::ofstream(dir / "run-500.txt") << "not a run";
  EXPECT_EQ(NewRunFolder(dir.path()), dir / "run-042");
  EXPECT_EQ(NewRunFolder(dir.path()), dir / "run-043");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "run-043"));

  // A folder that does not exist yet is made; no folder at all writes nothing.
  EXPECT_EQ(NewRunFolder(dir / "new" / "printers"), dir / "new" / "printers" / "run-001");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "new" / "printers" / "run-001"));
  VirtualTransport nowhere(clock, Printers("qb20"), {});
  EXPECT_TRUE(nowhere.run_dir().empty());
  EXPECT_TRUE(nowhere.printer(0).trace_file().empty());
}

TEST(CombinedTransport, ListsBothSidesAndKeepsTheirHandlesApart) {
  FakeClock clock;
  VirtualTransport first(clock, Printers("qb20,qa11"), {});
  VirtualTransport second(clock, Printers("qa11,qb16i,qb20"), {});
  CombinedTransport both(first, second);
  const std::vector<std::string> paths = Enumerate(both);
  EXPECT_EQ(paths, (std::vector<std::string>{
                       "virtual:vid_5d29&pid_2029#0", "virtual:vid_0471&pid_0666#1",
                       "virtual:vid_0471&pid_0666#0", "virtual:vid_5d29&pid_202b#1"}));

  // Both sides give out handle 1 first; the combined handles differ.
  const int32_t h0 = both.OpenByPath(paths[0].c_str());
  const int32_t h2 = both.OpenByPath(paths[3].c_str());
  ASSERT_GE(h0, 0);
  ASSERT_GE(h2, 0);
  EXPECT_NE(h0, h2);
  Link on_first(both, h0), on_second(both, h2);
  ASSERT_TRUE(on_second.Vendor(24, 0x0100));
  EXPECT_EQ(second.printer(1).trace().back(),
            "vendor 24 256 00004000"
            "6e006e00");
  EXPECT_EQ(first.printer(0).trace().size(), 1u) << "only its open";
  ASSERT_TRUE(on_first.Vendor(19));
  EXPECT_EQ(first.printer(0).trace().back().rfind("vendor 19 0 ", 0), 0u);

  EXPECT_EQ(both.CloseHandle(h2), 0);
  EXPECT_EQ(second.printer(1).trace().back(), "close");
  EXPECT_EQ(both.CloseHandle(h2), -1);
  EXPECT_FALSE(on_second.Vendor(19)) << "a closed combined handle reaches nobody";
  EXPECT_EQ(both.OpenByPath("virtual:vid_5d29&pid_2029#9"), -1);

  // A path not yet listed is tried on the first side, then the second.
  CombinedTransport fresh(first, second);
  const int32_t h = fresh.OpenByPath("virtual:vid_5d29&pid_202b#1");
  ASSERT_GE(h, 0);
  EXPECT_EQ(second.printer(1).trace().back(), "open virtual:vid_5d29&pid_202b#1");
}

}  // namespace
}  // namespace qx
