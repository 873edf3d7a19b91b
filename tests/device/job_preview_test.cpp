// The job preview against what a virtual printer receives for the same choices: the
// markers in the same order with the same images and Segments, over copies, both orders
// and ranges, with skipped items where the job skips them.
#include <gtest/gtest.h>

#include "device/job_preview.h"
#include "device/virtual/virtual_transport.h"
#include "support/print_fixture.h"

namespace qx {
namespace {

using testing::PrintDocument;
using testing::RecordingHost;
using S = std::vector<std::string>;

const std::string kSerialMark = gbk::ToUtf8(gbk::kSerialMark);

// A cabinet list with a serial Segment, a Segment repeated, a Segment the layout refuses,
// a pass of two-line zero-padded values refused as a whole, and an empty Segment.
void AddCabinetList(PrintDocument& d) {
  d.Add({"A", "", 25, 2});
  d.Add({"AA" + kSerialMark, "", 25, 2, "序号0-999", "7", "9"});
  d.Add({std::string(40, 'W'), "", 6, 2, "无序号", "", "", "7 号"});  // fits no 6 mm
  d.Add({std::string(30, 'W') + kSerialMark, "A", 6, 1, "序号000-999", "1", "3", "自动"});
  d.Add({"WA", "i"});
}

struct Choice {
  int first_row, last_row, copies;
  bool repeat_first;
};

// The marker images and rows a virtual printer received for the job.
struct Received {
  std::vector<std::vector<uint8_t>> images;
  std::vector<int> rows;
  S skipped;  // "row:serial:count" as the job reported them
};

class SkipRecorder : public RecordingHost {
 public:
  void Skipped(const SkippedItems& s) override {
    skipped.push_back(std::to_string(s.row) + ":" + s.serial_text + ":" + std::to_string(s.count));
  }
  S skipped;
};

Received Print(const Choice& c, const char* printer) {
  PrintDocument d;
  AddCabinetList(d);
  SkipRecorder host;
  VirtualPrinterList l = ParseVirtualPrinters(printer);
  VirtualTransport vt(host.clock, std::move(l.printers), "");
  DeviceTable devices;
  EnumerateDevices(vt, devices);
  devices.selected = 0;
  devices.handle = vt.OpenByPath(std::string(devices.Path(0)).c_str());
  devices.open = devices.handle != -1;
  PrintJob job;
  job.StartRow = c.first_row;
  job.EndRow = c.last_row;
  job.Copies = c.copies;
  job.RepeatFirst = c.repeat_first;
  EXPECT_TRUE(RunDeviceJob(vt, devices, job, d.Job(), host));
  Received r;
  for (const VirtualJob& j : vt.printer(0).jobs())
    for (const VirtualItem& item : j.items) {
      r.images.push_back(item.image.columns);
      r.rows.push_back(item.row);
    }
  r.skipped = host.skipped;
  return r;
}

TEST(JobPreview, HoldsWhatThePrinterReceives) {
  const Choice choices[] = {
      {1, 5, 1, false}, {1, 5, 1, true}, {1, 5, 3, false},
      {1, 5, 2, true},  {2, 4, 2, false}, {4, 4, 1, true},
  };
  for (const char* printer : {"qb20", "qa11"}) {
    for (const Choice& c : choices) {
      SCOPED_TRACE(std::string(printer) + " rows " + std::to_string(c.first_row) + ".." +
                   std::to_string(c.last_row) + " x" + std::to_string(c.copies) +
                   (c.repeat_first ? " repeat first" : " serial first"));
      const Received printed = Print(c, printer);
      PrintDocument d;
      AddCabinetList(d);
      PrintJob job;
      job.StartRow = c.first_row;
      job.EndRow = c.last_row;
      job.Copies = c.copies;
      job.RepeatFirst = c.repeat_first;
      const JobPreview p = JobPreview::Build(d.Job(), job);
      Received shown;
      for (std::size_t k = 0; k < p.size(); ++k) {
        const JobEntry& e = p.entry(k);
        if (!e.printed) {
          shown.skipped.push_back(std::to_string(e.row) + ":" + e.serial_text + ":" +
                                  std::to_string(e.skipped.count));
          continue;
        }
        EXPECT_EQ(p.marker_number(k), static_cast<int>(shown.images.size()) + 1);
        EXPECT_EQ(p.entry_of_marker(p.marker_number(k)), k);
        shown.images.push_back(p.picture(k).columns);
        shown.rows.push_back(e.row);
      }
      EXPECT_EQ(shown.images, printed.images);
      if (std::string(printer) == "qb20") {  // the first generation sends no row numbers
        EXPECT_EQ(shown.rows, printed.rows);
      }
      EXPECT_EQ(shown.skipped, printed.skipped);
      EXPECT_EQ(p.markers(), static_cast<int>(printed.images.size()));
      EXPECT_EQ(p.entry_of_marker(p.markers() + 1), p.size());
    }
  }
}

// The serial value and Segment of each marker, and the tape: the same figures the print
// dialog tells.
TEST(JobPreview, NamesEachMarkersSegmentAndSerialValue) {
  PrintDocument d;
  d.Add({"", ""});  // printing deletes it; the preview passes over it
  d.Add({"AA" + kSerialMark, "", 25, 2, "序号0-999", "7", "8"});
  PrintJob job;
  job.EndRow = 2;
  job.Copies = 2;
  job.RepeatFirst = true;
  const JobPreview p = JobPreview::Build(d.Job(), job);
  S seen;
  for (std::size_t k = 0; k < p.size(); ++k)
    seen.push_back(std::to_string(p.copy_of(k)) + "/" + std::to_string(p.entry(k).row) + "/" +
                   p.entry(k).serial_text);
  EXPECT_EQ(seen, (S{"1/2/7", "1/2/7", "1/2/8", "1/2/8", "2/2/7", "2/2/7", "2/2/8", "2/2/8"}));
  const JobFigures figures = MeasureJob(d.Job(), job);
  EXPECT_EQ(p.markers(), figures.items);
  EXPECT_DOUBLE_EQ(p.metres(), figures.metres);
  EXPECT_NEAR(p.metres(), 0.2, 0.005);  // eight 25 mm sleeves
}

}  // namespace
}  // namespace qx
