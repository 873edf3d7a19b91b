// What the window's behaviour asks of the desktop: message boxes, questions, sounds and
// the desktop's "open" action. The Qt window implements it with real dialogs; tests
// script it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qx {

// A file dialog as the window asks for it.
struct FileDialog {
  std::string title;             // empty: the desktop's default title
  std::string filter;            // e.g. "Lable File [*.kel]|*.kel"
  std::string default_suffix;    // added when the operator types a name without one
  std::string initial_name;      // e.g. "*.kel"
  std::filesystem::path folder;  // starting folder; empty: the desktop's default
};

enum class Answer { kYes, kNo, kCancel };

class Ui {
 public:
  virtual ~Ui() = default;
  // A modal message box with one OK button and no icon.
  virtual void Message(std::string_view text, std::string_view caption) = 0;
  // A modal question with two buttons; true for the first.
  virtual bool Ask(std::string_view text, std::string_view caption, std::string_view yes,
                   std::string_view no) = 0;
  virtual void Beep() = 0;
  // Opens a document with the desktop's viewer, without waiting for the viewer to close.
  // False when the desktop has no viewer for it or the viewer could not start.
  virtual bool OpenWithDesktop(const std::filesystem::path& file) = 0;
  // A modal question with the buttons "是", "否" and, when `with_cancel`, "取消", which
  // Escape and the close button answer too (without it they answer 否).
  virtual Answer AskYesNo(std::string_view text, std::string_view caption, bool with_cancel) = 0;
  // Modal file dialogs; nullopt when cancelled.
  virtual std::optional<std::filesystem::path> OpenFile(const FileDialog& d) = 0;
  virtual std::optional<std::filesystem::path> SaveFile(const FileDialog& d) = 0;
  // The window's event loop, as the waits of a print job use it.
  virtual uint64_t NowMs() = 0;  // a millisecond tick counter
  // Dispatches the window's pending events (may wait a little for one to arrive).
  virtual void ProcessEvents() = 0;
  // Starts the one-shot job timer; when it fires the window calls OnJobTimer.
  virtual void StartJobTimer(uint32_t ms) = 0;
};

}  // namespace qx
