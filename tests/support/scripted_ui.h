// A Ui that records what the window shows and answers questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/import_window.h"
#include "app/job_preview_window.h"
#include "app/print_dialog.h"
#include "app/serial_dialog.h"
#include "app/symbol_picker.h"
#include "app/window_ui.h"
#include "device/clock.h"

namespace qx::testing {

class ScriptedUi : public WindowUi {
 public:
  struct Shown {
    std::string text, caption;
  };
  std::vector<Shown> messages;
  std::deque<bool> answers;   // for Ask, first button = true; asking with none left fails
  std::deque<Answer> yes_no;  // for AskYesNo
  std::deque<std::optional<std::filesystem::path>> files;  // for the file dialogs
  std::vector<std::string> questions;
  std::vector<FileDialog> dialogs;
  std::vector<std::filesystem::path> opened;
  int beeps = 0;
  int serial_dialogs = 0;

  void Message(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
  }
  bool Ask(std::string_view text, std::string_view, std::string_view, std::string_view) override {
    questions.emplace_back(text);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return false;
    }
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  Answer AskYesNo(std::string_view text, std::string_view, bool with_cancel) override {
    questions.emplace_back(text);
    if (yes_no.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return with_cancel ? Answer::kCancel : Answer::kNo;
    }
    const Answer a = yes_no.front();
    yes_no.pop_front();
    if (a == Answer::kCancel && !with_cancel)
      ADD_FAILURE() << "取消 answered to a question without it: " << text;
    return a;
  }
  std::optional<std::filesystem::path> OpenFile(const FileDialog& d) override {
    return NextFile(d);
  }
  std::optional<std::filesystem::path> SaveFile(const FileDialog& d) override {
    return NextFile(d);
  }
  std::optional<std::filesystem::path> NextFile(const FileDialog& d) {
    dialogs.push_back(d);
    if (files.empty()) {
      ADD_FAILURE() << "unexpected file dialog: " << d.filter;
      return std::nullopt;
    }
    auto f = files.front();
    files.pop_front();
    return f;
  }
  void Beep() override { ++beeps; }
  // Whether the desktop has a viewer for the help pages; without one the window shows them.
  bool desktop_opens = true;
  std::vector<std::filesystem::path> help_pages;
  bool OpenWithDesktop(const std::filesystem::path& f) override {
    opened.push_back(f);
    return desktop_opens;
  }
  void ShowHelp(const std::filesystem::path& page) override { help_pages.push_back(page); }

  // The serial-number dialog and the symbol picker: the script plays the operator on the
  // activated dialog and returns when the operator is done; without a script the dialog is
  // closed with its close box. The result is the dialog's.
  std::function<void(SerialNumberDialog&)> serial_dialog;
  int ShowSerialDialog(SerialNumberDialog& dialog) override {
    ++serial_dialogs;
    dialog.OnActivated();
    if (serial_dialog) serial_dialog(dialog);
    if (dialog.result() == 0) dialog.OnCloseBox();
    return dialog.result();
  }
  std::function<void(SymbolPicker&)> symbol_picker;
  int symbol_pickers = 0;
  int ShowSymbolPicker(SymbolPicker& dialog) override {
    ++symbol_pickers;
    dialog.OnActivated();
    if (symbol_picker) symbol_picker(dialog);
    if (dialog.result() == 0) dialog.OnCloseBox();
    return dialog.result();
  }

  // The print dialog: `print_dialog` plays the operator (it is given the activated dialog);
  // without it the dialog is cancelled.
  std::function<int(PrintDialog&)> print_dialog;
  int print_dialogs = 0;
  int ShowPrintDialog(PrintDialog& dialog) override {
    ++print_dialogs;
    dialog.OnActivated();
    if (!print_dialog) return PrintDialog::kResultCancel;
    return print_dialog(dialog);
  }

  // The job preview: `job_preview` plays the operator (it is given the window); without
  // it the preview is closed at once.
  std::function<void(JobPreviewWindow&)> job_preview;
  int job_previews = 0;
  // The import window: the script makes its choices and says whether "导入" is pressed;
  // without a script it is pressed at once.
  int ShowImportWindow(ImportWindow& window) override {
    ++import_windows;
    if (!import_window) return ImportWindow::kResultImport;
    return import_window(window) ? ImportWindow::kResultImport : ImportWindow::kResultCancel;
  }
  std::function<bool(ImportWindow&)> import_window;
  int import_windows = 0;

  void ShowJobPreview(JobPreviewWindow& window) override {
    ++job_previews;
    if (job_preview) job_preview(window);
  }

  // The event loop on a fake clock: every dispatch moves it on by `dispatch_ms`, fires the
  // job timer when due and runs the actions whose time has come (the operator pressing
  // stop, a printer being unplugged). A job still waiting after `time_limit_ms` of fake
  // time throws, so that a hanging job fails its test instead of hanging it.
  FakeClock clock;
  uint64_t dispatch_ms = 10;
  uint64_t time_limit_ms = 24ull * 3600 * 1000;
  std::function<void()> job_timer;
  std::optional<uint64_t> job_timer_due;
  std::vector<std::pair<uint64_t, std::function<void()>>> at;
  std::function<void()> on_dispatch;
  uint64_t NowMs() override { return clock.NowMs(); }
  void StartJobTimer(uint32_t ms) override { job_timer_due = clock.NowMs() + ms; }
  void ProcessEvents() override {
    clock.Advance(dispatch_ms);
    if (clock.NowMs() > time_limit_ms)
      throw std::runtime_error("the job waited past the time limit");
    if (job_timer_due && clock.NowMs() >= *job_timer_due) {
      job_timer_due.reset();
      if (job_timer) job_timer();
    }
    for (auto it = at.begin(); it != at.end();) {
      if (clock.NowMs() >= it->first) {
        auto action = std::move(it->second);
        it = at.erase(it);
        action();
      } else {
        ++it;
      }
    }
    if (on_dispatch) on_dispatch();
  }

  // The texts shown since the last call, then forgotten.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    messages.clear();
    return out;
  }
};

}  // namespace qx::testing
