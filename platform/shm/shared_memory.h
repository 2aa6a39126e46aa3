#pragma once
// Named shared memory published by another process, read the way the program reads a
// Windows file mapping: opened read-only, mapped, copied, and let go again at once.
//
// Names are POSIX shared-memory object names ("/GPUZShMem"), opened with shm_open and
// never created: this layer only reads what another program publishes.

#include <cstddef>
#include <string>

namespace plashwerk {

enum class SharedMemoryRead {
    Ok,
    Missing,   ///< no object of that name, or it cannot be opened for reading
    TooSmall,  ///< the object is smaller than the bytes asked for
    Failed,    ///< it could not be mapped
};

/// Copies the first `size` bytes of the named object into out. Nothing is written to out
/// unless the whole copy can be made; a smaller object is not read at all.
SharedMemoryRead copySharedMemory(const std::string& name, void* out, size_t size);

}  // namespace plashwerk
