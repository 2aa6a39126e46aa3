// GpuMonitor: the spike filter, the sampling branches, maxima and resets, the logs, the
// thread, the hardware report and the information text; over the NVML double.

#include "gpumon/gpu_monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "gpumon/pyrolex/pyrolex.h"
#include "platform/registry/registry.h"
#include "run/second_samples.h"
#include "run/stability_judge.h"
#include "tests/gpumon/gpumon_test_support.h"

namespace plashwerk {
namespace {

using test::FakeSysfs;
using test::NvmlDouble;
using test::slurp;

TEST(SpikeFilter, AcceptsSmallStepsAndHoldsThroughSpikes) {
    float reference = 0;
    std::vector<float> shown;
    int spikes = 0;
    for (float raw : {50.0f, 52.0f, 80.0f, 53.0f}) {
        const SpikeFilterResult r = applySpikeFilter(raw, reference, true, 20.0f);
        shown.push_back(r.celsius);
        spikes += r.spike;
        reference = r.reference;
    }
    EXPECT_EQ(shown, (std::vector<float>{50, 52, 52, 53}));
    EXPECT_EQ(spikes, 1);

    // A step larger than the threshold keeps being a spike for as long as it lasts.
    reference = 50;
    for (float raw : {75.0f, 76.0f}) {
        const SpikeFilterResult r = applySpikeFilter(raw, reference, true, 20.0f);
        EXPECT_TRUE(r.spike);
        EXPECT_EQ(r.celsius, 50.0f);
        reference = r.reference;
    }
    EXPECT_TRUE(applySpikeFilter(0.0f, 60.0f, true, 20.0f).spike) << "a failed read is a spike";
    EXPECT_FALSE(applySpikeFilter(80.0f, 0.0f, true, 20.0f).spike)
        << "the first reading is never filtered";
    EXPECT_FALSE(applySpikeFilter(70.0f, 50.0f, true, 20.0f).spike)
        << "exactly the threshold is accepted";
    const SpikeFilterResult off = applySpikeFilter(99.0f, 40.0f, false, 20.0f);
    EXPECT_EQ(off.celsius, 99.0f);
    EXPECT_EQ(off.reference, 99.0f) << "with the filter off the reference follows every reading";
}

class GpuMonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config.num_cpu_cores = 4;
        monitor.setConfig(config);
        setSystemRegistry(&registry);
        registry.setString("SYSTEM\\CurrentControlSet\\Control\\Video\\{0000:01:00.0}\\0000",
                           "DriverDate", "3-5-2024");
    }
    void TearDown() override {
        monitor.stopGpuMonitoring();
        Pyrolex::shutdown();
        setSystemRegistry(nullptr);
    }
    // Switches the temperature logs of the monitor's next passes.
    void logTemperature(bool on) {
        config.log_temperature = on;
        monitor.setConfig(config);
    }

    void addNvidiaAdapter(const char* address = "0000:01:00.0", bool primary = true) {
        FakeSysfs::Adapter a;
        a.address = address;
        a.subsys_device = 0x146B;
        a.boot_vga = primary;
        sysfs.add(a);
    }
    // Starts the library and builds the table.
    void start() {
        ASSERT_TRUE(Pyrolex::startup(2, 2, 2, 2, 0, 0, true));
        ASSERT_TRUE(monitor.initGpuTable());
    }
    GpuStatus& status(int i) { return *monitor.gpuStatus(i); }
    // Logs into the folder, with the run inputs the golden lines were written for.
    void startLogging(const test::TempFolder& logs) {
        monitor.setLogFolder(logs.folder());
        monitor.inputs().fps = 60;
        monitor.inputs().requested_width = 1920;
        monitor.inputs().requested_height = 1080;
        monitor.inputs().client_width = 1904;
        monitor.inputs().client_height = 1041;
        monitor.inputs().msaa_samples = 4;
        logTemperature(true);
    }

    FakeSysfs sysfs;
    NvmlDouble nvml;
    MemoryRegistry registry;
    test::TraceCapture trace;
    MonitorConfig config;
    GpuMonitor monitor;
};

TEST_F(GpuMonitorTest, WithoutATableEverythingAnswersNothing) {
    EXPECT_FALSE(monitor.sampleAllGpus());
    EXPECT_FALSE(monitor.resetGpuStatistics());
    EXPECT_FALSE(monitor.setTemperatureHistoryRecording(true));
    EXPECT_FALSE(monitor.startThread());
    EXPECT_EQ(monitor.getGpuTemperature(0), 0.0f);
    EXPECT_EQ(monitor.getGpuLoad(0, true), 0.0f);
    EXPECT_EQ(monitor.gpuStatus(0), nullptr);
    EXPECT_FALSE(monitor.withTemperatureHistory(0, [](const TemperatureSample*, size_t) {}));

    addNvidiaAdapter();
    ASSERT_TRUE(Pyrolex::startup(2, 2, 2, 2, 0, 0, true));
    EXPECT_FALSE(monitor.initGpuTable()) << "no NVIDIA GPU behind the adapter";
    EXPECT_TRUE(monitor.noGpuMonitoring());
    EXPECT_EQ(monitor.gpuCount(), 0u);
}

