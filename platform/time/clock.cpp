#include "platform/time/clock.h"

#include <time.h>

namespace plashwerk {
namespace {

int64_t readNs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

class SystemClock final : public Clock {
  public:
    int64_t counter() override { return readNs(CLOCK_MONOTONIC_RAW); }
    int64_t counterFrequency() override { return 1'000'000'000; }
    uint32_t tickCount() override {
        return static_cast<uint32_t>(readNs(CLOCK_MONOTONIC) / 1'000'000);
    }
};

}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace plashwerk
