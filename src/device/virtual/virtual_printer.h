// Virtual printers: the two printer generations simulated behind the transport, for
// operators without a printer and for the protocol tests.
//
// A virtual printer is a state machine fed by the transport calls. It checks every
// message against its generation's protocol; a message that breaks it makes the transfer
// fail (negative result) and leaves a violation text that names what was wrong. It
// rebuilds every item it receives as an ItemImage, "prints" it (at once, or at the
// configured speed on the given Clock) and draws its tape into PNG pictures in the output
// folder as it prints.
//
// Records. With VirtualRecords::kKept (for tests that look at what a printer saw) the
// printer also keeps its trace lines, violations, jobs and their items in memory, for as
// long as it lives. With kFilesOnly (the programs) it keeps nothing that grows with a job
// or with its life: trace lines go to the trace file as they come, an item is held from
// its first message until it is printed and, with an output folder, until the page of the
// tape picture it is on is written; of the jobs only the last one's figures are kept
// (jobs() has at most one entry, without items).
//
// Trace: one line per event, appended to "<key>-<index>.trace" in the output folder (e.g.
// "qb20-0.trace") as it happens, and kept in memory with kKept:
//   open PATH                   OpenByPath of this printer
//   close                       CloseHandle
//   bulk-out LEN HEX            a BulkWrite; HEX: the bytes written, two lower-case hex digits
//                               each, no spaces
//   bulk-in LEN HEX             a BulkRead; HEX: the bytes returned, "-" when it failed
//   vendor REQUEST VALUE HEX    a VendorReq; HEX: the 8 status bytes returned, "-" when it
//                               failed
//   error TEXT                  the call above broke the protocol and failed
//   failed TEXT                 the call above failed for another reason (an injected
//                               failure, or the printer is unplugged)
//   unplug, replug              the printer was disconnected / came back
//   fault NAME                  a planned fault appeared (see virtual_config.h)
//   job-end N REASON PRINTED    job N (from 1) ended (REASON: finished, stopped, fault,
//                               aborted) with PRINTED items on its tape
// LEN, REQUEST and VALUE are decimal.
//
// Jobs. First generation: a job starts with the set-up (command 6) and ends with the
// closing command 11. Second generation: from the set-up (request 24) to the reset
// (request 20). Also: a new set-up or session (command 1, request 24) ends a job that is
// still open, a close of the printer ends a job the printer has already finished, stopped
// or halted on a fault, and EndJob() ends one at once (VirtualTransport does so for every
// printer when it is destroyed). The tape picture "<key>-<index>-job<N>.png" shows the
// items printed, in print order; nothing is written for a job without printed items. It
// is drawn in pages of at most kTapePageDots dots of tape (an item longer than that is a
// page of its own), each written as soon as it is full, the rest when the job ends: the
// first page is "<key>-<index>-job<N>.png", the next ones "<key>-<index>-job<N>-2.png",
// "-3.png", ... A job that fits one page has one picture, as it always had.
//
// Timing. By default the printer answers at once: an image loaded into a buffer is printed
// as soon as printing runs (first generation: after command 12; second: after request 16),
// so buffers are free again at the next poll. Where the host needs a poll to see the end
// of something, the first status poll after it still shows it in progress: after command
// 14 or 13 the next command 4 answers state 1, after request 17 or 18 the next poll still
// has the job-active bit, after request 20 the next poll still has the busy bit. With a
// speed each item takes its feed length (lead blank, columns, trail blank) at that speed
// on the Clock; items print one after the other in the order they were loaded. The
// printer only looks at the clock when it is called.
//
// Faults (see virtual_config.h) appear at their stage and stay until they have been
// reported to the host in a status reply and then the printer is closed, gets its closing
// command (11 / reset 20) or a new session starts (command 1 / request 24). A fault that
// appears while printing (at item K or at the finish) halts the printing: item K and
// what follows stay unprinted. A stop discards the items not yet started.
//
// Unplugging models a pulled cable: the printer keeps its state and goes on printing, but
// is no longer enumerated, cannot be opened, and its open handles fail every transfer
// (also after it comes back). After a replug it can be opened again and the host may go on.
//
// Resends: an image message identical to the one written just before it is taken as the
// host's resend of that message (after a failed reply or a wrong checksum echo) and
// changes nothing.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/clock.h"
#include "device/transport.h"
#include "device/virtual/virtual_config.h"
#include "layout/image.h"
#include "layout/png.h"

