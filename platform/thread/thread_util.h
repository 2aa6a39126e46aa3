#pragma once
// Threads, events and affinity as the run uses them.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plashwerk {

/// An event that releases exactly one waiter per set() and then resets itself. A set()
/// with nobody waiting stays signalled until the next wait.
class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initially_set = false) : m_set(initially_set) {}

    void set();
    void wait();
    /// Returns true when the event was taken, false after timeout_ms without it.
    bool waitFor(uint32_t timeout_ms);

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
};

/// Restricts the calling thread to the processors of the mask (bit n = processor n).
/// Returns false when the system refuses (for example a processor that does not exist).
bool setCurrentThreadAffinity(uint64_t mask);

/// Number of logical processors the system reports (at least 1).
int logicalProcessorCount();

/// An id of the calling thread, unique among live threads (the kernel's thread id).
uint32_t currentThreadId();

/// The kernel id of the process's main thread (on Linux, the process id).
uint32_t mainThreadId();

void sleepMs(uint32_t ms);

}  // namespace plashwerk