TEST_F(GpuMonitorTest, SamplingFiltersSpikesAndTracesThem) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    std::vector<float> shown;
    for (unsigned raw : {50u, 52u, 80u, 53u}) {
        nvml->gpu(0)->temperature = raw;
        ASSERT_TRUE(monitor.sampleAllGpus());
        shown.push_back(monitor.getGpuTemperature(0));
    }
    EXPECT_EQ(shown, (std::vector<float>{50, 52, 52, 53}));
    nvml->fail("nvmlDeviceGetTemperature", NVML_ERROR_UNKNOWN);
    monitor.sampleAllGpus();
    EXPECT_EQ(monitor.getGpuTemperature(0), 53.0f) << "a failed read (0) is a spike";
    EXPECT_EQ(status(0).filter_reference_celsius.get(), 53.0f);

    std::vector<std::string> spikes;
    for (const std::string& line : trace.lines())
        if (line.rfind("GPU temperature spike detected: ", 0) == 0) spikes.push_back(line);
    EXPECT_EQ(spikes, (std::vector<std::string>{"GPU temperature spike detected: 28.000",
                                                "GPU temperature spike detected: -53.000"}));

    config.enable_gpu_temp_spike_filter = false;
    monitor.setConfig(config);
    nvml->fail("nvmlDeviceGetTemperature", 0);
    nvml->gpu(0)->temperature = 90;
    monitor.sampleAllGpus();
    EXPECT_EQ(monitor.getGpuTemperature(0), 90.0f);
    EXPECT_EQ(status(0).filter_reference_celsius.get(), 90.0f);
}

TEST_F(GpuMonitorTest, MaximaMinimumAndReset) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    monitor.setTemperatureHistoryRecording(true);
    const struct {
        unsigned celsius, load, free_kb;
    } passes[] = {{60, 37, 6291456}, {70, 90, 2097152}, {65, 20, 6291456}};
    for (const auto& p : passes) {
        nvml->gpu(0)->temperature = p.celsius;
        nvml->gpu(0)->util_gpu = p.load;
        nvml->gpu(0)->memory_free = p.free_kb * 1024ull;
        monitor.sampleAllGpus();
    }
    GpuStatus& s = status(0);
    EXPECT_EQ(s.max_celsius.get(), 70.0f);
    EXPECT_EQ(s.min_celsius.get(), 60.0f);
    EXPECT_EQ(monitor.runMaxCelsius(), 70.0f);
    EXPECT_EQ(monitor.getGpuLoad(0, false), 20.0f);
    EXPECT_EQ(monitor.getGpuLoad(0, true), 90.0f);
    EXPECT_FLOAT_EQ(s.memory_usage.get(), 25.0f);
    EXPECT_FLOAT_EQ(s.max_memory_usage.get(), 75.0f);
    size_t samples = 0;
    monitor.withTemperatureHistory(0, [&](const TemperatureSample* h, size_t n) {
        samples = n;
        ASSERT_EQ(n, 3u);
        EXPECT_EQ(h[1].celsius, 70.0f);
    });
    EXPECT_EQ(samples, 3u);

    ASSERT_TRUE(monitor.resetGpuStatistics());
    EXPECT_EQ(s.max_celsius.get(), 0.0f);
    EXPECT_EQ(s.min_celsius.get(), 1000.0f);
    EXPECT_EQ(s.max_gpu_load.get(), 0.0f);
    EXPECT_EQ(s.max_core_clock.get(), 0.0f);
    EXPECT_EQ(s.max_gpu_power.get(), 0.0f);
    EXPECT_FLOAT_EQ(s.max_memory_usage.get(), 75.0f) << "never reset";
    EXPECT_EQ(s.filter_reference_celsius.get(), 65.0f) << "not touched";
    monitor.withTemperatureHistory(0, [](const TemperatureSample*, size_t n) { EXPECT_EQ(n, 0u); });
    monitor.setRunMaxCelsius(0);
    monitor.setTemperatureHistoryRecording(false);
    monitor.sampleAllGpus();
    EXPECT_EQ(monitor.runMaxCelsius(), 65.0f);
    monitor.withTemperatureHistory(0, [](const TemperatureSample*, size_t n) { EXPECT_EQ(n, 0u); });
}

