// Each job prints once. PAPPL 1.3 may start one job more than once when jobs arrive
// together (a job handed to a thread is marked as the printing one only once that thread
// runs, and a job a streaming client is still sending can be taken up by the queue too):
// the second start must not print the job again.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace qx::papp {

class OncePerJob {
 public:
  // Runs `print` for job `job_id` of printer `printer_id` (PAPPL counts jobs per printer)
  // unless it has run or is running for that job; a second start waits for the first to
  // end and gets its result. `again` tells whether this start was a second one.
  bool Run(int printer_id, int job_id, const std::function<bool()>& print, bool* again = nullptr);

 private:
  // The results kept, for the latest jobs only: PAPPL starts a job again within moments.
  static constexpr std::size_t kKept = 4096;
  std::mutex mutex_;
  std::condition_variable ended_;
  using Key = std::pair<int, int>;  // printer, job
  std::map<Key, int> state_;        // 0 running, 1 printed, 2 failed
  std::deque<Key> order_;
};

}  // namespace qx::papp
