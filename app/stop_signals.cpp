#include "app/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "gpumon/monitoring_logs.h"

namespace plashwerk {
namespace {

constexpr int64_t kNoSignalYet = -1;
static_assert(std::atomic<int64_t>::is_always_lock_free);

// Everything the signal handler reaches; a handler can be handed nothing, so this one record
// is the process's only file-scope state of the shell.
struct SignalHandlerState {
    std::atomic<int> signals{0};
    // When the first signal came (CLOCK_MONOTONIC, ms), and how long after it another one
    // is taken as the same stop.
    std::atomic<int64_t> first_signal_ms{kNoSignalYet};
    std::atomic<int> grace_ms{kForcedExitGraceMs};
    // The handler's only way out: one byte per signal into a pipe that the watcher reads.
    int pipe[2] = {-1, -1};
};
SignalHandlerState g_handler;  // signal handler state

constexpr char kSignalByte = 'S';
constexpr char kQuitByte = 'Q';

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void writeText(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, text, length);
}

// The stop under way did not end the process in time and the user insists. Only
// async-signal-safe work here: the run's threads may hold any lock, the heap's included.
[[noreturn]] void forceExit(int signal_number) {
    const XmlExitEnd xml = endMonitoringXmlForExit();
    writeText(program_invocation_short_name);
    writeText(": a second stop signal: exiting at once without the shut-down");
    if (xml == XmlExitEnd::Ended) writeText("; the GPU monitoring log was closed");
    if (xml == XmlExitEnd::Busy)
        writeText("; the GPU monitoring log was being written and is left unclosed");
    writeText("\n");
    _exit(128 + signal_number);
}

extern "C" void onStopSignal(int signal_number) {
    const int saved = errno;
    const int64_t now = monotonicMs();
    int64_t first = kNoSignalYet;
    if (g_handler.first_signal_ms.compare_exchange_strong(first, now)) {
        g_handler.signals.fetch_add(1);
        if (g_handler.pipe[1] >= 0) {
            const char byte = kSignalByte;
            [[maybe_unused]] ssize_t n = write(g_handler.pipe[1], &byte, 1);
        }
    } else if (now - first >= g_handler.grace_ms.load()) {
        forceExit(signal_number);
    }
    // Within the grace time: the same stop, already under way.
    errno = saved;
}

}  // namespace

bool StopSignals::received() {
    return g_handler.signals.load() > 0;
}

StopSignals::StopSignals(std::function<void()> on_stop, int grace_ms)
    : m_on_stop(std::move(on_stop)) {
    g_handler.grace_ms.store(grace_ms);
    if (g_handler.pipe[0] < 0 && pipe2(g_handler.pipe, O_CLOEXEC) != 0)
        g_handler.pipe[0] = g_handler.pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal stops the run like SIGTERM, so the logs are closed properly.
    sigaction(SIGHUP, &action, nullptr);
    if (g_handler.pipe[0] >= 0) m_watcher = std::thread([this] { watch(); });
}

StopSignals::~StopSignals() {
    if (!m_watcher.joinable()) return;
    const char byte = kQuitByte;
    [[maybe_unused]] ssize_t n = write(g_handler.pipe[1], &byte, 1);
    m_watcher.join();
}

void StopSignals::watch() {
    // A signal that came before the watcher started is still answered.
    bool answered = false;
    if (received()) {
        answered = true;
        m_on_stop();
    }
    for (;;) {
        char byte = 0;
        const ssize_t n = read(g_handler.pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || byte == kQuitByte) return;
        if (!answered) {
            answered = true;
            m_on_stop();
        }
    }
}

}  // namespace plashwerk