TEST_F(GpuMonitorTest, BoostClockPath) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    GpuStatus& s = status(0);
    ASSERT_TRUE(s.has_boost_clocks);
    monitor.sampleAllGpus();
    EXPECT_EQ(s.true_core_clock.get(), 1905.0f);
    EXPECT_EQ(s.true_memory_clock.get(), 7000.0f);
    EXPECT_EQ(s.max_core_clock.get(), 1905.0f);
    EXPECT_EQ(s.base_clock.get(), 1500.0f);
    EXPECT_EQ(s.boost_clock.get(), 1725.0f);
    EXPECT_FLOAT_EQ(s.gpu_power.get(), 50.0f);
    EXPECT_EQ(s.gpu_power_mw.get(), 110000.0f);
    EXPECT_FLOAT_EQ(s.power_target.get(), 100.0f);
    EXPECT_FLOAT_EQ(s.max_gpu_power.get(), 50.0f);
    EXPECT_EQ(s.core_clock.get(), 0.0f) << "the performance-state clocks are not read on this path";
    EXPECT_EQ(s.throttling_mhz.get(), 0.0f);
    EXPECT_EQ(s.fan_percent.get(), 41.0f);
    EXPECT_EQ(s.fan_rpm.get(), 1500.0f);
    EXPECT_EQ(s.true_vddc.get(), 0.0f) << "NVML has no core voltage";
}

TEST_F(GpuMonitorTest, PerformanceStatePathAndThrottling) {
    addNvidiaAdapter();
    nvml.add(1).base_graphics = 0;  // no base clock: no boost clocks
    start();
    GpuStatus& s = status(0);
    ASSERT_FALSE(s.has_boost_clocks);
    monitor.sampleAllGpus();
    EXPECT_EQ(s.pstate.get(), 0);
    EXPECT_EQ(s.core_clock.get(), 2100.0f);
    EXPECT_EQ(s.memory_clock.get(), 7001.0f);
    EXPECT_EQ(s.shader_clock.get(), 2100.0f);
    EXPECT_EQ(s.max_core_clock.get(), 2100.0f) << "the larger of the state and measured clocks";
    EXPECT_EQ(s.throttling_mhz.get(), 195.0f);

    // A current state the tables do not hold: clocks and state stay.
    nvml->gpu(0)->pstate = 5;
    nvml->gpu(0)->clock_graphics = 1800;
    monitor.sampleAllGpus();
    EXPECT_EQ(s.pstate.get(), 0);
    EXPECT_EQ(s.core_clock.get(), 2100.0f);
    EXPECT_EQ(s.throttling_mhz.get(), 300.0f);
}

TEST_F(GpuMonitorTest, NoMeasuredClockLeavesThrottlingAlone) {
    addNvidiaAdapter();
    nvml.add(1).base_graphics = 0;
    nvml->fail("nvmlDeviceGetClockInfo", NVML_ERROR_NOT_SUPPORTED);
    start();
    monitor.sampleAllGpus();
    EXPECT_EQ(status(0).true_core_clock.get(), 0.0f);
    EXPECT_EQ(status(0).core_clock.get(), 2100.0f);
    EXPECT_EQ(status(0).throttling_mhz.get(), 0.0f);
}

TEST_F(GpuMonitorTest, AccessorsOutOfRange) {
    addNvidiaAdapter();
    nvml.add(1);
    nvml.add(2);
    start();
    monitor.sampleAllGpus();
    EXPECT_EQ(monitor.getGpuTemperature(1), 45.0f);
    for (int bad : {5, 2, -1}) {
        EXPECT_EQ(monitor.getGpuTemperature(bad), 0.0f);
        EXPECT_EQ(monitor.getGpuCoreClock(bad, true), 0.0f);
        EXPECT_EQ(monitor.getGpuMemoryClock(bad, false), 0.0f);
        EXPECT_EQ(monitor.getGpuLoad(bad, false), 0.0f);
        EXPECT_EQ(monitor.gpuStatus(bad), nullptr);
    }
}

