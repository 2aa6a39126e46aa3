// The XML log's end for a process that must stop at once (endMonitoringXmlForExit).
#include "gpumon/monitoring_logs.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"

namespace plashwerk {
namespace {

using test::slurp;

size_t count(const std::string& in, const std::string& text) {
    size_t n = 0;
    for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
    return n;
}

// The tag goes after the last whole line, once; the shut-down that may still follow neither
// adds a second one nor writes another line; a later log is again the handler's to end.
TEST(MonitoringXmlForExit, EndsTheLogOnceAfterItsLastLine) {
    EXPECT_EQ(endMonitoringXmlForExit(), XmlExitEnd::NoLog);
    test::TempFolder folder;
    const std::string path = folder.folder() + kMonitoringXmlFile;
    GpuStatus gpu;
    std::snprintf(gpu.name, sizeof gpu.name, "Test GPU");
    gpu.celsius = 55.0f;
    LogContext context;
    {
        MonitoringLogs logs;
        logs.setFolder(folder.folder());
        EXPECT_EQ(endMonitoringXmlForExit(), XmlExitEnd::NoLog) << "nothing opened yet";
        logs.write(0, gpu, context);
        logs.write(0, gpu, context);
        EXPECT_EQ(endMonitoringXmlForExit(), XmlExitEnd::Ended);
        EXPECT_EQ(endMonitoringXmlForExit(), XmlExitEnd::NoLog) << "ended once";
        logs.write(0, gpu, context);
        logs.close();
    }
    const std::string xml = slurp(path);
    EXPECT_EQ(count(xml, "<gpu_data "), 2u) << xml;
    EXPECT_EQ(count(xml, "</gpuTemperature>"), 1u) << xml;
    ASSERT_GT(xml.size(), 18u);
    EXPECT_EQ(xml.substr(xml.size() - 18), "</gpuTemperature>\n") << xml;

    // A log closed normally is not the handler's any more; the next one is.
    test::TempFolder other;
    MonitoringLogs closed, next;
    closed.setFolder(folder.folder());
    next.setFolder(other.folder());
    closed.write(0, gpu, context);
    closed.close();
    EXPECT_EQ(endMonitoringXmlForExit(), XmlExitEnd::NoLog);
    EXPECT_EQ(count(slurp(path), "</gpuTemperature>"), 1u);
    next.write(0, gpu, context);
    EXPECT_EQ(endMonitoringXmlForExit(), XmlExitEnd::Ended);
    next.close();
    EXPECT_EQ(count(slurp(other.folder() + kMonitoringXmlFile), "</gpuTemperature>"), 1u);
}

}  // namespace
}  // namespace plashwerk
