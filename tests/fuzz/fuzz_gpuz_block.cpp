// Any bytes as GPU-Z's shared-memory block: the input fills the sensor records (the part
// the reader interprets) of an otherwise empty block. Building the index table and reading
// every sensor must neither crash nor read out of bounds, and a value read is a finite
// number or 0.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "gpumon/gpuz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plashwerk;
    static const std::unique_ptr<unsigned char[]> block(new unsigned char[kGpuzBlockSize]);
    std::memset(block.get(), 0, kGpuzBlockSize);
    const size_t room = kGpuzBlockSize - kGpuzSensorsOffset;
    std::memcpy(block.get() + kGpuzSensorsOffset, data, size < room ? size : room);

    GpuzReader reader("/plashwerk_fuzz_never_published");
    if (!reader.readBlock(block.get(), kGpuzBlockSize)) std::abort();
    // The second read refreshes the values under the table the first one built.
    if (size > 0) block[kGpuzSensorsOffset] ^= 0xFF;
    if (!reader.readBlock(block.get(), kGpuzBlockSize)) std::abort();
    for (int s = 0; s < static_cast<int>(GpuzSensor::Count); ++s) {
        const auto sensor = static_cast<GpuzSensor>(s);
        const int index = reader.sensorIndex(sensor);
        if (index < -1 || index >= kGpuzSensorRecords) std::abort();
        if (!std::isfinite(reader.value(sensor))) std::abort();
    }
    if (reader.readBlock(block.get(), kGpuzBlockSize - 1)) std::abort();
    return 0;
}
