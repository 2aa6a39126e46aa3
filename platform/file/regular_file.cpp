#include "platform/file/regular_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plashwerk {
namespace {

// Keeps the descriptor when it is a regular file (of at most max_bytes when that is not 0)
// and makes it blocking again; otherwise closes it and answers -1 with EINVAL.
int keepIfRegular(int fd, size_t max_bytes, size_t* size) {
    if (fd < 0) return -1;
    struct stat info {};
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode) || info.st_size < 0 ||
               (max_bytes != 0 && static_cast<unsigned long long>(info.st_size) > max_bytes)) {
        error = EINVAL;
    } else {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    if (size) *size = static_cast<size_t>(info.st_size);
    return fd;
}

int openFlags(FileAccess access) {
    switch (access) {
        case FileAccess::Read:
            return O_RDONLY;
        case FileAccess::Write:
            return O_WRONLY | O_CREAT | O_TRUNC;
        case FileAccess::Append:
            return O_WRONLY | O_CREAT | O_APPEND;
    }
    return O_RDONLY;
}

}  // namespace

int openRegularFile(const char* path, FileAccess access, Links links) {
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    int flags = openFlags(access) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (links == Links::Refuse) flags |= O_NOFOLLOW;
    // O_TRUNC is applied before the check, but only regular files can be truncated: a FIFO
    // or a device ignores it, and a FIFO without a reader refuses a non-blocking writer.
    int fd;
    do {
        fd = open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    return keepIfRegular(fd, 0, nullptr);
}

std::FILE* openRegularStream(const char* path, const char* mode, Links links) {
    if (!mode) {
        errno = EINVAL;
        return nullptr;
    }
    FileAccess access;
    switch (mode[0]) {
        case 'r':
            access = FileAccess::Read;
            break;
        case 'w':
            access = FileAccess::Write;
            break;
        case 'a':
            access = FileAccess::Append;
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    if (std::strchr(mode, '+')) {  // no caller reads and writes one stream
        errno = EINVAL;
        return nullptr;
    }
    const int fd = openRegularFile(path, access, links);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, mode);
    if (!file) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

bool readRegularFile(const char* path, size_t max_bytes, std::vector<uint8_t>& bytes) {
    bytes.clear();
    const int fd = openRegularFile(path, FileAccess::Read);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0;
    const bool too_large = ok && static_cast<unsigned long long>(info.st_size) > max_bytes;
    ok = ok && !too_large;
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;  // a file that shrank while being read is not read in full
            if (ok) done += static_cast<size_t>(n);
        }
    }
    close(fd);
    if (!ok) bytes.clear();
    if (too_large) errno = EFBIG;
    return ok;
}

int openSharedMemoryObject(const char* name, size_t max_bytes, size_t* size) {
    if (!name || !*name) {
        errno = ENOENT;
        return -1;
    }
    const int fd = shm_open(name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW, 0);
    return keepIfRegular(fd, max_bytes == 0 ? 1 : max_bytes, size);
}

}  // namespace plashwerk
