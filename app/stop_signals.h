#pragma once
// Ctrl+C, SIGTERM and SIGHUP during a run: the first one is handled like the user closing
// the main window, so the run stops and shut-down runs in full; a second one ends the
// process at once.

#include <functional>
#include <thread>

namespace plashwerk {

class StopSignals {
  public:
    /// Installs the handlers for SIGINT, SIGTERM and SIGHUP. on_stop runs on a thread of its own
    /// (not in the signal handler) after the first signal.
    explicit StopSignals(std::function<void()> on_stop);
    /// Stops the watching thread. The handlers stay: a signal during the shut-down that
    /// follows changes nothing, a second one still ends the process.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// A stop signal has arrived (also before this object existed).
    static bool received();

  private:
    void watch();

    std::function<void()> m_on_stop;
    std::thread m_watcher;
};

}  // namespace plashwerk
