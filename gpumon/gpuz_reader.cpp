#include "gpumon/gpuz_reader.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "platform/shm/shared_memory.h"

namespace plashwerk {
namespace {

constexpr int kSensorCount = static_cast<int>(GpuzSensor::Count);

struct SensorName {
    const char16_t* name;
    double min, max;  // what the sensor can plausibly report
};

// In the order names are compared.
constexpr SensorName kSensorNames[kSensorCount] = {
    {u"GPU Core Clock", 0.0, 100000.0},     // MHz
    {u"GPU Memory Clock", 0.0, 100000.0},   // MHz
    {u"GPU Shader Clock", 0.0, 100000.0},   // MHz
    {u"GPU Temperature", -273.15, 1000.0},  // °C
    {u"GPU Load", 0.0, 1000.0},             // %
    {u"VDDC Current", 0.0, 10000.0},        // A: a whole board draws well under 1000
    {u"VDDC", 0.0, 100.0},                  // V
};

uint16_t unitAt(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The record's name equals `name` exactly: same units, then the record's terminator. A
// name without a terminator within its 256 units equals nothing.
bool nameEquals(const unsigned char* record, const char16_t* name) {
    size_t i = 0;
    for (; name[i] != 0; ++i) {
        if (i == kGpuzNameUnits || unitAt(record + 2 * i) != static_cast<uint16_t>(name[i]))
            return false;
    }
    return i < kGpuzNameUnits && unitAt(record + 2 * i) == 0;
}

}  // namespace

GpuzReader::GpuzReader(std::string object_name)
    : m_name(std::move(object_name)),
      m_block(new unsigned char[kGpuzBlockSize]()),
      m_incoming(new unsigned char[kGpuzBlockSize]()) {
    for (int& index : m_index) index = -1;
}

bool GpuzReader::read(bool use_gpuz) {
    if (!use_gpuz) {
        std::lock_guard lock(m_mutex);
        m_available = false;
        return false;
    }
    // The object is opened and copied without the lock, into a buffer of this read's own:
    // a publisher that holds the read up then holds up only this caller, never a thread
    // that only wants the values.
    std::unique_ptr<unsigned char[]> incoming;
    {
        std::lock_guard lock(m_mutex);
        incoming = std::move(m_incoming);
    }
    if (!incoming) incoming.reset(new unsigned char[kGpuzBlockSize]());
    const bool copied = copySharedMemory(m_name, incoming.get(), kGpuzBlockSize,
                                         kGpuzMaxObjectSize) == SharedMemoryRead::Ok;
    std::lock_guard lock(m_mutex);
    if (!copied) {
        if (!m_incoming) m_incoming = std::move(incoming);
        m_available = false;
        return false;
    }
    takeBlock(incoming);
    return true;
}

bool GpuzReader::readBlock(const void* data, size_t size) {
    if (!data || size < kGpuzBlockSize) {
        std::lock_guard lock(m_mutex);
        m_available = false;
        return false;
    }
    std::unique_ptr<unsigned char[]> incoming(new unsigned char[kGpuzBlockSize]);
    std::memcpy(incoming.get(), data, kGpuzBlockSize);
    std::lock_guard lock(m_mutex);
    takeBlock(incoming);
    return true;
}

// Swaps a whole new block in (the old one becomes the next read's buffer) and builds the
// index table on the first. Called with the lock held.
void GpuzReader::takeBlock(std::unique_ptr<unsigned char[]>& incoming) {
    m_block.swap(incoming);
    if (!m_incoming) m_incoming = std::move(incoming);
    if (!m_index_built) buildIndexTable();
    m_available = true;
}

void GpuzReader::buildIndexTable() {
    for (int& index : m_index) index = -1;
    for (int record = 0; record < kGpuzSensorRecords; ++record) {
        const unsigned char* r = m_block.get() + kGpuzSensorsOffset +
                                 static_cast<size_t>(record) * kGpuzSensorRecordSize;
        for (int s = 0; s < kSensorCount; ++s) {
            if (!nameEquals(r, kSensorNames[s].name)) continue;
            if (m_index[s] == -1) m_index[s] = record;
            break;
        }
    }
    m_index_built = true;
}

bool GpuzReader::available() const {
    std::lock_guard lock(m_mutex);
    return m_available;
}

bool GpuzReader::indexBuilt() const {
    std::lock_guard lock(m_mutex);
    return m_index_built;
}

int GpuzReader::sensorIndex(GpuzSensor sensor) const {
    const int s = static_cast<int>(sensor);
    if (s < 0 || s >= kSensorCount) return -1;
    std::lock_guard lock(m_mutex);
    return m_index[s];
}

double GpuzReader::rawValue(int record) const {
    const unsigned char* p = m_block.get() + kGpuzSensorsOffset +
                             static_cast<size_t>(record) * kGpuzSensorRecordSize + kGpuzValueOffset;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
    return std::bit_cast<double>(bits);
}

double GpuzReader::value(GpuzSensor sensor) const {
    const int s = static_cast<int>(sensor);
    if (s < 0 || s >= kSensorCount) return 0.0;
    std::lock_guard lock(m_mutex);
    const int record = m_index[s];
    if (record < 0) return 0.0;
    const double v = rawValue(record);
    if (!std::isfinite(v) || v < kSensorNames[s].min || v > kSensorNames[s].max) return 0.0;
    return v;
}

GpuzReader& gpuzReader() {
    static GpuzReader reader;
    return reader;
}

bool readGpuzSharedMemory(bool use_gpuz) {
    return gpuzReader().read(use_gpuz);
}

double getGpuzCoreClock() {
    return gpuzReader().value(GpuzSensor::CoreClock);
}
double getGpuzMemoryClock() {
    return gpuzReader().value(GpuzSensor::MemoryClock);
}
double getGpuzShaderClock() {
    return gpuzReader().value(GpuzSensor::ShaderClock);
}
double getGpuzTemperature() {
    return gpuzReader().value(GpuzSensor::Temperature);
}
double getGpuzLoad() {
    return gpuzReader().value(GpuzSensor::Load);
}
double getGpuzVddc() {
    return gpuzReader().value(GpuzSensor::Vddc);
}
double getGpuzVddcCurrent() {
    return gpuzReader().value(GpuzSensor::VddcCurrent);
}

bool readGpuzValues(GpuzReader& reader, bool use_gpuz, GpuzValues& values) {
    if (!reader.read(use_gpuz)) return false;
    values.vddc = static_cast<float>(reader.value(GpuzSensor::Vddc));
    values.vddc_current = static_cast<float>(reader.value(GpuzSensor::VddcCurrent));
    values.core_clock = static_cast<float>(reader.value(GpuzSensor::CoreClock));
    values.memory_clock = static_cast<float>(reader.value(GpuzSensor::MemoryClock));
    values.celsius = static_cast<float>(reader.value(GpuzSensor::Temperature));
    return true;
}

bool readGpuzStartupClocks(bool use_gpuz, float& core_clock, float& memory_clock) {
    core_clock = 0.0f;
    memory_clock = 0.0f;
    if (!readGpuzSharedMemory(use_gpuz)) return false;
    core_clock = static_cast<float>(getGpuzCoreClock());
    memory_clock = static_cast<float>(getGpuzMemoryClock());
    return true;
}

}  // namespace plashwerk
