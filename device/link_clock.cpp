// The system's clock for the link: steady_clock, and the pauses of pause.h,
// which are never shorter than asked on either system.
#include "device/link_clock.h"

#include "device/pause.h"

namespace {

class SystemLinkClock final : public LinkClock {
 public:
  time_point Now() override { return std::chrono::steady_clock::now(); }
  void PauseUntil(time_point until) override {
    const auto left = until - Now();
    if (left > std::chrono::steady_clock::duration::zero()) {
      ::PauseMs(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
  }
};

}  // namespace

LinkClock& SystemClock() {
  static SystemLinkClock clock;
  return clock;
}
