#pragma once
// The GPU library's own trace channels: a general one ("pyrolex.log") for start-up and
// initialisation, and an NVIDIA debug one ("_p.log") for the back end's dumps. Each is an
// on/off flag and a text file; a line is written only while its channel is on. Both start
// switched off, and the program leaves them off, so no trace file is created.

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>

namespace plashwerk {

class PyrolexTraceChannel {
  public:
    explicit PyrolexTraceChannel(const char* file_name) : m_file_name(file_name) {}

    bool enabled() const { return m_enabled; }
    /// Switching on opens nothing yet; the first line creates the file.
    void setEnabled(bool on) { m_enabled = on; }
    void setFileName(const std::string& name);
    const std::string& fileName() const { return m_file_name; }

    /// Writes "Y/M/D @ hh:mm:ss >> " in local time, the message (at most 4096 characters)
    /// and a line end, appended in one write. Only a regular file is written: a link or a
    /// FIFO at the file's name gets no line. No lock is held while the file is opened.
    void write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vwrite(const char* format, va_list args);

  private:
    std::atomic<bool> m_enabled{false};
    std::mutex m_mutex;  // guards the file name
    std::string m_file_name;
};

PyrolexTraceChannel& pyrolexGeneralTrace();
PyrolexTraceChannel& pyrolexNvidiaTrace();

}  // namespace plashwerk
