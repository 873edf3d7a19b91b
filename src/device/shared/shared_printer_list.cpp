#include "device/shared/shared_printer_list.h"

#include <thread>

namespace qx {

BackgroundSharedPrinters::BackgroundSharedPrinters(Find find)
    : find_(std::move(find)), state_(std::make_shared<State>()) {}

void BackgroundSharedPrinters::Refresh() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->searching) return;
    state_->searching = true;
    ++state_->version;
  }
  // The thread shares the state, not the list, so it may outlive the list.
  std::thread([state = state_, find = find_] {
    std::vector<SharedPrinter> found;
    try {
      found = find();
    } catch (...) {
      found.clear();  // a search that fails finds nothing
    }
    std::lock_guard<std::mutex> done(state->mutex);
    state->printers = std::move(found);
    state->searching = false;
    ++state->version;
  }).detach();
}

bool BackgroundSharedPrinters::searching() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->searching;
}

std::vector<SharedPrinter> BackgroundSharedPrinters::printers() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->printers;
}

uint64_t BackgroundSharedPrinters::version() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->version;
}

}  // namespace qx
