// The GPU-Z reader over shared memory the tests publish themselves, and the monitor's
// per-pass read of it on a fake AMD machine.

#include "gpumon/gpuz_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/registry/registry.h"
#include "tests/platform/adl/fake_amdgpu.h"
#include "tests/support/blocking.h"

namespace plashwerk {
namespace {

// A GPU-Z block published under a name of the test's own (tests run side by side), or
// under GPU-Z's own name for the one test of the process reader.
class GpuzPublisher {
  public:
    explicit GpuzPublisher(std::string name = "", size_t size = kGpuzBlockSize)
        : m_name(name.empty() ? uniqueName() : std::move(name)) {
        publish(size);
    }
    ~GpuzPublisher() {
        unmap();
        shm_unlink(m_name.c_str());
    }
    const std::string& name() const { return m_name; }

    /// Republishes the object at another size, empty.
    void publish(size_t size) {
        unmap();
        shm_unlink(m_name.c_str());
        const int fd = shm_open(m_name.c_str(), O_CREAT | O_RDWR | O_EXCL, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
        m_block = static_cast<unsigned char*>(
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        close(fd);
        EXPECT_NE(m_block, MAP_FAILED);
        m_size = size;
    }
    void sensor(int record, const char16_t* name, double value) {
        unsigned char* r = recordAt(record);
        std::memset(r, 0, kGpuzSensorRecordSize);
        for (size_t i = 0; name[i]; ++i) {
            r[2 * i] = static_cast<unsigned char>(name[i] & 0xFF);
            r[2 * i + 1] = static_cast<unsigned char>(name[i] >> 8);
        }
        setValue(record, value);
    }
    void setValue(int record, double value) {
        std::memcpy(recordAt(record) + kGpuzValueOffset, &value, sizeof value);
    }
    /// A name of 256 units with no terminator, starting with `name`.
    void unterminated(int record, const char16_t* name) {
        sensor(record, name, 1.0);
        unsigned char* r = recordAt(record);
        for (size_t i = std::char_traits<char16_t>::length(name); i < kGpuzNameUnits; ++i)
            r[2 * i] = 'x';
    }

  private:
    static std::string uniqueName() {
        static int serial = 0;
        return "/GPUZShMem_test_" + std::to_string(getpid()) + "_" + std::to_string(serial++);
    }
    unsigned char* recordAt(int record) {
        return m_block + kGpuzSensorsOffset + static_cast<size_t>(record) * kGpuzSensorRecordSize;
    }
    void unmap() {
        if (m_block && m_block != MAP_FAILED) munmap(m_block, m_size);
        m_block = nullptr;
    }

    std::string m_name;
    unsigned char* m_block = nullptr;
    size_t m_size = 0;
};

TEST(GpuzReader, FirstRecordWinsAndTheTableIsBuiltOnce) {
    GpuzPublisher gpuz;
    gpuz.sensor(0, u"GPU Core Clock", 1500.5);
    gpuz.sensor(1, u"GPU Memory Clock", 875.0);
    gpuz.sensor(3, u"GPU Temperature", 61.0);
    gpuz.sensor(9, u"GPU Temperature", 99.0);
    gpuz.sensor(4, u"GPU Temperature (hot spot)", 80.0);  // a longer name is another sensor
    gpuz.sensor(5, u"gpu load", 50.0);                    // names are case-sensitive
    gpuz.sensor(6, u"VDDC Current", 200.0);
    GpuzReader reader(gpuz.name());
    EXPECT_EQ(reader.value(GpuzSensor::CoreClock), 0.0) << "nothing read yet";
    ASSERT_TRUE(reader.read(true));
    EXPECT_TRUE(reader.available());
    EXPECT_EQ(reader.sensorIndex(GpuzSensor::Temperature), 3);
    EXPECT_EQ(reader.value(GpuzSensor::Temperature), 61.0);
    EXPECT_EQ(reader.value(GpuzSensor::CoreClock), 1500.5);
    EXPECT_EQ(reader.sensorIndex(GpuzSensor::Load), -1);
    EXPECT_EQ(reader.value(GpuzSensor::Load), 0.0);
    EXPECT_EQ(reader.sensorIndex(GpuzSensor::Vddc), -1);

    // A later block that has VDDC does not bring it in; values do refresh.
    gpuz.sensor(7, u"VDDC", 1.1);
    gpuz.setValue(3, 63.0);
    ASSERT_TRUE(reader.read(true));
    EXPECT_EQ(reader.sensorIndex(GpuzSensor::Vddc), -1);
    EXPECT_EQ(reader.value(GpuzSensor::Vddc), 0.0);
    EXPECT_EQ(reader.value(GpuzSensor::Temperature), 63.0);
}

TEST(GpuzReader, OffMissingOrTooSmallReadsNothing) {
    GpuzPublisher gpuz;
    gpuz.sensor(0, u"GPU Core Clock", 1500.0);
    GpuzReader reader(gpuz.name());
    EXPECT_FALSE(reader.read(false)) << "use_gpuz off";
    EXPECT_FALSE(reader.available());
    EXPECT_FALSE(reader.indexBuilt()) << "the block was not opened";

    ASSERT_TRUE(reader.read(true));
    gpuz.publish(kGpuzBlockSize - 1);
    EXPECT_FALSE(reader.read(true)) << "a mapping smaller than the block";
    EXPECT_FALSE(reader.available());
    EXPECT_EQ(reader.value(GpuzSensor::CoreClock), 1500.0) << "the last copy is kept";

    GpuzReader absent("/GPUZShMem_test_never_published");
    EXPECT_FALSE(absent.read(true));
    EXPECT_EQ(absent.value(GpuzSensor::CoreClock), 0.0);
}

// GPU-Z's object is a regular shared-memory object of about the block's size; a FIFO in
// its place (which a plain open waits on for good, lock held) or a huge object is not it.
TEST(GpuzReader, FifoOrOversizedObjectIsAbsent) {
    const std::string name = "/plashwerk_gpuz_fifo_" + std::to_string(getpid());
    test::Fifo fifo("/dev/shm" + name);
    GpuzReader reader(name);
    bool read = true;
    EXPECT_TRUE(test::finishes([&] { read = reader.read(true); }, [&] { fifo.unblock(); }))
        << "the read waited on a FIFO";
    EXPECT_FALSE(read);
    EXPECT_FALSE(reader.available());
    EXPECT_EQ(reader.value(GpuzSensor::CoreClock), 0.0);

    static_assert(kGpuzMaxObjectSize >= kGpuzBlockSize && kGpuzMaxObjectSize < 2 * kGpuzBlockSize);
    GpuzPublisher gpuz("", kGpuzMaxObjectSize);
    gpuz.sensor(0, u"GPU Core Clock", 1500.0);
    GpuzReader sized(gpuz.name());
    EXPECT_TRUE(sized.read(true)) << "a mapping rounded up to whole pages is the block";
    EXPECT_EQ(sized.value(GpuzSensor::CoreClock), 1500.0);
    gpuz.publish(kGpuzMaxObjectSize + 1);
    gpuz.sensor(0, u"GPU Core Clock", 1700.0);
    EXPECT_FALSE(sized.read(true)) << "an object larger than any GPU-Z block";
    EXPECT_FALSE(sized.available());
    EXPECT_EQ(sized.value(GpuzSensor::CoreClock), 1500.0) << "the last copy is kept";
}

TEST(GpuzReader, DamagedRecordsReadSafely) {
    GpuzPublisher gpuz;
    gpuz.unterminated(0, u"VDDC");
    gpuz.sensor(1, u"GPU Core Clock", std::numeric_limits<double>::quiet_NaN());
    gpuz.sensor(2, u"GPU Memory Clock", 1e300);
    gpuz.sensor(3, u"GPU Temperature", -1e9);
    gpuz.sensor(4, u"VDDC Current", std::numeric_limits<double>::infinity());
    gpuz.sensor(127, u"VDDC", 1.2);  // the last record
    GpuzReader reader(gpuz.name());
    ASSERT_TRUE(reader.read(true));
    EXPECT_EQ(reader.sensorIndex(GpuzSensor::Vddc), 127) << "a name without its end is no name";
    EXPECT_EQ(reader.value(GpuzSensor::Vddc), 1.2);
    for (GpuzSensor s : {GpuzSensor::CoreClock, GpuzSensor::MemoryClock, GpuzSensor::Temperature,
                         GpuzSensor::VddcCurrent})
        EXPECT_EQ(reader.value(s), 0.0) << static_cast<int>(s);
    EXPECT_EQ(reader.value(GpuzSensor::Count), 0.0);
    EXPECT_EQ(reader.sensorIndex(static_cast<GpuzSensor>(-3)), -1);
}

TEST(GpuzReader, ProcessReaderAndSceneStartUpClocks) {
    float core = 1, memory = 1;
    EXPECT_FALSE(readGpuzStartupClocks(false, core, memory));
    EXPECT_EQ(core, 0.0f);
    EXPECT_EQ(memory, 0.0f);

    GpuzPublisher gpuz(kGpuzObjectName);
    gpuz.sensor(0, u"GPU Core Clock", 1860.0);
    gpuz.sensor(1, u"GPU Memory Clock", 1000.0);
    gpuz.sensor(2, u"GPU Shader Clock", 2100.0);
    gpuz.sensor(3, u"GPU Load", 97.0);
    EXPECT_FALSE(readGpuzStartupClocks(false, core, memory)) << "still off";
    ASSERT_TRUE(readGpuzStartupClocks(true, core, memory));
    EXPECT_EQ(core, 1860.0f);
    EXPECT_EQ(memory, 1000.0f);
    EXPECT_EQ(getGpuzShaderClock(), 2100.0);
    EXPECT_EQ(getGpuzLoad(), 97.0);
    EXPECT_EQ(getGpuzVddc(), 0.0);
}

// The monitor on a fake AMD machine: its pass reads the AMD clocks from the level table
// and GPU-Z's readings through the reader it is given.
TEST(GpuzReader, MonitorPassOnAnAmdMachine) {
    setenv("PLASHWERK_NVML_LIBRARY", "/nonexistent/libnvidia-ml.so.1", 1);
    MemoryRegistry registry;
    setSystemRegistry(&registry);
    registry.setString("SYSTEM\\CurrentControlSet\\Control\\Video\\{0000:03:00.0}\\0000",
                       "DriverVersion", "6.1.0-18-amd64");
    test::FakeAmdgpu tree;
    test::FakeAmdgpu::Card card;
    card.boot_vga = true;
    tree.addCard(card);
    tree.rdnaSensors(card);

    GpuzPublisher gpuz;
    gpuz.sensor(0, u"VDDC", 1.1);
    gpuz.sensor(1, u"VDDC Current", 200.0);
    gpuz.sensor(2, u"GPU Temperature", 66.0);
    gpuz.sensor(3, u"GPU Core Clock", 2050.0);
    GpuzReader reader(gpuz.name());
    {
        GpuMonitor monitor;
        monitor.setGpuzReader(
            [&reader](GpuzValues& values) { return readGpuzValues(reader, true, values); });
        ASSERT_TRUE(Pyrolex::startup(2, 2, 2, 2, 0, 0, true));
        ASSERT_TRUE(monitor.initGpuTable());
        ASSERT_TRUE(monitor.sampleAllGpus());
        const GpuStatus* s = monitor.gpuStatus(0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->vendor_id.get(), 0x1002);
        EXPECT_EQ(s->celsius.get(), 45.0f);
        EXPECT_EQ(s->gpu_load.get(), 37.0f);
        EXPECT_EQ(s->fan_percent.get(), 50.0f);
        EXPECT_EQ(s->core_clock.get(), 2100.0f) << "the highest level";
        EXPECT_EQ(s->memory_clock.get(), 1000.0f);
        EXPECT_EQ(s->bus_id.get(), 3);
        EXPECT_STREQ(monitor.systemInfo().driver, "Catalyst 6.1.0-18-amd64")
            << "no Catalyst version, release version or date on this driver";

        const GpuzReadings& g = monitor.gpuzReadings();
        EXPECT_TRUE(g.available.get());
        EXPECT_FLOAT_EQ(g.power_w.get(), 220.0f) << "1.1 V x 200 A";
        EXPECT_FLOAT_EQ(g.max_vddc.get(), 1.1f);
        EXPECT_EQ(g.celsius.get(), 66.0f);
        EXPECT_EQ(g.core_clock.get(), 2050.0f);
        EXPECT_EQ(g.memory_clock.get(), 0.0f) << "not published";

        // GPU-Z goes away: everything, the maxima too, drops to 0.
        gpuz.publish(16);
        ASSERT_TRUE(monitor.sampleAllGpus());
        EXPECT_FALSE(g.available.get());
        EXPECT_EQ(g.max_vddc.get(), 0.0f);
        EXPECT_EQ(g.power_w.get(), 0.0f);
        monitor.stopGpuMonitoring();
    }
    Pyrolex::shutdown();
    setSystemRegistry(nullptr);
    unsetenv("PLASHWERK_NVML_LIBRARY");
}

}  // namespace
}  // namespace plashwerk