TEST_F(GpuMonitorTest, LogsByteForByte) {
    addNvidiaAdapter();
    nvml.add(1);
    std::snprintf(nvml.add(2, 0x2482).name, 96,
                  "NVIDIA GeForce RTX 3070 Ti");  // no table row: NVML's name
    nvml->gpu(1)->temperature = 46;
    start();
    test::TempFolder logs;
    startLogging(logs);
    monitor.sampleAllGpus();
    monitor.sampleAllGpus();
    monitor.stopGpuMonitoring();

    const std::string line1 =
        "\t<gpu_data gpu=\"1\" name=\"NVIDIA GeForce RTX 3070\" celcius=\"45.0\" "
        "fahrenheit=\"113.0\" "
        "gpu_load=\"37.0\" gpu_power=\"50.0\" fps=\"60\" seconds=\"0.0\" vddc=\"0.000\" "
        "width=\"1920\" "
        "height=\"1080\" msaa=\"4\" core_clock=\"1905.0\" memory_clock=\"7000.0\"/>\n";
    const std::string line2 =
        "\t<gpu_data gpu=\"2\" name=\"NVIDIA GeForce RTX 3070 Ti\" celcius=\"46.0\" "
        "fahrenheit=\"114.8\" "
        "gpu_load=\"37.0\" gpu_power=\"50.0\" fps=\"60\" seconds=\"0.0\" vddc=\"0.000\" "
        "width=\"1920\" "
        "height=\"1080\" msaa=\"4\" core_clock=\"1905.0\" memory_clock=\"7000.0\"/>\n";
    EXPECT_EQ(slurp(logs.folder() + kMonitoringXmlFile),
              "<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\"?>\n"
              "<!--\n"
              "* GPU Temperature tracking generated by:\n"
              "* Plashwerk 1.5.4 - https://quorvex.example/plashwerk/\n"
              "-->\n"
              "<gpuTemperature graphics_card=\"NVIDIA GeForce RTX 3070\" >\n" +
                  line1 + line2 + line1 + line2 + "</gpuTemperature>\n");

    EXPECT_EQ(std::strlen(kMonitoringCsvHeader), 113u);
    const std::string row1 =
        "NVIDIA GeForce RTX 3070,Forceware R445.23 "
        "(3-5-2024),4,1904,1041,60,0.0,45.0,113.0,0.000,37.0,50.0,"
        "1905.0,7000.0\n";
    const std::string row2 =
        "NVIDIA GeForce RTX 3070 Ti,Forceware R445.23 "
        "(3-5-2024),4,1904,1041,60,0.0,46.0,114.8,0.000,37.0,50.0,"
        "1905.0,7000.0\n";
    EXPECT_EQ(slurp(logs.folder() + kMonitoringCsvFile),
              std::string(kMonitoringCsvHeader) + row1 + row2 + row1 + row2);
}

