#include "platform/thread/thread_util.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace plashwerk {

void AutoResetEvent::set() {
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_cv.notify_one();
}

void AutoResetEvent::wait() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_set; });
    m_set = false;
}

bool AutoResetEvent::waitFor(uint32_t timeout_ms) {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return m_set; }))
        return false;
    m_set = false;
    return true;
}

bool setCurrentThreadAffinity(uint64_t mask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0; cpu < 64; ++cpu)
        if (mask & (uint64_t{1} << cpu)) CPU_SET(cpu, &set);
    return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

int logicalProcessorCount() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

uint32_t currentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

uint32_t mainThreadId() {
    return static_cast<uint32_t>(getpid());
}

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace plashwerk
