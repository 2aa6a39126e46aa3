#include "gpumon/pyrolex/pyrolex_trace.h"

#include <cstdio>
#include <ctime>

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
    std::lock_guard lock(m_mutex);
    std::FILE* file = std::fopen(m_file_name.c_str(), "a");
    if (!file) return;
    std::fprintf(file, "%i/%i/%i @ %.2i:%.2i:%.2i >> %s\n", local.tm_year + 1900, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, text);
    std::fflush(file);
    std::fclose(file);
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
