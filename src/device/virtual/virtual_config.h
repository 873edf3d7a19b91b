// What a virtual printer is and how it misbehaves, and how the environment asks for them.
//
// The variable QX_VIRTUAL_PRINTERS lists the virtual printers, separated by commas; each is
// a model, optionally followed by options, each introduced by a colon:
//
//   qb20
//   qa11:speed=real,qb20:fault=ribbon-out@3
//   qb16i:tube=108:label=112:fail=item2*2:echo=once
//
// Models: qa11 ("Kelmor QA11", first generation), qb20 ("Kelmor QB20") and qb16i
// ("Kelmor QB16i"), both second generation. At most four printers. Letters may be in
// either case; blanks around entries are ignored.
//
// Options:
//   speed=instant|real|N  instant (default): everything is printed the moment it arrives;
//                         real: 30 mm/s; N: N mm/s (1 to 1000), at 11.8 dots a millimetre
//   tube=N, label=N       the calibration values the printer reports (0 to 255, default 110)
//   fault=NAME[@WHEN]     a fault appears at WHEN (and goes as virtual_printer.h says):
//                         open (when the printer is opened), start (job set-up: command
//                         6 / request 25), finish (command 14 / request 17) or K (when
//                         the K-th item of a job, counted from 1, is to be printed;
//                         printing halts there). Without @WHEN: open, except
//                         setup-rejected and feed-failed (start) and ended and finished (1).
//                         NAME: busy, no-ribbon-cassette, no-ribbon, ribbon-out, cover-open,
//                         setup-rejected, ended, finished (both generations) and
//                         material-out, no-label-cassette, labels-out, no-response,
//                         feed-failed (second generation only). See FaultKind.
//   fail=WHERE[*COUNT]    COUNT transfers in a row fail (default 1), the first at WHERE:
//                         N (the N-th transfer of the printer: every bulk write, bulk read
//                         and vendor request counts, from 1) or itemK (the first image
//                         message of the K-th item of a job; resends do not count)
//   unplug=WHERE          the printer is disconnected at WHERE (that transfer fails)
//   replug=MS             it comes back MS milliseconds after being disconnected
//   echo=once[@K]|always  second generation: the checksum echo is wrong once (for the
//                         first message of item K, default 1) or always
//   hang=finish|reset     never finishes the job (first generation: never state 0 after
//                         command 14; second: job-active bit never clears after request
//                         17) / second generation: busy never clears after a reset
//   ready=N               second generation: the request-completed bit shows only after N
//                         status polls following requests 24, 25 and 16 (default 0)
//   lag=MS                every transfer takes MS milliseconds of real time (0 to 10000,
//                         default 0): a slow link, to try what the host does while it
//                         waits on the printer (a Ctrl-C during the printer check)
// The same option may be given more than once where that makes sense (fault, fail).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

enum class VirtualModel { kQA11, kQB20, kQB16i };

struct VirtualModelInfo {
  std::string_view key;   // "qa11": the name in QX_VIRTUAL_PRINTERS and in file names
  std::string_view name;  // "Kelmor QA11": the model name the print dialog stores
  std::string_view ids;   // "vid_0471&pid_0666": the text in the device path
  int generation = 1;
};

const VirtualModelInfo& InfoOf(VirtualModel model);

// A printer fault. How each shows, first generation / second generation:
enum class FaultKind {
  kBusy,              // state 12 to command 1 / StatusWordA 0x1000
  kNoRibbonCassette,  // state 2 / StatusWordB 0x0010
  kNoRibbon,          // state 4 / StatusWordA 0x0200 (no ribbon sensed)
  kRibbonOut,         // state 4 / StatusWordB 0x0020 (ribbon remaining zero)
  kCoverOpen,         // state 8 / StatusWordA 0x0100
  kMaterialOut,       // - / StatusWordA 0x0040
  kNoLabelCassette,   // - / StatusWordB 0x0004
  kLabelsOut,         // - / StatusWordB 0x0008
  kNoResponse,        // - / StatusWordB 0x0040 (request completed) never set
  kSetupRejected,     // command 6 answered with state 0 / StatusWordB 0x0080 clear after 25
  kFeedFailed,        // - / StatusWordA 0x0400 not set after request 16
  kEnded,             // state 16 to command 4 / StatusWordA 0x0400 clears
  kFinished,          // state 0 to command 4 / StatusWordA 0x0400 clears
};

std::string_view FaultName(FaultKind kind);  // "ribbon-out"
bool FaultExists(FaultKind kind, int generation);

enum class FaultStage { kOpen, kStart, kItem, kFinish };

struct FaultPlan {
  FaultKind kind = FaultKind::kCoverOpen;
  FaultStage stage = FaultStage::kOpen;
  int item = 0;  // kItem: the item of the job, from 1
};

// Where a planned failure or disconnection happens: at the n-th transfer of the printer
// (from 1), or at the first image message of the k-th item of a job (from 1).
struct TransferPoint {
  int transfer = 0;
  int item = 0;
};

struct FailPlan {
  TransferPoint at;
  int count = 1;  // transfers in a row that fail
};

enum class EchoFault { kNone, kOnce, kAlways };

// Behaviour that may also be changed while the printer runs.
struct VirtualPrinterOptions {
  double speed_mm_per_s = 0;  // 0: instant
  uint8_t tube_calibration = 110;
  uint8_t label_calibration = 110;
  EchoFault echo = EchoFault::kNone;
  int echo_item = 1;                        // kOnce: the item whose first message gets it
  bool hang_finish = false;                 // the job never finishes after its data end
  bool hang_reset = false;                  // second generation: busy stays after a reset
  int ready_polls = 0;                      // second generation, see "ready=N" above
  int lag_ms = 0;                           // real time each transfer takes, "lag=MS"
  std::optional<uint64_t> replug_after_ms;  // after a disconnection
};

inline constexpr double kRealSpeedMmPerS = 30;
inline constexpr double kDotsPerMm = 11.8;

struct VirtualPrinterConfig {
  VirtualModel model = VirtualModel::kQB20;
  VirtualPrinterOptions options;
  std::vector<FaultPlan> faults;
  std::vector<FailPlan> failures;
  std::optional<TransferPoint> unplug;
};

struct VirtualPrinterList {
  std::vector<VirtualPrinterConfig> printers;
  std::string error;  // empty when the text was understood
  bool ok() const { return error.empty(); }
};

// Parses a QX_VIRTUAL_PRINTERS text (syntax above). An empty text gives no printers. On
// bad input `printers` is empty and `error` says what is wrong and where.
VirtualPrinterList ParseVirtualPrinters(std::string_view text);

// Looks an environment variable up: its value, or nullptr when it is not set.
using EnvLookup = std::function<const char*(const char*)>;
// The value of `name` through `env`, or the process environment when `env` is empty.
const char* LookupEnv(const EnvLookup& env, const char* name);

// The virtual printers asked for by QX_VIRTUAL_PRINTERS (none when it is unset or empty).
VirtualPrinterList VirtualPrintersFromEnvironment(const EnvLookup& env = {});

// The folder for the virtual printers' traces and tape pictures: QX_VIRTUAL_PRINTER_DIR,
// else $XDG_STATE_HOME/qx-editor/virtual-printers (when that is an absolute path), else
// $HOME/.local/state/qx-editor/virtual-printers; empty when none of these is set. `env`
// defaults to the process environment.
std::filesystem::path VirtualPrinterDir(const EnvLookup& env = {});

}  // namespace qx
