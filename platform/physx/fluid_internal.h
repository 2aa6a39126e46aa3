#pragma once
// What the files of the fluid solver share: the sizes of the work handed to threads, the
// world's limits and access to the caller's strided records.

#include <cstdint>
#include <limits>

namespace nxsdk {

constexpr float kImmortal = std::numeric_limits<float>::infinity();
// Particles per chunk of the per-particle loops: large enough that a chunk costs far more
// than handing it out, small enough that two to sixteen threads share the work evenly.
constexpr uint32_t kParticleChunk = 1024;
// Particles per chunk where shapes are met: small enough that a chunk (close together in
// grid order) usually sees only the shapes really near it.
constexpr uint32_t kShapeChunk = 256;
// Chunks of the pair loops (split by cells with similar particle counts).
constexpr uint32_t kCellChunks = 64;
// Positions are kept inside this cube (metres) so that nothing ever overflows.
constexpr float kWorldLimit = 1.0e6f;

template <typename T>
T* recordAt(void* base, uint32_t stride, uint32_t i) {
    return reinterpret_cast<T*>(static_cast<char*>(base) + size_t(stride) * i);
}

}  // namespace nxsdk
