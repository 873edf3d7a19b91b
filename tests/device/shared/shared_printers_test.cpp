// The IPP client against the real qx-printer-app on localhost with virtual printers: the
// printers it finds, and document jobs sent, followed and cancelled.
#include "device/shared/shared_printers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <memory>
#include <thread>

#include "device/print_job.h"
#include "document/document.h"
#include "document/document_file.h"
#include "document/memory_store.h"
#include "layout/freetype_canvas.h"
#include "support/printer_app_server.h"

namespace qx {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using Clock = std::chrono::steady_clock;
using testing::PrinterAppServer;

const std::string kDocument = QX_SAMPLE_DIR "/线号套管.kel";

TEST(SharedPrinterSearchTest, EnvironmentAddsAddressesToLocalhostOrTurnsSearchingOff) {
  struct Case {
    const char* value;  // QX_PRINTER_APPS; nullptr: unset
    std::vector<std::string> addresses;
    bool dns_sd;
  };
  const Case cases[] = {
      {nullptr, {"localhost:8631"}, true},
      {"", {"localhost:8631"}, true},
      {"none", {}, false},
      {" none ", {}, false},
      // Spaces and empty entries are dropped, a missing port is ours, an address given
      // twice (localhost among them) is asked once, and what is no address is left out.
      {"workshop:9000, office ,,localhost:8631,[::1]:631,bad:port,x:99999",
       {"localhost:8631", "workshop:9000", "office:8631", "[::1]:631"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    const SharedPrinterSearch search = SharedPrinterSearchFromEnvironment(
        [&](const char* name) { return std::string(name) == "QX_PRINTER_APPS" ? c.value : nullptr; });
    EXPECT_EQ(search.addresses, c.addresses);
    EXPECT_EQ(search.dns_sd, c.dns_sd);
  }
}

// A port on localhost where nothing listens.
int DeadPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
  close(s);
  return ntohs(a.sin_port);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The markers the editor's own print job sends for the sample Document with `choice`:
// the Document laid out as the printer application lays it out, walked without a printer.
int LocalJobMarkers(const SharedJobChoice& choice) {
  DocumentState doc(std::make_unique<MemoryRowStore>());
  doc.table.Bind("working table");
  if (!ReadDocumentFile(kDocument, doc.table, doc.settings)) return -1;
  ReadDocumentSettings(doc.settings, doc.file_state);
  if (!TidyForPrint(doc.table)) return -1;
  JobChoice c;
  c.copies = choice.copies;
  c.first = choice.first;
  c.last = choice.last;
  c.repeat_first = choice.repeat_first;
  const PrintJob job = JobOf(c, doc.table);
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(doc.settings.font_face);
  ImageBuilder builder(glyph_canvas, measurer);
  builder.SelectPrintFont(PrintFontOf(doc.settings));
  const JobDocument jd{doc.table, doc.file_state, measurer, builder, 4};
  return MeasureJob(jd, job).items;
}

class SharedPrintersTest : public ::testing::Test {
 protected:
  // Two good printers of both generations, and one whose cover opens at the second marker.
  static constexpr const char* kPrinters = "qa11,qb20,qa11:fault=cover-open@2";

  static void SetUpTestSuite() { server_ = new PrinterAppServer(kPrinters); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_->available()) GTEST_SKIP() << server_->error();
    ASSERT_TRUE(server_->ok()) << server_->error();
  }

  static SharedPrinter Printer(const std::string& queue) {
    return {queue, "localhost", server_->uri(queue), "", ""};
  }

  // Follows the job until it ends (at most a minute).
  SharedJobStatus WaitForEnd(const SharedPrinter& printer, int job_id) {
    SharedJobStatus status;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
      status = client_->Status(printer, job_id);
      if (status.answered && status.ended()) return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "job " << job_id << " did not end:\n" << server_->log();
    return status;
  }

  SubmitResult Submit(const SharedPrinter& printer, const SharedJobChoice& choice) {
    return client_->Submit(printer, kDocument, choice, "tester");
  }

  static PrinterAppServer* server_;
  std::unique_ptr<SharedPrinterClient> client_ = MakeIppClient();
};

PrinterAppServer* SharedPrintersTest::server_ = nullptr;

TEST_F(SharedPrintersTest, FindsEveryPrinterOnceSortedWithItsNameUriUuidAndModel) {
  // The same printer application asked twice, under two spellings.
  const SharedPrinterSearch search{{server_->address(), "localhost:" + std::to_string(server_->port())},
                                   false, 0};
  const std::vector<SharedPrinter> found = FindSharedPrinters(search);
  ASSERT_EQ(found.size(), 3u) << server_->log();
  const std::string queues[] = {"Kelmor_QA11_virtual_0", "Kelmor_QA11_virtual_2",
                                "Kelmor_QB20_virtual_1"};
  const std::string names[] = {"Kelmor QA11 virtual 0", "Kelmor QA11 virtual 2",
                               "Kelmor QB20 virtual 1"};
  const std::string models[] = {"Kelmor QA11", "Kelmor QA11", "Kelmor QB20"};
  std::set<std::string> uuids;
  for (std::size_t n = 0; n < found.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(found[n].name, names[n]);
    EXPECT_EQ(found[n].host, "localhost");
    EXPECT_EQ(found[n].uri, server_->uri(queues[n]));
    EXPECT_EQ(found[n].model, models[n]);
    EXPECT_EQ(found[n].uuid.rfind("urn:uuid:", 0), 0u) << found[n].uuid;
    uuids.insert(found[n].uuid);
  }
  EXPECT_EQ(uuids.size(), 3u);
}

TEST_F(SharedPrintersTest, AnAddressWhereNothingListensCostsLittleAndFindsNothing) {
  const std::string dead = "localhost:" + std::to_string(DeadPort());
  const auto start = Clock::now();
  EXPECT_TRUE(FindSharedPrinters({{dead}, false, 0}).empty());
  EXPECT_EQ(FindSharedPrinters({{dead, server_->address()}, false, 0}).size(), 3u);
  // DNS-SD without avahi-daemon (as here) or with nobody announcing costs its time at most.
  EXPECT_EQ(FindSharedPrinters({{dead, server_->address()}, true, 300}).size(), 3u);
  EXPECT_LT(SecondsSince(start), 2.5);
}

TEST_F(SharedPrintersTest, DocumentJobsPrintWhatTheLocalPrintJobPrintsAndReportIt) {
  struct Case {
    const char* what;
    const char* printer;  // virtual printer of the trace
    SharedJobChoice choice;
    const char* logged;   // the job as the printer application understood it
  };
  const Case cases[] = {
      {"every Segment once, first generation", "qa11-0", {}, "1 copies, serial first, from marker 1"},
      {"Segments 2 to 4 twice, repeats first", "qb20-1", {2, 2, 4, true, 1},
       "Segments 2 to 4, 2 copies, repeat first, from marker 1"},
      {"a range given backwards", "qb20-1", {1, 4, 2, false, 1},
       "Segments 2 to 4, 1 copies, serial first"},
      {"going on from marker 5", "qb20-1", {2, 0, 0, false, 5}, "2 copies, serial first, from marker 5"},
  };
  const std::map<std::string, std::string> queues = {{"qa11-0", "Kelmor_QA11_virtual_0"},
                                                     {"qb20-1", "Kelmor_QB20_virtual_1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SharedPrinter printer = Printer(queues.at(c.printer));
    const std::size_t jobs_before = server_->job_ends(c.printer).size();
    const SubmitResult submitted = Submit(printer, c.choice);
    ASSERT_EQ(submitted.error, SubmitError::kNone) << submitted.detail;
    ASSERT_GT(submitted.job_id, 0);

    const SharedJobStatus status = WaitForEnd(printer, submitted.job_id);
    EXPECT_TRUE(status.answered);
    EXPECT_EQ(status.state, SharedJobState::kCompleted) << status.message;
    const int markers = LocalJobMarkers(c.choice);
    ASSERT_GT(markers, 0);
    // The whole job's markers, those an earlier job printed counted as done.
    EXPECT_EQ(status.markers, markers);
    EXPECT_EQ(status.markers_done, markers);
    const auto ends = server_->job_ends(c.printer);
    ASSERT_EQ(ends.size(), jobs_before + 1) << server_->trace(c.printer);
    EXPECT_EQ(ends.back().reason, "finished");
    EXPECT_EQ(ends.back().printed, markers - (c.choice.first_marker - 1));
    EXPECT_THAT(server_->log(), ::testing::HasSubstr(c.logged));
  }
}

TEST_F(SharedPrintersTest, APrinterFaultAbortsTheJobWithThePrintersMessage) {
  const SharedPrinter printer = Printer("Kelmor_QA11_virtual_2");
  const SubmitResult submitted = Submit(printer, {});
  ASSERT_EQ(submitted.error, SubmitError::kNone) << submitted.detail;
  const SharedJobStatus status = WaitForEnd(printer, submitted.job_id);
  EXPECT_EQ(status.state, SharedJobState::kAborted);
  EXPECT_EQ(status.message, "上盖异常打开,打印终止!");
  EXPECT_LT(status.markers_done, status.markers);
  EXPECT_EQ(server_->job_ends("qa11-2").back().reason, "fault");
}

TEST_F(SharedPrintersTest, CancelStopsALongJob) {
  const SharedPrinter printer = Printer("Kelmor_QB20_virtual_1");
  SharedJobChoice many;
  many.copies = 500;
  const SubmitResult submitted = Submit(printer, many);
  ASSERT_EQ(submitted.error, SubmitError::kNone) << submitted.detail;
  // Cancelled once it prints.
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  SharedJobStatus status;
  do {
    status = client_->Status(printer, submitted.job_id);
  } while (status.state == SharedJobState::kPending && Clock::now() < deadline);
  ASSERT_EQ(status.state, SharedJobState::kProcessing);
  EXPECT_TRUE(client_->Cancel(printer, submitted.job_id, "tester"));

  status = WaitForEnd(printer, submitted.job_id);
  EXPECT_EQ(status.state, SharedJobState::kCanceled);
  EXPECT_LT(status.markers_done, status.markers);
  // An ended job cannot be cancelled again.
  EXPECT_FALSE(client_->Cancel(printer, submitted.job_id, "tester"));
  // The printer is free for the next job.
  const SubmitResult next = Submit(printer, {});
  ASSERT_EQ(next.error, SubmitError::kNone) << next.detail;
  EXPECT_EQ(WaitForEnd(printer, next.job_id).state, SharedJobState::kCompleted);
}

TEST_F(SharedPrintersTest, JobsThatCannotBeSentSayWhy) {
  // Nobody listens: unreachable at once, and the job's status and cancel are not answered.
  const std::string dead_address = "localhost:" + std::to_string(DeadPort());
  const SharedPrinter dead = {"gone", "localhost", "ipp://" + dead_address + "/ipp/print/Q", "", ""};
  const auto start = Clock::now();
  const SubmitResult unreachable = Submit(dead, {});
  EXPECT_EQ(unreachable.error, SubmitError::kUnreachable);
  EXPECT_EQ(unreachable.job_id, 0);
  EXPECT_THAT(unreachable.detail, ::testing::StartsWith(dead_address + ": "));
  EXPECT_FALSE(client_->Status(dead, 1).answered);
  EXPECT_FALSE(client_->Cancel(dead, 1, "tester"));
  EXPECT_LT(SecondsSince(start), 1.0);

  // The printer application answers, but has no such printer: refused, with its reason.
  const SubmitResult refused = Submit(Printer("No_Such_Printer"), {});
  EXPECT_EQ(refused.error, SubmitError::kRefused);
  EXPECT_EQ(refused.job_id, 0);
  EXPECT_FALSE(refused.detail.empty());

  // A job the printer application does not know ends the wait for it.
  const SharedJobStatus unknown = client_->Status(Printer("Kelmor_QB20_virtual_1"), 99999);
  EXPECT_TRUE(unknown.answered);
  EXPECT_TRUE(unknown.ended());
  EXPECT_TRUE(unknown.gone);
}

}  // namespace
}  // namespace qx
