#include "printer_app/job_once.h"

namespace qx::papp {

bool OncePerJob::Run(int printer_id, int job_id, const std::function<bool()>& print,
                     bool* again) {
  const Key key{printer_id, job_id};
  {
    std::unique_lock lock(mutex_);
    const auto it = state_.find(key);
    if (it != state_.end()) {
      if (again) *again = true;
      ended_.wait(lock, [&] { return state_[key] != 0; });
      return state_[key] == 1;
    }
    state_[key] = 0;
    order_.push_back(key);
    while (order_.size() > kKept) {
      // Only ended jobs are forgotten.
      const Key oldest = order_.front();
      if (state_[oldest] == 0) break;
      state_.erase(oldest);
      order_.pop_front();
    }
  }
  if (again) *again = false;
  bool ok = false;
  try {
    ok = print();
  } catch (...) {
    std::lock_guard lock(mutex_);
    state_[key] = 2;
    ended_.notify_all();
    throw;
  }
  std::lock_guard lock(mutex_);
  state_[key] = ok ? 1 : 2;
  ended_.notify_all();
  return ok;
}

}  // namespace qx::papp