TEST_F(GpuMonitorTest, CsvHeaderOnlyForANewFileAndXmlStaysOpenAcrossSwitches) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    test::TempFolder logs;
    monitor.setLogFolder(logs.folder());
    test::writeFile(logs.folder() + kMonitoringCsvFile, "earlier rows\n");
    logTemperature(true);
    monitor.sampleAllGpus();
    logTemperature(false);
    monitor.sampleAllGpus();
    const std::string csv = slurp(logs.folder() + kMonitoringCsvFile);
    EXPECT_EQ(csv.rfind("earlier rows\nNVIDIA GeForce RTX 3070,", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
    const std::string xml = slurp(logs.folder() + kMonitoringXmlFile);
    EXPECT_EQ(xml.find("</gpuTemperature>"), std::string::npos) << "closed only by the stop";
    monitor.stopGpuMonitoring();
    EXPECT_EQ(monitor.gpuCount(), 0u);
    EXPECT_EQ(monitor.infoText(), "");
    const std::string closed = slurp(logs.folder() + kMonitoringXmlFile);
    EXPECT_EQ(closed.substr(closed.size() - 18), "</gpuTemperature>\n");
}

// A name with markup and separators stays one attribute and one column; the lines of other
// names are unchanged (LogsByteForByte). A name whose escaped form does not fit the line
// buffer is shortened at a whole entity, so the line keeps its end.
TEST_F(GpuMonitorTest, NamesWithSpecialCharactersAreEscapedInTheLogs) {
    addNvidiaAdapter();
    std::snprintf(nvml.add(1, 0x2482).name, 96, "\"A\" <B>&C, 'D'");
    std::snprintf(nvml.add(2, 0x2482).name, 96, "Fancy \"GPU\" <A&B>, 'x'");
    start();
    test::TempFolder logs;
    startLogging(logs);
    monitor.sampleAllGpus();
    monitor.stopGpuMonitoring();

    const std::string values =
        "celcius=\"45.0\" fahrenheit=\"113.0\" gpu_load=\"37.0\" gpu_power=\"50.0\" fps=\"60\" "
        "seconds=\"0.0\" vddc=\"0.000\" width=\"1920\" height=\"1080\" msaa=\"4\" "
        "core_clock=\"1905.0\" memory_clock=\"7000.0\"/>\n";
    EXPECT_EQ(slurp(logs.folder() + kMonitoringXmlFile),
              "<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\"?>\n"
              "<!--\n"
              "* GPU Temperature tracking generated by:\n"
              "* Plashwerk 1.5.4 - https://quorvex.example/plashwerk/\n"
              "-->\n"
              "<gpuTemperature graphics_card=\"&quot;A&quot; &lt;B&gt;&amp;C, &apos;D&apos;\" >\n"
              "\t<gpu_data gpu=\"1\" name=\"&quot;A&quot; &lt;B&gt;&amp;C, &apos;D&apos;\" " +
                  values +
                  "\t<gpu_data gpu=\"2\" name=\"Fancy &quot;GPU&quot; &lt;A&amp;B&gt;, "
                  "&apos;x\" " +
                  values + "</gpuTemperature>\n");
    const std::string row_values =
        ",Forceware R445.23 (3-5-2024),4,1904,1041,60,0.0,45.0,113.0,0.000,37.0,50.0,1905.0,"
        "7000.0\n";
    EXPECT_EQ(slurp(logs.folder() + kMonitoringCsvFile),
              std::string(kMonitoringCsvHeader) + "\"\"\"A\"\" <B>&C, 'D'\"" + row_values +
                  "\"Fancy \"\"GPU\"\" <A&B>, 'x'\"" + row_values);
}

// NVML's "not available" markers read as failed reads: nothing impossible reaches the
// record, the report or the logs.
TEST_F(GpuMonitorTest, NvmlNotAvailableValuesAreNotReadings) {
    addNvidiaAdapter();
    FakeNvmlGpu& g = nvml.add(1, 0x2482);
    constexpr unsigned kNa = 0xFFFFFFFFu;
    g.temperature = g.util_gpu = g.util_memory = kNa;
    g.fans = 1;
    g.fan_percent = g.fan_rpm = kNa;
    g.clock_graphics = g.clock_memory = g.clock_sm = g.clock_video = kNa;
    g.base_graphics = g.base_memory = g.boost_graphics = g.boost_memory = kNa;
    g.max_graphics = g.max_memory = kNa;
    for (unsigned k = 0; k < 16; ++k)
        g.pstate_graphics[k] = g.pstate_memory[k] = g.pstate_sm[k] = kNa;
    g.power_mw = g.default_limit_mw = g.enforced_limit_mw = kNa;
    g.cores = kNa;
    start();
    test::TempFolder logs;
    monitor.setLogFolder(logs.folder());
    logTemperature(true);
    monitor.sampleAllGpus();
    monitor.sampleAllGpus();

    const GpuStatus& s = status(0);
    EXPECT_EQ(s.celsius.get(), 0.0f);
    EXPECT_EQ(s.max_celsius.get(), 0.0f);
    EXPECT_EQ(s.gpu_load.get(), 0.0f);
    EXPECT_EQ(s.max_gpu_load.get(), 0.0f);
    EXPECT_EQ(s.fan_percent.get(), 0.0f);
    EXPECT_EQ(s.fan_rpm.get(), 0.0f);
    EXPECT_EQ(s.true_core_clock.get(), 0.0f);
    EXPECT_EQ(s.true_memory_clock.get(), 0.0f);
    EXPECT_EQ(s.core_clock.get(), 0.0f);
    EXPECT_EQ(s.max_core_clock.get(), 0.0f);
    EXPECT_EQ(s.gpu_power.get(), 0.0f);
    EXPECT_FALSE(s.has_boost_clocks);
    EXPECT_GE(s.cores.get(), 0);

    for (const std::string& line : trace.lines()) {
        EXPECT_EQ(line.find("Cores: -"), std::string::npos) << line;
        EXPECT_EQ(line.find("RPM"), std::string::npos) << line;
        EXPECT_EQ(line.find("4294"), std::string::npos) << line;
        EXPECT_EQ(line.find("-1.0"), std::string::npos) << line;
    }
    const std::string xml = slurp(logs.folder() + kMonitoringXmlFile);
    EXPECT_NE(xml.find("celcius=\"0.0\" fahrenheit=\"32.0\" gpu_load=\"0.0\" gpu_power=\"0.0\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("core_clock=\"0.0\" memory_clock=\"0.0\"/>"), std::string::npos) << xml;
    const std::string csv = slurp(logs.folder() + kMonitoringCsvFile);
    EXPECT_NE(csv.find(",0.0,32.0,0.000,0.0,0.0,0.0,0.0\n"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("4294"), std::string::npos) << csv;
}

// A named pipe where a log goes would block a plain open for good, and with it the stop at
// shut-down; it is refused like a file that cannot be opened.
TEST_F(GpuMonitorTest, FifoInPlaceOfTheLogsNeitherBlocksNorHangsTheStop) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    test::TempFolder logs;
    test::Fifo xml(logs.folder() + kMonitoringXmlFile);
    test::Fifo csv(logs.folder() + kMonitoringCsvFile);
    monitor.setLogFolder(logs.folder());
    logTemperature(true);
    monitor.setTemperatureHistoryRecording(true);
    ASSERT_TRUE(monitor.startThread());
    // The history sample comes just before the logs in the pass.
    size_t samples = 0;
    while (samples == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        monitor.withTemperatureHistory(0, [&](const TemperatureSample*, size_t n) { samples = n; });
    }
    EXPECT_TRUE(test::finishes([&] { monitor.stopGpuMonitoring(); },
                               [&] {
                                   xml.unblock();
                                   csv.unblock();
                               }))
        << "the stop waited on an open of a FIFO";
    EXPECT_EQ(monitor.gpuCount(), 0u);
}

// The logs are written where they belong only: a link in a log's place is not followed
// (the XML log's open truncates).
TEST_F(GpuMonitorTest, LinksInPlaceOfTheLogsAreRefused) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    test::TempFolder logs;
    test::writeFile(logs.folder() + "precious.txt", "keep me\n");
    ASSERT_EQ(symlink("precious.txt", (logs.folder() + kMonitoringXmlFile).c_str()), 0);
    ASSERT_EQ(symlink("precious.txt", (logs.folder() + kMonitoringCsvFile).c_str()), 0);
    monitor.setLogFolder(logs.folder());
    logTemperature(true);
    monitor.sampleAllGpus();
    monitor.stopGpuMonitoring();
    EXPECT_EQ(slurp(logs.folder() + "precious.txt"), "keep me\n");
}

