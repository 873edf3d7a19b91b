// Time as the printer code sees it: a millisecond tick counter. The editor uses the real
// monotonic clock; tests use a fake one that only moves when the job waits, so nothing in
// a test sleeps.
#pragma once

#include <chrono>
#include <cstdint>

namespace qx {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t NowMs() const = 0;
};

class SteadyClock final : public Clock {
 public:
  uint64_t NowMs() const override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
};

// A clock that moves only when told to.
class FakeClock final : public Clock {
 public:
  uint64_t NowMs() const override { return now_; }
  void Advance(uint64_t ms) { now_ += ms; }

 private:
  uint64_t now_ = 0;
};

}  // namespace qx
