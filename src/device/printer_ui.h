// What the printer code asks of the window while it talks to a printer: message boxes
// and the two waits that keep the window alive. The editor implements the waits by
// dispatching window events on the real clock; tests and the command-line tool use a
// clock of their own.
#pragma once

#include <cstdint>
#include <string_view>

namespace qx {

class PrinterUi {
 public:
  virtual ~PrinterUi() = default;
  // A modal message box; an empty caption gives the desktop's plain box.
  virtual void Message(std::string_view text, std::string_view caption) = 0;
  // Dispatches window events until `ms` milliseconds have passed; 0 returns at once.
  virtual void PumpWait(uint32_t ms) = 0;
  // Starts the job timer (50 ms) and dispatches window events until it has fired.
  virtual void WaitTick() = 0;
};

}  // namespace qx