TEST_F(GpuMonitorTest, UnwritableFolderLosesTheLogsQuietly) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    monitor.setLogFolder("/nonexistent/folder/");
    logTemperature(true);
    EXPECT_TRUE(monitor.sampleAllGpus());
    EXPECT_TRUE(monitor.sampleAllGpus());
}

TEST_F(GpuMonitorTest, ThreadSamplesAndStops) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    monitor.setTemperatureHistoryRecording(true);
    ASSERT_TRUE(monitor.startThread());
    EXPECT_FALSE(monitor.startThread()) << "already running";
    size_t samples = 0;
    while (samples == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        monitor.withTemperatureHistory(0, [&](const TemperatureSample*, size_t n) { samples = n; });
    }
    // The thread now sits in its one-second pause; the stop ends it there.
    monitor.stopGpuMonitoring();
    EXPECT_EQ(monitor.gpuCount(), 0u);
}

TEST_F(GpuMonitorTest, HistoryReadAndClearedWhileAppended) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    monitor.setTemperatureHistoryRecording(true);
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        for (int i = 0; i < 300; ++i) monitor.sampleAllGpus();
        done = true;
    });
    size_t largest = 0;
    while (!done) {
        monitor.withTemperatureHistory(0, [&](const TemperatureSample* h, size_t n) {
            largest = std::max(largest, n);
            for (size_t k = 0; k < n; ++k) ASSERT_EQ(h[k].celsius, 45.0f);
        });
        monitor.resetGpuStatistics();
        EXPECT_EQ(monitor.getGpuTemperature(0) == 0.0f || monitor.getGpuTemperature(0) == 45.0f,
                  true);
    }
    sampler.join();
    EXPECT_LE(largest, 300u);
}

// The report's lines from "- GPU" on, and the first lines.
std::vector<std::string> reportFrom(const std::vector<std::string>& lines,
                                    const std::string& first) {
    auto it = std::find(lines.begin(), lines.end(), first);
    return std::vector<std::string>(it, lines.end());
}

