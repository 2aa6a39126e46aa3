#include "platform/sysfs/sysfs.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

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
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    out.assign(max_bytes, '\0');
    const size_t n = std::fread(out.data(), 1, max_bytes, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
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
