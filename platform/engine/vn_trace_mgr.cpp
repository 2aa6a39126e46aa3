#include "platform/engine/vn_trace_mgr.h"

#include <sys/time.h>

#include <ctime>

namespace Vantorr_nsp {
namespace {

const char* levelName(int level) {
    switch (level) {
        case VN_TRACE_ERROR:
            return "ERROR";
        case VN_TRACE_WARNING:
            return "WARNING";
        default:
            return "INFO";
    }
}

}  // namespace

vnTraceMgr& vnTraceMgr::instance() {
    static vnTraceMgr mgr;
    return mgr;
}

vnTraceMgr::~vnTraceMgr() {
    close();
}

void vnTraceMgr::setTraceLevel(int level) {
    m_level = level;
}

void vnTraceMgr::setLogFileName(const char* prefix) {
    std::lock_guard lock(m_mutex);
    if (m_file) std::fclose(m_file);
    m_file_name = std::string(prefix ? prefix : "") + "trace.log";
    m_file = std::fopen(m_file_name.c_str(), "w");
}

void vnTraceMgr::close() {
    std::lock_guard lock(m_mutex);
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

void vnTraceMgr::logTrace(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlogTrace(level, format, args);
    va_end(args);
}

void vnTraceMgr::vlogTrace(int level, const char* format, va_list args) {
    if (level > m_level || !format) return;
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);

    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

    std::lock_guard lock(m_mutex);
    if (!m_file) return;
    std::fprintf(m_file, "%s.%03d [%s] %s\n", stamp, static_cast<int>(now.tv_usec / 1000),
                 levelName(level), text);
    // Flushed per line: the log must survive a crash of the run it describes.
    std::fflush(m_file);
}

void logTrace(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vnTraceMgr::instance().vlogTrace(level, format, args);
    va_end(args);
}

}  // namespace Vantorr_nsp
