#pragma once
// Opening the files the program reads and writes without ever blocking on a special file.
//
// A named pipe, a device or a socket where a file should be would block a plain open()
// forever (a FIFO without a writer, a stalled device). Every open here asks for a
// non-blocking descriptor first, refuses anything that is not a regular file, and only then
// switches back to blocking reads and writes. A refused file is simply "not there" to the
// caller; errno says why (EINVAL for a file of the wrong kind or size).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace plashwerk {

enum class FileAccess {
    Read,    ///< read only
    Write,   ///< write only, created or truncated
    Append,  ///< write only at the end, created when missing
};

enum class Links { Follow, Refuse };

/// A descriptor of the regular file at path, or -1 with errno set. New files get mode 0644
/// (less the umask). With Links::Refuse a symbolic link in the last component is refused.
int openRegularFile(const char* path, FileAccess access, Links links = Links::Follow);

/// The same as a stdio stream; mode is one of "r", "rb", "w", "wb", "a", "ab". Null with
/// errno set when the file cannot be opened or is not a regular file.
std::FILE* openRegularStream(const char* path, const char* mode, Links links = Links::Follow);

/// Reads the whole regular file at path into bytes. False (bytes empty) when it cannot be
/// opened, is not a regular file, is larger than max_bytes (errno EFBIG) or cannot be read in
/// full.
bool readRegularFile(const char* path, size_t max_bytes, std::vector<uint8_t>& bytes);

/// A read-only descriptor of the POSIX shared-memory object name ("/GPUZShMem"), or -1.
/// Refused unless it is a regular shared-memory object of at most max_bytes; its size goes
/// to *size.
int openSharedMemoryObject(const char* name, size_t max_bytes, size_t* size);

}  // namespace plashwerk
