#include "app/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace plashwerk {
namespace {

std::atomic<int> g_signals{0};
// The handler's only way out: one byte per signal into a pipe that the watcher reads.
int g_pipe[2] = {-1, -1};

constexpr char kSignalByte = 'S';
constexpr char kQuitByte = 'Q';

extern "C" void onStopSignal(int signal_number) {
    if (g_signals.fetch_add(1) > 0) _exit(128 + signal_number);
    const int saved = errno;
    if (g_pipe[1] >= 0) {
        const char byte = kSignalByte;
        [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

bool StopSignals::received() {
    return g_signals.load() > 0;
}

StopSignals::StopSignals(std::function<void()> on_stop) : m_on_stop(std::move(on_stop)) {
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC) != 0) g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal stops the run like SIGTERM, so the logs are closed properly.
    sigaction(SIGHUP, &action, nullptr);
    if (g_pipe[0] >= 0) m_watcher = std::thread([this] { watch(); });
}

StopSignals::~StopSignals() {
    if (!m_watcher.joinable()) return;
    const char byte = kQuitByte;
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
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
        const ssize_t n = read(g_pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || byte == kQuitByte) return;
        if (!answered) {
            answered = true;
            m_on_stop();
        }
    }
}

}  // namespace plashwerk
