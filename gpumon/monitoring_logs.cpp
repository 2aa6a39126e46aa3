#include "gpumon/monitoring_logs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>

#include "platform/file/regular_file.h"
#include "platform/program/program_info.h"

namespace plashwerk {
namespace {

// printf into a fixed line buffer, cut to fit; the length the whole line would have.
size_t formatLine(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
size_t formatLine(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(out, size, format, args);
    va_end(args);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

constexpr size_t kLineBuffer = 256;
constexpr size_t kNoLimit = static_cast<size_t>(-1);

// Room left in a line buffer for the text fields, given the line's length without them.
size_t roomFor(size_t rest) {
    return rest < kLineBuffer - 1 ? kLineBuffer - 1 - rest : 0;
}

// The text as XML attribute text: the five markup characters as entities, and control
// characters (which XML 1.0 cannot carry) as blanks. At most max characters: a name too
// long for its line is shortened at a whole character or entity, so the line is never
// cut inside its markup.
std::string xmlText(const char* text, size_t max = kNoLimit) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        std::string unit;
        switch (*p) {
            case '&':
                unit = "&amp;";
                break;
            case '<':
                unit = "&lt;";
                break;
            case '>':
                unit = "&gt;";
                break;
            case '"':
                unit = "&quot;";
                break;
            case '\'':
                unit = "&apos;";
                break;
            default:
                unit = static_cast<unsigned char>(*p) < 0x20 ? ' ' : *p;
                break;
        }
        if (out.size() + unit.size() > max) break;
        out += unit;
    }
    return out;
}

// The text as one CSV field: as it is unless it holds a separator, a quote or a line end;
// then in double quotes with its quotes doubled. At most max characters, the closing quote
// included.
std::string csvField(const char* text, size_t max = kNoLimit) {
    if (!std::strpbrk(text, ",\"\r\n")) return std::string(text, std::min(std::strlen(text), max));
    if (max < 2) return {};
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        const size_t unit = *p == '"' ? 2 : 1;
        if (out.size() + unit + 1 > max) break;
        if (*p == '"') out += '"';
        out += *p;
    }
    out += '"';
    return out;
}

// The XML log as a signal handler finds it (endMonitoringXmlForExit): its descriptor and
// whether a line is under way. Every line is flushed whole before its writer lets go of the
// log, so while it is idle the file holds whole lines and the descriptor's offset is at its
// end: a closing tag written there is the last line. A writer and the handler each take the
// log with one compare-and-swap, so neither ever waits for the other.
enum XmlExitState : int {
    kXmlNone,     // no log registered
    kXmlIdle,     // open, between lines
    kXmlWriting,  // a line is being written
    kXmlEnding,   // the handler is writing the closing tag
    kXmlEnded,    // the handler has written it
};
std::atomic<int> g_exit_xml_state{kXmlNone};
std::atomic<int> g_exit_xml_fd{-1};
std::atomic<const MonitoringLogs*> g_exit_xml_owner{nullptr};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<const MonitoringLogs*>::is_always_lock_free);

// Takes the log for one line; false once the handler has ended it.
bool takeExitXml(const MonitoringLogs* logs) {
    if (g_exit_xml_owner.load() != logs) return true;  // not the handler's log
    int idle = kXmlIdle;
    return g_exit_xml_state.compare_exchange_strong(idle, kXmlWriting);
}

void releaseExitXml(const MonitoringLogs* logs) {
    if (g_exit_xml_owner.load() == logs) g_exit_xml_state.store(kXmlIdle);
}

// How a log withdrawn from the handler is to be closed.
enum class XmlClose {
    WithTag,     // as usual
    WithoutTag,  // the handler has ended it already
    LeaveOpen,   // the handler is writing to it now and the process is ending: closing the
                 // descriptor could point the handler's write at a file opened meanwhile
};

