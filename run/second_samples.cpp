#include "run/second_samples.h"

#include <algorithm>

#include "gpumon/gpu_monitor.h"

namespace plashwerk {

void SecondSamples::clear() {
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_seconds = 0;
    m_gpu_count = 0;
}

void SecondSamples::addBlock() {
    Block block;
    block.run = std::make_unique<RunSecond[]>(kBlockSeconds);
    if (m_gpu_count > 0)
        block.gpus = std::make_unique<GpuSecond[]>(size_t(kBlockSeconds) * size_t(m_gpu_count));
    m_blocks.push_back(std::move(block));
}

void SecondSamples::start(int gpu_count, uint32_t expected_seconds) {
    clear();
    m_gpu_count = std::clamp(gpu_count, 0, kMaxGpus);
    // One second more than expected: the run's clock may end a little past its length.
    const uint32_t seconds = std::min(expected_seconds + 1, kMaxSeconds);
    const uint32_t blocks = (seconds + kBlockSeconds - 1) / kBlockSeconds;
    m_blocks.reserve(kMaxSeconds / kBlockSeconds);
    for (uint32_t i = 0; i < blocks; ++i) addBlock();
}

void SecondSamples::prepareNextBlock() {
    const size_t filling = m_seconds / kBlockSeconds;
    if (filling + 1 < m_blocks.size() || m_blocks.size() >= kMaxSeconds / kBlockSeconds) return;
    addBlock();
}

bool SecondSamples::append(const RunSecond& run, const GpuSecond* gpus) {
    if (m_seconds >= kMaxSeconds) return false;
    const size_t block = m_seconds / kBlockSeconds;
    if (block >= m_blocks.size()) addBlock();  // only when prepareNextBlock was not called
    const size_t at = m_seconds % kBlockSeconds;
    Block& b = m_blocks[block];
    b.run[at] = run;
    for (int g = 0; g < m_gpu_count; ++g) b.gpus[at * size_t(m_gpu_count) + size_t(g)] = gpus[g];
    ++m_seconds;
    return true;
}

const RunSecond& SecondSamples::run(uint32_t second) const {
    return m_blocks[second / kBlockSeconds].run[second % kBlockSeconds];
}

const GpuSecond& SecondSamples::gpu(uint32_t second, int gpu) const {
    const size_t at = second % kBlockSeconds;
    return m_blocks[second / kBlockSeconds].gpus[at * size_t(m_gpu_count) + size_t(gpu)];
}

size_t SecondSamples::bytesAllocated() const {
    return m_blocks.size() * bytesFor(kBlockSeconds, m_gpu_count);
}

size_t SecondSamples::bytesFor(uint32_t seconds, int gpu_count) {
    return size_t(seconds) * (sizeof(RunSecond) + size_t(gpu_count) * sizeof(GpuSecond));
}

GpuSecond gpuSecondFrom(const GpuStatus& s) {
    GpuSecond g;
    g.celsius = s.celsius;
    g.hot_spot_celsius = s.hot_spot_celsius;
    g.memory_celsius = s.memory_celsius;
    const float measured = s.true_core_clock;
    g.core_clock_mhz = measured > 0 ? measured : s.core_clock.get();
    const float measured_memory = s.true_memory_clock;
    g.memory_clock_mhz = measured_memory > 0 ? measured_memory : s.memory_clock.get();
    g.load_percent = s.gpu_load;
    g.power_w = s.gpu_power_mw / 1000.0f;
    g.fan_percent = s.fan_percent;
    g.clock_event_reasons = s.clock_event_reasons;
    g.readings = s.readings;
    return g;
}

int takeGpuSeconds(const GpuMonitor& monitor, GpuSecond* out, int room) {
    int n = 0;
    for (uint32_t i = 0; i < monitor.gpuCount() && n < room; ++i) {
        const GpuStatus* status = monitor.gpuStatus(int(i));
        if (!status) break;
        out[n++] = gpuSecondFrom(*status);
    }
    return n;
}

}  // namespace plashwerk
