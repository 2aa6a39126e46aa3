#include "platform/shm/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace plashwerk {

SharedMemoryRead copySharedMemory(const std::string& name, void* out, size_t size) {
    if (!out || size == 0) return SharedMemoryRead::Failed;
    const int fd = shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) return SharedMemoryRead::Missing;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        close(fd);
        return SharedMemoryRead::Failed;
    }
    if (info.st_size < 0 || static_cast<size_t>(info.st_size) < size) {
        close(fd);
        return SharedMemoryRead::TooSmall;
    }
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);  // the mapping stays valid without the descriptor
    if (view == MAP_FAILED) return SharedMemoryRead::Failed;
    std::memcpy(out, view, size);
    munmap(view, size);
    return SharedMemoryRead::Ok;
}

}  // namespace plashwerk
