#pragma once
// Ctrl+C, SIGTERM and SIGHUP during a run: the first one is handled like the user closing
// the main window, so the run stops and shut-down runs in full. Further signals within
// kForcedExitGraceMs of the first change nothing: `timeout` and a terminal's Ctrl+C reach
// the program twice at once (once itself, once through its process group). A signal after
// that ends the process at once, with status 128 + the signal's number: the GPU monitoring
// XML log gets its closing tag unless a line is being written that moment, and standard
// error says so.

#include <functional>
#include <thread>

namespace plashwerk {

/// Milliseconds after the first stop signal during which further ones are taken as the same.
inline constexpr int kForcedExitGraceMs = 2000;

class StopSignals {
  public:
    /// Installs the handlers for SIGINT, SIGTERM and SIGHUP. on_stop runs on a thread of its own
    /// (not in the signal handler) after the first signal. `grace_ms` is the time after the
    /// first signal in which another one does not force the exit.
    explicit StopSignals(std::function<void()> on_stop, int grace_ms = kForcedExitGraceMs);
    /// Stops the watching thread. The handlers stay: a signal during the shut-down that
    /// follows changes nothing, a second one after the grace time still ends the process.
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
