#include "platform/engine/vn_trace_mgr.h"

#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/file/regular_file.h"

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

// Whether the failure of the log has been told already: it is told once. The trace
// manager is one instance; its mutex guards this too.
bool g_failure_reported = false;

// The one message for a log that cannot be kept: on standard error, since the log itself
// is what failed.
void reportFailure(const std::string& file_name, const char* what, int error,
                   const char* consequence) {
    if (g_failure_reported) return;
    g_failure_reported = true;
    std::fprintf(stderr, "%s: the trace log %s %s (%s); %s\n", program_invocation_short_name,
                 file_name.c_str(), what, std::strerror(error != 0 ? error : EIO), consequence);
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

namespace {

// Opens the log at `name` for this process alone: without truncating it first, then with an
// advisory lock taken (never waited for) before it is emptied, so a second program in the
// same folder never clears the log of the first. Null with errno EWOULDBLOCK when another
// process holds the lock; a file system without locks is written without one.
std::FILE* openLockedLog(const std::string& name) {
    const int fd = plashwerk::openRegularFile(name.c_str(), plashwerk::FileAccess::Append);
    if (fd < 0) return nullptr;
    int locked;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        errno = EWOULDBLOCK;
        return nullptr;
    }
    std::FILE* file = ftruncate(fd, 0) == 0 ? fdopen(fd, "a") : nullptr;
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace

void vnTraceMgr::setLogFileName(const char* prefix) {
    // The lock of this process's earlier log goes first: the same name is locked afresh.
    std::lock_guard lock(m_mutex);
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    const std::string base = prefix ? prefix : "";
    std::string name = base + "trace.log";
    errno = 0;
    std::FILE* file = openLockedLog(name);
    if (!file && errno == EWOULDBLOCK) {
        // Another program writes there: this one keeps a log of its own beside it.
        const std::string busy = name;
        name = base + "trace." + std::to_string(getpid()) + ".log";
        errno = 0;
        file = openLockedLog(name);
        if (file)
            std::fprintf(stderr,
                         "%s: the trace log %s is in use by another program; this one writes %s\n",
                         program_invocation_short_name, busy.c_str(), name.c_str());
    }
    const int error = errno;
    m_file_name = name;
    m_file = file;
    g_failure_reported = false;
    if (!m_file)
        reportFailure(
            m_file_name,
            error == EINVAL ? "is not a regular file and cannot be created" : "cannot be created",
            error, "the run goes on without it");
}

void vnTraceMgr::close() {
    std::lock_guard lock(m_mutex);
    errno = 0;
    if (m_file && std::fclose(m_file) != 0)
        reportFailure(m_file_name, "could not be written", errno, "lines are missing from it");
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
    errno = 0;
    const bool written =
        std::fprintf(m_file, "%s.%03d [%s] %s\n", stamp, static_cast<int>(now.tv_usec / 1000),
                     levelName(level), text) >= 0 &&
        // Flushed per line: the log must survive a crash of the run it
        // describes.
        std::fflush(m_file) == 0;
    if (!written) {
        reportFailure(m_file_name, "could not be written", errno, "lines are missing from it");
        // Later lines are tried again: the disk may have room by then.
        std::clearerr(m_file);
    }
}

void logTrace(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vnTraceMgr::instance().vlogTrace(level, format, args);
    va_end(args);
}

}  // namespace Vantorr_nsp
