#pragma once
// Named shared memory published by another process, read the way the program reads a
// Windows file mapping: opened read-only, copied, and let go again at once.
//
// Names are POSIX shared-memory object names ("/GPUZShMem"), opened with shm_open and
// never created: this layer only reads what another program publishes. The bytes are
// copied with reads rather than through a mapping, so an object that its publisher
// shrinks while it is being read ends the read short instead of faulting.

#include <cstddef>
#include <string>

namespace plashwerk {

enum class SharedMemoryRead {
    Ok,
    Missing,   ///< no object of that name, it cannot be opened for reading, or it is not a
               ///< regular object (a FIFO, a device) or is larger than the caller allows
    TooSmall,  ///< the object is (or became) smaller than the bytes asked for
    Failed,    ///< it could not be read
};

/// Copies the first `size` bytes of the named object into out. An object larger than
/// max_object_size (at least size) is refused as Missing, never opened for reading. On any
/// result but Ok the contents of out are unspecified; a smaller object is not read at all.
/// Nothing here blocks on the object's kind: it is opened non-blocking and checked first.
SharedMemoryRead copySharedMemory(const std::string& name, void* out, size_t size,
                                  size_t max_object_size);

}  // namespace plashwerk
