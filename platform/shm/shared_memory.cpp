#include "platform/shm/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

SharedMemoryRead copySharedMemory(const std::string& name, void* out, size_t size) {
    if (!out || size == 0) return SharedMemoryRead::Failed;
    const int fd = shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) return SharedMemoryRead::Missing;
    struct stat info {};
    SharedMemoryRead result = SharedMemoryRead::Failed;
    if (fstat(fd, &info) == 0) {
        result = info.st_size >= 0 && static_cast<size_t>(info.st_size) >= size
                     ? readAll(fd, static_cast<unsigned char*>(out), size)
                     : SharedMemoryRead::TooSmall;
    }
    close(fd);
    return result;
}

}  // namespace plashwerk