TEST_F(GpuMonitorTest, ReportForOneGpu) {
    addNvidiaAdapter();
    nvml.add(1);
    start();
    const std::vector<std::string> lines = trace.lines();
    const std::vector<std::string> head = {
        "OpenGL renderer (main graphics card): ",
        "OpenGL version detected: 0.0",
        "OpenGL max viewport size: 0X0 pixels",
        "Device ID string (main graphics card): PCI\\VEN_10DE&DEV_2484&SUBSYS_146B10DE&REV_A1",
        "CPU/System info:",
        std::string("- CPU: ") + Pyrolex::getCpuName(),
        "# of logical CPU processors: 4",
        "- CPU speed: " + std::to_string(Pyrolex::getCpuMhz()) + " MHz",
        "- System memory: " + std::to_string(Pyrolex::getSystemMemoryKb() / 1024) + " MB",
        std::string("- OS: ") + Pyrolex::getOsName(),
        "Detecting GPUs...",
        "Found 1 GPUs.",
        "- GPU 1:  NVIDIA GeForce RTX 3070",
        "  - Cores: 5888",
        "  - Memory size: 8192MB",
        "  - TDP: 220W",
        "  - Bus ID: 1",
        "  - Bios: 94.04.25.00.4B",
        "  - GPU temperature: 45.0\xB0"
        "C",
        "  - Graphics driver: R445.23",
        "  - True clocks - GPU clock: 1905MHz - Memory clock: 7000MHz - GPU voltage: 0.000V",
        "  - GTX 600 series - GPU base clock: 1500MHz - GPU boost clock: 1725MHz - GPU power "
        "target: 100.0 % TDP",
        "  - PState 0 - GPU clock: 2100MHz - Memory clock: 7001MHz - GPU voltage: 0.000V",
        "  - PState 8 - GPU clock: 300MHz - Memory clock: 405MHz - GPU voltage: 0.000V",
        "  - Fan speed: 41%",
        "  - Fan speed: 1500 RPM",
    };
    EXPECT_EQ(reportFrom(lines, head.front()), head);
    EXPECT_STREQ(monitor.systemInfo().driver, "Forceware R445.23 (3-5-2024)");
    EXPECT_STREQ(monitor.systemInfo().cpu_speed_text,
                 (std::to_string(Pyrolex::getCpuMhz()) + " MHz").c_str());
    EXPECT_EQ(monitor.systemInfo().gl_vendor_id, 0x10DEu);
    EXPECT_FALSE(monitor.integratedMainGpu());

    monitor.setPhysxInfo(0, false);
    monitor.sampleAllGpus();
    EXPECT_EQ(monitor.infoText(),
              "PhysX version: N/A - PhysX CPU only.\r\n"
              "Detected GPUs:\r\n"
              "- GPU 1: NVIDIA GeForce RTX 3070, GPU: 45\xB0"
              "C, power: 50.0 % TDP\r\n"
              "- GPU 2: not available\r\n"
              "- GPU 3: not available\r\n"
              "- GPU 4: not available\r\n");
}

TEST_F(GpuMonitorTest, ReportNumbersFromTwoBehindAnIntegratedPrimaryAdapter) {
    FakeSysfs::Adapter intel;
    intel.address = "0000:00:02.0";
    intel.vendor = 0x8086;
    intel.device = 0x3E92;
    intel.subsys_vendor = 0x1043;
    intel.subsys_device = 0x8694;
    intel.boot_vga = true;
    sysfs.add(intel);
    addNvidiaAdapter("0000:01:00.0", false);
    nvml.add(1).base_graphics = 1006;
    nvml->gpu(0)->boost_graphics = 1058;
    nvml->fail("nvmlDeviceGetClockInfo", NVML_ERROR_NOT_SUPPORTED);
    start();
    EXPECT_TRUE(monitor.integratedMainGpu());
    const std::vector<std::string> lines = trace.lines();
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("Found 1 GPUs."));
    EXPECT_TRUE(has("- GPU 2:  NVIDIA GeForce RTX 3070"));
    EXPECT_TRUE(has(
        "WARNING: true GPU core and memory clocks for GPU 2 are not available on this platform. "
        "Only Pstate clocks will be displayed."));
    EXPECT_TRUE(
        has("  - GTX 600 series - GPU base clock: 1006MHz - GPU boost clock: 1058MHz - GPU power "
            "target: "
            "100.0 % TDP"));
    EXPECT_TRUE(has(
        "Device ID string (main graphics card): PCI\\VEN_10DE&DEV_2484&SUBSYS_146B10DE&REV_A1"));

    monitor.setPhysxInfo(2080400, true);
    monitor.buildInfoText();
    EXPECT_EQ(monitor.infoText().substr(0, monitor.infoText().find("- GPU 2")),
              "PhysX version: 2080400 - PhysX hardware detected.\r\n"
              "Detected GPUs:\r\n"
              "- GPU 1: NVIDIA GeForce RTX 3070, GPU: 0\xB0"
              "C, power: 0.0 % TDP\r\n");
}