namespace qx {

// What a printer keeps in memory of what it saw (see above).
enum class VirtualRecords { kKept, kFilesOnly };

// One item as the printer received it.
struct VirtualItem {
  ItemImage image;       // header fields, separator column and ColumnCount x 12 image bytes
  int buffer = 0;        // the image buffer it was loaded into (0 or 1)
  uint8_t row = 0;       // second generation: the row number byte of its first message
  bool printed = false;  // it reached the tape
};

enum class JobEnd {
  kRunning,   // not ended yet
  kFinished,  // the printer printed everything after the data end
  kStopped,   // ended by a stop (command 13 / request 18)
  kFault,     // a fault halted it
  kAborted,   // closed, reset or replaced before it finished
};

std::string_view JobEndName(JobEnd end);  // "finished", ...

struct VirtualJob {
  int material = 0;                // MaterialCode of the set-up
  int cut = 0;                     // CutCode of the set-up: 0 none, 1 half cut, 2 separator line
  int density = 0;                 // second generation: density of request 25 (0 until given)
  int number = 0;                  // from 1, in the printer's life
  int loaded = 0;                  // complete items received
  int printed = 0;                 // of those, the items on the tape
  std::vector<VirtualItem> items;  // kKept: every complete item, in the order it was loaded
  JobEnd end = JobEnd::kRunning;
  std::optional<FaultKind> fault;  // the fault that halted it, if any
  std::filesystem::path picture;   // the first page of its tape picture; empty if none
  int pages = 0;                   // pages of the tape picture written
};

// Colours the tape picture adds to those of layout/tape.h.
inline constexpr Rgb kTapeHalfCut = 0x2060E0;

// The tape of a job: its printed items through RenderStrip, with the cut marks of its cut
// code drawn over it. Half cut: the boundary between two items becomes a dashed blue cut.
// Separator line: each item gets its 2 dots of separator column at each end (the blanks
// the image builder took off for it), and the boundary column between two items shows
// the separator pattern too. No cut: the plain boundaries.
RgbImage RenderJobTape(const VirtualJob& job, int scale = 1);

// The same picture of the printed items `printed` of a job with cut code `cut`, as palette
// indices: the colours in the order they first appear, row by row, as a PNG writer that
// is handed the RGB picture would number them.
IndexedImage RenderTapePage(std::span<const ItemImage> printed, int cut, int scale = 1);
// The same into `img`, reusing its storage.
void RenderTapePage(std::span<const ItemImage> printed, int cut, IndexedImage& img,
                    int scale = 1);

// Dots of tape a page of the tape picture takes at most (about 2.8 m): its picture is
// 96 pixels high, so a page takes about 3 MB while it is drawn.
inline constexpr int kTapePageDots = 32768;

class VirtualPrinter {
 public:
  virtual ~VirtualPrinter();
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // What it is.
  VirtualModel model() const { return config_.model; }
  const VirtualModelInfo& info() const { return InfoOf(config_.model); }
  int index() const { return index_; }
  const std::string& path() const { return path_; }  // "virtual:vid_5d29&pid_2029#0"
  const VirtualPrinterConfig& config() const { return config_; }
  VirtualPrinterOptions& options() { return config_.options; }  // may change at any time

  // What it saw. trace(), violations() and the jobs' items stay empty with kFilesOnly,
  // and jobs() holds only the last job.
  VirtualRecords records() const { return records_; }
  const std::vector<std::string>& trace() const { return trace_; }
  const std::vector<std::string>& violations() const { return violations_; }
  const std::vector<VirtualJob>& jobs() const { return jobs_; }
  bool job_running() const { return job_open_; }
  int transfers() const { return transfers_; }  // bulk writes, bulk reads, vendor requests
  const std::filesystem::path& trace_file() const { return trace_path_; }  // empty: none
  const std::string& output_error() const { return output_error_; }        // last file error
  bool connected() const;

  // Misbehaviour on demand, also after construction.
  void AddFault(FaultPlan fault);
  void AddFailure(FailPlan failure);
  void UnplugAt(TransferPoint at);
  void Unplug();  // now; comes back after options().replug_after_ms if set
  void Replug();
  void EndJob();  // ends a running job now (kAborted unless it already finished)

  // The transport side; VirtualTransport calls these with the handles it gave out.
  bool Open(int32_t handle);  // false when unplugged
  int32_t Close(int32_t handle);
  int32_t Write(int32_t handle, const uint8_t* data, int32_t length);
  int32_t Read(int32_t handle, uint8_t* data, int32_t length);
  int32_t Vendor(int32_t handle, uint8_t request, uint16_t value, StatusBlock& status);

 protected:
  VirtualPrinter(const Clock& clock, VirtualPrinterConfig config, int index,
                 std::filesystem::path output_dir, VirtualRecords records);

  // The generation's protocol. A handler that finds a violation calls Violation() and
  // returns false; the transfer then fails.
  virtual bool HandleWrite(std::span<const uint8_t> message) = 0;
  virtual bool HandleVendor(uint8_t request, uint16_t value, StatusBlock& status) = 0;
  // Whether `message` is an image message the host may resend identically.
  virtual bool IsImageMessage(std::span<const uint8_t> message) const = 0;
  // The item number (from 1) whose first image message `message` is, or 0.
  virtual int ItemStartedBy(std::span<const uint8_t> message) const = 0;
  // Called when the job ends, to drop the generation's own job state.
  virtual void ResetJobState() = 0;
  // Called on a resend: the reply to give again.
  virtual void ReplyToResend(std::span<const uint8_t> message) = 0;

