#pragma once
// Writing a whole buffer to a descriptor, for the files of this folder.

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace plashwerk {

/// Writes all `size` bytes, going on after short writes and interruptions. 0, or the
/// errno of the failure (EIO when the system wrote nothing without saying why).
inline int writeAllBytes(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace plashwerk
