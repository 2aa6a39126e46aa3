#include "platform/sysfs/sysfs.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/file/regular_file.h"

namespace plashwerk {

std::string sysfsRoot() {
    const char* root = std::getenv("PLASHWERK_SYSFS_ROOT");
    if (root && *root) return root;
    return "/sys";
}

std::string sysfsPath(const std::string& relative) {
    std::string path = sysfsRoot();
    if (!path.empty() && path.back() != '/') path += '/';
    path += relative;
    return path;
}

bool readTextFile(const std::string& path, std::string& out, size_t max_bytes) {
    // sysfs is full of links (device, driver, hwmon), so they are followed; anything but a
    // regular file at the end (a FIFO left in a fake tree, a device node) is refused
    // instead of blocking the read.
    const int fd = openRegularFile(path.c_str(), FileAccess::Read, Links::Follow);
    if (fd < 0) return false;
    out.assign(max_bytes, '\0');
    size_t n = 0;
    bool failed = false;
    while (n < max_bytes) {
        const ssize_t got = read(fd, out.data() + n, max_bytes - n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failed = true;
        if (got <= 0) break;
        n += static_cast<size_t>(got);
    }
    close(fd);
    if (failed) return false;
    out.resize(n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' ||
                            out.back() == '\t' || out.back() == '\0'))
        out.pop_back();
    return true;
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool readUnsignedFile(const std::string& path, uint32_t& out) {
    std::string text;
    if (!readTextFile(path, text, 64) || text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (end == text.c_str() || errno != 0 || value > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace plashwerk
