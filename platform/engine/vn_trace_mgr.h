#pragma once
// The engine's trace log: one text file in the working directory, shared by every thread.
//
// Levels: 1 error, 2 warning, 4 information. A message is written when its level is not
// above the trace level. Each line carries the local time and the level's name.

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace Vantorr_nsp {

enum vnTraceLevel { VN_TRACE_ERROR = 1, VN_TRACE_WARNING = 2, VN_TRACE_INFO = 4 };

class vnTraceMgr {
  public:
    static vnTraceMgr& instance();

    /// Messages above this level are dropped. Default 4 (everything).
    void setTraceLevel(int level);
    int traceLevel() const { return m_level; }

    /// Names the log file "<prefix>trace.log" in the working directory and (re)opens it,
    /// replacing the log of an earlier start. The file is held with an advisory lock
    /// (flock) while open: when another running program holds it, this one writes
    /// "<prefix>trace.<pid>.log" instead and says so on standard error. An unwritable
    /// directory leaves the log closed; logging then does nothing.
    void setLogFileName(const char* prefix);
    const std::string& logFileName() const { return m_file_name; }

    /// printf-style; the formatted text is cut at 4095 bytes.
    void logTrace(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void vlogTrace(int level, const char* format, va_list args);

    /// Flushes and closes the file; later messages are dropped until setLogFileName.
    void close();

  private:
    vnTraceMgr() = default;
    ~vnTraceMgr();

    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    std::string m_file_name;
    int m_level = VN_TRACE_INFO;
};

/// Shorthand used across the program for vnTraceMgr::instance().logTrace(...).
void logTrace(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace Vantorr_nsp
