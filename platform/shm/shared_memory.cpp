#include "platform/shm/shared_memory.h"

#include <unistd.h>

#include <cerrno>

#include "platform/file/regular_file.h"

namespace plashwerk {
namespace {

SharedMemoryRead readAll(int fd, unsigned char* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, out + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SharedMemoryRead::Failed;
        if (n == 0) return SharedMemoryRead::TooSmall;
        done += static_cast<size_t>(n);
    }
    return SharedMemoryRead::Ok;
}

}  // namespace

SharedMemoryRead copySharedMemory(const std::string& name, void* out, size_t size,
                                  size_t max_object_size) {
    if (!out || size == 0 || max_object_size < size) return SharedMemoryRead::Failed;
    // Opened without blocking and kept only when it is a regular object no larger than the
    // caller allows: a FIFO or a device put in its place, or a huge object, is not the block.
    size_t object_size = 0;
    const int fd = openSharedMemoryObject(name.c_str(), max_object_size, &object_size);
    if (fd < 0) return SharedMemoryRead::Missing;
    const SharedMemoryRead result = object_size >= size
                                        ? readAll(fd, static_cast<unsigned char*>(out), size)
                                        : SharedMemoryRead::TooSmall;
    close(fd);
    return result;
}

}  // namespace plashwerk
