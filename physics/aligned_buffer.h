#pragma once
// A fixed-size array on 16-byte aligned, zeroed memory: the particle buffers that the SDK
// writes and the renderer reads. 16 bytes is the width of an SSE register, so whole
// particle records can be moved with aligned vector loads.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace plashwerk {

inline constexpr size_t kParticleBufferAlignment = 16;

template <typename T>
class AlignedBuffer {
  public:
    AlignedBuffer() = default;

    /// Replaces the contents with count zeroed elements. False (and empty) when the memory
    /// cannot be had.
    bool allocate(size_t count) {
        m_data.reset();
        m_count = 0;
        if (count == 0 || count > SIZE_MAX / sizeof(T) - kParticleBufferAlignment) return false;
        // aligned_alloc wants a size that is a multiple of the alignment.
        const size_t bytes =
            (count * sizeof(T) + kParticleBufferAlignment - 1) & ~(kParticleBufferAlignment - 1);
        void* memory = std::aligned_alloc(kParticleBufferAlignment, bytes);
        if (!memory) return false;
        std::memset(memory, 0, bytes);
        m_data.reset(static_cast<T*>(memory));
        m_count = count;
        return true;
    }
    void reset() {
        m_data.reset();
        m_count = 0;
    }

    T* data() { return m_data.get(); }
    const T* data() const { return m_data.get(); }
    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    T& operator[](size_t i) { return m_data.get()[i]; }
    const T& operator[](size_t i) const { return m_data.get()[i]; }

  private:
    struct Free {
        void operator()(T* p) const { std::free(p); }
    };
    std::unique_ptr<T, Free> m_data;
    size_t m_count = 0;
};

}  // namespace plashwerk
