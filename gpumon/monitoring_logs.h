#pragma once
// The GPU monitoring logs: one XML line and one CSV row per GPU and monitoring pass.
//
// "<folder>plashwerk-gpu-monitoring.xml" is opened (truncated) by the first line written
// and stays open until close(), which ends it with "</gpuTemperature>"; a file that cannot
// be opened gets no line until the program ends. "<folder>plashwerk-gpu-monitoring.csv"
// gets its header when it does not exist yet and is opened, appended and closed for every
// row; a row whose open fails is lost.
//
// Only regular files are written, and a symbolic link in either file's place is refused:
// a FIFO or a device there counts as a file that cannot be opened, so nothing ever blocks
// on it, and no file is opened while the logs' lock is held (close() at shut-down never
// waits on an open). A GPU name is written as escaped XML attribute text in the XML log
// (&amp; &lt; &gt; &quot; &apos;) and, where it holds a comma, a quote or a line end, as a
// quoted CSV field with its quotes doubled; the driver text likewise.

#include <cstdio>
#include <mutex>
#include <string>

#include "gpumon/gpu_status.h"

namespace plashwerk {

inline constexpr const char* kMonitoringXmlFile = "plashwerk-gpu-monitoring.xml";
inline constexpr const char* kMonitoringCsvFile = "plashwerk-gpu-monitoring.csv";
inline constexpr const char* kProductWebPage = "https://quorvex.example/plashwerk/";
inline constexpr const char* kMonitoringCsvHeader =
    "Renderer,Driver,MSAA,width,height,FPS,seconds,celcius,fahrenheit,vddc,gpu_load,gpu_power,"
    "core_clock,memory_clock\n";

/// What a log line carries beside the GPU's record.
struct LogContext {
    int fps = 0;
    int requested_width = 0, requested_height = 0;  ///< the requested window size
    int client_width = 0, client_height = 0;        ///< the window's client area
    int msaa_samples = 0;
    float seconds = 0;        ///< monitoring seconds
    const char* driver = "";  ///< the hardware report's driver text
};

/// What endMonitoringXmlForExit found.
enum class XmlExitEnd {
    NoLog,  ///< no XML log open (none written yet, or already closed)
    Ended,  ///< the closing tag was written after the last whole line
    Busy,   ///< a line was being written: the log is left without its closing tag
};

/// For a process that must end at once, from a signal handler: ends the open XML log with
/// its closing tag when no line is being written at that moment, and closes nothing else.
/// Async-signal-safe (lock-free atomics and write(2)); later lines are never written. Acts
/// on the log of the first MonitoringLogs that opened one and has not closed it yet.
XmlExitEnd endMonitoringXmlForExit();

class MonitoringLogs {
  public:
    MonitoringLogs() = default;
    /// Closes an open XML log without its closing tag, as a program that ends without
    /// stopping the monitor leaves it.
    ~MonitoringLogs();
    MonitoringLogs(const MonitoringLogs&) = delete;
    MonitoringLogs& operator=(const MonitoringLogs&) = delete;

    /// The folder of both files, ending with '/'.
    void setFolder(const std::string& folder);
    /// Writes GPU gpu's (0-based) XML line and CSV row.
    void write(int gpu, const GpuStatus& s, const LogContext& context);
    /// Ends the XML log with its closing tag and closes it for good.
    void close();

  private:
    void openXml(const std::string& folder, const GpuStatus& s);
    static void endXml(std::FILE* xml);
    void writeXml(int gpu, const GpuStatus& s, const LogContext& context, float tf, float core,
                  float memory);
    void writeCsv(const std::string& folder, const GpuStatus& s, const LogContext& context,
                  float tf, float core, float memory);

    // Guards the folder, the XML stream and its state; never held while a file is opened.
    std::mutex m_mutex;
    std::string m_folder;
    std::FILE* m_xml = nullptr;
    bool m_xml_opening = false;  // a write is opening the XML log without the lock
    bool m_xml_failed = false;   // open failed: no XML line until the program ends
    bool m_xml_closed = false;   // closed by close(): never reopened
};

}  // namespace plashwerk