// Withdraws the log from the handler before it is closed (under the logs' lock, so no line
// is under way).
XmlClose unregisterExitXml(const MonitoringLogs* logs) {
    if (g_exit_xml_owner.load() != logs) return XmlClose::WithTag;
    int state = kXmlIdle;
    if (!g_exit_xml_state.compare_exchange_strong(state, kXmlNone) && state != kXmlEnded)
        return XmlClose::LeaveOpen;
    g_exit_xml_state.store(kXmlNone);
    g_exit_xml_fd.store(-1);
    g_exit_xml_owner.store(nullptr);
    return state == kXmlEnded ? XmlClose::WithoutTag : XmlClose::WithTag;
}

}  // namespace

XmlExitEnd endMonitoringXmlForExit() {
    int state = kXmlIdle;
    if (!g_exit_xml_state.compare_exchange_strong(state, kXmlEnding))
        return state == kXmlWriting ? XmlExitEnd::Busy : XmlExitEnd::NoLog;
    static constexpr char kTag[] = "</gpuTemperature>\n";
    const int fd = g_exit_xml_fd.load();
    size_t done = 0;
    while (fd >= 0 && done < sizeof kTag - 1) {
        const ssize_t n = ::write(fd, kTag + done, sizeof kTag - 1 - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    g_exit_xml_state.store(kXmlEnded);
    return XmlExitEnd::Ended;
}

MonitoringLogs::~MonitoringLogs() {
    std::lock_guard lock(m_mutex);
    if (m_xml && unregisterExitXml(this) != XmlClose::LeaveOpen) std::fclose(m_xml);
    m_xml = nullptr;
}

void MonitoringLogs::setFolder(const std::string& folder) {
    std::lock_guard lock(m_mutex);
    m_folder = folder;
}

void MonitoringLogs::close() {
    std::FILE* xml = nullptr;
    XmlClose how = XmlClose::WithTag;
    {
        std::lock_guard lock(m_mutex);
        if (!m_xml && !m_xml_opening) return;
        xml = m_xml;
        m_xml = nullptr;
        m_xml_closed = true;  // an open under way ends its file itself
        if (xml) how = unregisterExitXml(this);
    }
    if (!xml || how == XmlClose::LeaveOpen) return;
    if (how == XmlClose::WithTag)
        endXml(xml);
    else
        std::fclose(xml);
}

void MonitoringLogs::endXml(std::FILE* xml) {
    std::fputs("</gpuTemperature>\n", xml);
    std::fclose(xml);
}

void MonitoringLogs::write(int gpu, const GpuStatus& s, const LogContext& context) {
    // The measured clocks where the GPU has them, else those of its performance state.
    const float tf = s.celsius.get() * 1.8f + 32.0f;
    const float core =
        s.true_core_clock.get() != 0.0f ? s.true_core_clock.get() : s.core_clock.get();
    const float memory =
        s.true_memory_clock.get() != 0.0f ? s.true_memory_clock.get() : s.memory_clock.get();
    std::string folder;
    bool open_xml = false;
    {
        std::lock_guard lock(m_mutex);
        folder = m_folder;
        open_xml = !m_xml && !m_xml_failed && !m_xml_closed && !m_xml_opening;
        m_xml_opening = open_xml;
    }
    // Files are opened without the lock: close() at shut-down must never wait on an open.
    if (open_xml) openXml(folder, s);
    writeXml(gpu, s, context, tf, core, memory);
    writeCsv(folder, s, context, tf, core, memory);
}

void MonitoringLogs::openXml(const std::string& folder, const GpuStatus& s) {
    // Only a regular file is written: a FIFO in its place would block, and a link could
    // point the truncating open at any file of the user's.
    std::FILE* xml = openRegularStream((folder + kMonitoringXmlFile).c_str(), "w", Links::Refuse);
    if (xml) {
        std::fputs("<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\"?>\n", xml);
        std::fputs("<!--\n", xml);
        std::fputs("* GPU Temperature tracking generated by:\n", xml);
        std::fprintf(xml, "* %s %d.%d.%d - %s\n", kAppName, kVersionMajor, kVersionMinor,
                     kVersionBugfix, kProductWebPage);
        std::fputs("-->\n", xml);
        std::fprintf(xml, "<gpuTemperature graphics_card=\"%s\" >\n", xmlText(s.name).c_str());
        // On the disk before the log is published: a forced exit may end it at any line.
        std::fflush(xml);
    }
    std::FILE* closed_meanwhile = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_xml_opening = false;
        if (!xml)
            m_xml_failed = true;
        else if (m_xml_closed)
            closed_meanwhile = xml;
        else
            m_xml = xml;
        const MonitoringLogs* none = nullptr;
        if (m_xml && g_exit_xml_owner.compare_exchange_strong(none, this)) {
            g_exit_xml_fd.store(fileno(m_xml));
            g_exit_xml_state.store(kXmlIdle);
        }
    }
    if (closed_meanwhile) endXml(closed_meanwhile);
}

void MonitoringLogs::writeXml(int gpu, const GpuStatus& s, const LogContext& context, float tf,
                              float core, float memory) {
    char line[kLineBuffer];
    auto format = [&](const std::string& name) {
        return formatLine(
            line, sizeof line,
            "\t<gpu_data gpu=\"%d\" name=\"%s\" celcius=\"%.1f\" fahrenheit=\"%.1f\" "
            "gpu_load=\"%.1f\" "
            "gpu_power=\"%.1f\" fps=\"%d\" seconds=\"%.1f\" vddc=\"%.3f\" width=\"%d\" "
            "height=\"%d\" "
            "msaa=\"%d\" core_clock=\"%.1f\" memory_clock=\"%.1f\"/>",
            gpu + 1, name.c_str(), static_cast<double>(s.celsius.get()), static_cast<double>(tf),
            static_cast<double>(s.gpu_load.get()), static_cast<double>(s.gpu_power.get()),
            context.fps, static_cast<double>(context.seconds), static_cast<double>(s.vddc.get()),
            context.requested_width, context.requested_height, context.msaa_samples,
            static_cast<double>(core), static_cast<double>(memory));
    };
    format(xmlText(s.name, roomFor(format(""))));
    std::lock_guard lock(m_mutex);
    if (!m_xml || std::ferror(m_xml) || !takeExitXml(this)) return;
    std::fputs(line, m_xml);
    std::fputs("\n", m_xml);
    std::fflush(m_xml);
    releaseExitXml(this);
}

void MonitoringLogs::writeCsv(const std::string& folder, const GpuStatus& s,
                              const LogContext& context, float tf, float core, float memory) {
    const std::string path = folder + kMonitoringCsvFile;
    if (access(path.c_str(), F_OK) != 0) {
        if (std::FILE* header = openRegularStream(path.c_str(), "w", Links::Refuse)) {
            std::fputs(kMonitoringCsvHeader, header);
            std::fclose(header);
        }
    }
    std::FILE* csv = openRegularStream(path.c_str(), "a", Links::Refuse);
    if (!csv) return;  // the row is lost
    // The CSV's voltage is the measured one where the GPU has it; the XML's never is.
    const float vddc = s.true_vddc.get() != 0.0f ? s.true_vddc.get() : s.vddc.get();
    auto format = [&](char* line, size_t size, const std::string& name, const std::string& driver) {
        return formatLine(line, size, "%s,%s,%d,%d,%d,%d,%.1f,%.1f,%.1f,%.3f,%.1f,%.1f,%.1f,%.1f",
                          name.c_str(), driver.c_str(), context.msaa_samples, context.client_width,
                          context.client_height, context.fps, static_cast<double>(context.seconds),
                          static_cast<double>(s.celsius.get()), static_cast<double>(tf),
                          static_cast<double>(vddc), static_cast<double>(s.gpu_load.get()),
                          static_cast<double>(s.gpu_power.get()), static_cast<double>(core),
                          static_cast<double>(memory));
    };
    // The name first, then the driver text, get what room the numbers leave.
    char line[kLineBuffer];
    size_t room = roomFor(format(line, sizeof line, "", ""));
    const std::string name = csvField(s.name, room);
    room -= name.size();
    format(line, sizeof line, name, csvField(context.driver ? context.driver : "", room));
    std::fputs(line, csv);
    std::fputs("\n", csv);
    std::fflush(csv);
    std::fclose(csv);
}

}  // namespace plashwerk
