#pragma once
// Calls that must not block: named pipes where a file is expected, and a watchdog that
// turns a call that hangs into a failed check instead of a stalled test program.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace plashwerk::test {

/// A named pipe at path with no process at either end: a plain open() of it blocks.
/// unblock() releases whatever open() waits on it, so that a hung call can end: a reader
/// by a writer that comes and goes (the reader then reads end of file), a writer by a
/// reader that stays until the object goes (what it writes never meets a pipe without
/// readers).
class Fifo {
  public:
    explicit Fifo(std::string path) : m_path(std::move(path)) {
        if (mkfifo(m_path.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo " << m_path;
    }
    ~Fifo() {
        if (m_reader >= 0) close(m_reader);
        unlink(m_path.c_str());
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;
    const std::string& path() const { return m_path; }

    void unblock() {
        const int writer = open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
        if (m_reader < 0) m_reader = open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    }

  private:
    std::string m_path;
    int m_reader = -1;
};

/// Runs work on a thread of its own and waits for it at most the (generous) deadline. When
/// it has not finished by then, unblock() is called again and again until it has, and the
/// answer is false: a call that hangs fails its test instead of stalling the program.
inline bool finishes(const std::function<void()>& work, const std::function<void()>& unblock,
                     std::chrono::seconds deadline = std::chrono::seconds(60)) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool in_time = finished.wait_for(deadline) == std::future_status::ready;
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) unblock();
    worker.join();
    return in_time;
}

}  // namespace plashwerk::test
