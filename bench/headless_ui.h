// The window's Ui for benchmarks: no desktop, nothing shown. Questions get `yes`; messages
// are counted (a benchmark can tell that a key was refused); the clock is `now_ms`.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "app/window_ui.h"

namespace qx::bench {

class HeadlessUi : public WindowUi {
 public:
  bool yes = false;
  int messages = 0;
  uint64_t now_ms = 0;

  void Message(std::string_view, std::string_view) override { ++messages; }
  bool Ask(std::string_view, std::string_view, std::string_view, std::string_view) override {
    return yes;
  }
  void Beep() override {}
  bool OpenWithDesktop(const std::filesystem::path&) override { return true; }
  Answer AskYesNo(std::string_view, std::string_view, bool) override {
    return yes ? Answer::kYes : Answer::kNo;
  }
  std::optional<std::filesystem::path> OpenFile(const FileDialog&) override { return {}; }
  std::optional<std::filesystem::path> SaveFile(const FileDialog&) override { return {}; }
  uint64_t NowMs() override { return now_ms; }
  void ProcessEvents() override {}
  void StartJobTimer(uint32_t) override {}
  int ShowSerialDialog(SerialNumberDialog&) override { return 0; }
  int ShowSymbolPicker(SymbolPicker&) override { return 0; }
  int ShowPrintDialog(PrintDialog&) override { return 0; }
  void ShowJobPreview(JobPreviewWindow&) override {}
  int ShowImportWindow(ImportWindow&) override { return import_result; }
  int import_result = 0;  // what the import window answers (0: cancelled)
  void ShowHelp(const std::filesystem::path&) override {}
};

}  // namespace qx::bench