  bool Violation(std::string text);
  void SetReply(const std::array<uint8_t, 16>& reply) { reply_ = reply; }

  // Faults.
  void TriggerStage(FaultStage stage, int item = 0);
  bool FaultActive(FaultKind kind) const;
  void MarkReported(FaultKind kind);
  void MarkAllReported();
  void ClearReportedFaults();
  std::vector<FaultKind> ActiveFaults() const;

  // Jobs.
  VirtualJob& job() { return jobs_.back(); }
  void BeginJob(int material, int cut);
  void FinishJob();  // ends the open job, if any, with the reason its state gives

  // The image being loaded.
  struct Load {
    int buffer = 0;
    ItemImage image;
    uint8_t row = 0;
    int next = 0;    // next data block or message number
    int needed = 0;  // data blocks or messages the image takes
    bool complete() const { return next >= needed; }
  };
  std::optional<Load> load_;
  std::array<bool, 2> buffer_full_{};  // holds an item not yet printed
  bool BufferBusy(int b) const { return buffer_full_[b] || (load_ && load_->buffer == b); }
  void Commit();  // the loaded image becomes the job's next item, queued for printing

  // Printing.
  void StartPrinting();
  void StopPrinting();
  void EndOfData();  // the host has no more items
  void AdvancePrinting();
  bool QueueEmpty() const { return queue_.empty(); }
  bool stopping() const { return stopping_; }
  bool data_ended() const { return data_ended_; }
  bool halted() const { return halted_; }
  bool printing() const { return printing_; }
  // Whether the printer has finished what it was told: stopped, or done after the data end.
  bool StopDone() const { return stopping_ && queue_.empty() && polls_pending_ == 0; }
  bool FinishDone() const {
    return data_ended_ && !stopping_ && !halted_ && queue_.empty() && polls_pending_ == 0 &&
           !config_.options.hang_finish;
  }
  void CountPoll() {
    if (polls_pending_ > 0) --polls_pending_;
  }

  const Clock& clock_;
  bool job_open_ = false;

 private:
  struct ActiveFault {
    FaultKind kind;
    bool reported = false;
  };
  // An item loaded and not yet printed: what printing and the picture need of it.
  struct Queued {
    int item;  // its index in the job, from 0
    int buffer;
    uint64_t committed_at;
    ItemImage image;
  };
  struct HandleState {
    bool open = true;
    uint32_t epoch = 0;
  };

  void Tick();
  void Trace(std::string line);
  bool CheckHandle(int32_t handle);
  bool InjectedFailure(int item_started);
  void EmitOutcome();
  void Printed(Queued& q);     // q has reached the tape
  void WritePage(VirtualJob& j);  // the page drawn so far, if any
  uint64_t PrintMs(const ItemImage& image) const;

  VirtualPrinterConfig config_;
  int index_;
  std::string path_;
  std::filesystem::path output_dir_;
  std::filesystem::path trace_path_;
  std::ofstream trace_file_;
  std::string output_error_;
  VirtualRecords records_;
  int job_count_ = 0;
  // The page of the tape picture being drawn: its items, and its width in dots.
  std::vector<ItemImage> page_;
  int64_t page_dots_ = 0;
  IndexedImage page_image_;  // the last page drawn: its storage serves the next

  std::vector<std::string> trace_;
  std::vector<std::string> violations_;
  std::string pending_error_;
  std::string pending_failure_;
  std::vector<VirtualJob> jobs_;

  std::map<int32_t, HandleState> handles_;
  bool connected_ = true;
  uint32_t epoch_ = 0;
  std::optional<uint64_t> replug_at_;
  int transfers_ = 0;
  int fail_left_ = 0;
  std::vector<bool> failure_fired_;
  std::vector<bool> fault_fired_;
  bool unplug_fired_ = false;
  std::vector<ActiveFault> active_;
  std::optional<std::array<uint8_t, 16>> reply_;
  std::vector<uint8_t> last_write_;

  std::deque<Queued> queue_;
  bool printing_ = false;
  bool halted_ = false;
  bool stopping_ = false;
  bool data_ended_ = false;
  int polls_pending_ = 0;
  bool current_started_ = false;
  uint64_t current_start_ = 0;
  uint64_t print_clock_ = 0;
  std::optional<FaultKind> job_fault_;
};

// Makes the printer of `config.model`'s generation.
std::unique_ptr<VirtualPrinter> MakeVirtualPrinter(const Clock& clock, VirtualPrinterConfig config,
                                                   int index, std::filesystem::path output_dir,
                                                   VirtualRecords records = VirtualRecords::kKept);

}  // namespace qx
