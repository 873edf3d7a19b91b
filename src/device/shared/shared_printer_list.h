// The shared printers the print dialog offers, found beside the window: a search runs on a
// thread of its own, so that opening the dialog never waits for the network, and the
// dialog takes up what was found when it comes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "device/shared/shared_printers.h"

namespace qx {

class SharedPrinterList {
 public:
  virtual ~SharedPrinterList() = default;
  // Starts a new search unless one is running.
  virtual void Refresh() = 0;
  virtual bool searching() const = 0;
  // What the last search found; `version` changes whenever that changes.
  virtual std::vector<SharedPrinter> printers() const = 0;
  virtual uint64_t version() const = 0;
};

// Searches with `find` (FindSharedPrinters over a search, in the program) on a thread.
// `find` must own what it uses: a search still running when the list goes is left to end
// on its own (the program does not wait for the network when it quits).
class BackgroundSharedPrinters final : public SharedPrinterList {
 public:
  using Find = std::function<std::vector<SharedPrinter>()>;
  explicit BackgroundSharedPrinters(Find find);
  void Refresh() override;
  bool searching() const override;
  std::vector<SharedPrinter> printers() const override;
  uint64_t version() const override;

 private:
  struct State {
    std::mutex mutex;
    bool searching = false;
    std::vector<SharedPrinter> printers;
    uint64_t version = 0;
  };
  Find find_;
  std::shared_ptr<State> state_;
};

}  // namespace qx
