#include "gpumon/pyrolex/pyrolex_trace.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/file/regular_file.h"

namespace plashwerk {

void PyrolexTraceChannel::setFileName(const std::string& name) {
    std::lock_guard lock(m_mutex);
    m_file_name = name;
}

void PyrolexTraceChannel::write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vwrite(format, args);
    va_end(args);
}

void PyrolexTraceChannel::vwrite(const char* format, va_list args) {
    if (!m_enabled || !format) return;
    char text[4097];
    std::vsnprintf(text, sizeof text, format, args);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char line[4200];
    const int length = std::snprintf(line, sizeof line, "%i/%i/%i @ %.2i:%.2i:%.2i >> %s\n",
                                     local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                     local.tm_hour, local.tm_min, local.tm_sec, text);
    if (length <= 0) return;
    std::string file_name;
    {
        std::lock_guard lock(m_mutex);
        file_name = m_file_name;
    }
    // Opened without the lock and only as a regular file that is not a link: a FIFO in its
    // place is refused instead of blocking every thread that traces. The line goes out in
    // one append, so lines of several threads never interleave.
    const int fd = openRegularFile(file_name.c_str(), FileAccess::Append, Links::Refuse);
    if (fd < 0) return;
    const size_t size = std::min(static_cast<size_t>(length), sizeof line - 1);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, line + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
}

PyrolexTraceChannel& pyrolexGeneralTrace() {
    static PyrolexTraceChannel channel("pyrolex.log");
    return channel;
}

PyrolexTraceChannel& pyrolexNvidiaTrace() {
    static PyrolexTraceChannel channel("_p.log");
    return channel;
}

}  // namespace plashwerk
