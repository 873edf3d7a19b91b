// What the window's behaviour asks of the desktop: message boxes, questions, sounds and
// the desktop's "open" action. The Qt window implements it with real dialogs; tests
// script it.
#pragma once

#include <filesystem>
#include <string_view>

namespace qx {

class Ui {
 public:
  virtual ~Ui() = default;
  // A modal message box with one OK button and no icon.
  virtual void Message(std::string_view text, std::string_view caption) = 0;
  // A modal question with two buttons; true for the first.
  virtual bool Ask(std::string_view text, std::string_view caption, std::string_view yes,
                   std::string_view no) = 0;
  virtual void Beep() = 0;
  // Opens a document with the desktop's viewer, without waiting. Failures are not reported.
  virtual void OpenWithDesktop(const std::filesystem::path& file) = 0;
  // Shows the serial-number dialog modally.
  virtual void ShowSerialDialog() {}
};

}  // namespace qx
