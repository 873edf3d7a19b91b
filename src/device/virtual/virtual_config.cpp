#include "device/virtual/virtual_config.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "device/known_printers.h"
#include "device/transport.h"

namespace qx {
namespace {

constexpr VirtualModelInfo Model(std::string_view key, const KnownPrinter& p) {
  return {key, p.name, p.id_text, p.generation == Generation::kFirst ? 1 : 2};
}

// In the order of VirtualModel.
constexpr std::array<VirtualModelInfo, 3> kModels = {{
    Model("qa11", kKnownPrinters[0]),
    Model("qb20", kKnownPrinters[1]),
    Model("qb16i", kKnownPrinters[2]),
}};

struct FaultEntry {
  FaultKind kind;
  std::string_view name;
  bool first_generation;
  FaultStage default_stage;
  int default_item;
};

constexpr std::array<FaultEntry, 13> kFaults = {{
    {FaultKind::kBusy, "busy", true, FaultStage::kOpen, 0},
    {FaultKind::kNoRibbonCassette, "no-ribbon-cassette", true, FaultStage::kOpen, 0},
    {FaultKind::kNoRibbon, "no-ribbon", true, FaultStage::kOpen, 0},
    {FaultKind::kRibbonOut, "ribbon-out", true, FaultStage::kOpen, 0},
    {FaultKind::kCoverOpen, "cover-open", true, FaultStage::kOpen, 0},
    {FaultKind::kMaterialOut, "material-out", false, FaultStage::kOpen, 0},
    {FaultKind::kNoLabelCassette, "no-label-cassette", false, FaultStage::kOpen, 0},
    {FaultKind::kLabelsOut, "labels-out", false, FaultStage::kOpen, 0},
    {FaultKind::kNoResponse, "no-response", false, FaultStage::kOpen, 0},
    {FaultKind::kSetupRejected, "setup-rejected", true, FaultStage::kStart, 0},
    {FaultKind::kFeedFailed, "feed-failed", false, FaultStage::kStart, 0},
    {FaultKind::kEnded, "ended", true, FaultStage::kItem, 1},
    {FaultKind::kFinished, "finished", true, FaultStage::kItem, 1},
}};

const FaultEntry& EntryOf(FaultKind kind) {
  for (const FaultEntry& e : kFaults)
    if (e.kind == kind) return e;
  return kFaults[0];
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = s.find(sep);
    parts.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

// A whole decimal number within [lo, hi].
std::optional<long long> Number(std::string_view s, long long lo, long long hi) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi)
    return std::nullopt;
  return v;
}

std::string Quoted(std::string_view s) {
  return "\"" + std::string(s) + "\"";
}

std::string FaultNames(int generation) {
  std::string names;
  for (const FaultEntry& e : kFaults) {
    if (generation == 1 && !e.first_generation) continue;
    if (!names.empty()) names += ", ";
    names += e.name;
  }
  return names;
}

std::optional<TransferPoint> ParsePoint(std::string_view s) {
  TransferPoint p;
  if (s.starts_with("item")) {
    const auto k = Number(s.substr(4), 1, 1000000);
    if (!k) return std::nullopt;
    p.item = static_cast<int>(*k);
  } else {
    const auto n = Number(s, 1, 1000000000);
    if (!n) return std::nullopt;
    p.transfer = static_cast<int>(*n);
  }
  return p;
}

// One option of one printer; returns an error text, empty on success.
std::string ApplyOption(std::string_view option, VirtualPrinterConfig& c) {
  const int generation = InfoOf(c.model).generation;
  const std::size_t eq = option.find('=');
  if (eq == std::string_view::npos)
    return "option " + Quoted(option) + " has no value (expected NAME=VALUE)";
  const std::string_view key = option.substr(0, eq), value = option.substr(eq + 1);
  auto bad = [&](std::string_view expected) {
    return "bad value " + Quoted(value) + " for " + std::string(key) + " (expected " +
           std::string(expected) + ")";
  };
  auto second_only = [&]() {
    return "option " + std::string(key) +
           " applies to the second generation only (qb20, qb16i), not to qa11";
  };
  VirtualPrinterOptions& o = c.options;
  if (key == "speed") {
    if (value == "instant") {
      o.speed_mm_per_s = 0;
    } else if (value == "real") {
      o.speed_mm_per_s = kRealSpeedMmPerS;
    } else {
      const auto n = Number(value, 1, 1000);
      if (!n) return bad("instant, real or a speed of 1 to 1000 mm/s");
      o.speed_mm_per_s = static_cast<double>(*n);
    }
  } else if (key == "tube" || key == "label") {
    const auto n = Number(value, 0, 255);
    if (!n) return bad("0 to 255");
    (key == "tube" ? o.tube_calibration : o.label_calibration) = static_cast<uint8_t>(*n);
  } else if (key == "fault") {
    const std::size_t at = value.find('@');
    const std::string_view name = value.substr(0, at);
    const FaultEntry* entry = nullptr;
    for (const FaultEntry& e : kFaults)
      if (e.name == name) entry = &e;
    if (!entry) return "unknown fault " + Quoted(name) + " (known: " + FaultNames(2) + ")";
    if (generation == 1 && !entry->first_generation)
      return "fault " + Quoted(name) + " does not exist on the qa11 (it has: " + FaultNames(1) +
             ")";
    FaultPlan f{entry->kind, entry->default_stage, entry->default_item};
    if (at != std::string_view::npos) {
      const std::string_view when = value.substr(at + 1);
      if (when == "open") {
        f = {entry->kind, FaultStage::kOpen, 0};
      } else if (when == "start") {
        f = {entry->kind, FaultStage::kStart, 0};
      } else if (when == "finish") {
        f = {entry->kind, FaultStage::kFinish, 0};
      } else if (const auto k = Number(when, 1, 1000000)) {
        f = {entry->kind, FaultStage::kItem, static_cast<int>(*k)};
      } else {
        return "bad fault time " + Quoted(when) +
               " (expected open, start, finish or an item number from 1)";
      }
    }
    c.faults.push_back(f);
  } else if (key == "fail") {
    const std::size_t star = value.find('*');
    const auto point = ParsePoint(value.substr(0, star));
    if (!point) return bad("N, itemK, N*COUNT or itemK*COUNT");
    FailPlan plan{*point, 1};
    if (star != std::string_view::npos) {
      const auto n = Number(value.substr(star + 1), 1, 1000000);
      if (!n) return bad("a count of 1 or more after *");
      plan.count = static_cast<int>(*n);
    }
    c.failures.push_back(plan);
  } else if (key == "unplug") {
    const auto point = ParsePoint(value);
    if (!point) return bad("N or itemK");
    c.unplug = *point;
  } else if (key == "replug") {
    const auto n = Number(value, 0, 86400000);
    if (!n) return bad("milliseconds, 0 to 86400000");
    o.replug_after_ms = static_cast<uint64_t>(*n);
  } else if (key == "echo") {
    if (generation == 1) return second_only();
    if (value == "always") {
      o.echo = EchoFault::kAlways;
    } else if (value == "once") {
      o.echo = EchoFault::kOnce;
      o.echo_item = 1;
    } else if (value.starts_with("once@")) {
      const auto k = Number(value.substr(5), 1, 1000000);
      if (!k) return bad("once, once@K or always");
      o.echo = EchoFault::kOnce;
      o.echo_item = static_cast<int>(*k);
    } else {
      return bad("once, once@K or always");
    }
  } else if (key == "hang") {
    if (value == "finish") {
      o.hang_finish = true;
    } else if (value == "reset") {
      if (generation == 1) return second_only();
      o.hang_reset = true;
    } else {
      return bad("finish or reset");
    }
  } else if (key == "ready") {
    if (generation == 1) return second_only();
    const auto n = Number(value, 0, 1000);
    if (!n) return bad("0 to 1000 polls");
    o.ready_polls = static_cast<int>(*n);
  } else if (key == "lag") {
    const auto n = Number(value, 0, 10000);
    if (!n) return bad("0 to 10000 milliseconds");
    o.lag_ms = static_cast<int>(*n);
  } else {
    return "unknown option " + Quoted(key) +
           " (known: speed, tube, label, fault, fail, unplug, replug, echo, hang, ready, lag)";
  }
  return {};
}

}  // namespace