TEST_F(GpuMonitorTest, ReportOrdersThreeGpusByBus) {
    addNvidiaAdapter();
    const unsigned buses[] = {3, 1, 2};
    for (unsigned bus : buses) std::snprintf(nvml.add(bus, 0x2489).name, 96, "GPU on bus %u", bus);
    start();
    const std::vector<std::string> lines = trace.lines();
    std::vector<std::string> gpu_lines, bus_lines;
    for (const std::string& line : lines) {
        if (line.rfind("- GPU ", 0) == 0) gpu_lines.push_back(line);
        if (line.rfind("  - Bus ID: ", 0) == 0) bus_lines.push_back(line);
    }
    EXPECT_EQ(gpu_lines,
              (std::vector<std::string>{"- GPU 1:  GPU on bus 1", "- GPU 2:  GPU on bus 2",
                                        "- GPU 3:  GPU on bus 3"}));
    EXPECT_EQ(bus_lines,
              (std::vector<std::string>{"  - Bus ID: 1", "  - Bus ID: 2", "  - Bus ID: 3"}));
    EXPECT_EQ(status(0).bus_id.get(), 1);
    EXPECT_EQ(status(2).bus_id.get(), 3);
    EXPECT_STREQ(status(2).name, "GPU on bus 3");
    EXPECT_EQ(status(2).name_length.get(), 12);
    EXPECT_EQ(status(2).vendor_id.get(), 0x10DE);
    monitor.buildInfoText();
    const std::string text = monitor.infoText();
    EXPECT_NE(text.find("- GPU 3: GPU on bus 3, GPU: 0\xB0"
                        "C"),
              std::string::npos);
    EXPECT_EQ(text.find("- GPU 2: not available"), std::string::npos);
    EXPECT_NE(text.find("- GPU 4: not available\r\n"), std::string::npos);
}

TEST_F(GpuMonitorTest, InfoTextWithoutGpusAndItsSink) {
    ASSERT_TRUE(Pyrolex::startup(2, 2, 2, 2, 0, 0, true));
    std::string shown;
    monitor.setInfoTextSink([&](const char* text) { shown = text; });
    ASSERT_TRUE(monitor.buildInfoText());
    EXPECT_EQ(shown,
              "PhysX version: N/A - PhysX CPU only.\r\n"
              "Detected graphics hardware:\r\n"
              "- OpenGL renderer (main graphics card): \r\n"
              "- OpenGL version detected: 0.0\r\n"
              "- Full device ID: \r\n");
    monitor.setInfoTextSink(nullptr);
}

// The stability judge on what the monitor read from the NVML double: scripted reasons, a
// GPU whose driver gives none and whose clock falls, a temperature sensor that goes away.
TEST_F(GpuMonitorTest, TheJudgeSeesScriptedReasonsDropsAndDropouts) {
    addNvidiaAdapter("0000:01:00.0", true);
    addNvidiaAdapter("0000:02:00.0", false);
    FakeNvmlGpu& first = nvml.add(1);
    FakeNvmlGpu& second = nvml.add(2);
    // GPU 1: idle, then a thermal slowdown for 12 readings, then a power cap for one.
    first.reason_count = 0;
    for (int i = 0; i < 30; ++i)
        first.reasons[first.reason_count++] = i < 10    ? 0x1u
                                              : i < 22  ? 0x20u
                                              : i == 22 ? 0x4u
                                                        : 0x0u;
    second.util_gpu = 99;
    start();
    first.reason_reads = 0;  // the table's build may have asked already

    SecondSamples samples;
    samples.start(int(monitor.gpuCount()), 60);
    for (uint32_t s = 0; s < 60; ++s) {
        // GPU 2's clock falls to 80 % for 6 s at 30 s.
        nvml->gpu(1)->clock_graphics = s >= 30 && s < 36 ? 1524 : 1905;
        ASSERT_TRUE(monitor.sampleAllGpus());
        GpuSecond g[SecondSamples::kMaxGpus];
        ASSERT_EQ(takeGpuSeconds(monitor, g, SecondSamples::kMaxGpus), 2);
        // The double's failures hold for every GPU: GPU 2 stands for a driver without
        // reasons, whose temperature sensor goes away for 7 s at 40 s.
        g[1].readings &= ~kReadClockEvents;
        if (s >= 40 && s < 47) g[1].readings &= ~kReadTemperature;
        RunSecond run;
        run.fps = 60;
        run.sps = 60;
        ASSERT_TRUE(samples.append(run, g));
    }
    EXPECT_TRUE(samples.gpu(0, 0).readings & kReadClockEvents);
    EXPECT_EQ(samples.gpu(12, 0).clock_event_reasons, 0x20u);
    std::vector<std::string> events;
    for (const StabilityEvent& e : judgeRun(samples, JudgeSettings{}))
        events.push_back(describeEvent(e));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "GPU 1: thermal slowdown at 00:00:10 for 12 s",
                          "GPU 1: power cap at 00:00:22 for 1 s",
                          "GPU 2: clock drop at 00:00:30 for 6 s",
                          "GPU 2: sensor dropout (temperature) at 00:00:40 for 7 s",
                      }));
}

}  // namespace
}  // namespace plashwerk