const VirtualModelInfo& InfoOf(VirtualModel model) {
  return kModels[static_cast<std::size_t>(model)];
}

std::string_view FaultName(FaultKind kind) {
  return EntryOf(kind).name;
}

bool FaultExists(FaultKind kind, int generation) {
  return generation != 1 || EntryOf(kind).first_generation;
}

VirtualPrinterList ParseVirtualPrinters(std::string_view text) {
  VirtualPrinterList list;
  if (Trim(text).empty()) return list;
  const std::vector<std::string_view> entries = Split(text, ',');
  if (entries.size() > static_cast<std::size_t>(kMaxDevices)) {
    list.error = "at most " + std::to_string(kMaxDevices) + " virtual printers, not " +
                 std::to_string(entries.size());
    return list;
  }
  for (std::size_t n = 0; n < entries.size(); ++n) {
    const std::string entry = Lower(Trim(entries[n]));
    const std::string where = "printer " + std::to_string(n + 1) + " (" + Quoted(entry) + "): ";
    if (entry.empty()) {
      list.error = "printer " + std::to_string(n + 1) + " is empty";
      list.printers.clear();
      return list;
    }
    const std::vector<std::string_view> parts = Split(entry, ':');
    VirtualPrinterConfig c;
    const auto model = std::find_if(kModels.begin(), kModels.end(),
                                    [&](const VirtualModelInfo& m) { return m.key == parts[0]; });
    if (model == kModels.end()) {
      list.error = where + "unknown model " + Quoted(parts[0]) + " (expected qa11, qb20 or qb16i)";
      list.printers.clear();
      return list;
    }
    c.model = static_cast<VirtualModel>(model - kModels.begin());
    for (std::size_t p = 1; p < parts.size(); ++p) {
      std::string error = ApplyOption(Trim(parts[p]), c);
      if (!error.empty()) {
        list.error = where + error;
        list.printers.clear();
        return list;
      }
    }
    list.printers.push_back(std::move(c));
  }
  return list;
}

const char* LookupEnv(const EnvLookup& env, const char* name) {
  return env ? env(name) : std::getenv(name);
}

VirtualPrinterList VirtualPrintersFromEnvironment(const EnvLookup& env) {
  const char* text = LookupEnv(env, "QX_VIRTUAL_PRINTERS");
  return ParseVirtualPrinters(text ? text : "");
}

std::filesystem::path VirtualPrinterDir(const EnvLookup& env) {
  auto value = [&](const char* name) -> std::string {
    const char* v = LookupEnv(env, name);
    return v ? v : "";
  };
  if (const std::string dir = value("QX_VIRTUAL_PRINTER_DIR"); !dir.empty()) return dir;
  const std::filesystem::path tail = std::filesystem::path("qx-editor") / "virtual-printers";
  if (const std::string state = value("XDG_STATE_HOME");
      !state.empty() && std::filesystem::path(state).is_absolute())
    return std::filesystem::path(state) / tail;
  if (const std::string home = value("HOME"); !home.empty())
    return std::filesystem::path(home) / ".local" / "state" / tail;
  return {};
}

}  // namespace qx
